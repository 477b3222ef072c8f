// Files for the suites that touch the disk: a scratch folder per test and raw file access that
// bypasses the product's file layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vxt::testing {

// A fresh, empty folder below the system's temporary folder, removed with its content.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  // The folder, the platform's separator and name.
  std::string File(const std::string& name) const;
  // The names of the folder's entries, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
};

bool PathExists(const std::string& path);
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
void SetReadOnly(const std::string& path, bool read_only);
void MakeFolder(const std::string& path);

}  // namespace vxt::testing
