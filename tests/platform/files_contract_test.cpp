// What the product needs of a file system and of text files, checked on the sim and on the
// real one alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "platform/fileio.h"
#include "platform/files.h"
#include "platform/textfile.h"
#include "tests/platform/contract_platform.h"

using namespace ov::platform;

namespace {

constexpr std::uint32_t kRead = 0x80000000u, kWrite = 0x40000000u;

class FilesContract : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir = contract::FreshDirectory(std::wstring(name.begin(), name.end()));
  }
  FileSystem& fs = *contract::Os().files;
  TextFiles& textFiles = *contract::Os().textFiles;
  FileIo& io = *contract::Os().fileIo;
  std::wstring dir;
};

TEST_F(FilesContract, DirectoriesAndWorkingDirectory) {
  std::wstring before;
  ASSERT_EQ(fs.GetWorkingDirectory(&before), kSuccess);
  EXPECT_EQ(fs.MakeDirectory(dir + L"\\x\\y"), kErrorPathNotFound);
  EXPECT_EQ(fs.MakeDirectory(dir + L"\\x"), kSuccess);
  EXPECT_EQ(fs.MakeDirectory(dir + L"\\x"), kErrorAlreadyExists);
  EXPECT_EQ(fs.SetWorkingDirectory(dir + L"\\missing"), kErrorFileNotFound);
  ASSERT_EQ(fs.SetWorkingDirectory(dir + L"\\x"), kSuccess);
  EXPECT_EQ(fs.MakeDirectory(L"rel"), kSuccess);  // relative to the working directory
  EXPECT_EQ(fs.SetWorkingDirectory(dir + L"\\x\\rel"), kSuccess);
  ASSERT_EQ(fs.SetWorkingDirectory(before), kSuccess);
}

// A component may hold its log open meanwhile: the size is read with full sharing, truncation
// works beside its writer, and a delete reports the holder that shares no deletion.
TEST_F(FilesContract, RemoveSizeAndTruncateBesideOtherHolders) {
  const std::wstring file = dir + L"\\held.log";
  EXPECT_EQ(fs.RemoveFile(file), kErrorFileNotFound);
  EXPECT_EQ(fs.RemoveFile(dir + L"\\nodir\\none.log"), kErrorPathNotFound);
  EXPECT_NE(fs.QueryFileSize(file).openError, kSuccess);
  contract::WriteBytes(file, 1234);
  int token = contract::HoldOpen(file, kWrite, kShareRead | kShareWrite);
  const auto q = fs.QueryFileSize(file);
  EXPECT_TRUE(q.openError == kSuccess && q.sizeKnown && q.size == 1234);
  EXPECT_EQ(fs.RemoveFile(file), kErrorSharingViolation);
  EXPECT_EQ(fs.TruncateFileShared(file), kSuccess);
  contract::Release(token);
  EXPECT_EQ(fs.QueryFileSize(file).size, 0);
  EXPECT_EQ(fs.RemoveFile(file), kSuccess);
  EXPECT_EQ(fs.TruncateFileShared(file), kSuccess);  // creates a missing one
  EXPECT_EQ(fs.QueryFileSize(file).openError, kSuccess);
}

// What the registry snapshot needs: line feeds land as CR LF in a file others may read
// meanwhile, and what cannot be created is reported and left alone.
TEST_F(FilesContract, TextFilesWriteCrLfAndLeaveWhatTheyCannotCreate) {
  const std::wstring path = dir + L"\\OvReg.log", busy = dir + L"\\Busy.log";
  contract::WriteBytes(path, 5000);
  std::unique_ptr<TextFile> file;
  ASSERT_EQ(textFiles.CreatePlainTextFile(path, &file), kSuccess);
  EXPECT_EQ(file->Write("\n[key]\n"), kSuccess);
  EXPECT_EQ(file->Write("a\r\nb"), kSuccess);  // the runtime's text mode adds a CR regardless
  EXPECT_EQ(contract::ReadBytes(path), "\r\n[key]\r\na\r\r\nb");
  EXPECT_EQ(textFiles.CreatePlainTextFile(dir + L"\\missing\\OvReg.log", &file), kErrorPathNotFound);
  ASSERT_EQ(fs.MakeDirectory(dir + L"\\OvDir.log"), kSuccess);
  EXPECT_EQ(textFiles.CreatePlainTextFile(dir + L"\\OvDir.log", &file), kErrorAccessDenied);
  contract::WriteBytes(busy, 4);
  const int held = contract::HoldOpen(busy, kWrite, kShareRead);  // a writer that lets others read only
  EXPECT_EQ(textFiles.CreatePlainTextFile(busy, &file), kErrorSharingViolation);
  contract::Release(held);
  EXPECT_EQ(contract::ReadBytes(busy), "zzzz");
}

