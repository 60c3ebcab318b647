// The main dialog against the test view, the sim registry and a real temporary directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_services.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/sim_ui.h"
#include "tests/ui/test_dialog_view.h"

using namespace ov::platform;
using namespace ov::platform::sim;
namespace fs = std::filesystem;
using Texts = std::vector<std::wstring>;

namespace {

const std::wstring kDesktop = L"Software\\Veltrane\\Desktop Client";
const std::wstring kKeys[] = {L"SOFTWARE\\Veltrane\\Desktop Client\\Shared Engine",
                              L"SOFTWARE\\Veltrane\\Desktop Client\\Popup Manager",
                              L"SOFTWARE\\Veltrane\\Desktop Client\\Message Client",
                              L"SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing"};
enum Row { kSharedEngine, kPopup, kMessage, kHooks };

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("ovdialog-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir / "C" / "Logs");
    NewFiles();
    registry.PutString(kDesktop, L"DefaultDir", L"C:\\Logs");
    for (int i = 0; i < 4; ++i) registry.PutDword(kKeys[i], L"Level", 3 + i);
    registry.PutDword(kKeys[kHooks], L"Enable", 1);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  void NewFiles() {
    files = std::make_unique<SimFileSystem>(m_dir.string());
    files->SetWorkingDirectoryForTest(L"C:\\Logs");
    platform = Platform{&registry, &system, files.get(), &ui, &clock, &services};
  }
  // A fresh dialog on a fresh view, as each start of the tool has; ui answers the questions.
  void Open(std::deque<int> answers = {}) {
    dlg.reset();
    view = TestDialogView();
    dlg = std::make_unique<COvClientTracingDlg>(platform, view);
    view.Attach(dlg.get());
    EXPECT_TRUE(dlg->OnInitDialog());
    ui.shown.clear();
    ui.answers = std::move(answers);
  }
  std::string Host(const std::wstring& name) { return files->ToHostPath(L"C:\\Logs\\" + name); }
  void WriteFile(const std::wstring& name, std::size_t bytes) { std::ofstream(Host(name)) << std::string(bytes, 'x'); }
  Texts Shown(bool texts = false) const {
    Texts out;
    for (const auto& box : ui.shown) out.push_back(texts ? box.text : box.caption);
    return out;
  }
  std::wstring SavedDirectory() {
    std::wstring text;
    registry.GetString(kDesktop, L"DefaultDir", &text);
    return text;
  }
  OvClientTracingEntry Entry(int row) { return dlg->GetList().GetEntry(row); }
  void TypeDirectory(const std::wstring& text) {
    view.SetControlText(IDC_TRACE_DIRECTORY, text);
    dlg->OnDirectoryKillFocus();
  }

  fs::path m_dir;
  SimRegistry registry;
  SimSystemInfo system;
  SimUserInteraction ui;
  SimClock clock;
  SimServiceControl services{clock};
  std::unique_ptr<SimFileSystem> files;
  Platform platform;
  TestDialogView view;
  std::unique_ptr<COvClientTracingDlg> dlg;
};

TEST_F(DialogTest, RowsShowFileSizesAlsoOfAFileHeldOpenWithSharedRead) {
  WriteFile(L"OvSharedEngine.log", 1023);
  WriteFile(L"OvPopupManager.log", 512);
  WriteFile(L"MessageClient.log", 0);
  files->HoldOpen(L"C:\\Logs\\OvSharedEngine.log", kGenericWrite, kFileShareRead | kFileShareWrite);
  Open();
  EXPECT_EQ(view.rows, (std::vector<Texts>{
                           {L"Shared Engine Service", L"No", L"3", L"C:\\Logs\\OvSharedEngine.log", L"1.0KB"},
                           {L"Popup Manager", L"No", L"4", L"C:\\Logs\\OvPopupManager.log", L".5KB"},
                           {L"Message Client", L"No", L"5", L"C:\\Logs\\MessageClient.log", L".0KB"},
                           {L"Spooler Hooks", L"Yes", L"6", L"C:\\Logs\\OvSpoolerHooks.log", L"Doesn't exist"}}));
  EXPECT_EQ(view.widths, (std::vector<int>{7 * 23, 7 * 9, 7 * 3, 7 * 28, 7 * 15}));  // widest cell + "MM"
  EXPECT_EQ(view.caption, L"Unknown Product Client tracing options");
  EXPECT_FALSE(view.Enabled(IDC_APPLY_BUTTON));
}

TEST_F(DialogTest, EveryRefreshSelectsRow0AndShowsEntry0) {
  const std::vector<std::function<void()>> refreshes = {
      [&] { dlg->OnAllTracingOn(); },        [&] { dlg->OnAllTracingOff(); },
      [&] { dlg->OnResetToDefaults(); },     [&] { TypeDirectory(L"C:\\Logs\\"); },
      [&] { ui.answers = {kIdNo, kIdNo}, dlg->OnApply(); }, [&] { ui.answers = {kIdYes}, dlg->OnDeleteFile(); }};
  Open();
  for (std::size_t i = 0; i < refreshes.size(); ++i) {
    SCOPED_TRACE(i);
    view.UserSelect(kHooks);
    EXPECT_EQ(view.Text(IDC_TRACE_LEVEL), Entry(kHooks).m_level);
    refreshes[i]();
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(dlg->GetCurrentEntry().m_name, Entry(0).m_name);
    EXPECT_EQ(view.Text(IDC_TRACE_LEVEL), Entry(0).m_level);
    EXPECT_EQ(view.check[IDC_TRACING_ENABLED], Entry(0).m_enabled);
    EXPECT_EQ(view.Text(IDC_TRACE_DIRECTORY), dlg->GetList().GetDefaultDirectory());
  }
}

TEST_F(DialogTest, ALevelChangeAloneSavesWithoutARestartQuestion) {
  Open();
  view.UserSelect(kPopup);
  view.SetControlText(IDC_TRACE_LEVEL, L"8");
  dlg->OnApply();
  EXPECT_TRUE(ui.shown.empty());
  std::uint32_t level = 0;
  EXPECT_TRUE(registry.GetDword(kKeys[kPopup], L"SeverityFilter", &level) && level == 8);
  EXPECT_FALSE(view.Enabled(IDC_APPLY_BUTTON));
}

TEST_F(DialogTest, ASpoolerHostedChangeMakesEveryLaterApplyAskAgain) {
  Open({kIdNo, kIdNo, kIdNo});
  view.UserSelect(kHooks);
  view.UserClickCheck();
  dlg->OnApply();
  for (const wchar_t* level : {L"0", L"1"}) {
    view.UserSelect(kMessage);
    view.SetControlText(IDC_TRACE_LEVEL, level);
    dlg->OnApply();
  }
  EXPECT_EQ(Shown(), Texts(3, L"Restart Spooler?"));
  EXPECT_EQ(ui.unscripted, 0);
}

TEST_F(DialogTest, AllTracingOnOverEnabledEntriesMarksNothing) {
  for (const auto& key : kKeys) registry.PutDword(key, L"Enable", 1);
  Open();
  dlg->OnAllTracingOn();
  EXPECT_FALSE(view.Enabled(IDC_APPLY_BUTTON));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Entry(i).m_modified, 0);
}

