// The settings store: cutting raw bytes into lines, finding values by name, and the file's load
// and atomic save, including every way the save can fail without losing the old file.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "failures/Exceptions.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "support/FaultyFileApi.h"
#include "support/TestFiles.h"

namespace vxt {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
using Lines = std::vector<std::string>;

using namespace std::string_literals;

struct SplitCase {
  std::string data;
  Lines lines;
};

TEST(SplitSettingsLines, CutsAtEveryKindOfLineBreak) {
  const SplitCase cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
      {"a\n\rb", {"a", "", "b"}},  // LF CR: a break, then an empty line
      {"a\r\r\nb", {"a", "", "b"}},
      {"a\r\n\r\n", {"a", ""}},
      {"\r\n", {""}},
      {"\n\n\n", {"", "", ""}},
      {"\r", {""}},
      {"  x = y  \r\n", {"  x = y  "}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(SplitSettingsLines(c.data), c.lines) << "data: " << ::testing::PrintToString(c.data);
  }
}

TEST(SplitSettingsLines, NulEndsTheData) {
  EXPECT_EQ(SplitSettingsLines("a=1\r\nb\0=2\r\nc=3"s), (Lines{"a=1", "b"}));
  EXPECT_EQ(SplitSettingsLines("\0a=1"s), Lines{});
  EXPECT_EQ(SplitSettingsLines("a\r\0b"s), Lines{"a"});
  EXPECT_EQ(SplitSettingsLines("a\n\0\nb"s), Lines{"a"});
}

TEST(SplitSettingsLines, KeepsEveryOtherByteUnconverted) {
  std::string bytes = "\xEF\xBB\xBFKUPAC_ID=\xE8\x9A\xFF\x01\t";
  EXPECT_EQ(SplitSettingsLines(bytes), Lines{bytes});
}

struct EntryCase {
  std::string line;
  std::string name;
  std::string value;
  bool named;
};

// As the settings list shows the store's lines: name column, value column.
TEST(SplitSettingsEntry, CutsAtTheFirstEqualsSign) {
  const EntryCase cases[] = {
      {"KUPAC_ID=2", "KUPAC_ID", "2", true},
      {"VXTSERVER=a=b=", "VXTSERVER", "a=b=", true},
      {"KUPAC_PIN=", "KUPAC_PIN", "", true},
      {"=x", "", "x", true},
      {"=", "", "", true},
      {" name = value ", " name ", " value ", true},
      {"[Main]", "[Main]", "", false},  // no "=": shown whole, with no name to look up
      {"", "", "", false},
  };
  for (const EntryCase& c : cases) {
    const TSettingsEntry entry = SplitSettingsEntry(c.line);
    EXPECT_EQ(entry.name, c.name) << c.line;
    EXPECT_EQ(entry.value, c.value) << c.line;
    EXPECT_EQ(entry.named, c.named) << c.line;
  }
}

TValueList ListOf(const Lines& lines) {
  TValueList list;
  for (const std::string& line : lines) {
    size_t equals = line.find('=');
    list.AppendEntry(line.substr(0, equals), line.substr(equals + 1));
  }
  return list;
}

TEST(TValueList, AppendEntryJoinsNameAndValueInOrder) {
  TValueList list;
  list.AppendEntry("KUPAC_ID", "2");
  list.AppendEntry("KUPAC_PIN", "");
  list.AppendEntry("VXTSERVER", "a=b");
  EXPECT_EQ(list.Lines(), (Lines{"KUPAC_ID=2", "KUPAC_PIN=", "VXTSERVER=a=b"}));
  list.Clear();
  EXPECT_TRUE(list.Lines().empty());
  EXPECT_EQ(list.Value("KUPAC_ID"), "");
}

TEST(TValueList, ValueMatchesNamesIgnoringAsciiLetterCaseOnly) {
  TValueList list = ListOf({"kupac_id=5", " KUPAC_PIN=6", "KUPAC_PIN =7", "VXTSERVERX=8",
                            "VXTSERVE=9", "\xC8=upper", "A@[=odd"});
  EXPECT_EQ(list.Value("KUPAC_ID"), "5");
  EXPECT_EQ(list.Value("Kupac_Id"), "5");
  EXPECT_EQ(list.Value("KUPAC_PIN"), "");  // blanks belong to the names
  EXPECT_EQ(list.Value(" KUPAC_PIN"), "6");
  EXPECT_EQ(list.Value("VXTSERVER"), "");  // neither a longer nor a shorter name matches
  // Only A..Z fold; a byte of the ANSI code page never equals another one.
  EXPECT_EQ(list.Value("\xE8"), "");
  EXPECT_EQ(list.Value("\xC8"), "upper");
  // Signs next to the letters' codes are no letters: folding by bit 0x20 would match them.
  EXPECT_EQ(list.Value("a@["), "odd");
  EXPECT_EQ(list.Value("a`{"), "");
}

TEST(TValueList, FirstLineFromTheTopWinsAndValuesKeepEverything) {
  TValueList list =
      ListOf({"KUPAC_ID=upper", "kupac_id=lower", "VXTSERVER=host=x=", "KUPAC_PIN=  1 "});
  EXPECT_EQ(list.Value("KUPAC_ID"), "upper");
  EXPECT_EQ(list.Value("VXTSERVER"), "host=x=");
  EXPECT_EQ(list.Value("KUPAC_PIN"), "  1 ");
}

class SettingsFileTest : public ::testing::Test {
 protected:
  TPath Path() const { return folder_.File("VXTVannikorde.ini"); }
  TValueList Loaded(const std::string& bytes) {
    WriteBytes(Path(), bytes);
    TValueList list;
    list.LoadFromFile(Path());
    return list;
  }
  TValueList ThreeEntries() const {
    TValueList list;
    list.AppendEntry("KUPAC_ID", "2");
    list.AppendEntry("KUPAC_PIN", "");
    list.AppendEntry("VXTSERVER", "");
    return list;
  }

