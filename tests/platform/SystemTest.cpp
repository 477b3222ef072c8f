#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <thread>

#include "failures/Exceptions.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "support/TestFiles.h"

namespace vxt {
namespace {

using testing::TempFolder;

// Windows paths end the folder at the last backslash but keep a root; POSIX paths keep the
// root slash.
TEST(ProgramFolderOfTest, TheFolderEndsAtTheStylesLastDelimiterAndKeepsARoot) {
  struct Row {
    const char* path;
    bool windows_style;
    const char* folder;
  };
  for (const Row& row : {
           Row{"C:\\Programs\\VXT\\VXTVannikorde.exe", true, "C:\\Programs\\VXT"},
           Row{"C:\\VXTVannikorde.exe", true, "C:\\"},
           Row{"\\\\server\\share\\x.exe", true, "\\\\server\\share"},
           Row{"C:x.exe", true, "C:"},
           Row{"x.exe", true, ""},
           // A slash is no delimiter in the Windows style's list.
           Row{"C:\\a/b.exe", true, "C:\\"},
           Row{"/opt/vxt/VXTVannikorde", false, "/opt/vxt"},
           Row{"/VXTVannikorde", false, "/"},
           Row{"VXTVannikorde", false, ""},
           // Backslashes and colons are ordinary characters of a POSIX name.
           Row{"/a/C:\\b\\x.exe", false, "/a"},
           Row{"C:\\b\\x.exe", false, ""},
       }) {
    EXPECT_EQ(ProgramFolderOf(row.path, row.windows_style ? kWindowsPathStyle : kPosixPathStyle),
              row.folder)
        << row.path;
  }
}

TEST(PathBesideExecutableTest, CutsAfterTheLastDelimiterOfTheStyle) {
  EXPECT_EQ(
      PathBesideExecutable("C:\\Programs\\VXT\\VXT.exe", "VXTVannikorde.ini", kWindowsPathStyle),
      "C:\\Programs\\VXT\\VXTVannikorde.ini");
  EXPECT_EQ(PathBesideExecutable("C:\\VXT.exe", "s.ini", kWindowsPathStyle), "C:\\s.ini");
  EXPECT_EQ(PathBesideExecutable("C:VXT.exe", "s.ini", kWindowsPathStyle), "C:s.ini");
  EXPECT_EQ(PathBesideExecutable("VXT.exe", "s.ini", kWindowsPathStyle), "s.ini");
  EXPECT_EQ(PathBesideExecutable("/opt/vxt/VXT", "s.ini", kPosixPathStyle), "/opt/vxt/s.ini");
  EXPECT_EQ(PathBesideExecutable("/VXT", "s.ini", kPosixPathStyle), "/s.ini");
  EXPECT_EQ(PathBesideExecutable("C:VXT", "s.ini", kPosixPathStyle), "s.ini");
}

TEST(ProgramFilePathOfTest, JoinsFolderAndNameAndDoublesTheSeparatorInARoot) {
  EXPECT_EQ(ProgramFilePathOf("C:\\VXT\\VXT.exe", "response.pdf", kWindowsPathStyle),
            "C:\\VXT\\response.pdf");
  EXPECT_EQ(ProgramFilePathOf("C:\\VXT.exe", "response.pdf", kWindowsPathStyle),
            "C:\\\\response.pdf");
  EXPECT_EQ(ProgramFilePathOf("/opt/VXT", "response.pdf", kPosixPathStyle), "/opt/response.pdf");
  EXPECT_EQ(ProgramFilePathOf("/VXT", "response.pdf", kPosixPathStyle), "//response.pdf");
}

TEST(PathStyleTest, PlatformStyleSeparatesWithOneOfItsDelimiters) {
  TPathStyle style = PlatformPathStyle();
  EXPECT_STREQ(style.delimiters, PathDelimiters());
  EXPECT_STREQ(style.separator, PathSeparator());
  ASSERT_EQ(std::string(PathSeparator()).size(), 1u);
  EXPECT_NE(std::string(PathDelimiters()).find(PathSeparator()[0]), std::string::npos);
}

// The name of the running test program, without a ".exe" that Windows adds.
std::string ProgramStem(const std::string& exe_path) {
  std::string name = exe_path.substr(exe_path.find_last_of(PathDelimiters()) + 1);
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".exe") == 0) {
    name.resize(name.size() - 4);
  }
  return name;
}

TEST(ExecutablePathTest, IsTheAbsolutePathOfTheRunningProgram) {
  std::string exe = ExecutablePath();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(ProgramStem(exe), "test_platform");
  EXPECT_EQ(FullPathName(exe), exe);
  EXPECT_TRUE(std::filesystem::path(exe).is_absolute()) << exe;
  EXPECT_TRUE(PlatformFileApi().FileExists(exe));
}

class WorkingDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override { original_ = std::filesystem::current_path(); }
  void TearDown() override { std::filesystem::current_path(original_); }
  std::filesystem::path original_;
};

TEST_F(WorkingDirectoryTest, ProgramFolderDoesNotFollowTheWorkingDirectory) {
  std::string folder = ProgramFolder();
  std::string exe = ExecutablePath();
  EXPECT_EQ(folder, ProgramFolderOf(exe));
  EXPECT_EQ(ProgramFilePath("response.pdf"), folder + PathSeparator() + "response.pdf");
  EXPECT_EQ(PathBesideExecutable(exe, "VXTVannikorde.ini"),
            folder + PathSeparator() + "VXTVannikorde.ini");

  TempFolder elsewhere;
  std::filesystem::current_path(elsewhere.Path());
  EXPECT_EQ(FullPathName("response.pdf"), elsewhere.File("response.pdf"));
  EXPECT_EQ(ExecutablePath(), exe);
  EXPECT_EQ(ProgramFolder(), folder);
  EXPECT_NE(ProgramFolder(), FullPathName("."));
  EXPECT_EQ(ProgramFilePath("response.pdf"), folder + PathSeparator() + "response.pdf");
  std::filesystem::current_path(original_);
}