TEST_F(DialogTest, ResetToDefaultsLevelsAndMarks) {
  struct Setup {
    std::int32_t kind, numeric, enabled;
    const wchar_t *pathValue, *level, *expected;
    bool marked;
  };
  const Setup scenarios[2][4] = {{{1, 1, 0, L"", L"1.5,2-31.0", L"1.5,2-31.0", false},
                                  {2, 1, 0, L"", L"0-31.0", L"0-31.0", false},
                                  {2, 1, 0, L"", L"0", L"0", true},  // a numeric 0 is always rewritten
                                  {2, 0, 0, L"", L"5", L"0-31.0", true}},
                                 {{1, 1, 0, L"", L"3", L"1.5,2-31.0", true},
                                  {2, 1, 0, L"TraceFile", L"7", L"7", true},
                                  {2, 1, 1, L"", L"0-31.0", L"0-31.0", true},  // marked by switching it off
                                  {0, 0, 0, L"", L"0-31.0", L"0-31.0", false}}};
  const std::wstring common = L"C:\\ProgramData\\Mirabo\\Ostrival\\Logs\\Veltrane\\Client";
  registry.PutString(kDesktop, L"DefaultDir", common);  // so the directory marks nothing
  for (const auto& scenario : scenarios) {
    Open();
    for (int i = 0; i < 4; ++i) {
      OvClientTracingEntry e = Entry(i);
      e.m_levelDefaultKind = scenario[i].kind;
      e.m_numericLevel = scenario[i].numeric;
      e.m_enabled = scenario[i].enabled;
      e.m_pathValueName = scenario[i].pathValue;
      e.m_level = scenario[i].level;
      dlg->GetList().SetEntry(i, e);
    }
    dlg->OnResetToDefaults();
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(Entry(i).m_level, scenario[i].expected);
      EXPECT_EQ(Entry(i).m_enabled, 0);
      EXPECT_EQ(Entry(i).m_modified == 1 && Entry(i).m_spoolerRestartPending == 1, scenario[i].marked);
    }
    EXPECT_TRUE(view.Enabled(IDC_APPLY_BUTTON));
  }
}

