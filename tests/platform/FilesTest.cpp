#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TestFiles.h"
#include "platform/Files.h"
#include "platform/System.h"

namespace vxt {
namespace {

using testing::SetReadOnly;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kPathNotFound = 3;
constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kSharingViolation = 32;

// Closes the handle at the end of the scope.
class OpenFile {
 public:
  OpenFile() = default;
  ~OpenFile() { Close(); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  TFileHandle& handle() { return handle_; }
  void Close() {
    if (handle_ != kInvalidFile) PlatformFileApi().Close(handle_);
    handle_ = kInvalidFile;
  }

 private:
  TFileHandle handle_ = kInvalidFile;
};

class FilesTest : public ::testing::Test {
 protected:
  FileApi& files_ = PlatformFileApi();
  TempFolder folder_;

  // Where a replacement may set the old file aside.
  TPath Aside() const { return folder_.File("VXTVannikorde.bak"); }

  void WriteThrough(TFileHandle handle, const std::string& bytes) {
    size_t written = 0;
    ASSERT_EQ(files_.Write(handle, bytes.data(), bytes.size(), written), 0u);
    ASSERT_EQ(written, bytes.size());
  }
  // Creates the file, held without sharing by file, with the bytes in it.
  void CreateHolding(const TPath& path, OpenFile& file, const std::string& bytes) {
    ASSERT_EQ(files_.CreateExclusive(path, file.handle()), 0u);
    WriteThrough(file.handle(), bytes);
  }