  TempFolder folder_;
};

TEST_F(SettingsFileTest, LoadReplacesTheLinesByTheFilesAndKeepsLinesWithoutName) {
  TValueList list = Loaded("[Section]\r\n; comment\nKUPAC_ID\rkupac_id=7\r\n\r\nOTHER=1");
  EXPECT_EQ(list.Lines(),
            (Lines{"[Section]", "; comment", "KUPAC_ID", "kupac_id=7", "", "OTHER=1"}));
  // "KUPAC_ID" without "=" has no name: the value comes from the line after it.
  EXPECT_EQ(list.Value("KUPAC_ID"), "7");

  WriteBytes(Path(), "");
  list.LoadFromFile(Path());
  EXPECT_TRUE(list.Lines().empty());
}

TEST_F(SettingsFileTest, LoadStopsAtNulAndKeepsAByteOrderMarkInTheFirstName) {
  TValueList list = Loaded("KUPAC_ID=3\r\n\0KUPAC_PIN=4\r\nVXTSERVER=h\r\n"s);
  EXPECT_EQ(list.Value("KUPAC_ID"), "3");
  EXPECT_EQ(list.Value("KUPAC_PIN"), "");
  EXPECT_EQ(list.Value("VXTSERVER"), "");

  list = Loaded("\xEF\xBB\xBFKUPAC_ID=3\r\nKUPAC_PIN=4\r\n");
  EXPECT_EQ(list.Value("KUPAC_ID"), "");
  EXPECT_EQ(list.Value("KUPAC_PIN"), "4");
}

TEST_F(SettingsFileTest, LoadReadsALargeFileWhole) {
  std::string big;
  for (int i = 0; i < 5000; ++i) {
    // Appended piece by piece: "N" + std::string trips a false -Wrestrict of GCC 12.
    big += 'N';
    big += std::to_string(i);
    big += '=';
    big += std::to_string(i * 7);
    big += '\n';
  }
  TValueList list = Loaded(big);
  ASSERT_EQ(list.Lines().size(), 5000u);
  EXPECT_EQ(list.Value("n4999"), std::to_string(4999 * 7));
}

TEST_F(SettingsFileTest, SaveWritesEachLineWithCrLfAndNothingElse) {
  ThreeEntries().SaveToFile(Path());
  EXPECT_EQ(ReadBytes(Path()), "KUPAC_ID=2\r\nKUPAC_PIN=\r\nVXTSERVER=\r\n");
  EXPECT_EQ(ReadBytes(Path()).size(), 36u);
  EXPECT_EQ(folder_.Entries(), Lines{"VXTVannikorde.ini"});
}

TEST_F(SettingsFileTest, SaveReplacesAnOldFileAndRoundTripsRawValues) {
  WriteBytes(Path(), "[old]\r\n; a much longer comment than what follows it\r\nKUPAC_ID=1\r\n");
  TValueList list;
  list.AppendEntry("KUPAC_ID", " 12 ");
  list.AppendEntry("KUPAC_PIN", "\xE8\x9A");
  list.AppendEntry("VXTSERVER", "host=with=equals");
  list.SaveToFile(Path());
  EXPECT_EQ(ReadBytes(Path()),
            "KUPAC_ID= 12 \r\nKUPAC_PIN=\xE8\x9A\r\nVXTSERVER=host=with=equals\r\n");

  TValueList back;
  back.LoadFromFile(Path());
  EXPECT_EQ(back.Lines(), list.Lines());
  EXPECT_EQ(back.Value("VXTSERVER"), "host=with=equals");
  EXPECT_EQ(back.Value("KUPAC_ID"), " 12 ");
}

TEST_F(SettingsFileTest, SaveOfAnEmptyStoreLeavesAnEmptyFile) {
  WriteBytes(Path(), "KUPAC_ID=1\r\n");
  TValueList().SaveToFile(Path());
  EXPECT_EQ(ReadBytes(Path()), "");
}

// What the user or an administrator set on the settings file (kept private, since it holds the
// PIN) stays set after a save, which puts a new file in its place.
TEST_F(SettingsFileTest, SaveKeepsWhatWasSetOnTheFile) {
  WriteBytes(Path(), "KUPAC_ID=old\r\n");
  testing::MarkPrivate(Path());
  const std::string marked = testing::PrivateMarkOf(Path());
  ThreeEntries().SaveToFile(Path());
  EXPECT_EQ(ReadBytes(Path()), "KUPAC_ID=2\r\nKUPAC_PIN=\r\nVXTSERVER=\r\n");
  EXPECT_EQ(testing::PrivateMarkOf(Path()), marked);
  EXPECT_EQ(folder_.Entries(), Lines{"VXTVannikorde.ini"});
}

// Another copy of the program, saving at the same moment, has just taken the name that this
// save picks for its temporary file: the save takes another name and leaves that file alone.
TEST_F(SettingsFileTest, SaveLeavesAFileAtItsTemporaryNameAlone) {
  const std::string theirs = "another save's content, still being written";
  TPath taken;
  FaultyFileApi files;
  files.before_call = [&](FaultyFileApi::TOperation operation, const TPath& path) {
    bool creates =
        operation == FaultyFileApi::kCreateNew || operation == FaultyFileApi::kCreateExclusive;
    if (!creates || !taken.Empty() || path == Path()) return;
    taken = path;
    WriteBytes(path, theirs);
  };
  {
    ScopedFileApi use(files);
    ThreeEntries().SaveToFile(Path());
  }
  ASSERT_FALSE(taken.Empty()) << "the save created no temporary file";
  EXPECT_EQ(ReadBytes(Path()), "KUPAC_ID=2\r\nKUPAC_PIN=\r\nVXTSERVER=\r\n");
  EXPECT_EQ(ReadBytes(taken), theirs);
  EXPECT_EQ(folder_.Entries().size(), 2u);
}

// A save cut short (the power gone) after the old file was set aside and before the new one
// took its place leaves no settings file, only the old lines under the save's own name. They
// are still the settings: they load, and the next save puts the file back and removes the rest.
// A set-aside file of a copy that still runs is its own save's, and is not taken.
TEST_F(SettingsFileTest, ASaveCutShortBeforeTheNewFileWasInPlaceLosesNoSettings) {
  const std::string old_lines = "KUPAC_ID=77\r\nKUPAC_PIN=4321\r\nVXTSERVER=reports\r\n";
  const std::string running =
      Path().Bytes() + "." + std::to_string(CurrentProcessId()) + "-1.bak";
  WriteBytes(TPath(running), "KUPAC_ID=1\r\n");
  TValueList list;
  EXPECT_FALSE(list.LoadSaved(Path()));

  const std::string ended = Path().Bytes() + ".4000000000-3.bak";
  WriteBytes(TPath(ended), old_lines);
  WriteBytes(TPath(Path().Bytes() + ".4000000000-3.tmp"), "KUPAC_ID=9");
  ASSERT_TRUE(list.LoadSaved(Path()));
  EXPECT_EQ(list.Value("KUPAC_PIN"), "4321");
  list.SaveToFile(Path());
  EXPECT_EQ(ReadBytes(Path()), old_lines);
  EXPECT_EQ(folder_.Entries().size(), 2u);  // the settings file and the running copy's
}

// Two copies of the program close at once and save different fields: the second save runs
// whole between two steps of the first. Neither fails, the file is always one whole version
// and the last save's in the end, and no temporary file is left.
TEST_F(SettingsFileTest, TwoSavesRacingLeaveOneWholeFile) {
  const std::string old_bytes = "KUPAC_ID=old\r\n";
  const std::string first_bytes = "KUPAC_ID=1\r\nKUPAC_PIN=11\r\nVXTSERVER=first.example\r\n";
  const std::string second_bytes = "KUPAC_ID=2\r\nKUPAC_PIN=22\r\nVXTSERVER=second\r\n";
  TValueList first = ListOf({"KUPAC_ID=1", "KUPAC_PIN=11", "VXTSERVER=first.example"});
  TValueList second = ListOf({"KUPAC_ID=2", "KUPAC_PIN=22", "VXTSERVER=second"});
  auto whole = [&](const std::string& bytes) {
    return bytes == old_bytes || bytes == first_bytes || bytes == second_bytes;
  };
  // The second save comes before the first save's call number `step`: before it creates its
  // file, writes, closes and puts the file in place.
  for (int step = 0; step < 4; ++step) {
    SCOPED_TRACE("second save before call " + std::to_string(step) + " of the first");
    WriteBytes(Path(), old_bytes);
    int call = 0;
    bool second_ran = false;
    FaultyFileApi files;
    files.before_call = [&](FaultyFileApi::TOperation, const TPath&) {
      EXPECT_TRUE(whole(ReadBytes(Path()))) << ::testing::PrintToString(ReadBytes(Path()));
      if (second_ran || call++ != step) return;
      second_ran = true;
      EXPECT_NO_THROW(second.SaveToFile(Path()));
      EXPECT_EQ(ReadBytes(Path()), second_bytes);
    };
    {
      ScopedFileApi use(files);
      EXPECT_NO_THROW(first.SaveToFile(Path()));
    }
    EXPECT_TRUE(second_ran);
    EXPECT_EQ(ReadBytes(Path()), first_bytes);
    EXPECT_EQ(folder_.Entries(), Lines{"VXTVannikorde.ini"});
  }
}

struct NoNewFileCase {
  const char* what;
  bool file_exists;
  bool read_only;
  bool saved;
};

// A folder where new files cannot be made (nor renamed or deleted), but whose settings file
// may be writable: then the save writes the file in place.
TEST_F(SettingsFileTest, AFolderThatTakesNoNewFileIsSavedIntoInPlace) {
  const std::string old_bytes = "KUPAC_ID=old\r\nKUPAC_PIN=9\r\nVXTSERVER=old.example\r\n";
  const NoNewFileCase cases[] = {
      {"writable settings file", true, false, true},
      {"read-only settings file", true, true, false},
      {"no settings file", false, false, false},
  };
  for (const NoNewFileCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    const TPath path = folder.File("VXTVannikorde.ini");
    if (c.file_exists) WriteBytes(path, old_bytes);
    if (c.read_only) testing::SetReadOnly(path, true);
    FaultyFileApi files;
    files.RefuseNewEntries(5);
    std::string message;
    {
      ScopedFileApi use(files);
      try {
        ThreeEntries().SaveToFile(path);
      } catch (const EFCreateError& failure) {
        message = failure.Message();
      }
    }
    if (c.saved) {
      EXPECT_EQ(message, "");
      EXPECT_EQ(ReadBytes(path), "KUPAC_ID=2\r\nKUPAC_PIN=\r\nVXTSERVER=\r\n");
    } else {
      EXPECT_EQ(message, "Cannot create file \"" + DisplayText(FullPathName(path)) + "\". " +
                             SystemErrorText(5));
      if (c.file_exists) {
        EXPECT_EQ(ReadBytes(path), old_bytes);
      }
    }
    EXPECT_EQ(folder.Entries(), c.file_exists ? Lines{"VXTVannikorde.ini"} : Lines{});
    if (c.read_only) testing::SetReadOnly(path, false);
  }
}

// Runs a save that must fail, and checks that it names the settings file, keeps the old file
// byte for byte and leaves no temporary file.
class FailedSaveTest : public SettingsFileTest {
 protected:
  static constexpr char kOld[] = "KUPAC_ID=old\r\nKUPAC_PIN=9\r\nVXTSERVER=old.example\r\n";

