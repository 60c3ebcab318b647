// What the product needs of a file system, checked on the sim and on the real one alike.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/files.h"
#include "tests/platform/contract_platform.h"

using namespace ov::platform;

namespace {

constexpr std::uint32_t kRead = 0x80000000u, kWrite = 0x40000000u;
constexpr std::uint32_t kShareRead = 1, kShareWrite = 2;

class FilesContract : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir = contract::FreshDirectory(std::wstring(name.begin(), name.end()));
  }
  FileSystem& fs = contract::Files();
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

TEST_F(FilesContract, RemoveReportsWindowsCodes) {
  EXPECT_EQ(fs.RemoveFile(dir + L"\\none.log"), kErrorFileNotFound);
  EXPECT_EQ(fs.RemoveFile(dir + L"\\nodir\\none.log"), kErrorPathNotFound);
  const std::wstring file = dir + L"\\held.log";
  contract::WriteBytes(file, 10);
  const int token = contract::HoldOpen(file, kRead, kShareRead | kShareWrite);
  EXPECT_EQ(fs.RemoveFile(file), kErrorSharingViolation);
  contract::Release(token);
  EXPECT_EQ(fs.RemoveFile(file), kSuccess);
}

TEST_F(FilesContract, SizeIsReadWithFullSharing) {
  const std::wstring file = dir + L"\\size.log";
  EXPECT_NE(fs.QueryFileSize(file).openError, kSuccess);
  contract::WriteBytes(file, 1234);
  const int token = contract::HoldOpen(file, kWrite, kShareRead | kShareWrite);
  const auto q = fs.QueryFileSize(file);
  EXPECT_EQ(q.openError, kSuccess);
  EXPECT_TRUE(q.sizeKnown);
  EXPECT_EQ(q.size, 1234);
  contract::Release(token);
}

TEST_F(FilesContract, TruncateEmptiesSharedFilesAndCreatesMissingOnes) {
  const std::wstring file = dir + L"\\trunc.log";
  contract::WriteBytes(file, 500);
  const int token = contract::HoldOpen(file, kWrite, kShareRead | kShareWrite);
  EXPECT_EQ(fs.TruncateFileShared(file), kSuccess);
  contract::Release(token);
  EXPECT_EQ(fs.QueryFileSize(file).size, 0);
  const std::wstring fresh = dir + L"\\fresh.log";
  EXPECT_EQ(fs.TruncateFileShared(fresh), kSuccess);
  EXPECT_EQ(fs.QueryFileSize(fresh).openError, kSuccess);
}

TEST_F(FilesContract, TruncateRefusesLinks) {
  const std::wstring target = dir + L"\\secret.dat";
  contract::WriteBytes(target, 64);
  if (contract::MakeHardLink(target, dir + L"\\hard.log")) {
    EXPECT_EQ(fs.TruncateFileShared(dir + L"\\hard.log"), kErrorAccessDenied);
  }
  if (contract::MakeSymlink(target, dir + L"\\soft.log")) {
    EXPECT_EQ(fs.TruncateFileShared(dir + L"\\soft.log"), kErrorAccessDenied);
    FileSystem::EntryInfo info;
    ASSERT_EQ(fs.QueryEntry(dir + L"\\soft.log", &info), kSuccess);
    EXPECT_TRUE(info.reparsePoint);
  }
  EXPECT_EQ(fs.QueryFileSize(target).size, 64);
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
