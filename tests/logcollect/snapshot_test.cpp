// The registry snapshot: line formats, the walk, the four roots, and the file it lands in.
#include <gtest/gtest.h>

#include <stdexcept>

#include "logcollect/registry_snapshot.h"
#include "model/ov_client_tracing.h"
#include "sim_machine.h"

using namespace ov::platform;
using namespace ov::platform::sim;

namespace {

std::vector<std::uint8_t> Units(const std::wstring& text) {  // UTF-16LE, no terminator added
  auto bytes = ToRegistryText(text);
  bytes.resize(bytes.size() - 2);
  return bytes;
}

std::vector<std::uint8_t> Dword(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

const std::wstring kSnapshot = L"C:\\Logs\\OvReg.log";

class SnapshotTest : public ov::test::SimMachine {
 protected:
  void SetUp() override {
    SimMachine::SetUp();
    MakeDirectories(L"C:\\Logs");
  }
  // One DumpRegistryKey call into a fresh snapshot file; the file's bytes.
  std::string Dump(const std::wstring& keyPath, bool recurse) {
    OvClientTracingList list(platform);
    std::unique_ptr<TextFile> file;
    EXPECT_EQ(textFiles->CreatePlainTextFile(kSnapshot, &file), kSuccess);
    list.DumpRegistryKey(*file, keyPath, recurse);
    file.reset();
    return ReadFile(kSnapshot);
  }
};

TEST_F(SnapshotTest, ExampleKeyGivesExactlyFourCrLfLines) {
  registry.PutString(L"SOFTWARE\\Example", L"A", L"x");
  registry.PutDword(L"SOFTWARE\\Example", L"B", 16);
  EXPECT_EQ(Dump(L"SOFTWARE\\Example", true), "\r\n[SOFTWARE\\Example]\r\n\"A\"=\"x\"\r\n\"B\"=dword:16\r\n");
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

struct ValueCase {
  const char* what;
  std::wstring name;
  std::uint32_t type;
  std::vector<std::uint8_t> data;
  std::string line;  // empty: no line at all
};

TEST_F(SnapshotTest, EachValueTypeIsWrittenOrSkippedAsSupportReadsIt) {
  std::vector<std::uint8_t> longList;
  std::string longText;
  for (int i = 0; i < 40; ++i) {  // 40 strings of 9 characters: 800 bytes, far over 256
    const std::wstring item = L"driver" + std::to_wstring(100 + i);
    auto bytes = ToRegistryText(item);
    longList.insert(longList.end(), bytes.begin(), bytes.end());
    longText += "driver" + std::to_string(100 + i) + "|";
  }
  longList.push_back(0);
  longList.push_back(0);
  longText += "|";
  const std::wstring name511(511, L'n');
  const std::wstring name512(512, L'n');
  const std::vector<ValueCase> cases = {
      {"dword all ones is signed", L"D", kRegDword, Dword(4294967295u), "\"D\"=dword:-1\r\n"},
      {"dword lowest", L"D", kRegDword, Dword(0x80000000u), "\"D\"=dword:-2147483648\r\n"},
      {"dword zero", L"D", kRegDword, Dword(0), "\"D\"=dword:0\r\n"},
      {"multi-string a b", L"M", kRegMultiSz, Units(std::wstring(L"a\0b\0\0", 5)), "\"M\"=msz:\"a|b||\"\r\n"},
      {"multi-string without data", L"M", kRegMultiSz, {}, "\"M\"=msz:\"\"\r\n"},
      {"multi-string only the final zero", L"M", kRegMultiSz, {0, 0}, "\"M\"=msz:\"|\"\r\n"},
      {"multi-string over 256 bytes whole", L"Dependent Files", kRegMultiSz, longList,
       "\"Dependent Files\"=msz:\"" + longText + "\"\r\n"},
      {"string", L"S", kRegSz, ToRegistryText(L"text"), "\"S\"=\"text\"\r\n"},
      {"empty string", L"S", kRegSz, {}, "\"S\"=\"\"\r\n"},
      {"quotes and backslashes verbatim", L"say \"hi\"", kRegSz, ToRegistryText(L"C:\\a \"b\""),
       "\"say \"hi\"\"=\"C:\\a \"b\"\"\r\n"},
      {"line feed inside a text", L"S", kRegSz, ToRegistryText(L"one\ntwo"), "\"S\"=\"one\r\ntwo\"\r\n"},
      {"beyond ASCII as UTF-8", L"Name\u00e9", kRegSz, ToRegistryText(L"\u20ac \U0001F5A8"),
       "\"Name\xc3\xa9\"=\"\xe2\x82\xac \xf0\x9f\x96\xa8\"\r\n"},
      {"name of 511 characters", name511, kRegDword, Dword(1),
       "\"" + std::string(511, 'n') + "\"=dword:1\r\n"},
      {"name of 512 characters", name512, kRegDword, Dword(1), ""},
      {"unnamed string", L"", kRegSz, ToRegistryText(L"default"), ""},
      {"unnamed dword", L"", kRegDword, Dword(1), ""},
      {"expandable string", L"E", kRegExpandSz, ToRegistryText(L"%SystemRoot%"), ""},
      {"binary", L"B", kRegBinary, {1, 2, 3}, ""},
      {"qword", L"Q", kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}, ""},
      {"none", L"N", kRegNone, {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    registry.RemoveKeyTree(L"SOFTWARE\\Case");
    registry.PutValue(L"SOFTWARE\\Case", c.name, c.type, c.data);
    EXPECT_EQ(Dump(L"SOFTWARE\\Case", false), "\r\n[SOFTWARE\\Case]\r\n" + c.line);
    // Read-only: whatever the readers would repair stays as it was.
    const auto* value = registry.FindValue(L"SOFTWARE\\Case", c.name);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, c.type);
    EXPECT_EQ(value->data, c.data);
  }
}

TEST_F(SnapshotTest, WalkIsDepthFirstPreOrderAndSkipsWhatCannotBeOpened) {
  registry.PutDword(L"SOFTWARE\\Tree", L"Top", 1);
  registry.PutString(L"SOFTWARE\\Tree\\Alpha", L"V", L"a");
  registry.PutString(L"SOFTWARE\\Tree\\Alpha\\Deep", L"V", L"deep");
  registry.PutString(L"SOFTWARE\\Tree\\Beta", L"V", L"hidden");
  registry.PutString(L"SOFTWARE\\Tree\\Beta\\Inner", L"V", L"hidden too");
  registry.AddKey(L"SOFTWARE\\Tree\\Gamma");
  registry.RefuseOpen(L"SOFTWARE\\Tree\\Beta", kErrorAccessDenied);
  EXPECT_EQ(Dump(L"SOFTWARE\\Tree", true),
            "\r\n[SOFTWARE\\Tree]\r\n\"Top\"=dword:1\r\n"
            "\r\n[SOFTWARE\\Tree\\Alpha]\r\n\"V\"=\"a\"\r\n"
            "\r\n[SOFTWARE\\Tree\\Alpha\\Deep]\r\n\"V\"=\"deep\"\r\n"
            "\r\n[SOFTWARE\\Tree\\Gamma]\r\n");
  EXPECT_EQ(Dump(L"SOFTWARE\\Tree", false), "\r\n[SOFTWARE\\Tree]\r\n\"Top\"=dword:1\r\n");
  EXPECT_EQ(Dump(L"SOFTWARE\\Missing", true), "");
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(SnapshotTest, EnumerationFailureEndsTheKeyInsteadOfRepeatingForever) {
  // A key deleted by another program while it is walked answers every index with the same
  // error; only "no more items" used to end the loop.
  registry.PutDword(L"SOFTWARE\\Walk\\Gone", L"V", 1);
  registry.PutDword(L"SOFTWARE\\Walk\\Gone\\Child", L"V", 2);
  registry.PutDword(L"SOFTWARE\\Walk\\Kept", L"V", 3);
  registry.SetFailureHook([](RegOp op, const std::wstring& path, const std::wstring&) {
    const bool walked = op == RegOp::EnumValue || op == RegOp::EnumKey;
    return walked && path == L"SOFTWARE\\Walk\\Gone" ? kErrorKeyDeleted : kSuccess;
  });
  EXPECT_EQ(Dump(L"SOFTWARE\\Walk", true),
            "\r\n[SOFTWARE\\Walk]\r\n\r\n[SOFTWARE\\Walk\\Gone]\r\n\r\n[SOFTWARE\\Walk\\Kept]\r\n\"V\"=dword:3\r\n");
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

// The whole snapshot as the command writes it.
class SnapshotFileTest : public SnapshotTest {
 protected:
  void Populate() {
    registry.PutString(L"SOFTWARE\\Veltrane\\Desktop Client", L"DefaultDir", L"C:\\Logs");
    registry.PutString(L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P1", L"Name", L"P1");
    registry.PutString(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"ProductName", L"Windows");
    registry.PutString(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", L"Arial", L"arial.ttf");
    registry.PutString(L"SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", L"ComputerName",
                       L"PC1");
  }
  std::string Write() {
    OvClientTracingList list(platform);
    ov::logcollect::WriteRegistrySnapshot(list, L"C:\\Logs", *textFiles);
    return ReadFile(kSnapshot);
  }
};

TEST_F(SnapshotFileTest, FourRootsInOrderAndTheWindowsVersionWithoutSubKeys) {
  Populate();
  const std::string text = Write();
  const auto at = [&text](const std::string& what) { return text.find(what); };
  ASSERT_EQ(text.rfind("\r\n[SOFTWARE\\Veltrane]\r\n", 0), 0u) << text;
  EXPECT_NE(at("[SOFTWARE\\Veltrane\\Desktop Client]\r\n\"DefaultDir\"=\"C:\\Logs\"\r\n"), std::string::npos);
  EXPECT_NE(at("[SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing]\r\n\"Level\"=dword:0\r\n"), std::string::npos);
  EXPECT_LT(at("[SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing]"), at("[SYSTEM\\CurrentControlSet\\Control\\Print]"));
  EXPECT_LT(at("[SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P1]\r\n\"Name\"=\"P1\"\r\n"),
            at("[SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n\"ProductName\"=\"Windows\"\r\n"));
  EXPECT_EQ(at("CurrentVersion\\Fonts"), std::string::npos);
  EXPECT_LT(at("[SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]"),
            at("[SYSTEM\\CurrentControlSet\\Control\\ComputerName]\r\n"
               "\r\n[SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\r\n"
               "\"ComputerName\"=\"PC1\"\r\n"));
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(SnapshotFileTest, Under64BitWindowsTheToolsOwnViewIsShown) {
  SimRegistry wow64(true);
  platform.registry = &wow64;
  system.wow64 = true;
  wow64.PutString(L"SOFTWARE\\Wow6432Node\\Veltrane\\Common", L"View", L"32");
  wow64.PutString(L"SOFTWARE\\Veltrane\\Common", L"View", L"64");
  const std::string text = Write();
  EXPECT_NE(text.find("[SOFTWARE\\Veltrane\\Common]\r\n\"View\"=\"32\"\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("\"64\""), std::string::npos);
  // The spooler hooks' key lives in the 64-bit view only, so it is not in the snapshot.
  EXPECT_TRUE(wow64.KeyExists(L"SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing"));
  EXPECT_EQ(text.find("OvSpoolerHooks"), std::string::npos);
}

TEST_F(SnapshotFileTest, ARootThatThrowsCostsOnlyItself) {
  Populate();
  registry.SetFailureHook([](RegOp op, const std::wstring& path, const std::wstring&) -> ErrorCode {
    if (op == RegOp::Open && path == L"SYSTEM\\CurrentControlSet\\Control\\Print") throw std::bad_alloc();
    return kSuccess;
  });
  const std::string text = Write();
  EXPECT_NE(text.find("[SOFTWARE\\Veltrane]"), std::string::npos);
  EXPECT_EQ(text.find("Control\\Print"), std::string::npos);
  EXPECT_NE(text.find("[SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]"), std::string::npos);
  EXPECT_NE(text.find("\"ComputerName\"=\"PC1\""), std::string::npos);
}

TEST_F(SnapshotFileTest, ReplacesTheOldSnapshotAndSurvivesFailedWrites) {
  Populate();
  PutFile(kSnapshot, std::string(100000, '~'));
  const std::string first = Write();
  EXPECT_EQ(first.find('~'), std::string::npos);
  EXPECT_EQ(Write(), first);  // a second run replaces, it does not append
  int writes = 0;
  textFiles->SetFailureHook([&writes](TextFileOp op, const std::wstring&) {
    if (op != TextFileOp::Write) return kSuccess;
    ++writes;
    return 112u;  // disk full: ignored, the walk goes on
  });
  EXPECT_EQ(Write(), "");
  EXPECT_GT(writes, 10);
  textFiles->SetFailureHook([](TextFileOp op, const std::wstring&) {
    return op == TextFileOp::Create ? kErrorAccessDenied : kSuccess;
  });
  PutFile(kSnapshot, "old");
  EXPECT_EQ(Write(), "old");  // not created: nothing written, nothing thrown
}

}  // namespace
