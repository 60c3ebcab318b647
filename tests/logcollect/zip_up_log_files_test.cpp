// "Zip up Log Files" end to end on the simulated machine; real readers judge the archives.
#include <gtest/gtest.h>

#include "logcollect/zip_up_log_files.h"
#include "model/ov_client_tracing.h"
#include "tests/support/sim_machine.h"

using namespace ov::platform;
using namespace ov::platform::sim;
namespace fs = std::filesystem;
using Texts = std::vector<std::wstring>;

namespace {

const std::wstring kTrace = L"C:\\ProgramData\\Mirabo\\Ostrival\\Logs\\Veltrane\\Client";
const std::wstring kZip = L"C:\\Support\\case.zip";

class ZipUpLogFilesTest : public ::testing::Test, public ov::test::SimMachine {
 protected:
  void SetUp() override {
    fs::create_directories(Host(kTrace));
    fs::create_directories(Host(L"C:\\Support"));
  }
  // One click on the button, the Save dialog answered with the path (nullopt: Cancel); the
  // messages shown. The cursor is the one from before the click on every way out.
  Texts Run(std::optional<std::wstring> answer) {
    ui.savePaths.push_back(std::move(answer));
    ui.shown.clear();
    ui.cursor = 77;
    Texts out;
    OvClientTracingList list(platform);
    ZipUpLogFiles(list, platform);
    EXPECT_EQ(ui.cursor, 77);
    EXPECT_EQ(fileIo.OpenHandleCount(), 0u);
    for (const auto& box : ui.shown) out.push_back(box.text + L" / " + box.caption);
    return out;
  }
  long FilesIn(const std::wstring& folder) const {
    return std::distance(fs::directory_iterator(Host(folder)), fs::directory_iterator());
  }
};

TEST_F(ZipUpLogFilesTest, CollectsTheOvLogsAndAFreshSnapshotAndCancelCreatesNothing) {
  PutFile(kTrace + L"\\OvReg.log", "old snapshot");
  EXPECT_TRUE(Run(std::nullopt).empty());
  EXPECT_EQ(ReadFile(kTrace + L"\\OvReg.log"), "old snapshot");
  EXPECT_EQ(FilesIn(L"C:\\Support") + ui.waitCursorCalls, 0);

  std::string big;
  for (int i = 0; big.size() < 300000; ++i) big += "12:00 spooler hook call " + std::to_string(i) + "\n";
  PutFile(kTrace + L"\\OvSharedEngine.log", big);
  PutFile(kTrace + L"\\ovlower.LOG", "");
  PutFile(kTrace + L"\\MessageClient.log", "not matching the mask");
  PutFile(kTrace + L"\\Ov1.log\\inside.log", "a directory is not collected");
  PutFile(kTrace + L"\\OvClientLogs.zip", "an old archive, replaced");
  const std::wstring archive = kTrace + L"\\OvClientLogs.zip";  // the default name in the trace directory
  const Texts members = {L"ovlower.LOG", L"OvReg.log", L"OvSharedEngine.log"};
  EXPECT_TRUE(Run(archive).empty());
  EXPECT_TRUE(ArchiveHolds(archive, kTrace, members));
  EXPECT_LT(fs::file_size(Host(archive)), big.size() / 4);  // deflated
  const std::string snapshot = ReadFile(kTrace + L"\\OvReg.log");
  EXPECT_EQ(snapshot.rfind("\r\n[SOFTWARE\\Veltrane]\r\n", 0), 0u);
  EXPECT_TRUE(Run(archive).empty());  // a second run neither grows the snapshot nor collects its archive
  EXPECT_EQ(ReadFile(kTrace + L"\\OvReg.log"), snapshot);
  EXPECT_TRUE(ArchiveHolds(archive, kTrace, members));
}

// A running component keeps its log open for writing, sharing reading and writing. The log
// is collected with what it held when it was opened; what the component adds while it is
// read is cut, so the member agrees with its header and a busy log cannot keep the command
// going. Files that cannot be added are reported one by one and cost only themselves.
TEST_F(ZipUpLogFilesTest, LiveLogsAreCollectedAndFailuresCostOnlyWhatFailed) {
  std::string before;
  for (int i = 0; before.size() < 100000; ++i) before += "09:00 engine job " + std::to_string(i) + "\n";
  const std::wstring busy = kTrace + L"\\OvBusy.log";
  PutFile(busy, before);
  const int held = files.HoldOpen(busy, kGenericWrite, kFileShareRead | kFileShareWrite);
  PutFile(kTrace + L"\\Ov\uFF0F\uFF0E\uFF0E.log", "a best fit would name it Ov/...log");
  fileIo.SetFailureHook([&](FileIoOp op, FileHandle) {
    if (op == FileIoOp::Read && fs::file_size(Host(busy)) < (1u << 22)) std::ofstream(Host(busy), std::ios::app) << std::string(40000, 'w');
    return kSuccess;
  });
  EXPECT_EQ(Run(kZip), Texts{L"Error 65536 adding 'Ov\uFF0F\uFF0E\uFF0E.log' to zip file. / Zip error"});
  fileIo.SetFailureHook(nullptr);
  EXPECT_GT(fs::file_size(Host(busy)), before.size());
  fs::resize_file(Host(busy), before.size());
  EXPECT_TRUE(ArchiveHolds(kZip, kTrace, {L"OvBusy.log", L"OvReg.log"}));
  files.ReleaseShare(held);
  const std::string collected = ReadFile(kZip);

  EXPECT_EQ(Run(L"C:\\NoSuchFolder\\case.zip"), Texts{L"Error creating zip file / Zip error"});

  files.SetFailureHook([](FileOp op, const std::wstring&) -> ErrorCode {
    if (op == FileOp::Find) throw std::bad_alloc();
    return kSuccess;
  });
  // The dialog shows what escapes; the command must leave no half archive behind it.
  EXPECT_THROW(Run(kZip), std::bad_alloc);
  files.SetFailureHook(nullptr);
  EXPECT_EQ(ReadFile(kZip), collected);
  EXPECT_EQ(FilesIn(L"C:\\Support"), 1);

  fs::remove(Host(kZip));
  registry.PutString(L"Software\\Veltrane\\Desktop Client", L"DefaultDir", L"C:\\Gone\\Logs");
  EXPECT_EQ(Run(kZip), Texts{L"C:\\Gone\\Logs / Error changing directory"});
  EXPECT_FALSE(fs::exists(Host(kZip)));
}

// The archive is written beside the chosen name and takes it only when complete on disk. A
// failure of the archive's own file, at any stage, ends the command with one message; the
// new file goes and an older archive of that name stays as it was.
TEST_F(ZipUpLogFilesTest, AWriteFailureAtAnyStageLeavesTheOlderArchive) {
  PutFile(kTrace + L"\\OvPopup.log", "popup");
  int writes = 0;
  fileIo.SetFailureHook([&](FileIoOp op, FileHandle) { return writes += op == FileIoOp::Write, kSuccess; });
  ASSERT_TRUE(Run(kZip).empty());
  const std::string older = ReadFile(kZip);
  const std::wstring writeFailed = L"Error 1024 writing zip file. / Zip error";
  const struct { const char* stage; std::optional<FileIoOp> op; int call; std::wstring message; } stages[] = {
      {"member data", FileIoOp::Write, 2, writeFailed},
      {"end of the central directory", FileIoOp::Write, writes, writeFailed},
      {"flush", FileIoOp::Flush, 1, writeFailed},
      {"close", FileIoOp::Close, 0, writeFailed},  // the flushed handle's close
      {"move over the older archive", std::nullopt, 0, L"Error 512 writing zip file. / Zip error"},
  };
  for (const auto& s : stages) {
    int calls = 0;
    FileHandle flushed = kNoFile;
    bool closing = false;
    fileIo.SetFailureHook([&](FileIoOp op, FileHandle h) -> ErrorCode {
      if (op == FileIoOp::Flush) flushed = h;
      if (op != s.op || closing) return kSuccess;
      if (op != FileIoOp::Close) return ++calls == s.call ? 112 : kSuccess;  // ERROR_DISK_FULL
      if (h != flushed) return kSuccess;
      closing = true;  // as on Windows, the handle is gone although the close reports an error
      fileIo.Close(h);
      return 64;  // ERROR_NETNAME_DELETED
    });
    files.SetFailureHook([&](FileOp op, const std::wstring&) { return op == FileOp::Move && !s.op ? kErrorAccessDenied : kSuccess; });
    EXPECT_EQ(Run(kZip), Texts{s.message}) << s.stage;
    EXPECT_EQ(ReadFile(kZip), older) << s.stage;
    EXPECT_EQ(FilesIn(L"C:\\Support"), 1) << s.stage;
  }
}

// Ordinary users may create entries in the trace directory; the tool runs elevated.
TEST_F(ZipUpLogFilesTest, LinksInTheTraceDirectoryAreNeitherFollowedNorCollected) {
  PutFile(L"C:\\Windows\\config\\SAM", "machine secrets");
  PutFile(L"C:\\Users\\admin\\report.docx", "the administrator's report");
  PutFile(kTrace + L"\\OvSharedEngine.log", "real log");
  fs::create_symlink(Host(L"C:\\Windows\\config\\SAM"), Host(kTrace + L"\\OvSecrets.log"));
  fs::create_symlink(Host(L"C:\\Windows\\config"), Host(kTrace + L"\\OvConfig.log"));
  fs::create_hard_link(Host(L"C:\\Users\\admin\\report.docx"), Host(kTrace + L"\\OvReg.log"));
  fs::create_hard_link(Host(L"C:\\Users\\admin\\report.docx"), Host(kTrace + L"\\OvReport.log"));
  // A second name of another file is refused also where the snapshot would go: no snapshot.
  EXPECT_EQ(Run(kZip), (Texts{L"Error 512 adding 'OvReg.log' to zip file. / Zip error",
                              L"Error 512 adding 'OvReport.log' to zip file. / Zip error"}));
  EXPECT_TRUE(ArchiveHolds(kZip, kTrace, {L"OvSharedEngine.log"}));
  EXPECT_EQ(ReadFile(L"C:\\Users\\admin\\report.docx"), "the administrator's report");
  EXPECT_EQ(ReadFile(L"C:\\Windows\\config\\SAM"), "machine secrets");
}

}  // namespace
