// "Zip up Log Files" end to end against the sim registry and a real temporary directory.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive_check.h"
#include "logcollect/zip_up_log_files.h"
#include "model/ov_client_tracing.h"
#include "platform/sim/sim_fileio.h"
#include "sim_machine.h"

using namespace ov::platform;
using namespace ov::platform::sim;
using Names = std::vector<std::string>;

namespace {

const std::wstring kTrace = L"C:\\ProgramData\\Mirabo\\Ostrival\\Logs\\Veltrane\\Client";
const std::wstring kOut = L"C:\\Support";

class ZipUpLogFilesTest : public ov::test::SimMachine {
 protected:
  void SetUp() override {
    SimMachine::SetUp();
    fileIo = std::make_unique<SimFileIo>(*files);
    platform.fileIo = fileIo.get();
    MakeDirectories(kTrace);
    MakeDirectories(kOut);
    registry.PutString(L"SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", L"ComputerName",
                       L"PC1");
  }
  // One click on the button, the Save dialog answered with the path (nullopt: Cancel).
  void Run(std::optional<std::wstring> answer) {
    ui.savePaths.push_back(std::move(answer));
    OvClientTracingList list(platform);
    ui.cursor = kBefore;
    ZipUpLogFiles(list, platform);
  }
  Names Members(const std::wstring& archive, const std::wstring& sources = kTrace) {
    std::string error;
    Names names = ov::test::CheckedMembers(Host(archive).string(), Host(sources).string(), &error);
    EXPECT_EQ(error, "");
    return names;
  }
  std::vector<std::wstring> Messages() const {
    std::vector<std::wstring> out;
    for (const auto& box : ui.shown) {
      EXPECT_EQ(box.flags, kMbOk);
      out.push_back(box.text + L" / " + box.caption);
    }
    return out;
  }
  std::string Snapshot() const { return ReadFile(kTrace + L"\\OvReg.log"); }

  static constexpr CursorHandle kBefore = 77;  // whatever the dialog showed before the click
  std::unique_ptr<SimFileIo> fileIo;
};

TEST_F(ZipUpLogFilesTest, CancelCreatesNothingAndLeavesTheCursorAlone) {
  PutFile(kTrace + L"\\OvReg.log", "old snapshot");
  PutFile(kTrace + L"\\OvSharedEngine.log", "log");
  Run(std::nullopt);
  EXPECT_EQ(Snapshot(), "old snapshot");
  EXPECT_TRUE(std::filesystem::is_empty(Host(kOut)));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Host(kTrace)), {}), 2);
  EXPECT_EQ(ui.waitCursorCalls, 0);
  EXPECT_EQ(ui.cursor, kBefore);
  EXPECT_TRUE(Messages().empty());
  std::wstring cwd;
  files->GetWorkingDirectory(&cwd);
  EXPECT_EQ(cwd, kTrace);  // the one lasting effect
  EXPECT_EQ(fileIo->OpenHandleCount(), 0u);
}

