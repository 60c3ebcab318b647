// The registry snapshot: line formats, the walk, and the four roots.
#include <gtest/gtest.h>

#include "logcollect/registry_snapshot.h"
#include "model/ov_client_tracing.h"
#include "tests/support/sim_machine.h"

using namespace ov::platform;
using ov::platform::sim::RegOp;

namespace {

std::vector<std::uint8_t> DwordBytes(std::uint32_t v) {
  return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

class SnapshotTest : public ::testing::Test, public ov::test::SimMachine {
 protected:
  // One DumpRegistryKey call into a fresh snapshot file; the file's bytes.
  std::string Dump(const std::wstring& keyPath, bool recurse) {
    PutFile(L"C:\\Logs\\OvReg.log", "");
    std::unique_ptr<TextFile> file;
    EXPECT_EQ(textFiles.CreatePlainTextFile(L"C:\\Logs\\OvReg.log", &file), kSuccess);
    ov::logcollect::DumpRegistryKey(registry, *file, keyPath, recurse);
    file.reset();
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
    return ReadFile(L"C:\\Logs\\OvReg.log");
  }
};

TEST_F(SnapshotTest, EachValueTypeIsWrittenOrSkipped) {
  std::vector<std::uint8_t> longList;
  std::string longText;
  for (int i = 100; i < 140; ++i) {  // 800 bytes, far over 256
    const auto bytes = ToRegistryText(L"driver" + std::to_wstring(i));
    longList.insert(longList.end(), bytes.begin(), bytes.end());
    longText += "driver" + std::to_string(i) + "|";
  }
  longList.insert(longList.end(), {0, 0});
  const struct {
    std::wstring name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    std::string line;  // empty: skipped
  } cases[] = {
      {L"A", kRegSz, ToRegistryText(L"x"), "\"A\"=\"x\"\r\n"},
      {L"B", kRegDword, DwordBytes(16), "\"B\"=dword:16\r\n"},
      {L"D", kRegDword, DwordBytes(4294967295u), "\"D\"=dword:-1\r\n"},
      {L"M", kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}, "\"M\"=msz:\"a|b||\"\r\n"},
      {L"Dependent Files", kRegMultiSz, longList, "\"Dependent Files\"=msz:\"" + longText + "|\"\r\n"},
      {L"say \"hi\"", kRegSz, ToRegistryText(L"C:\\a \"b\""), "\"say \"hi\"\"=\"C:\\a \"b\"\"\r\n"},
      {L"Caf\u00E9", kRegSz, ToRegistryText(L"\u20AC \U0001D11E"), "\"Caf\xC3\xA9\"=\"\xE2\x82\xAC \xF0\x9D\x84\x9E\"\r\n"},
      {L"", kRegSz, ToRegistryText(L"default"), ""},
      {L"", kRegDword, DwordBytes(1), ""},
      {L"E", kRegExpandSz, ToRegistryText(L"%SystemRoot%"), ""},
      {L"B", kRegBinary, {1, 2, 3}, ""},
      {L"Q", kRegQword, DwordBytes(1), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    registry.RemoveKeyTree(L"SOFTWARE\\Case");
    registry.PutValue(L"SOFTWARE\\Case", c.name, c.type, c.data);
    EXPECT_EQ(Dump(L"SOFTWARE\\Case", false), "\r\n[SOFTWARE\\Case]\r\n" + c.line);
  }
}

TEST_F(SnapshotTest, UnreadableSubKeysAreSkippedBetweenTheirSiblings) {
  registry.PutString(L"SOFTWARE\\Tree\\Alpha\\Deep", L"V", L"deep");
  registry.PutString(L"SOFTWARE\\Tree\\Beta\\Inner", L"V", L"hidden");
  registry.PutString(L"SOFTWARE\\Tree\\Delta\\Inner", L"V", L"hidden");
  registry.PutDword(L"SOFTWARE\\Tree\\Gamma", L"V", 3);
  registry.RefuseOpen(L"SOFTWARE\\Tree\\Beta", kErrorAccessDenied);
  // A key deleted while it is walked answers every index with the same error.
  registry.SetFailureHook([](RegOp op, const std::wstring& path, const std::wstring&) {
    const bool walked = op == RegOp::EnumValue || op == RegOp::EnumKey;
    return walked && path == L"SOFTWARE\\Tree\\Delta" ? kErrorKeyDeleted : kSuccess;
  });
  EXPECT_EQ(Dump(L"SOFTWARE\\Tree", true),
            "\r\n[SOFTWARE\\Tree]\r\n\r\n[SOFTWARE\\Tree\\Alpha]\r\n\r\n[SOFTWARE\\Tree\\Alpha\\Deep]\r\n"
            "\"V\"=\"deep\"\r\n\r\n[SOFTWARE\\Tree\\Delta]\r\n\r\n[SOFTWARE\\Tree\\Gamma]\r\n\"V\"=dword:3\r\n");
}

TEST_F(SnapshotTest, FourRootsInOrderAndTheWindowsVersionWithoutSubKeys) {
  registry.PutString(L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P1", L"Name", L"P1");
  registry.PutString(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"ProductName", L"Windows");
  registry.PutString(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", L"Arial", L"arial.ttf");
  registry.PutString(L"SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", L"ComputerName", L"PC1");
  PutFile(L"C:\\Logs\\OvReg.log", "an older, longer snapshot");
  OvClientTracingList list(platform);
  EXPECT_TRUE(ov::logcollect::WriteRegistrySnapshot(registry, L"C:\\Logs", textFiles));
  const std::string text = ReadFile(L"C:\\Logs\\OvReg.log");
  const auto at = [&text](const std::string& what) { return text.find(what); };
  EXPECT_EQ(at("\r\n[SOFTWARE\\Veltrane]\r\n"), 0u);
  EXPECT_LT(at("[SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing]"), at("[SYSTEM\\CurrentControlSet\\Control\\Print]"));
  EXPECT_LT(at("[SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P1]\r\n\"Name\"=\"P1\"\r\n"),
            at("[SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n\"ProductName\"=\"Windows\"\r\n"));
  EXPECT_EQ(at("CurrentVersion\\Fonts"), std::string::npos);
  EXPECT_LT(at("[SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]"),
            at("[SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\r\n\"ComputerName\"=\"PC1\"\r\n"));
  EXPECT_EQ(at("older"), std::string::npos);
}

}  // namespace