  void SetUp() override { WriteBytes(Path(), kOld); }

  template <typename Failure>
  std::string SaveFails() {
    return SaveFails<Failure>(ThreeEntries());
  }

  template <typename Failure>
  std::string SaveFails(const TValueList& list) {
    try {
      list.SaveToFile(Path());
    } catch (const Failure& failure) {
      return failure.Message();
    } catch (const Exception& other) {
      ADD_FAILURE() << "raised " << other.ClassName() << ": " << other.Message();
      return {};
    }
    ADD_FAILURE() << "the save did not fail";
    return {};
  }

  void ExpectOldFileKept() {
    EXPECT_EQ(ReadBytes(Path()), kOld);
    EXPECT_EQ(folder_.Entries(), Lines{"VXTVannikorde.ini"});
  }

  std::string CreateMessage(uint32_t code) const {
    return "Cannot create file \"" + DisplayText(FullPathName(Path())) + "\". " +
           SystemErrorText(code);
  }
};

struct FailedSaveRow {
  const char* what;
  std::function<void(FaultyFileApi&)> arm;
  uint32_t create_code;  // the EFCreateError's code; 0: "Stream write error"
  // Every deletion is refused: the temporary file stays, but emptied of the PIN.
  bool temporary_stays_empty = false;
};

// Two failures in one save (each failure alone is the window suite's torture loop): whatever
// fails once the temporary file exists, that file goes, since it holds the PIN, also when a
// program that still holds it (a virus scanner or an indexer looking at the new file) refuses
// the first deletion; and a folder that takes no new file and a settings file that cannot be
// created either give the settings file's own failure.
TEST_F(FailedSaveTest, ASecondFailureStillKeepsTheOldFileAndLeavesNoPinBehind) {
  using F = FaultyFileApi;
  const FailedSaveRow rows[] = {
      {"neither the temporary file nor the settings file created",
       [](F& f) {
         f.Fail(F::kCreateNew, 5);
         f.Fail(F::kCreateExclusive, 5);
       },
       5},
      {"a failed replace, the first deletion refused",
       [](F& f) {
         f.Fail(F::kReplace, 32);
         f.Fail(F::kDeleteFile, 32, 0, 1);
       },
       32},
      {"disk full, the first deletion refused",
       [](F& f) {
         f.FailWriteAfter(10, 112);
         f.Fail(F::kDeleteFile, 5, 0, 1);
       },
       0},
      {"a failed close, the first deletion refused",
       [](F& f) {
         f.Fail(F::kClose, 112, 0, 1);
         f.Fail(F::kDeleteFile, 32, 0, 1);
       },
       0},
      {"a failed replace, every deletion refused",
       [](F& f) {
         f.Fail(F::kReplace, 32);
         f.Fail(F::kDeleteFile, 32);
       },
       32, true},
  };
  const TValueList with_pin = ListOf({"KUPAC_ID=2", "KUPAC_PIN=4321", "VXTSERVER=srv"});
  for (const FailedSaveRow& row : rows) {
    SCOPED_TRACE(row.what);
    WriteBytes(Path(), kOld);
    FaultyFileApi files;
    row.arm(files);
    {
      ScopedFileApi use(files);
      if (row.create_code == 0) {
        EXPECT_EQ(SaveFails<EWriteError>(with_pin), "Stream write error");
        EXPECT_EQ(files.Calls(FaultyFileApi::kReplace), 0);
      } else {
        EXPECT_EQ(SaveFails<EFCreateError>(with_pin), CreateMessage(row.create_code));
      }
    }
    EXPECT_EQ(ReadBytes(Path()), kOld);
    if (!row.temporary_stays_empty) {
      EXPECT_EQ(folder_.Entries(), Lines{"VXTVannikorde.ini"});
      continue;
    }
    for (const std::string& name : folder_.Entries()) {
      if (name == "VXTVannikorde.ini") continue;
      EXPECT_EQ(ReadBytes(folder_.File(name)), "") << name;
      PlatformFileApi().DeleteFile(folder_.File(name));
    }
  }
}

TEST_F(FailedSaveTest, AReadOnlySettingsFileIsLoadedButNotReplaced) {
  testing::SetReadOnly(Path(), true);
  TValueList list;
  list.LoadFromFile(Path());
  EXPECT_EQ(list.Value("VXTSERVER"), "old.example");

  std::string message = SaveFails<EFCreateError>();
  EXPECT_EQ(message, CreateMessage(5));
  EXPECT_NE(SystemErrorText(5), "");
  ExpectOldFileKept();

  // Once writable again the next save goes through.
  testing::SetReadOnly(Path(), false);
  ThreeEntries().SaveToFile(Path());
  EXPECT_EQ(ReadBytes(Path()).size(), 36u);
}

TEST_F(SettingsFileTest, AFolderOfTheSettingsNameCannotBeSavedOver) {
  testing::MakeFolder(Path());
  EXPECT_THROW(ThreeEntries().SaveToFile(Path()), EFCreateError);
  EXPECT_EQ(folder_.Entries(), Lines{"VXTVannikorde.ini"});
  EXPECT_FALSE(PlatformFileApi().FileExists(Path()));
}

TEST_F(SettingsFileTest, AMissingFolderCannotBeSavedInto) {
  TPath path = folder_.File("missing").Join("VXTVannikorde.ini");
  try {
    ThreeEntries().SaveToFile(path);
    ADD_FAILURE() << "the save did not fail";
  } catch (const EFCreateError& failure) {
    EXPECT_EQ(failure.Message(), "Cannot create file \"" + DisplayText(FullPathName(path)) +
                                     "\". " + SystemErrorText(3));
  }
  EXPECT_TRUE(folder_.Entries().empty());
}

TEST_F(SettingsFileTest, AFileHeldForWritingCannotBeLoaded) {
  WriteBytes(Path(), "KUPAC_ID=1\r\n");
  TValueList list;
  list.AppendEntry("KEPT", "yes");
  FileApi& files = PlatformFileApi();
  TFileHandle holder = kInvalidFile;
  ASSERT_EQ(files.CreateExclusive(Path(), holder), 0u);
  try {
    list.LoadFromFile(Path());
    ADD_FAILURE() << "the load did not fail";
  } catch (const EFOpenError& failure) {
    EXPECT_EQ(failure.Message(), "Cannot open file \"" + DisplayText(FullPathName(Path())) +
                                     "\". " + SystemErrorText(32));
  }
  files.Close(holder);
  EXPECT_EQ(list.Lines(), Lines{"KEPT=yes"});
}

}  // namespace
}  // namespace vxt