  std::string ReadThrough(TFileHandle handle, size_t length) {
    std::string bytes(length, '\0');
    size_t read = 0;
    EXPECT_EQ(files_.Read(handle, bytes.data(), length, read), 0u);
    bytes.resize(read);
    return bytes;
  }
};

TEST_F(FilesTest, FileExistsOnlyForFilesNotForFoldersOrMissingNames) {
  TPath file = folder_.File("present.ini");
  WriteBytes(file, "x");
  std::filesystem::create_directory(testing::FsPath(folder_.File("folder.ini")));

  EXPECT_TRUE(files_.FileExists(file));
  EXPECT_FALSE(files_.FileExists(folder_.File("folder.ini")));
  EXPECT_FALSE(files_.FileExists(folder_.File("missing.ini")));
  EXPECT_FALSE(files_.FileExists(folder_.File("missing").Join("x.ini")));
  EXPECT_FALSE(files_.FileExists(TPath()));
  // Attributes alone: a file that another holds without sharing still exists.
  OpenFile held;
  ASSERT_EQ(files_.CreateExclusive(file, held.handle()), 0u);
  EXPECT_TRUE(files_.FileExists(file));
}

TEST_F(FilesTest, CreateExclusiveMakesANewFileOrEmptiesAnExistingOne) {
  TPath fresh = folder_.File("fresh.pdf");
  {
    OpenFile file;
    ASSERT_EQ(files_.CreateExclusive(fresh, file.handle()), 0u);
    EXPECT_NE(file.handle(), kInvalidFile);
    EXPECT_EQ(files_.Size(file.handle()), 0);
    WriteThrough(file.handle(), "reply");
    // Opened for reading too: the same handle reads back what it wrote.
    ASSERT_EQ(files_.Seek(file.handle(), 0), 0u);
    EXPECT_EQ(ReadThrough(file.handle(), 100), "reply");
  }
  EXPECT_EQ(ReadBytes(fresh), "reply");

  OpenFile again;
  ASSERT_EQ(files_.CreateExclusive(fresh, again.handle()), 0u);
  EXPECT_EQ(files_.Size(again.handle()), 0);
  again.Close();
  EXPECT_EQ(ReadBytes(fresh), "");
}

TEST_F(FilesTest, AFileHeldWithoutSharingCannotBeCreatedOverAndKeepsItsContent) {
  TPath path = folder_.File("response.pdf");
  OpenFile holder;
  CreateHolding(path, holder, "still here");

  TFileHandle second = 12345;
  EXPECT_EQ(files_.CreateExclusive(path, second), kSharingViolation);
  EXPECT_EQ(second, kInvalidFile);
  EXPECT_EQ(files_.LastError(), kSharingViolation);
  TFileHandle reader = 12345;
  EXPECT_EQ(files_.OpenShareRead(path, reader), kSharingViolation);
  EXPECT_EQ(reader, kInvalidFile);
  EXPECT_EQ(files_.Size(holder.handle()), 10);

  holder.Close();
  EXPECT_EQ(ReadBytes(path), "still here");
  OpenFile after;
  EXPECT_EQ(files_.CreateExclusive(path, after.handle()), 0u);
}

TEST_F(FilesTest, ShareReadOpensCoexistButKeepWritersOut) {
  TPath path = folder_.File("VXTVannikorde.ini");
  WriteBytes(path, "KUPAC_ID=2\r\n");
  OpenFile first;
  OpenFile second;
  ASSERT_EQ(files_.OpenShareRead(path, first.handle()), 0u);
  ASSERT_EQ(files_.OpenShareRead(path, second.handle()), 0u);
  EXPECT_EQ(ReadThrough(first.handle(), 5), "KUPAC");
  EXPECT_EQ(ReadThrough(second.handle(), 100), "KUPAC_ID=2\r\n");
  EXPECT_EQ(ReadThrough(first.handle(), 100), "_ID=2\r\n");
  EXPECT_EQ(ReadThrough(first.handle(), 100), "") << "the end of the file is no failure";
  EXPECT_EQ(files_.Size(first.handle()), 12);

  TFileHandle writer = kInvalidFile;
  EXPECT_EQ(files_.CreateExclusive(path, writer), kSharingViolation);
  // A share-read handle cannot change the file.
  size_t written = 99;
  EXPECT_EQ(files_.Write(first.handle(), "x", 1, written), kAccessDenied);
  EXPECT_EQ(written, 0u);
  first.Close();
  second.Close();
  EXPECT_EQ(ReadBytes(path), "KUPAC_ID=2\r\n");
}

TEST_F(FilesTest, MissingFilesAndFoldersAreTold) {
  TFileHandle handle = 12345;
  EXPECT_EQ(files_.OpenShareRead(folder_.File("missing.ini"), handle), kFileNotFound);
  EXPECT_EQ(handle, kInvalidFile);
  EXPECT_EQ(files_.LastError(), kFileNotFound);
  TPath in_missing_folder = folder_.File("missing").Join("x.ini");
  EXPECT_EQ(files_.OpenShareRead(in_missing_folder, handle), kPathNotFound);
  EXPECT_EQ(files_.CreateExclusive(in_missing_folder, handle), kPathNotFound);
  EXPECT_EQ(handle, kInvalidFile);
  EXPECT_FALSE(std::filesystem::exists(testing::FsPath(folder_.File("missing"))));
}

TEST_F(FilesTest, AFolderIsNoFileToOpenOrCreate) {
  TPath path = folder_.File("response.pdf");
  std::filesystem::create_directory(testing::FsPath(path));
  TFileHandle handle = kInvalidFile;
  EXPECT_EQ(files_.OpenShareRead(path, handle), kAccessDenied);
  EXPECT_EQ(files_.CreateExclusive(path, handle), kAccessDenied);
  EXPECT_EQ(handle, kInvalidFile);
  bool deleted = files_.DeleteFile(path);
  EXPECT_FALSE(deleted);
  EXPECT_TRUE(std::filesystem::is_directory(testing::FsPath(path)));
}

TEST_F(FilesTest, AReadOnlyFileIsReadButNeitherCreatedOverNorReplaced) {
  TPath path = folder_.File("VXTVannikorde.ini");
  TPath next = folder_.File("VXTVannikorde.new");
  WriteBytes(path, "old");
  WriteBytes(next, "new");
  SetReadOnly(path, true);

  OpenFile reader;
  ASSERT_EQ(files_.OpenShareRead(path, reader.handle()), 0u);
  EXPECT_EQ(ReadThrough(reader.handle(), 10), "old");
  reader.Close();

  OpenFile writer;
  EXPECT_EQ(files_.CreateExclusive(path, writer.handle()), kAccessDenied);
  writer.Close();
  EXPECT_EQ(files_.Replace(next, path, Aside()), kAccessDenied);
  bool deleted = files_.DeleteFile(path);
  uint32_t delete_error = files_.LastError();
  EXPECT_FALSE(deleted);
  EXPECT_EQ(delete_error, kAccessDenied);
  EXPECT_EQ(ReadBytes(path), "old");
  EXPECT_EQ(ReadBytes(next), "new");
}

TEST_F(FilesTest, ReplacePutsTheNewFileInPlaceOfTheOld) {
  TPath path = folder_.File("VXTVannikorde.ini");
  TPath next = folder_.File("VXTVannikorde.new");
  WriteBytes(path, "KUPAC_ID=1\r\n");
  WriteBytes(next, "KUPAC_ID=2\r\n");
  EXPECT_EQ(files_.Replace(next, path, Aside()), 0u);
  EXPECT_EQ(ReadBytes(path), "KUPAC_ID=2\r\n");
  EXPECT_FALSE(std::filesystem::exists(testing::FsPath(next)));
  // The old file is gone, or set aside under the caller's name and nowhere else.
  if (std::filesystem::exists(testing::FsPath(Aside()))) {
    EXPECT_EQ(ReadBytes(Aside()), "KUPAC_ID=1\r\n");
    std::filesystem::remove(testing::FsPath(Aside()));
  }
  EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"VXTVannikorde.ini"});

