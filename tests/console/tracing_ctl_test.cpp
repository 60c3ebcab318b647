// The console companion on the simulated machine: its command line, exit codes and effects.
#include <gtest/gtest.h>

#include "console/tracing_ctl.h"
#include "tests/support/sim_machine.h"

using namespace ov::platform;
using namespace ov::platform::sim;

namespace {

const std::wstring kDesktop = L"Software\\Veltrane\\Desktop Client";
const std::wstring kPopupKey = L"SOFTWARE\\Veltrane\\Desktop Client\\Popup Manager";
const std::wstring kHooksKey = L"SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing";

class TracingCtlTest : public ::testing::Test, public ov::test::SimMachine, public ov::console::ConsoleOutput {
 protected:
  void SetUp() override {
    registry.PutString(kDesktop, L"DefaultDir", L"C:\\Logs");
    registry.PutDword(kPopupKey, L"Level", 4);
    registry.PutDword(kHooksKey, L"Enable", 1);
    PutFile(L"C:\\Logs\\OvPopupManager.log", std::string(2048, 'p'));
    services.AddService(L"Spooler");
    services.AddService(L"OvSharedEngine");
    platform.ui = &console;
  }
  int Run(std::vector<std::wstring> arguments) {
    out.clear();
    err.clear();
    return ov::console::RunTracingCtl(arguments, platform, console, *this);
  }
  void Out(const std::wstring& line) override { out += line + L"\n"; }
  void Err(const std::wstring& line) override { err += line + L"\n"; }
  bool Said(const std::wstring& text, const std::wstring& where) const { return where.find(text) != std::wstring::npos; }

