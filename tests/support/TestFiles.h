// Files for the suites that touch the disk: a scratch folder per test and raw file access that
// bypasses the product's file layer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/Path.h"

namespace vxt {

// How the suites print a path in their messages: its held bytes.
void PrintTo(const TPath& path, std::ostream* out);

namespace testing {

// The name that every scratch folder starts with. Its letters lie outside the ANSI code page
// of Western Windows (1252 has Š and Ž, not Đ, đ or ć), so that every suite that works in a
// scratch folder also shows that no path passes through the code page.
inline constexpr char kScratchFolderPrefix[] = "vxt_test_\u0110or\u0111e Ivi\u0107_";

// A fresh, empty folder below the system's temporary folder, removed with its content.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const TPath& Path() const { return path_; }
  // The folder, the platform's separator and name.
  TPath File(const std::string& name) const;
  // The names of the folder's entries (UTF-8), sorted.
  std::vector<std::string> Entries() const;

 private:
  TPath path_;
};

// The path for the standard library, and back (UTF-8 in the held form on both platforms).
std::filesystem::path FsPath(const TPath& path);
TPath FromFsPath(const std::filesystem::path& path);

bool PathExists(const TPath& path);
std::string ReadBytes(const TPath& path);
void WriteBytes(const TPath& path, const std::string& bytes);
void SetReadOnly(const TPath& path, bool read_only);
void MakeFolder(const TPath& path);

// Marks a file as a user keeps one private: hidden on Windows, readable and writable by its
// owner alone (0600) on POSIX, where the system's own group and others lose access.
void MarkPrivate(const TPath& path);
// What of those marks path carries, as text ("hidden", "mode 600"), for comparing and printing.
std::string PrivateMarkOf(const TPath& path);

}  // namespace testing
}  // namespace vxt