TEST_F(DialogTest, MissingDirectoryAnsweredCancelNoOrYes) {
  for (const int answer : {kIdCancel, kIdNo, kIdYes}) {
    SCOPED_TRACE(answer);
    fs::remove_all(m_dir / "C" / "a");
    registry.PutString(kDesktop, L"DefaultDir", L"C:\\Logs");
    Texts created;  // directories whose creation can succeed, in call order
    files->SetFailureHook([&](FileOp op, const std::wstring& path) {
      if (op == FileOp::MakeDir && fs::exists(fs::path(files->ToHostPath(path)).parent_path())) created.push_back(path);
      return kSuccess;
    });
    Open({answer, kIdNo, kIdNo});
    TypeDirectory(L"C:\\a\\b\\c");
    dlg->OnApply();
    const bool saved = answer != kIdCancel;
    EXPECT_EQ(Shown(), saved ? (Texts{L"Path error", L"Restart Spooler?", L"Restart Shared Engine?"})
                             : Texts{L"Path error"});
    EXPECT_EQ(ui.shown[0].flags, kMbYesNoCancel | kMbIconError);
    EXPECT_EQ(SavedDirectory(), saved ? L"C:\\a\\b\\c" : L"C:\\Logs");
    EXPECT_EQ(view.Enabled(IDC_APPLY_BUTTON), !saved);
    EXPECT_EQ(created, answer == kIdYes ? (Texts{L"C:\\a", L"C:\\a\\b", L"C:\\a\\b\\c"}) : Texts{});
    EXPECT_EQ(fs::is_directory(m_dir / "C" / "a" / "b" / "c"), answer == kIdYes);
    std::wstring cwd;
    files->GetWorkingDirectory(&cwd);
    EXPECT_EQ(cwd, L"C:\\Logs");
  }
}