  ov::console::ConsoleUserInteraction console{*this};
  std::wstring out, err;
};

TEST_F(TracingCtlTest, CommandLinesGiveTheirExitCodes) {
  const struct {
    std::vector<std::wstring> arguments;
    int exit;
    std::wstring errorStart;
  } cases[] = {
      {{}, 2, L"No command given."},
      {{L"--help"}, 0, L""},
      {{L"frobnicate"}, 2, L"Unknown command 'frobnicate'."},
      {{L"status", L"--restart"}, 2, L"Unknown option '--restart' for 'status'."},
      {{L"disable", L"Popup Manager", L"--json"}, 2, L"Unknown option '--json'"},
      {{L"enable"}, 2, L"'enable' needs more arguments."},
      {{L"enable", L"Popup Manager", L"--level"}, 2, L"--level needs a VALUE."},
      {{L"level", L"Popup Manager", L"5", L"6"}, 2, L"Unexpected argument '6'."},
      {{L"disable", L"Printer"}, 2, L"Unknown component 'Printer'. Components on this machine: \"Shared Engine"},
      {{L"dir", L"Logs"}, 2, L"The trace directory must be a full path"},
      {{L"level", L"popup MANAGER", L"7"}, 0, L""},
      {{L"status"}, 0, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.empty() ? L"(none)" : c.arguments[0]);
    EXPECT_EQ(Run(c.arguments), c.exit);
    EXPECT_EQ(err.substr(0, c.errorStart.size()), c.errorStart);
    // A usage error always shows the usage; nothing else does.
    EXPECT_EQ(Said(L"Usage: OvTracingCtl", err), c.exit == 2);
  }
  EXPECT_EQ(Dword(kPopupKey, L"SeverityFilter"), 7u);
}

TEST_F(TracingCtlTest, StatusShowsTheListsTextsAlsoAsJson) {
  EXPECT_EQ(Run({L"status"}), 0);
  EXPECT_EQ(out,
            L"Directory: C:\\Logs\n"
            L"Shared Engine Service  No   0  C:\\Logs\\OvSharedEngine.log  Doesn't exist\n"
            L"Popup Manager          No   4  C:\\Logs\\OvPopupManager.log  2.0KB\n"
            L"Message Client         No   0  C:\\Logs\\MessageClient.log   Doesn't exist\n"
            L"Spooler Hooks          Yes  0  C:\\Logs\\OvSpoolerHooks.log  Doesn't exist\n");
  registry.PutString(kDesktop, L"DefaultDir", L"C:\\L\"o\tgs");
  EXPECT_EQ(Run({L"status", L"--json"}), 0);
  EXPECT_EQ(out.substr(0, 115),
            L"{\"directory\": \"C:\\\\L\\\"o\\u0009gs\", \"components\": [{\"name\": \"Shared Engine Service\", "
            L"\"enabled\": false, \"level\": \"0\", ");
  EXPECT_TRUE(Said(L"{\"name\": \"Spooler Hooks\", \"enabled\": true, \"level\": \"0\", \"file\": "
                   L"\"C:\\\\L\\\"o\\u0009gs\\\\OvSpoolerHooks.log\", \"size\": \"Doesn't exist\"}]}\n", out));
}

TEST_F(TracingCtlTest, AChangeSavesAtOnceAndRestartsOnlyWhenAsked) {
  // Only the components the services host need a restart; a level needs none.
  EXPECT_EQ(Run({L"enable", L"Popup Manager", L"--level", L"9"}), 0);
  EXPECT_EQ(Dword(kPopupKey, L"Enable") * 100 + Dword(kPopupKey, L"SeverityFilter"), 109u);
  EXPECT_EQ(out, L"Popup Manager: tracing on, level 9.\n");
  EXPECT_EQ(Run({L"enable", L"shared engine service"}), 0);
  EXPECT_TRUE(Said(L"Restart needed: OvSharedEngine (not restarted; use --restart).", out));
  EXPECT_EQ(Run({L"enable", L"Shared Engine Service"}), 0);  // already on: nothing to restart for
  EXPECT_FALSE(Said(L"Restart needed", out));
  EXPECT_TRUE(services.Events().empty());

  EXPECT_EQ(Run({L"all-off", L"--restart"}), 0);
  EXPECT_EQ(Dword(kHooksKey, L"Enable"), 0u);
  EXPECT_EQ(out, L"Restarted Spooler.\nRestarted OvSharedEngine.\n");
  services.SetFailureHook([](ScOp op, const std::wstring& name) {
    return op == ScOp::Start && name == L"Spooler" ? ErrorCode{1053} : kSuccess;
  });
  EXPECT_EQ(Run({L"all-on", L"--restart"}), 1);
  EXPECT_TRUE(Said(L"Spooler: ", err) && Said(L"Restarted OvSharedEngine.", out));
}

TEST_F(TracingCtlTest, FailuresEndInExitCodeOne) {
  system.elevated = false;
  EXPECT_EQ(Run({L"status"}), 1);
  EXPECT_TRUE(Said(L"elevated", err));
  EXPECT_EQ(Run({L"--help"}), 0);
  system.elevated = true;

  registry.SetFailureHook([](RegOp op, const std::wstring&, const std::wstring& name) {
    return op == RegOp::Set && name == L"Enable" ? kErrorAccessDenied : kSuccess;
  });
  EXPECT_EQ(Run({L"disable", L"Spooler Hooks"}), 1);
  registry.SetFailureHook(nullptr);
  EXPECT_TRUE(Said(L"Registry Error: Error saving registry entry", err));
  EXPECT_FALSE(Said(L"Restart needed", out));  // not saved, so nothing to restart for

  EXPECT_EQ(Run({L"delete", L"Message Client"}), 1);
  EXPECT_EQ(err, L"File was not deleted.  File not found.  (C:\\Logs\\MessageClient.log)\n");
  EXPECT_EQ(Run({L"delete", L"Popup Manager"}), 0);
  EXPECT_EQ(ReadFile(L"C:\\Logs\\OvPopupManager.log"), "<missing>");

  // A message of the shared code fails the command, also one the command itself would not see.
  registry.SetFailureHook([](RegOp op, const std::wstring&, const std::wstring&) -> ErrorCode {
    return op == RegOp::Query ? throw std::bad_alloc() : kSuccess;
  });
  EXPECT_EQ(Run({L"status"}), 1);
  EXPECT_EQ(err, L"Registry Error: Error reading registry entry\n");
}

TEST_F(TracingCtlTest, DirCreatesTheDirectoryAndCollectWritesTheArchive) {
  EXPECT_EQ(Run({L"dir", L"C:\\New\\Trace\\"}), 0);
  EXPECT_TRUE(std::filesystem::is_directory(Host(L"C:\\New\\Trace")));
  EXPECT_EQ(String(kDesktop, L"DefaultDir"), L"C:\\New\\Trace");
  PutFile(L"C:\\New\\Trace\\OvSharedEngine.log", "engine");
  PutFile(L"C:\\Out\\placeholder", "");
  files.SetWorkingDirectoryForTest(L"C:\\Out");
  EXPECT_EQ(Run({L"collect", L"logs.zip"}), 0);
  EXPECT_EQ(out, L"Wrote C:\\Out\\logs.zip\n");
  EXPECT_TRUE(ArchiveHolds(L"C:\\Out\\logs.zip", L"C:\\New\\Trace", {L"OvReg.log", L"OvSharedEngine.log"}));
  // The dialog leaves a missing snapshot unsaid; a script must learn that support lacks it.
  std::filesystem::remove(Host(L"C:\\New\\Trace\\OvReg.log"));
  std::filesystem::create_directory(Host(L"C:\\New\\Trace\\OvReg.log"));
  EXPECT_EQ(Run({L"collect", L"logs.zip"}), 1);
  EXPECT_EQ(err, L"The archive holds no registry snapshot (OvReg.log).\n");
}

}  // namespace
