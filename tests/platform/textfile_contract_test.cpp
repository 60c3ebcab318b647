// What the registry snapshot needs of a text file, checked on the sim and on the real one.
#include <gtest/gtest.h>

#include <memory>

#include "platform/files.h"
#include "platform/textfile.h"
#include "tests/platform/contract_platform.h"

using namespace ov::platform;

namespace {

constexpr std::uint32_t kWrite = 0x40000000u;
constexpr std::uint32_t kShareRead = 1, kShareWrite = 2;

class TextFileContract : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir = contract::FreshDirectory(std::wstring(name.begin(), name.end()));
  }
  // Creates the file and writes the text; the creation's code.
  ErrorCode Create(const std::wstring& path, const std::string& text) {
    std::unique_ptr<TextFile> file;
    const ErrorCode rc = contract::TextFiles().CreatePlainTextFile(path, &file);
    if (rc != kSuccess) {
      EXPECT_EQ(file, nullptr);
      return rc;
    }
    EXPECT_EQ(file->Write(text), kSuccess);
    return rc;
  }
  FileSystem& fs = contract::Files();
  std::wstring dir;
};

TEST_F(TextFileContract, LineFeedsLandAsCrLfInAFileOthersMayReadMeanwhile) {
  const std::wstring path = dir + L"\\OvReg.log";
  contract::WriteBytes(path, 5000);
  std::unique_ptr<TextFile> file;
  ASSERT_EQ(contract::TextFiles().CreatePlainTextFile(path, &file), kSuccess);
  EXPECT_EQ(file->Write("\n[key]\n"), kSuccess);
  EXPECT_EQ(file->Write("a\r\nb"), kSuccess);  // the runtime's text mode adds a CR regardless
  EXPECT_EQ(file->Write(""), kSuccess);
  EXPECT_EQ(contract::ReadBytes(path), "\r\n[key]\r\na\r\r\nb");
  file.reset();
  EXPECT_EQ(contract::ReadBytes(path), "\r\n[key]\r\na\r\r\nb");
}

TEST_F(TextFileContract, WhatCannotBeCreatedIsReportedAndLeftAlone) {
  EXPECT_EQ(Create(dir + L"\\missing\\OvReg.log", "x"), kErrorPathNotFound);
  const std::wstring directory = dir + L"\\OvReg.log";
  ASSERT_EQ(fs.MakeDirectory(directory), kSuccess);
  contract::WriteBytes(directory + L"\\inside.txt", 4);
  EXPECT_EQ(Create(directory, "x"), kErrorAccessDenied);
  EXPECT_EQ(contract::ReadBytes(directory + L"\\inside.txt"), "zzzz");
  const std::wstring busy = dir + L"\\Busy.log";
  contract::WriteBytes(busy, 4);
  const int held = contract::HoldOpen(busy, kWrite, kShareRead);  // a writer that lets others read only
  EXPECT_EQ(Create(busy, "x"), kErrorSharingViolation);
  contract::Release(held);
  EXPECT_EQ(contract::ReadBytes(busy), "zzzz");
}

TEST_F(TextFileContract, AHardLinkedFileGetsANewFileAndTheOtherNameKeepsItsData) {
  const std::wstring other = dir + L"\\elsewhere.dat";
  const std::wstring path = dir + L"\\OvReg.log";
  contract::WriteBytes(other, 8);
  ASSERT_TRUE(contract::MakeHardLink(other, path));
  ASSERT_EQ(Create(path, "snap\n"), kSuccess);
  EXPECT_EQ(contract::ReadBytes(other), "zzzzzzzz");
  EXPECT_EQ(contract::ReadBytes(path), "snap\r\n");
  FileSystem::EntryInfo info;
  ASSERT_EQ(fs.QueryEntry(path, &info), kSuccess);
  EXPECT_EQ(info.hardLinks, 1u);
}

TEST_F(TextFileContract, ALinkIsReplacedAndItsTargetLeftUntouched) {
  const std::wstring target = dir + L"\\target.dat";
  const std::wstring targetDir = dir + L"\\targetdir";
  contract::WriteBytes(target, 8);
  ASSERT_EQ(fs.MakeDirectory(targetDir), kSuccess);
  contract::WriteBytes(targetDir + L"\\inside.txt", 4);
  for (const bool toDirectory : {false, true}) {
    SCOPED_TRACE(toDirectory ? "link to a directory (junction)" : "link to a file");
    const std::wstring path = dir + (toDirectory ? L"\\OvDir.log" : L"\\OvReg.log");
    // Wine 8 cannot make Windows links (CreateSymbolicLinkW succeeds without effect).
    if (!contract::MakeSymlink(toDirectory ? targetDir : target, path)) GTEST_SKIP() << "no symbolic links here";
    ASSERT_EQ(Create(path, "snap\n"), kSuccess);
    FileSystem::EntryInfo info;
    ASSERT_EQ(fs.QueryEntry(path, &info), kSuccess);
    EXPECT_FALSE(info.reparsePoint);
    EXPECT_FALSE(info.directory);
    EXPECT_EQ(contract::ReadBytes(path), "snap\r\n");
    EXPECT_EQ(contract::ReadBytes(target), "zzzzzzzz");
    EXPECT_EQ(contract::ReadBytes(targetDir + L"\\inside.txt"), "zzzz");
    EXPECT_EQ(Create(path, "again"), kSuccess);  // now a plain file, simply emptied
    EXPECT_EQ(contract::ReadBytes(path), "again");
  }
}

}  // namespace