TEST_F(DialogTest, AFailedRestartStillPausesAndRestoresTheCursor) {
  std::set<CursorHandle> cursors;  // under which every Service Control Manager call ran
  services.SetFailureHook([&](ScOp op, const std::wstring& name) {
    cursors.insert(ui.cursor);
    return op == ScOp::Control && name == L"Spooler" ? kErrorServiceCannotAcceptCtrl : kSuccess;
  });
  services.AddService(L"Spooler");
  services.AddService(L"OvSharedEngine");
  Open({kIdYes, kIdOk, kIdYes});
  TypeDirectory(L"C:\\Logs\\");  // marks every entry
  dlg->OnApply();
  EXPECT_EQ(Shown(), (Texts{L"Restart Spooler?", L"Spooler", L"Restart Shared Engine?"}));
  EXPECT_EQ(ui.shown[1].text, L"Could not stop the service.  Error: 1061");
  EXPECT_EQ(services.Events(), (Texts{L"stop OvSharedEngine", L"start OvSharedEngine"}));
  EXPECT_EQ(cursors, std::set<CursorHandle>{SimUserInteraction::kWait});
  EXPECT_EQ(clock.Sleeps(), (std::vector<std::uint32_t>{500, 500}));
  EXPECT_EQ(ui.cursor, SimUserInteraction::kArrow);
}

TEST_F(DialogTest, OkAndCloseAskOnlyWhenApplyIsEnabledAndCancelNeverAsks) {
  enum Handler { kOk, kClose, kCancel };
  struct Case {
    Handler handler;
    int answer;  // 0: clean, no question; -1: dirty, no question
    bool ends, saved;
  };
  const Case cases[] = {{kOk, 0, true, false},          {kOk, kIdYes, true, true},     {kOk, kIdNo, true, false},
                        {kOk, kIdCancel, false, false}, {kClose, 0, true, false},      {kClose, kIdYes, true, true},
                        {kClose, kIdNo, true, false},   {kClose, kIdCancel, false, false}, {kCancel, -1, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.handler << " " << c.answer);
    registry.RemoveKeyTree(kKeys[kPopup]);
    registry.AddKey(kKeys[kPopup]);
    Open({c.answer});
    if (c.answer != 0) {
      view.UserSelect(kPopup);
      view.SetControlText(IDC_TRACE_LEVEL, L"6");
    }
    (c.handler == kOk ? dlg->OnOK() : c.handler == kClose ? dlg->OnClose() : dlg->OnCancel());
    EXPECT_EQ(Shown(), c.answer > 0 ? Texts{L"Save Changes?"} : Texts{});
    EXPECT_EQ(view.endResult, c.ends ? std::optional<int>(c.handler == kOk ? kIdOk : kIdCancel) : std::nullopt);
    EXPECT_EQ(registry.FindValue(kKeys[kPopup], L"SeverityFilter") != nullptr, c.saved);
  }
}

TEST_F(DialogTest, DeletingADisabledComponentsFileReportsEachErrorByCode) {
  struct Case {
    std::function<void()> arrange;
    const wchar_t* message;  // nullptr: deleted silently
  };
  const auto failRemove = [](FileOp op, const std::wstring&) { return op == FileOp::Remove ? kErrorAccessDenied : kSuccess; };
  const std::vector<Case> cases = {
      {[&] { WriteFile(L"OvPopupManager.log", 10); }, nullptr},
      {[] {}, L"File was not deleted.  File not found."},
      {[&] { files->SetFailureHook(failRemove); }, L"File was not deleted.  Access denied."},
      {[&] {
         WriteFile(L"OvPopupManager.log", 10);
         files->HoldOpen(L"C:\\Logs\\OvPopupManager.log", kGenericRead, kFileShareRead | kFileShareWrite);
       },
       L"File was not deleted.  File in use."},
      {[&] { registry.PutString(kDesktop, L"DefaultDir", L"C:\\Gone"); }, L"File could not be deleted.  Error 3"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.message ? c.message : L"deleted"));
    NewFiles();
    registry.PutString(kDesktop, L"DefaultDir", L"C:\\Logs");
    fs::remove(Host(L"OvPopupManager.log"));
    c.arrange();
    Open({kIdYes});
    view.UserSelect(kPopup);
    dlg->OnDeleteFile();
    EXPECT_EQ(Shown(true).back(), c.message ? c.message : L"Are you sure you want to delete the  Popup Manager trace file?");
    EXPECT_EQ(Shown().back(), c.message ? L"Deletion Error" : L"Confirm trace file delete");
    EXPECT_EQ(view.rows[kPopup][4], c.message ? view.rows[kPopup][4] : L"Doesn't exist");
  }
}