// Each elevated operation on a plain file in the trace folder, and on the same name pointed
// elsewhere in three ways: a link in place of a folder above it, a link as the file itself,
// a second hard link to another file. Only the plain file is acted on.
TEST_F(FilesContract, CheckedOperationsActOnlyWhereTheyMean) {
  enum Op { Remove, Truncate, CreateText, Read, MakeDir };
  const char* cases[] = {"plain file", "redirected folder", "final link", "hard link"};
  for (Op op : {Remove, Truncate, CreateText, Read, MakeDir}) {
    for (int c = 0; c < 4; ++c) {
      SCOPED_TRACE(std::string(cases[c]) + ", operation " + std::to_string(op));
      const std::wstring d = contract::FreshDirectory(L"checked" + std::to_wstring(op) + std::to_wstring(c));
      const std::wstring elsewhere = d + L"\\elsewhere", secret = elsewhere + L"\\Ov.log";
      ASSERT_EQ(fs.MakeDirectory(elsewhere), kSuccess);
      ASSERT_EQ(fs.MakeDirectory(d + L"\\trace"), kSuccess);
      contract::WriteBytes(secret, 8);
      // The plain file's path is spelled with a detour, which the final path does not have.
      const std::wstring folder = d + (c == 1 ? L"\\redirected" : L"\\trace"),
                         path = folder + (c == 0 ? L"\\..\\trace\\Ov.log" : L"\\Ov.log");
      const bool made = c == 0 ? (contract::WriteBytes(path, 8), true)
                        : c == 1 ? contract::MakeSymlink(elsewhere, folder)
                        : c == 2 ? contract::MakeSymlink(secret, path)
                                 : contract::MakeHardLink(secret, path);
      if (!made || (op == MakeDir && c > 1)) continue;
      const ErrorCode expected = c == 0 ? kSuccess : kErrorAccessDenied;
      std::string after = "zzzzzzzz";  // what the plain file holds afterwards
      if (op == Remove) {
        EXPECT_EQ(fs.RemoveFile(path), expected);
        after = "<missing>";
      } else if (op == Truncate) {
        EXPECT_EQ(fs.TruncateFileShared(path), expected);
        after = "";
      } else if (op == CreateText) {
        std::unique_ptr<TextFile> file;
        EXPECT_EQ(textFiles.CreatePlainTextFile(path, &file), expected);
        EXPECT_EQ(file != nullptr, c == 0);
        file.reset();
        after = "";
      } else if (op == Read) {
        // A component writing the file meanwhile does not stop the read.
        const int writer = contract::HoldOpen(path, kWrite, kShareRead | kShareWrite);
        FileHandle h = kNoFile;
        char bytes[16];
        std::uint32_t got = 0;
        EXPECT_EQ(io.OpenCheckedForReading(path, &h), expected);
        if (h != kNoFile) {
          EXPECT_EQ(io.Read(h, bytes, sizeof bytes, &got), kSuccess);
          EXPECT_EQ(io.Close(h), kSuccess);
        }
        contract::Release(writer);
        EXPECT_EQ(got, c == 0 ? 8u : 0u);
      } else {
        EXPECT_EQ(fs.MakeDirectory(folder + L"\\New"), expected);
        FileSystem::EntryInfo info;
        EXPECT_EQ(fs.QueryEntry(elsewhere + L"\\New", &info), kErrorFileNotFound);
      }
      EXPECT_EQ(contract::ReadBytes(c == 0 ? path : secret), c == 0 ? after : "zzzzzzzz");
      // A file that the operation made in the wrong place is taken back.
      if (c == 1 && (op == Truncate || op == CreateText)) {
        std::unique_ptr<TextFile> file;
        EXPECT_EQ(op == Truncate ? fs.TruncateFileShared(folder + L"\\New.log")
                                 : textFiles.CreatePlainTextFile(folder + L"\\New.log", &file),
                  kErrorAccessDenied);
        EXPECT_EQ(contract::ReadBytes(elsewhere + L"\\New.log"), "<missing>");
      }
    }
  }
  FileHandle h = kNoFile;
  EXPECT_EQ(io.OpenCheckedForReading(dir, &h), kErrorAccessDenied);  // a directory
  EXPECT_EQ(io.OpenCheckedForReading(dir + L"\\none.log", &h), kErrorFileNotFound);
  EXPECT_EQ(h, kNoFile);
}