TEST_F(ZipUpLogFilesTest, OnlyTheSnapshotGivesOneMember) {
  Run(kOut + L"\\case.zip");
  EXPECT_EQ(Members(kOut + L"\\case.zip"), Names{"OvReg.log"});
  EXPECT_NE(Snapshot().find("\r\n[SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\r\n"
                            "\"ComputerName\"=\"PC1\"\r\n"),
            std::string::npos);
  ASSERT_EQ(ui.saveDialogs.size(), 1u);
  const SaveDialogRequest& asked = ui.saveDialogs[0].request;
  EXPECT_EQ(asked.defaultExtension, L".zip");
  EXPECT_EQ(asked.initialName, L"OvClientLogs.zip");
  EXPECT_EQ(asked.filterName, L"Zip Files (*.zip)");
  EXPECT_EQ(asked.filterPattern, L"*.zip");
  EXPECT_EQ(ui.saveDialogs[0].cursor, kBefore);  // the wait cursor comes after the dialog
  EXPECT_EQ(ui.waitCursorCalls, 1);
  EXPECT_EQ(ui.cursor, kBefore);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(fileIo->OpenHandleCount(), 0u);
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(ZipUpLogFilesTest, CollectsEveryOvLogFileInSearchOrderAndNothingElse) {
  std::string big;
  for (int i = 0; big.size() < 300000; ++i) big += "12:00:0" + std::to_string(i % 10) + " spooler hook call " + std::to_string(i) + "\n";
  PutFile(kTrace + L"\\OvSharedEngine.log", big);
  PutFile(kTrace + L"\\OvPopupManager.log", "");
  PutFile(kTrace + L"\\ovlower.LOG", "case does not matter");
  PutFile(kTrace + L"\\MessageClient.log", "not matching the mask");
  PutFile(kTrace + L"\\OvNotes.txt", "not a log");
  PutFile(kTrace + L"\\Ov1.log\\inside.log", "a directory is not collected");
  PutFile(kTrace + L"\\OvClientLogs.zip", "an old archive, replaced");
  Run(kTrace + L"\\OvClientLogs.zip");  // into the trace directory under the default name
  EXPECT_EQ(Members(kTrace + L"\\OvClientLogs.zip"),
            (Names{"ovlower.LOG", "OvPopupManager.log", "OvReg.log", "OvSharedEngine.log"}));
  EXPECT_LT(std::filesystem::file_size(Host(kTrace + L"\\OvClientLogs.zip")), big.size() / 4);  // deflated
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(ui.cursor, kBefore);
}

TEST_F(ZipUpLogFilesTest, MissingTraceDirectoryIsReportedAndNoArchiveIsCreated) {
  registry.PutString(L"Software\\Veltrane\\Desktop Client", L"DefaultDir", L"C:\\Gone\\Logs");
  Run(kOut + L"\\case.zip");
  EXPECT_EQ(Messages(), std::vector<std::wstring>{L"C:\\Gone\\Logs / Error changing directory"});
  EXPECT_TRUE(std::filesystem::is_empty(Host(kOut)));
  EXPECT_FALSE(std::filesystem::exists(Host(L"C:\\Gone")));
  EXPECT_EQ(ui.cursor, kBefore);
}

TEST_F(ZipUpLogFilesTest, ArchiveThatCannotBeCreatedIsReported) {
  Run(L"C:\\NoSuchFolder\\case.zip");
  EXPECT_EQ(Messages(), std::vector<std::wstring>{L"Error creating zip file / Zip error"});
  EXPECT_FALSE(Snapshot().empty());  // the snapshot came first
  EXPECT_EQ(ui.cursor, kBefore);
  EXPECT_EQ(fileIo->OpenHandleCount(), 0u);
}

TEST_F(ZipUpLogFilesTest, ALogHeldOpenForWritingIsReportedAndOnlyItIsMissing) {
  PutFile(kTrace + L"\\OvBusy.log", "being written");
  PutFile(kTrace + L"\\OvSharedEngine.log", "idle");
  // A running component writes its log sharing reading and writing; the writer opens the
  // source sharing reading only, so it cannot open this one.
  const int held = files->HoldOpen(kTrace + L"\\OvBusy.log", kGenericWrite, kFileShareRead | kFileShareWrite);
  Run(kOut + L"\\case.zip");
  files->ReleaseShare(held);
  EXPECT_EQ(Messages(), std::vector<std::wstring>{L"Error 512 adding 'OvBusy.log' to zip file. / Zip error"});
  EXPECT_EQ(Members(kOut + L"\\case.zip"), (Names{"OvReg.log", "OvSharedEngine.log"}));
  EXPECT_EQ(ui.cursor, kBefore);
}

TEST_F(ZipUpLogFilesTest, TwoRunsReplaceTheSnapshotAndTheArchive) {
  Run(kOut + L"\\case.zip");
  const std::string first = Snapshot();
  const auto firstSize = std::filesystem::file_size(Host(kOut + L"\\case.zip"));
  Run(kOut + L"\\case.zip");
  EXPECT_EQ(Snapshot(), first);
  EXPECT_EQ(std::filesystem::file_size(Host(kOut + L"\\case.zip")), firstSize);
  EXPECT_EQ(Members(kOut + L"\\case.zip"), Names{"OvReg.log"});
}

TEST_F(ZipUpLogFilesTest, AnExceptionStillRestoresTheCursorAndClosesTheArchive) {
  files->SetFailureHook([](FileOp op, const std::wstring&) -> ErrorCode {
    if (op == FileOp::Find) throw std::bad_alloc();
    return kSuccess;
  });
  EXPECT_THROW(Run(kOut + L"\\case.zip"), std::bad_alloc);
  EXPECT_EQ(ui.cursor, kBefore);
  EXPECT_EQ(fileIo->OpenHandleCount(), 0u);
  EXPECT_EQ(Members(kOut + L"\\case.zip"), Names{});  // complete, and empty
}

// Ordinary users may create entries in the trace directory; the tool runs elevated.
TEST_F(ZipUpLogFilesTest, LinksInTheTraceDirectoryAreNeitherFollowedNorCollected) {
  PutFile(L"C:\\Windows\\System32\\config\\SAM", "machine secrets");
  PutFile(L"C:\\Windows\\System32\\driver.sys", "system file");
  PutFile(L"C:\\Users\\admin\\private\\notes.txt", "private");
  PutFile(kTrace + L"\\OvSharedEngine.log", "real log");
  const auto link = [this](const std::wstring& target, const std::wstring& name) {
    std::filesystem::create_symlink(Host(target), Host(kTrace + L"\\" + name));
  };
  link(L"C:\\Windows\\System32\\config\\SAM", L"OvSecrets.log");   // a file the user may not read
  link(L"C:\\Users\\admin\\private", L"OvPrivate.log");            // a junction to a folder
  link(L"C:\\Windows\\System32\\driver.sys", L"OvReg.log");        // the snapshot aimed at a system file
  Run(kOut + L"\\case.zip");
  EXPECT_EQ(ReadFile(L"C:\\Windows\\System32\\driver.sys"), "system file");
  EXPECT_FALSE(std::filesystem::is_symlink(Host(kTrace + L"\\OvReg.log")));
  EXPECT_NE(Snapshot().find("[SOFTWARE\\Veltrane]"), std::string::npos);
  EXPECT_EQ(Members(kOut + L"\\case.zip"), (Names{"OvReg.log", "OvSharedEngine.log"}));
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(ReadFile(L"C:\\Windows\\System32\\config\\SAM"), "machine secrets");
  EXPECT_EQ(ReadFile(L"C:\\Users\\admin\\private\\notes.txt"), "private");
}

TEST_F(ZipUpLogFilesTest, ASnapshotHardLinkedToAnotherFileLeavesThatFileAlone) {
  PutFile(L"C:\\Users\\admin\\Desktop\\report.docx", "the administrator's report");
  std::filesystem::create_hard_link(Host(L"C:\\Users\\admin\\Desktop\\report.docx"), Host(kTrace + L"\\OvReg.log"));
  Run(kOut + L"\\case.zip");
  EXPECT_EQ(ReadFile(L"C:\\Users\\admin\\Desktop\\report.docx"), "the administrator's report");
  EXPECT_EQ(std::filesystem::hard_link_count(Host(kTrace + L"\\OvReg.log")), 1u);
  EXPECT_EQ(Members(kOut + L"\\case.zip"), Names{"OvReg.log"});
}

}  // namespace