TEST_F(WorkingDirectoryTest, FullPathNameResolvesDotsAgainstTheWorkingDirectory) {
  TempFolder folder;
  const std::string sep = PathSeparator();
  std::filesystem::create_directory(folder.File("a"));
  std::filesystem::current_path(folder.Path());

  EXPECT_EQ(FullPathName("x.txt"), folder.File("x.txt"));
  EXPECT_EQ(FullPathName("a" + sep + "." + sep + "b" + sep + ".." + sep + "c.txt"),
            folder.File("a" + sep + "c.txt"));
  EXPECT_EQ(FullPathName(".." + sep + "x.txt"),
            FullPathName(folder.Path() + sep + ".." + sep + "x.txt"));
  EXPECT_EQ(FullPathName(folder.File("a") + sep + ".." + sep + "y.txt"), folder.File("y.txt"));
  // A doubled separator, as a program in a drive's root gives, reads as one.
  EXPECT_EQ(FullPathName(folder.Path() + sep + sep + "y.txt"), folder.File("y.txt"));
  // ".." never climbs above the root.
  EXPECT_EQ(FullPathName(sep + ".." + sep + ".." + sep + "y.txt"), FullPathName(sep + "y.txt"));
  // Names that do not exist are resolved all the same.
  EXPECT_EQ(FullPathName("missing" + sep + ".." + sep + "z"), folder.File("z"));
  std::filesystem::current_path(original_);
}

void ExpectTrimmedDescription(uint32_t code) {
  std::string text = SystemErrorText(code);
  ASSERT_FALSE(text.empty()) << code;
  char last = text.back();
  EXPECT_TRUE(last != '.' && last != ' ' && static_cast<unsigned char>(last) >= 0x20)
      << code << ": \"" << text << "\"";
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << code;
  std::string raw = RawSystemErrorText(code);
  EXPECT_EQ(raw.compare(0, text.size(), text), 0) << "trimming only cuts the end";
  EXPECT_EQ(text, TrimSystemText(raw)) << code;
}

TEST(SystemErrorTextTest, FileErrorsHaveTrimmedDistinctDescriptions) {
  ExpectTrimmedDescription(2);
  ExpectTrimmedDescription(3);
  ExpectTrimmedDescription(5);
  ExpectTrimmedDescription(32);
  ExpectTrimmedDescription(112);
  EXPECT_NE(SystemErrorText(2), SystemErrorText(3));
  EXPECT_NE(SystemErrorText(5), SystemErrorText(32));
}

TEST(SystemErrorTextTest, ACodeWithoutDescriptionGivesTheEmptyText) {
  // Bit 29 marks application-defined codes, which the system describes nowhere.
  EXPECT_EQ(RawSystemErrorText(0x2000ABCDu), "");
  EXPECT_EQ(SystemErrorText(0x2000ABCDu), "");
}

TEST(TrimSystemTextTest, RemovesTrailingControlsSpacesAndFullStops) {
  EXPECT_EQ(TrimSystemText("Access is denied.\r\n"), "Access is denied");
  EXPECT_EQ(TrimSystemText("The process cannot access the file. . \t\r\n\x01\x7F"),
            "The process cannot access the file");
  EXPECT_EQ(TrimSystemText("abc..."), "abc");
  EXPECT_EQ(TrimSystemText(" \r\n.. "), "");
  EXPECT_EQ(TrimSystemText(""), "");
  EXPECT_EQ(TrimSystemText(std::string("a\0", 2)), "a");
}

TEST(TrimSystemTextTest, KeepsEverythingBeforeTheLastOtherCharacter) {
  EXPECT_EQ(TrimSystemText("  lead. inner.text"), "  lead. inner.text");
  EXPECT_EQ(TrimSystemText("x\r\ny"), "x\r\ny");
  // Bytes above 0x7F are characters of the code page, not controls.
  EXPECT_EQ(TrimSystemText("Gre\xE9ka.\xA0"), "Gre\xE9ka.\xA0");
  EXPECT_EQ(TrimSystemText("\x80."), "\x80");
  EXPECT_EQ(TrimSystemText("done!."), "done!");
}

TEST(IsMainThreadTest, OnlyTheThreadThatStartedTheProcess) {
  EXPECT_TRUE(IsMainThread());
  bool on_other = true;
  std::thread other([&] { on_other = IsMainThread(); });
  other.join();
  EXPECT_FALSE(on_other);
}

TEST(LocalTodayTest, IsTheLocalCalendarDate) {
  // Read the clock on both sides, so that a midnight in between is noticed and not failed.
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::time_t before_time = std::time(nullptr);
    std::tm before = *std::localtime(&before_time);
    TDate today = LocalToday();
    std::time_t after_time = std::time(nullptr);
    std::tm after = *std::localtime(&after_time);
    if (before.tm_mday != after.tm_mday) continue;
    EXPECT_EQ(today.year, before.tm_year + 1900);
    EXPECT_EQ(today.month, before.tm_mon + 1);
    EXPECT_EQ(today.day, before.tm_mday);
    return;
  }
}

}  // namespace
}  // namespace vxt