TEST_F(DialogTest, AnEnabledComponentsFileIsEmptiedButNeverThroughALink) {
  const std::string outside = (m_dir / "precious.txt").string();
  std::ofstream(outside) << "keep me";
  WriteFile(L"OvSpoolerHooks.log", 2000);
  const int writer = files->HoldOpen(L"C:\\Logs\\OvSpoolerHooks.log", kGenericWrite, kFileShareRead | kFileShareWrite);
  Open();
  const auto deleteHooksFile = [&] {
    view.UserSelect(kHooks);
    ui.answers = {kIdYes};
    dlg->OnDeleteFile();
  };
  deleteHooksFile();  // held open by the running component with shared write
  EXPECT_EQ(view.rows[kHooks][4], L".0KB");
  files->ReleaseShare(writer);
  for (bool symbolic : {true, false}) {
    fs::remove(Host(L"OvSpoolerHooks.log"));
    symbolic ? fs::create_symlink(outside, Host(L"OvSpoolerHooks.log"))
             : fs::create_hard_link(outside, Host(L"OvSpoolerHooks.log"));
    deleteHooksFile();
    EXPECT_EQ(fs::file_size(outside), 7u) << symbolic;
  }
  EXPECT_EQ(Shown(), Texts(3, L"Confirm trace file delete"));
}

}  // namespace

namespace {

TEST_F(DialogTest, NoEntriesEndsTheDialogAfterBrandingWithoutSaving) {
  for (const auto& key : kKeys) registry.RefuseOpen(key, kErrorAccessDenied);
  registry.PutString(kDesktop, L"DefaultDir", L"C:\\Old");
  Open();
  // Open() clears the record; the box was shown by OnInitDialog before that.
  EXPECT_EQ(view.endResult, 2);  // IDCANCEL
  EXPECT_EQ(view.caption, L"Unknown Product Client tracing options");
  EXPECT_EQ(SavedDirectory(), L"C:\\Old");
  dlg.reset();
  view = TestDialogView();
  dlg = std::make_unique<COvClientTracingDlg>(platform, view);
  view.Attach(dlg.get());
  dlg->OnInitDialog();
  ASSERT_FALSE(ui.shown.empty());
  EXPECT_EQ(ui.shown.back().text, L"No tracing entries found.");
  EXPECT_EQ(ui.shown.back().caption, L"Error");
}

TEST_F(DialogTest, DirectoryEditLosesOneTrailingBackslashAndKeepsRestartMarksOfLaterEdits) {
  Open({kIdNo, kIdNo});
  TypeDirectory(L"C:\\New\\\\");
  EXPECT_EQ(view.Text(IDC_TRACE_DIRECTORY), L"C:\\New\\");
  EXPECT_EQ(dlg->GetList().GetDefaultDirectory(), L"C:\\New\\");
  EXPECT_TRUE(view.Enabled(IDC_APPLY_BUTTON));
  // An empty directory marks the list without a refresh; a level edit of the still shown
  // entry must not store back a copy that lost those marks.
  Open({kIdNo, kIdNo, kIdNo, kIdNo});
  view.UserSelect(kHooks);
  view.SetControlText(IDC_TRACE_DIRECTORY, L"");
  dlg->OnDirectoryKillFocus();
  view.SetControlText(IDC_TRACE_LEVEL, L"9");
  dlg->OnLevelKillFocus();
  EXPECT_EQ(Entry(kHooks).m_spoolerRestartPending, 1);
  EXPECT_TRUE(dlg->GetList().IsSpoolerRestartNeeded());
}

}  // namespace
