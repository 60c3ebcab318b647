// "Zip up Log Files" end to end against the sim registry and a real temporary directory.
#include <gtest/gtest.h>

#include "logcollect/zip_up_log_files.h"
#include "model/ov_client_tracing.h"
#include "sim_machine.h"

using namespace ov::platform;
using namespace ov::platform::sim;
namespace fs = std::filesystem;

namespace {

const std::wstring kTrace = L"C:\\ProgramData\\Mirabo\\Ostrival\\Logs\\Veltrane\\Client";
const std::wstring kZip = L"C:\\Support\\case.zip";

class ZipUpLogFilesTest : public ov::test::SimMachine {
 protected:
  void SetUp() override {
    SimMachine::SetUp();
    fs::create_directories(Host(kTrace));
    fs::create_directories(Host(L"C:\\Support"));
  }
  // One click on the button, the Save dialog answered with the path (nullopt: Cancel); the
  // messages shown. The cursor is the one from before the click on every way out.
  std::vector<std::wstring> Run(std::optional<std::wstring> answer) {
    ui.savePaths.push_back(std::move(answer));
    ui.shown.clear();
    ui.cursor = 77;
    std::vector<std::wstring> out;
    OvClientTracingList list(platform);
    ZipUpLogFiles(list, platform);
    EXPECT_EQ(ui.cursor, 77);
    EXPECT_EQ(fileIo->OpenHandleCount(), 0u);
    for (const auto& box : ui.shown) out.push_back(box.text + L" / " + box.caption);
    return out;
  }
  std::string Snapshot() const { return ReadFile(kTrace + L"\\OvReg.log"); }
};

TEST_F(ZipUpLogFilesTest, CancelCreatesNothing) {
  PutFile(kTrace + L"\\OvReg.log", "old snapshot");
  EXPECT_TRUE(Run(std::nullopt).empty());
  EXPECT_EQ(Snapshot(), "old snapshot");
  EXPECT_TRUE(fs::is_empty(Host(L"C:\\Support")));
  EXPECT_EQ(ui.waitCursorCalls, 0);
}

TEST_F(ZipUpLogFilesTest, OnlyTheSnapshotGivesOneMemberAndTwoRunsDoNotGrowIt) {
  EXPECT_TRUE(Run(kZip).empty());
  EXPECT_EQ(Members(kZip, kTrace), "OvReg.log ");
  const std::string first = Snapshot();
  EXPECT_EQ(first.rfind("\r\n[SOFTWARE\\Veltrane]\r\n", 0), 0u);
  EXPECT_TRUE(Run(kZip).empty());
  EXPECT_EQ(Snapshot(), first);
  EXPECT_EQ(Members(kZip, kTrace), "OvReg.log ");
}

TEST_F(ZipUpLogFilesTest, CollectsOvLogFilesOnlyAndNotTheArchiveItself) {
  std::string big;
  for (int i = 0; big.size() < 300000; ++i) big += "12:00 spooler hook call " + std::to_string(i) + "\n";
  PutFile(kTrace + L"\\OvSharedEngine.log", big);
  PutFile(kTrace + L"\\ovlower.LOG", "");
  PutFile(kTrace + L"\\MessageClient.log", "not matching the mask");
  PutFile(kTrace + L"\\Ov1.log\\inside.log", "a directory is not collected");
  PutFile(kTrace + L"\\OvClientLogs.zip", "an old archive, replaced");
  EXPECT_TRUE(Run(kTrace + L"\\OvClientLogs.zip").empty());  // the default name in the trace directory
  EXPECT_EQ(Members(kTrace + L"\\OvClientLogs.zip", kTrace), "ovlower.LOG OvReg.log OvSharedEngine.log ");
  EXPECT_LT(fs::file_size(Host(kTrace + L"\\OvClientLogs.zip")), big.size() / 4);  // deflated
}

TEST_F(ZipUpLogFilesTest, FailuresAreReportedAndCostOnlyWhatFailed) {
  PutFile(kTrace + L"\\OvBusy.log", "being written");
  const int held = files->HoldOpen(kTrace + L"\\OvBusy.log", kGenericWrite, kFileShareRead | kFileShareWrite);
  PutFile(kTrace + L"\\OvSharedEngine.log", "idle");
  EXPECT_EQ(Run(kZip), std::vector<std::wstring>{L"Error 512 adding 'OvBusy.log' to zip file. / Zip error"});
  EXPECT_EQ(Members(kZip, kTrace), "OvReg.log OvSharedEngine.log ");
  files->ReleaseShare(held);

  EXPECT_EQ(Run(L"C:\\NoSuchFolder\\case.zip"), std::vector<std::wstring>{L"Error creating zip file / Zip error"});

  fs::remove(Host(kZip));
  registry.PutString(L"Software\\Veltrane\\Desktop Client", L"DefaultDir", L"C:\\Gone\\Logs");
  EXPECT_EQ(Run(kZip), std::vector<std::wstring>{L"C:\\Gone\\Logs / Error changing directory"});
  EXPECT_FALSE(fs::exists(Host(kZip)));
}

// Ordinary users may create entries in the trace directory; the tool runs elevated.
TEST_F(ZipUpLogFilesTest, LinksInTheTraceDirectoryAreNeitherFollowedNorCollected) {
  PutFile(L"C:\\Windows\\config\\SAM", "machine secrets");
  PutFile(L"C:\\Users\\admin\\report.docx", "the administrator's report");
  PutFile(kTrace + L"\\OvSharedEngine.log", "real log");
  fs::create_symlink(Host(L"C:\\Windows\\config\\SAM"), Host(kTrace + L"\\OvSecrets.log"));
  fs::create_symlink(Host(L"C:\\Windows\\config"), Host(kTrace + L"\\OvConfig.log"));
  fs::create_hard_link(Host(L"C:\\Users\\admin\\report.docx"), Host(kTrace + L"\\OvReg.log"));
  EXPECT_TRUE(Run(kZip).empty());
  EXPECT_EQ(Members(kZip, kTrace), "OvReg.log OvSharedEngine.log ");
  EXPECT_EQ(ReadFile(L"C:\\Users\\admin\\report.docx"), "the administrator's report");
  EXPECT_EQ(ReadFile(L"C:\\Windows\\config\\SAM"), "machine secrets");
}

}  // namespace
