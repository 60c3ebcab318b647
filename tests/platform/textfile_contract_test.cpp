// What the registry snapshot needs of a text file, checked on the sim and on the real one.
#include <gtest/gtest.h>

#include <memory>

#include "platform/files.h"
#include "platform/textfile.h"
#include "tests/platform/contract_platform.h"

using namespace ov::platform;

namespace {

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
    if (rc == kSuccess) {
      EXPECT_EQ(file->Write(text), kSuccess);
    }
    return rc;
  }
  std::wstring dir;
};

TEST_F(TextFileContract, LineFeedsLandAsCrLfInAFileOthersMayReadMeanwhile) {
  const std::wstring path = dir + L"\\OvReg.log";
  contract::WriteBytes(path, 5000);
  std::unique_ptr<TextFile> file;
  ASSERT_EQ(contract::TextFiles().CreatePlainTextFile(path, &file), kSuccess);
  EXPECT_EQ(file->Write("\n[key]\n"), kSuccess);
  EXPECT_EQ(file->Write("a\r\nb"), kSuccess);  // the runtime's text mode adds a CR regardless
  EXPECT_EQ(contract::ReadBytes(path), "\r\n[key]\r\na\r\r\nb");
}

TEST_F(TextFileContract, WhatCannotBeCreatedIsReportedAndLeftAlone) {
  EXPECT_EQ(Create(dir + L"\\missing\\OvReg.log", "x"), kErrorPathNotFound);
  ASSERT_EQ(contract::Files().MakeDirectory(dir + L"\\OvDir.log"), kSuccess);
  EXPECT_EQ(Create(dir + L"\\OvDir.log", "x"), kErrorAccessDenied);
  const std::wstring busy = dir + L"\\Busy.log";
  contract::WriteBytes(busy, 4);
  const int held = contract::HoldOpen(busy, 0x40000000u, 1);  // a writer that lets others read only
  EXPECT_EQ(Create(busy, "x"), kErrorSharingViolation);
  contract::Release(held);
  EXPECT_EQ(contract::ReadBytes(busy), "zzzz");
}

}  // namespace