// A folder of the path swapped for a link between the check and the act: the act still
// reaches only the object that was checked, because it goes through the checked handle.
TEST_F(FilesContract, CheckedOperationsActThroughTheCheckedHandle) {
  for (const bool remove : {true, false}) {
    const std::wstring trace = dir + (remove ? L"\\remove" : L"\\truncate"), elsewhere = trace + L"-elsewhere";
    ASSERT_EQ(fs.MakeDirectory(trace) + fs.MakeDirectory(elsewhere), kSuccess);
    contract::WriteBytes(trace + L"\\Ov.log", 8);
    contract::WriteBytes(elsewhere + L"\\Ov.log", 8);
    if (!contract::SwapFolderAfterNextCheck(trace, elsewhere)) return;  // the real system cannot be raced here
    EXPECT_EQ(remove ? fs.RemoveFile(trace + L"\\Ov.log") : fs.TruncateFileShared(trace + L"\\Ov.log"), kSuccess);
    EXPECT_EQ(contract::ReadBytes(trace + L"-moved\\Ov.log"), remove ? "<missing>" : "");
    EXPECT_EQ(contract::ReadBytes(elsewhere + L"\\Ov.log"), "zzzzzzzz");
  }
}

// A finished file takes the place of an older one in one step; what cannot be replaced stays.
TEST_F(FilesContract, MoveReplacesFilesButNotFoldersOrOpenFiles) {
  const std::wstring older = dir + L"\\older.zip", fresh = dir + L"\\fresh.tmp";
  contract::WriteBytes(older, 10);
  contract::WriteBytes(fresh, 20);
  ASSERT_EQ(fs.MakeDirectory(dir + L"\\folder"), kSuccess);
  EXPECT_EQ(fs.MoveReplacing(fresh, dir + L"\\folder"), kErrorAccessDenied);
  EXPECT_EQ(fs.MoveReplacing(fresh, dir + L"\\none\\x.zip"), kErrorPathNotFound);
  int token = contract::HoldOpen(older, kRead, kShareRead | kShareWrite | 4);
  EXPECT_EQ(fs.MoveReplacing(fresh, older), kErrorAccessDenied);
  contract::Release(token);
  token = contract::HoldOpen(fresh, kRead, kShareRead | kShareWrite);  // sharing no deletion
  EXPECT_EQ(fs.MoveReplacing(fresh, older), kErrorSharingViolation);
  contract::Release(token);
  EXPECT_EQ(contract::ReadBytes(older), std::string(10, 'z'));
  EXPECT_EQ(fs.MoveReplacing(fresh, older), kSuccess);
  EXPECT_EQ(contract::ReadBytes(older) + contract::ReadBytes(fresh), std::string(20, 'z') + "<missing>");
}

TEST_F(FilesContract, FindMatchesWildcardsCaseInsensitively) {
  for (const wchar_t* name : {L"OvA.log", L"ovb.LOG", L"MessageClient.log", L"Ov.txt"}) {
    contract::WriteBytes(dir + L"\\" + name, 1);
  }
  ASSERT_EQ(fs.MakeDirectory(dir + L"\\Ov1.log"), kSuccess);
  std::vector<FileSystem::EntryInfo> found;
  ASSERT_EQ(fs.FindFiles(dir + L"\\Ov*.log", &found), kSuccess);
  std::vector<std::wstring> names;
  int directories = 0;
  for (const auto& e : found) {
    names.push_back(e.name);
    directories += e.directory ? 1 : 0;
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Ov1.log", L"OvA.log", L"ovb.LOG"}));
  EXPECT_EQ(directories, 1);
  EXPECT_EQ(fs.FindFiles(dir + L"\\Zz*.log", &found), kErrorFileNotFound);
}

}  // namespace