  // Also when nothing stands at the target yet.
  TPath other = folder_.File("other.ini");
  EXPECT_EQ(files_.Replace(path, other, Aside()), 0u);
  EXPECT_EQ(ReadBytes(other), "KUPAC_ID=2\r\n");
  EXPECT_FALSE(std::filesystem::exists(testing::FsPath(path)));

  EXPECT_EQ(files_.Replace(folder_.File("gone.new"), other, Aside()), kFileNotFound);
  EXPECT_EQ(ReadBytes(other), "KUPAC_ID=2\r\n");
}

TEST_F(FilesTest, ReplaceLeavesBothFilesAloneWhileEitherIsHeld) {
  TPath path = folder_.File("VXTVannikorde.ini");
  TPath next = folder_.File("VXTVannikorde.new");
  WriteBytes(path, "old");
  WriteBytes(next, "new");
  {
    OpenFile reader;
    ASSERT_EQ(files_.OpenShareRead(path, reader.handle()), 0u);
    // Which code the system gives for a held target depends on how it replaces (a sharing
    // violation from ReplaceFileW under Wine); that it refuses is what counts.
    EXPECT_NE(files_.Replace(next, path, Aside()), 0u);
  }
  {
    OpenFile reader;
    ASSERT_EQ(files_.OpenShareRead(next, reader.handle()), 0u);
    EXPECT_EQ(files_.Replace(next, path, Aside()), kSharingViolation);
  }
  EXPECT_EQ(ReadBytes(path), "old");
  EXPECT_EQ(ReadBytes(next), "new");
  EXPECT_EQ(files_.Replace(next, path, Aside()), 0u);
  EXPECT_EQ(ReadBytes(path), "new");
}

TEST_F(FilesTest, DeleteRemovesAFileButNotOneThatIsHeld) {
  TPath path = folder_.File("response.pdf");
  WriteBytes(path, "old");
  EXPECT_TRUE(files_.DeleteFile(path));
  EXPECT_FALSE(std::filesystem::exists(testing::FsPath(path)));

  bool deleted = files_.DeleteFile(path);
  uint32_t error = files_.LastError();
  EXPECT_FALSE(deleted);
  EXPECT_EQ(error, kFileNotFound);

  // A viewer that keeps the last report open keeps it from being deleted.
  WriteBytes(path, "shown");
  OpenFile viewer;
  ASSERT_EQ(files_.OpenShareRead(path, viewer.handle()), 0u);
  deleted = files_.DeleteFile(path);
  error = files_.LastError();
  EXPECT_FALSE(deleted);
  EXPECT_EQ(error, kSharingViolation);
  TFileHandle handle = kInvalidFile;
  EXPECT_EQ(files_.CreateExclusive(path, handle), kSharingViolation);
  viewer.Close();
  EXPECT_EQ(ReadBytes(path), "shown");
}

TEST_F(FilesTest, SeekAndTruncateCutTheFileAtThePosition) {
  TPath path = folder_.File("cut.bin");
  OpenFile file;
  CreateHolding(path, file, "0123456789");
  ASSERT_EQ(files_.Seek(file.handle(), 4), 0u);
  EXPECT_EQ(ReadThrough(file.handle(), 2), "45");
  ASSERT_EQ(files_.Truncate(file.handle()), 0u);
  EXPECT_EQ(files_.Size(file.handle()), 6);
  WriteThrough(file.handle(), "ab");
  EXPECT_EQ(files_.Size(file.handle()), 8);
  EXPECT_NE(files_.Seek(file.handle(), -1), 0u);
  file.Close();
  EXPECT_EQ(ReadBytes(path), "012345ab");
}

}  // namespace
}  // namespace vxt
