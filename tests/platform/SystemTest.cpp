#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>

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

struct HeldFormCase {
  const char* what;
  std::u16string units;
  std::string bytes;
};

// Windows names files in UTF-16 units, which need not pair up: every name it can hold must come
// back to it unchanged, or a file in such a folder would be looked for somewhere else.
TEST(PathTest, Utf16AndTheHeldFormAreEachOthersExactInverse) {
  const HeldFormCase cases[] = {
      {"ASCII", u"C:\\VXT\\response.pdf", "C:\\VXT\\response.pdf"},
      {"letters outside code page 1252", u"\u0110or\u0111e Ivi\u0107", "\u0110or\u0111e Ivi\u0107"},
      {"three-byte letters", u"\u0416\u20AC\uFFFF", "\xD0\x96\xE2\x82\xAC\xEF\xBF\xBF"},
      {"a surrogate pair", u"\xD83D\xDE00.pdf", "\xF0\x9F\x98\x80.pdf"},
      {"a lone high surrogate", u"a\xD800z", "a\xED\xA0\x80z"},
      {"a lone high surrogate at the end", u"a\xDBFF", "a\xED\xAF\xBF"},
      {"a lone low surrogate", u"\xDC00", "\xED\xB0\x80"},
      {"a low surrogate before a high one", u"\xDC00\xD800", "\xED\xB0\x80\xED\xA0\x80"},
      {"nothing", u"", ""},
  };
  for (const HeldFormCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(PathFromUtf16(c.units).Bytes(), c.bytes);
    EXPECT_EQ(Utf16Of(TPath(c.bytes)), c.units);
  }
}

TEST(PathTest, BytesOfNoHeldFormBecomeReplacementCharactersOneByOne) {
  EXPECT_EQ(Utf16Of(TPath("a\xFFz")), u"a\xFFFDz");
  EXPECT_EQ(Utf16Of(TPath("a\x80")), u"a\xFFFD");          // a stray continuation byte
  EXPECT_EQ(Utf16Of(TPath("\xC4")), u"\xFFFD");            // cut short by the end
  EXPECT_EQ(Utf16Of(TPath("\xC4z")), u"\xFFFDz");          // cut short by another character
  EXPECT_EQ(Utf16Of(TPath("\xC0\x80")), u"\xFFFD\xFFFD");  // an overlong NUL
  EXPECT_EQ(Utf16Of(TPath("\xF4\x90\x80\x80")), u"\xFFFD\xFFFD\xFFFD\xFFFD");  // past U+10FFFF
}

TEST(PathTest, JoinPutsThePlatformSeparatorBetweenFolderAndName) {
  EXPECT_EQ(TPath("\xC4\x90").Join("response.pdf").Bytes(),
            std::string("\xC4\x90") + PathSeparator() + "response.pdf");
  EXPECT_EQ(TPath().Join("x").Bytes(), std::string(PathSeparator()) + "x");
  // A message shows an ASCII path as it is on every platform.
  EXPECT_EQ(DisplayText(TPath("C:\\VXT\\response.pdf")), "C:\\VXT\\response.pdf");
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
  const TPath exe = ExecutablePath();
  ASSERT_FALSE(exe.Empty());
  EXPECT_EQ(ProgramStem(exe.Bytes()), "test_platform");
  EXPECT_EQ(FullPathName(exe), exe);
  EXPECT_TRUE(testing::FsPath(exe).is_absolute()) << exe.Bytes();
  EXPECT_TRUE(PlatformFileApi().FileExists(exe));
}

class WorkingDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override { original_ = std::filesystem::current_path(); }
  void TearDown() override { std::filesystem::current_path(original_); }
  std::filesystem::path original_;
};

TEST_F(WorkingDirectoryTest, ProgramFolderDoesNotFollowTheWorkingDirectory) {
  const TPath folder = ProgramFolder();
  const TPath exe = ExecutablePath();
  EXPECT_EQ(folder, ProgramFolderOf(exe));
  EXPECT_EQ(PathBesideExecutable(exe, "VXTVannikorde.ini"), folder.Join("VXTVannikorde.ini"));

  TempFolder elsewhere;
  std::filesystem::current_path(testing::FsPath(elsewhere.Path()));
  EXPECT_EQ(FullPathName(TPath("response.pdf")), elsewhere.File("response.pdf"));
  EXPECT_EQ(ExecutablePath(), exe);
  EXPECT_EQ(ProgramFolder(), folder);
  EXPECT_NE(ProgramFolder(), FullPathName(TPath(".")));
  std::filesystem::current_path(original_);
}

TEST_F(WorkingDirectoryTest, FullPathNameResolvesDotsAgainstTheWorkingDirectory) {
  TempFolder folder;
  const std::string sep = PathSeparator();
  const std::string root = folder.Path().Bytes();
  auto full = [](const std::string& path) { return FullPathName(TPath(path)); };
  testing::MakeFolder(folder.File("a"));
  std::filesystem::current_path(testing::FsPath(folder.Path()));

  EXPECT_EQ(full("x.txt"), folder.File("x.txt"));
  EXPECT_EQ(full("a" + sep + "." + sep + "b" + sep + ".." + sep + "c.txt"),
            folder.File("a" + sep + "c.txt"));
  EXPECT_EQ(full(".." + sep + "x.txt"), full(root + sep + ".." + sep + "x.txt"));
  EXPECT_EQ(full(folder.File("a").Bytes() + sep + ".." + sep + "y.txt"), folder.File("y.txt"));
  // A doubled separator, as a program in a drive's root gives, reads as one.
  EXPECT_EQ(full(root + sep + sep + "y.txt"), folder.File("y.txt"));
  // ".." never climbs above the root.
  EXPECT_EQ(full(sep + ".." + sep + ".." + sep + "y.txt"), full(sep + "y.txt"));
  // Names that do not exist are resolved all the same.
  EXPECT_EQ(full("missing" + sep + ".." + sep + "z"), folder.File("z"));
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

// Trailing controls, spaces and full stops go; everything before the last other character
// stays as it is.
TEST(TrimSystemTextTest, CutsOnlyTheTrailingControlsSpacesAndFullStops) {
  const std::pair<std::string, std::string> cases[] = {
      {"Access is denied.\r\n", "Access is denied"},
      {"The process cannot access the file. . \t\r\n\x01\x7F",
       "The process cannot access the file"},
      {"abc...", "abc"},
      {" \r\n.. ", ""},
      {"", ""},
      {std::string("a\0", 2), "a"},
      {"  lead. inner.text", "  lead. inner.text"},
      {"x\r\ny", "x\r\ny"},
      // Bytes above 0x7F are characters of the code page, not controls.
      {"Gre\xE9ka.\xA0", "Gre\xE9ka.\xA0"},
      {"\x80.", "\x80"},
      {"done!.", "done!"},
  };
  for (const auto& [text, trimmed] : cases) EXPECT_EQ(TrimSystemText(text), trimmed) << text;
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
