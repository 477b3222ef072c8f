#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/System.h"

namespace vxt::testing {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  static std::atomic<int> serial{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate =
        base / ("vxt_test_" + std::to_string(stamp) + "_" + std::to_string(serial++));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.string();
      return;
    }
    if (error) throw fs::filesystem_error("cannot create a scratch folder", candidate, error);
  }
}

TempFolder::~TempFolder() {
  std::error_code error;
  // Read-only files must become writable again before Windows lets them go.
  for (const auto& entry : fs::recursive_directory_iterator(path_, error)) {
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, error);
  }
  fs::remove_all(path_, error);
}

std::string TempFolder::File(const std::string& name) const {
  return path_ + PathSeparator() + name;
}

std::vector<std::string> TempFolder::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool PathExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(path, ignored);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

void SetReadOnly(const std::string& path, bool read_only) {
  // On Windows this is the read-only attribute; on POSIX all write bits go.
  fs::perms write_bits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(path, read_only ? write_bits : fs::perms::owner_write,
                  read_only ? fs::perm_options::remove : fs::perm_options::add);
}

void MakeFolder(const std::string& path) {
  fs::create_directory(path);
}

}  // namespace vxt::testing
