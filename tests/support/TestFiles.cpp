#include "support/TestFiles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <ostream>
#include <system_error>

#include "platform/System.h"
#ifdef _WIN32
#include "platform/win32/WidePath.h"
#endif

namespace vxt {

void PrintTo(const TPath& path, std::ostream* out) {
  *out << ::testing::PrintToString(path.Bytes());
}

namespace testing {

namespace fs = std::filesystem;

namespace {

std::u8string_view AsUtf8(const std::string& bytes) {
  return std::u8string_view(reinterpret_cast<const char8_t*>(bytes.data()), bytes.size());
}

std::string FromUtf8(const std::u8string& text) {
  return std::string(text.begin(), text.end());
}

}  // namespace

fs::path FsPath(const TPath& path) {
  return fs::path(AsUtf8(path.Bytes()));
}

TPath FromFsPath(const fs::path& path) {
  return TPath(FromUtf8(path.u8string()));
}

TempFolder::TempFolder() {
  static std::atomic<int> serial{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path base = fs::temp_directory_path();
  for (;;) {
    const std::string name =
        kScratchFolderPrefix + std::to_string(stamp) + "_" + std::to_string(serial++);
    fs::path candidate = base / fs::path(AsUtf8(name));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = FromFsPath(candidate);
      return;
    }
    if (error) throw fs::filesystem_error("cannot create a scratch folder", candidate, error);
  }
}

TempFolder::~TempFolder() {
  std::error_code error;
  const fs::path folder = FsPath(path_);
  // Read-only files must become writable again before Windows lets them go.
  for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, error);
  }
  fs::remove_all(folder, error);
}

TPath TempFolder::File(const std::string& name) const {
  return path_.Join(name);
}

std::vector<std::string> TempFolder::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(FsPath(path_))) {
    names.push_back(FromUtf8(entry.path().filename().u8string()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool PathExists(const TPath& path) {
  std::error_code ignored;
  return fs::exists(FsPath(path), ignored);
}

std::string ReadBytes(const TPath& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path.Bytes();
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const TPath& path, const std::string& bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path.Bytes();
}

void SetReadOnly(const TPath& path, bool read_only) {
  // On Windows this is the read-only attribute; on POSIX all write bits go.
  fs::perms write_bits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(FsPath(path), read_only ? write_bits : fs::perms::owner_write,
                  read_only ? fs::perm_options::remove : fs::perm_options::add);
}

void MakeFolder(const TPath& path) {
  fs::create_directory(FsPath(path));
}

// The one place of the suites where the platforms differ: what a user marks on a file is the
// hidden attribute on Windows and the permission bits on POSIX.
#ifdef _WIN32
void MarkPrivate(const TPath& path) {
  ASSERT_TRUE(SetFileAttributesW(WidePath(path).c_str(), FILE_ATTRIBUTE_HIDDEN)) << path.Bytes();
}

std::string PrivateMarkOf(const TPath& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return "missing";
  return (attributes & FILE_ATTRIBUTE_HIDDEN) != 0 ? "hidden" : "not hidden";
}
#else
void MarkPrivate(const TPath& path) {
  ASSERT_EQ(chmod(path.Bytes().c_str(), 0600), 0) << path.Bytes();
}

std::string PrivateMarkOf(const TPath& path) {
  struct stat st;
  if (stat(path.Bytes().c_str(), &st) != 0) return "missing";
  char text[16];
  std::snprintf(text, sizeof text, "mode %03o", static_cast<unsigned>(st.st_mode & 0777));
  return text;
}
#endif

}  // namespace testing
}  // namespace vxt
