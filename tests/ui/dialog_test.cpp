// The main dialog against the test view, the sim registry and a real temporary directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <stdexcept>

#include <unistd.h>

#include "platform/sim/sim_clock.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_services.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/sim_ui.h"
#include "tests/ui/test_dialog_view.h"
#include "ui/strings.h"

using namespace ov::platform;
using namespace ov::platform::sim;
namespace fs = std::filesystem;

namespace {

const std::wstring kDesktop = L"Software\\Veltrane\\Desktop Client";
const std::wstring kKeys[] = {L"SOFTWARE\\Veltrane\\Desktop Client\\Shared Engine",
                              L"SOFTWARE\\Veltrane\\Desktop Client\\Popup Manager",
                              L"SOFTWARE\\Veltrane\\Desktop Client\\Message Client",
                              L"SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing"};
const std::wstring kDefaultDirectory = L"C:\\ProgramData\\Mirabo\\Ostrival\\Logs\\Veltrane\\Client";
enum Row { kSharedEngine, kPopup, kMessage, kHooks };

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("ovdialog-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir / "C" / "Logs");
    files = std::make_unique<SimFileSystem>(m_dir.string());
    files->SetWorkingDirectoryForTest(L"C:\\Logs");
    platform = Platform{&registry, &system, files.get(), &ui, &clock, &services};
    registry.PutString(kDesktop, L"DefaultDir", L"C:\\Logs");
    const std::uint32_t levels[] = {3, 4, 5, 7};
    for (int i = 0; i < 4; ++i) registry.PutDword(kKeys[i], L"Level", levels[i]);
    registry.PutDword(kKeys[kHooks], L"Enable", 1);
    // Every call into the Service Control Manager notes the cursor it ran under.
    services.SetFailureHook([this](ScOp, const std::wstring&) {
      cursorsDuringRestart.insert(ui.cursor);
      return kSuccess;
    });
  }
  void TearDown() override { fs::remove_all(m_dir); }

  // A fresh dialog on a fresh view, as each start of the tool has.
  void Open() {
    dlg.reset();
    view = TestDialogView();
    dlg = std::make_unique<COvClientTracingDlg>(platform, view);
    view.Attach(dlg.get());
    EXPECT_TRUE(dlg->OnInitDialog());
  }
  void WriteFile(const std::wstring& name, std::size_t bytes) {
    std::ofstream(HostPath(name), std::ios::binary) << std::string(bytes, 'x');
  }
  std::string HostPath(const std::wstring& name) { return files->ToHostPath(L"C:\\Logs\\" + name); }
  std::vector<std::wstring> Captions() const {
    std::vector<std::wstring> captions;
    for (const auto& box : ui.shown) captions.push_back(box.caption);
    return captions;
  }
  std::wstring SavedDirectory() {
    std::wstring text = L"<none>";
    registry.GetString(kDesktop, L"DefaultDir", &text);
    return text;
  }
  bool Saved(Row row) { return registry.FindValue(kKeys[row], L"SeverityFilter") != nullptr; }
  // The editors and the selection as every refresh must leave them.
  void ExpectShowsEntry0() {
    EXPECT_EQ(view.selected, 0);
    const OvClientTracingEntry e0 = dlg->GetList().GetEntry(0);
    EXPECT_EQ(dlg->GetCurrentEntry().m_name, e0.m_name);
    EXPECT_EQ(view.Text(IDC_TRACE_LEVEL), e0.m_level);
    EXPECT_EQ(view.controls[IDC_TRACING_ENABLED].check, e0.m_enabled ? ov::ui::kChecked : ov::ui::kUnchecked);
    EXPECT_EQ(view.Text(IDC_TRACE_DIRECTORY), dlg->GetList().GetDefaultDirectory());
  }

  fs::path m_dir;
  SimRegistry registry;
  SimSystemInfo system;
  SimUserInteraction ui;
  SimClock clock;
  SimServiceControl services{clock};
  std::set<CursorHandle> cursorsDuringRestart;
  std::unique_ptr<SimFileSystem> files;
  Platform platform;
  TestDialogView view;
  std::unique_ptr<COvClientTracingDlg> dlg;
};

// ---- OnInitDialog and RefreshList -------------------------------------------------------

TEST_F(DialogTest, InitFillsTheListSelectsRow0AndBrandsTheCaption) {
  WriteFile(L"OvSharedEngine.log", 1023);
  WriteFile(L"OvPopupManager.log", 512);
  WriteFile(L"MessageClient.log", 0);
  // A running component writing its file with shared read does not hide the size.
  files->HoldOpen(L"C:\\Logs\\OvSharedEngine.log", kGenericWrite, kFileShareRead | kFileShareWrite);
  Open();
  EXPECT_TRUE(view.iconsSet && view.fullRowSelectOnly);
  ASSERT_EQ(view.columns.size(), 5u);
  const wchar_t* headers[] = {L"Component", L"Enabled", L"Level", L"Filename", L"File Size"};
  for (int c = 0; c < 5; ++c) {
    EXPECT_EQ(view.columns[c].header, headers[c]);
    EXPECT_EQ(view.columns[c].align, c == 1 ? ov::ui::ColumnAlign::Center : ov::ui::ColumnAlign::Left);
  }
  const std::vector<std::vector<std::wstring>> rows = {
      {L"Shared Engine Service", L"No", L"3", L"C:\\Logs\\OvSharedEngine.log", L"1.0KB"},
      {L"Popup Manager", L"No", L"4", L"C:\\Logs\\OvPopupManager.log", L".5KB"},
      {L"Message Client", L"No", L"5", L"C:\\Logs\\MessageClient.log", L".0KB"},
      {L"Spooler Hooks", L"Yes", L"7", L"C:\\Logs\\OvSpoolerHooks.log", L"Doesn't exist"}};
  EXPECT_EQ(view.rows, rows);
  // Widest cell plus "MM"; the Enabled column from its header alone.
  const int widths[] = {TestDialogView::Measure(L"Shared Engine ServiceMM"), TestDialogView::Measure(L"EnabledMM"),
                        TestDialogView::Measure(L"3MM"), TestDialogView::Measure(L"C:\\Logs\\OvSpoolerHooks.logMM"),
                        TestDialogView::Measure(L"Doesn't existMM")};
  for (int c = 0; c < 5; ++c) EXPECT_EQ(view.columns[c].width, widths[c]) << c;
  ExpectShowsEntry0();
  EXPECT_FALSE(view.Enabled(IDC_APPLY_BUTTON));
  // No branding library is installed here: the product name's fixed default stands in.
  EXPECT_EQ(view.caption, L"Unknown Product Client tracing options");
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_FALSE(view.endResult.has_value());
}

TEST_F(DialogTest, NoEntriesEndsWithoutSavingAfterBrandingTheCaption) {
  for (const auto& key : kKeys) registry.RefuseOpen(key, kErrorAccessDenied);
  Open();
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, L"No tracing entries found.");
  EXPECT_EQ(ui.shown[0].caption, L"Error");
  EXPECT_EQ(ui.shown[0].flags, kMbIconError | kMbOk);
  EXPECT_EQ(view.endResult, kIdCancel);
  EXPECT_EQ(view.caption, L"Unknown Product Client tracing options");
  EXPECT_EQ(SavedDirectory(), L"C:\\Logs");  // untouched
  for (int c = 0; c < 5; ++c) EXPECT_EQ(view.columns[c].width, c == 1 ? TestDialogView::Measure(L"EnabledMM") : 0);
}

TEST_F(DialogTest, EveryRefreshSelectsRow0AndShowsEntry0) {
  const std::vector<std::pair<const char*, std::function<void()>>> refreshes = {
      {"all on", [&] { dlg->OnAllTracingOn(); }},
      {"all off", [&] { dlg->OnAllTracingOff(); }},
      {"reset", [&] { dlg->OnResetToDefaults(); }},
      {"directory", [&] { view.UserType(IDC_TRACE_DIRECTORY, L"C:\\Logs\\"); dlg->OnDirectoryKillFocus(); }},
      {"apply", [&] { ui.answers = {kIdNo, kIdNo}; dlg->OnApply(); }},
      {"delete", [&] { ui.answers = {kIdYes}; dlg->OnDeleteFile(); }}};
  Open();
  for (const auto& [name, refresh] : refreshes) {
    SCOPED_TRACE(name);
    view.UserSelect(kHooks);
    EXPECT_EQ(view.Text(IDC_TRACE_LEVEL), dlg->GetList().GetEntry(kHooks).m_level);
    refresh();
    ExpectShowsEntry0();
    EXPECT_TRUE(view.Enabled(IDC_TRACING_ENABLED) && view.Enabled(IDC_TRACE_LEVEL));
  }
}

// ---- Editing the selected entry ---------------------------------------------------------

TEST_F(DialogTest, SelectionFillsEditorsWithoutCountingAsAnEditAndGatesTheControls) {
  Open();
  for (int row : {3, 1, 0, 2}) {
    view.UserSelect(row);
    EXPECT_EQ(view.Text(IDC_TRACE_LEVEL), dlg->GetList().GetEntry(row).m_level);
  }
  EXPECT_FALSE(view.Enabled(IDC_APPLY_BUTTON));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(dlg->GetList().GetEntry(i).m_modified, 0);

  view.UserSelect(-1);
  for (int id : {IDC_TRACING_ENABLED, IDC_TRACE_LEVEL, IDC_LEVEL_LABEL, IDC_DELETE_FILE}) EXPECT_FALSE(view.Enabled(id));
  EXPECT_TRUE(view.Enabled(IDC_TRACE_DIRECTORY));
  EXPECT_EQ(view.Text(IDC_TRACE_LEVEL), L"5");  // keeps its text
  dlg->OnListDoubleClick();                     // below the rows: nothing
  dlg->OnDeleteFile();
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_FALSE(view.Enabled(IDC_APPLY_BUTTON));

  // An entry kept as one path value has no level to edit.
  OvClientTracingEntry pathValued = dlg->GetList().GetEntry(kPopup);
  pathValued.m_pathValueName = L"TraceFile";
  dlg->GetList().SetEntry(kPopup, pathValued);
  view.UserSelect(kPopup);
  EXPECT_FALSE(view.Enabled(IDC_TRACE_LEVEL) || view.Enabled(IDC_LEVEL_LABEL));
  EXPECT_TRUE(view.Enabled(IDC_TRACING_ENABLED) && view.Enabled(IDC_DELETE_FILE));
}

TEST_F(DialogTest, TracingEnabledAndDoubleClickUpdateTheEnabledCellAtOnceAndMarkTheEntry) {
  Open();
  view.UserSelect(kPopup);
  view.UserType(IDC_TRACE_LEVEL, L"9");
  view.UserClickCheck();
  EXPECT_EQ(view.Cell(kPopup, 1), L"Yes");
  EXPECT_EQ(view.Cell(kPopup, 2), L"4");  // the level cell waits for the editor to lose focus
  const OvClientTracingEntry e = dlg->GetList().GetEntry(kPopup);
  EXPECT_EQ(e.m_enabled + e.m_modified + e.m_spoolerRestartPending + e.m_sharedEngineRestartPending, 4);
  EXPECT_TRUE(view.Enabled(IDC_APPLY_BUTTON));
  dlg->OnLevelKillFocus();
  EXPECT_EQ(view.Cell(kPopup, 2), L"9");
  EXPECT_EQ(view.redrawn, std::vector<int>{kPopup});

  view.UserSelect(kHooks);
  dlg->OnListDoubleClick();
  EXPECT_EQ(view.Cell(kHooks, 1), L"No");
  EXPECT_EQ(dlg->GetList().GetEntry(kHooks).m_enabled, 0);
  EXPECT_EQ(view.controls[IDC_TRACING_ENABLED].check, ov::ui::kUnchecked);
}

TEST_F(DialogTest, DirectoryEditingMarksEverythingAndKillFocusTrimsOneBackslash) {
  Open();
  view.UserType(IDC_TRACE_DIRECTORY, L"C:\\New\\\\");
  for (int i = 0; i < 4; ++i) {
    const OvClientTracingEntry e = dlg->GetList().GetEntry(i);
    EXPECT_EQ(e.m_modified + e.m_spoolerRestartPending + e.m_sharedEngineRestartPending, 3);
  }
  EXPECT_EQ(view.Cell(0, 3), L"C:\\Logs\\OvSharedEngine.log");  // not yet refreshed
  dlg->OnDirectoryKillFocus();
  EXPECT_EQ(dlg->GetList().GetDefaultDirectory(), L"C:\\New\\");
  EXPECT_EQ(view.Text(IDC_TRACE_DIRECTORY), L"C:\\New\\");
  EXPECT_EQ(view.Cell(0, 3), L"C:\\New\\\\OvSharedEngine.log");

  view.UserType(IDC_TRACE_DIRECTORY, L"C:\\");
  dlg->OnDirectoryKillFocus();
  EXPECT_EQ(dlg->GetList().GetDefaultDirectory(), L"C:");

  // Empty: stored, but leaving the editor refreshes nothing.
  const int refreshes = view.widthUpdates;
  view.UserType(IDC_TRACE_DIRECTORY, L"");
  dlg->OnDirectoryKillFocus();
  EXPECT_EQ(dlg->GetList().GetDefaultDirectory(), L"");
  EXPECT_EQ(view.widthUpdates, refreshes);
}

TEST_F(DialogTest, LevelEditAfterAnUnrefreshedDirectoryChangeKeepsTheRestartMarks) {
  Open();
  view.UserSelect(kHooks);
  view.UserType(IDC_TRACE_DIRECTORY, L"");  // no refresh follows an empty directory
  dlg->OnDirectoryKillFocus();
  view.UserType(IDC_TRACE_LEVEL, L"2");
  EXPECT_EQ(dlg->GetList().GetEntry(kHooks).m_spoolerRestartPending, 1);
}

// ---- Bulk commands ----------------------------------------------------------------------

TEST_F(DialogTest, AllTracingOnMarksOnlyWhatItChangesAndLeavesApplyAsItWas) {
  for (const auto& key : kKeys) registry.PutDword(key, L"Enable", 1);
  Open();
  view.UserSelect(kMessage);
  dlg->OnAllTracingOn();
  EXPECT_FALSE(view.Enabled(IDC_APPLY_BUTTON));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(dlg->GetList().GetEntry(i).m_modified, 0);
  EXPECT_EQ(view.selected, 0);

  dlg->OnAllTracingOff();
  EXPECT_TRUE(view.Enabled(IDC_APPLY_BUTTON));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(view.Cell(i, 1), L"No");
  ui.answers = {kIdNo, kIdNo};
  dlg->OnApply();
  EXPECT_EQ(Captions(), (std::vector<std::wstring>{L"Restart Spooler?", L"Restart Shared Engine?"}));
}

TEST_F(DialogTest, ResetToDefaultsLevelsAndMarks) {
  struct Setup {
    std::int32_t kind, numeric, enabled;
    const wchar_t* pathValue;
    const wchar_t* level;
    const wchar_t* expectedLevel;
    bool marked;
  };
  const std::vector<std::vector<Setup>> scenarios = {
      {{1, 1, 0, L"", L"1.5,2-31.0", L"1.5,2-31.0", false},
       {2, 1, 0, L"", L"0-31.0", L"0-31.0", false},
       {2, 1, 0, L"", L"0", L"0", true},  // a numeric 0 is always rewritten
       {2, 0, 0, L"", L"5", L"0-31.0", true}},
      {{1, 1, 0, L"", L"3", L"1.5,2-31.0", true},
       {2, 1, 0, L"TraceFile", L"7", L"7", true},
       {2, 1, 1, L"", L"0-31.0", L"0-31.0", true},  // marked by switching it off
       {0, 0, 0, L"", L"0-31.0", L"0-31.0", false}}};
  registry.PutString(kDesktop, L"DefaultDir", kDefaultDirectory);  // the directory changes nothing
  for (std::size_t s = 0; s < scenarios.size(); ++s) {
    SCOPED_TRACE(s);
    Open();
    for (int i = 0; i < 4; ++i) {
      OvClientTracingEntry e = dlg->GetList().GetEntry(i);
      e.m_levelDefaultKind = scenarios[s][i].kind;
      e.m_numericLevel = scenarios[s][i].numeric;
      e.m_enabled = scenarios[s][i].enabled;
      e.m_pathValueName = scenarios[s][i].pathValue;
      e.m_level = scenarios[s][i].level;
      dlg->GetList().SetEntry(i, e);
    }
    dlg->OnResetToDefaults();
    for (int i = 0; i < 4; ++i) {
      const OvClientTracingEntry e = dlg->GetList().GetEntry(i);
      EXPECT_EQ(e.m_level, scenarios[s][i].expectedLevel) << i;
      EXPECT_EQ(e.m_enabled, 0);
      EXPECT_EQ(e.m_modified == 1 && e.m_spoolerRestartPending == 1, scenarios[s][i].marked) << i;
    }
    EXPECT_TRUE(view.Enabled(IDC_APPLY_BUTTON));
  }
}

TEST_F(DialogTest, ResetToDefaultsMovesTheDirectoryToTheCommonDefault) {
  Open();
  dlg->OnResetToDefaults();
  EXPECT_EQ(view.Text(IDC_TRACE_DIRECTORY), kDefaultDirectory);
  EXPECT_EQ(view.Cell(kMessage, 3), kDefaultDirectory + L"\\MessageClient.log");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(dlg->GetList().GetEntry(i).m_sharedEngineRestartPending, 1);
}

// ---- Apply, OK, Cancel ------------------------------------------------------------------

TEST_F(DialogTest, ALevelChangeAloneSavesWithoutAnyQuestion) {
  Open();
  view.UserSelect(kPopup);
  view.UserType(IDC_TRACE_LEVEL, L"8");
  dlg->OnApply();
  EXPECT_TRUE(ui.shown.empty());
  std::uint32_t level = 0;
  EXPECT_TRUE(registry.GetDword(kKeys[kPopup], L"SeverityFilter", &level));
  EXPECT_EQ(level, 8u);
  EXPECT_FALSE(view.Enabled(IDC_APPLY_BUTTON));
  std::wstring cwd;
  files->GetWorkingDirectory(&cwd);
  EXPECT_EQ(cwd, L"C:\\Logs");
}

TEST_F(DialogTest, ASpoolerHostedChangeMakesEveryLaterApplyAskAgain) {
  Open();
  view.UserSelect(kHooks);
  view.UserClickCheck();
  ui.answers = {kIdNo};
  dlg->OnApply();
  for (int round = 0; round < 2; ++round) {
    view.UserSelect(kMessage);
    view.UserType(IDC_TRACE_LEVEL, std::to_wstring(round));
    ui.answers = {kIdNo};
    dlg->OnApply();
  }
  EXPECT_EQ(Captions(), std::vector<std::wstring>(3, L"Restart Spooler?"));
  EXPECT_EQ(ui.shown[0].flags, kMbYesNo | kMbIconQuestion);
  EXPECT_EQ(ui.unscripted, 0);
  EXPECT_TRUE(services.Events().empty());
}

TEST_F(DialogTest, MissingDirectoryAnsweredCancelNoOrYes) {
  struct Case {
    int answer;
    bool saved;
    bool created;
  };
  for (const Case c : {Case{kIdCancel, false, false}, Case{kIdNo, true, false}, Case{kIdYes, true, true}}) {
    SCOPED_TRACE(c.answer);
    fs::remove_all(m_dir / "C" / "a");
    registry.PutString(kDesktop, L"DefaultDir", L"C:\\Logs");
    std::vector<std::wstring> created;  // directories whose creation can succeed, in call order
    files->SetFailureHook([&](FileOp op, const std::wstring& path) {
      if (op == FileOp::MakeDir && fs::exists(fs::path(files->ToHostPath(path)).parent_path())) created.push_back(path);
      return kSuccess;
    });
    Open();
    view.UserType(IDC_TRACE_DIRECTORY, L"C:\\a\\b\\c");
    dlg->OnDirectoryKillFocus();
    ui.shown.clear();
    ui.answers = {c.answer, kIdNo, kIdNo};
    dlg->OnApply();
    ASSERT_FALSE(ui.shown.empty());
    EXPECT_EQ(ui.shown[0].text, ov::ui::StringTableText(IDS_CREATE_DIRECTORY_QUESTION));
    EXPECT_EQ(ui.shown[0].caption, L"Path error");
    EXPECT_EQ(ui.shown[0].flags, kMbYesNoCancel | kMbIconError);
    EXPECT_EQ(ui.shown.size(), c.saved ? 3u : 1u);  // then both restart questions
    EXPECT_EQ(SavedDirectory(), c.saved ? L"C:\\a\\b\\c" : L"C:\\Logs");
    EXPECT_EQ(view.Enabled(IDC_APPLY_BUTTON), !c.saved);
    EXPECT_EQ(fs::is_directory(m_dir / "C" / "a" / "b" / "c"), c.created);
    if (c.created) {
      EXPECT_EQ(created, (std::vector<std::wstring>{L"C:\\a", L"C:\\a\\b", L"C:\\a\\b\\c"}));
    }
    std::wstring cwd;
    files->GetWorkingDirectory(&cwd);
    EXPECT_EQ(cwd, L"C:\\Logs");
  }
}

TEST_F(DialogTest, ApplySurvivesAnUnrecordableWorkingDirectoryAndAFailedCreation) {
  files->SetWorkingDirectoryForTest(L"C:\\" + std::wstring(300, L'd'));
  files->SetFailureHook([](FileOp op, const std::wstring&) { return op == FileOp::MakeDir ? kErrorAccessDenied : kSuccess; });
  Open();
  view.UserType(IDC_TRACE_DIRECTORY, L"C:\\Missing");
  ui.answers = {kIdOk, kIdYes, kIdOk, kIdNo, kIdNo};
  dlg->OnApply();
  EXPECT_EQ(ui.unscripted, 0);
  ASSERT_EQ(ui.shown.size(), 5u);  // then the two restart questions
  EXPECT_EQ(ui.shown[0].text, L"An error occured getting current directory.");
  EXPECT_EQ(ui.shown[0].caption, L"Directory Error");
  EXPECT_EQ(ui.shown[1].caption, L"Path error");
  EXPECT_EQ(ui.shown[2].text, L"Could not create directory");
  EXPECT_EQ(ui.shown[2].caption, L"Directory Error");
  EXPECT_EQ(SavedDirectory(), L"C:\\Missing");
}

TEST_F(DialogTest, RestartsRunUnderTheWaitCursorThenPauseAndRestoreIt) {
  services.AddService(L"Spooler");
  services.AddService(L"OvSharedEngine");
  Open();
  view.UserType(IDC_TRACE_DIRECTORY, L"C:\\Logs\\");  // marks every entry
  dlg->OnDirectoryKillFocus();
  ui.answers = {kIdYes, kIdYes};
  dlg->OnApply();
  EXPECT_EQ(Captions(), (std::vector<std::wstring>{L"Restart Spooler?", L"Restart Shared Engine?"}));
  EXPECT_EQ(services.Events(), (std::vector<std::wstring>{L"stop Spooler", L"start Spooler", L"stop OvSharedEngine",
                                                          L"start OvSharedEngine"}));
  EXPECT_EQ(cursorsDuringRestart, std::set<CursorHandle>{SimUserInteraction::kWait});
  EXPECT_EQ(clock.Sleeps(), (std::vector<std::uint32_t>{500, 500}));
  EXPECT_EQ(ui.cursor, SimUserInteraction::kArrow);
  EXPECT_FALSE(view.Enabled(IDC_APPLY_BUTTON));
}

TEST_F(DialogTest, AFailedRestartIsShownUnderTheServicesNameAndTheCursorComesBack) {
  services.AddService(L"Spooler");
  services.SetState(L"Spooler", kServiceStopped);  // stopping a stopped service fails
  SimServiceControl::ServiceConfig hanging;
  hanging.hangsOnStop = true;
  hanging.stopWaitHintMs = 1000;
  services.AddService(L"OvSharedEngine", hanging);
  Open();
  view.UserType(IDC_TRACE_DIRECTORY, L"C:\\Logs\\");
  dlg->OnDirectoryKillFocus();
  ui.answers = {kIdYes, kIdOk, kIdYes, kIdOk};
  dlg->OnApply();
  ASSERT_EQ(Captions(), (std::vector<std::wstring>{L"Restart Spooler?", L"Spooler", L"Restart Shared Engine?",
                                                   L"OvSharedEngine"}));
  EXPECT_EQ(ui.shown[1].text, L"Could not stop the service.  Error: 1062");
  EXPECT_EQ(ui.shown[3].text.rfind(L"Timed out attempting to stop service.", 0), 0u);
  for (int i : {1, 3}) {
    EXPECT_TRUE(ui.shown[i].eightBit);
    EXPECT_EQ(ui.shown[i].flags, kMbIconError | kMbOk);
  }
  // The stop waited its 60 s, then came the pause.
  EXPECT_GE(clock.TickCount64(), 60000u + 500u);
  EXPECT_LT(clock.TickCount64(), 61000u + 500u);
  EXPECT_EQ(clock.Sleeps().back(), 500u);
  EXPECT_EQ(ui.cursor, SimUserInteraction::kArrow);
}

TEST_F(DialogTest, OkAndCloseAskOnlyWithUnsavedChangesAndCancelNeverAsks) {
  enum Handler { kOk, kClose, kCancel };
  struct Case {
    Handler handler;
    bool dirty;
    int answer;  // 0: no question expected
    bool ends, saved;
  };
  const Case cases[] = {
      {kOk, false, 0, true, false},        {kOk, true, kIdYes, true, true},       {kOk, true, kIdNo, true, false},
      {kOk, true, kIdCancel, false, false}, {kClose, false, 0, true, false},      {kClose, true, kIdYes, true, true},
      {kClose, true, kIdNo, true, false},  {kClose, true, kIdCancel, false, false}, {kCancel, true, 0, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.handler << " " << c.dirty << " " << c.answer);
    registry.RemoveKeyTree(kKeys[kPopup]);
    registry.AddKey(kKeys[kPopup]);
    ui.shown.clear();
    view.endResult.reset();
    Open();
    if (c.dirty) {
      view.UserSelect(kPopup);
      view.UserType(IDC_TRACE_LEVEL, L"6");
    }
    if (c.answer != 0) ui.answers = {c.answer};
    (c.handler == kOk ? dlg->OnOK() : c.handler == kClose ? dlg->OnClose() : dlg->OnCancel());
    EXPECT_EQ(ui.shown.size(), c.answer != 0 ? 1u : 0u);
    if (c.answer != 0) {
      EXPECT_EQ(ui.shown[0].caption, L"Save Changes?");
      EXPECT_EQ(ui.shown[0].flags, kMbYesNoCancel | kMbIconQuestion);
    }
    EXPECT_EQ(view.endResult.has_value(), c.ends);
    if (c.ends) {
      EXPECT_EQ(*view.endResult, c.handler == kOk ? kIdOk : kIdCancel);
    }
    EXPECT_EQ(Saved(kPopup), c.saved);
  }
}

TEST_F(DialogTest, OkClosesAfterYesEvenWhenApplyStopsAtItsOwnCancel) {
  Open();
  view.UserType(IDC_TRACE_DIRECTORY, L"C:\\Nowhere");
  ui.answers = {kIdYes, kIdCancel};
  dlg->OnOK();
  EXPECT_EQ(view.endResult, kIdOk);
  EXPECT_EQ(SavedDirectory(), L"C:\\Logs");
}

// ---- Delete file ------------------------------------------------------------------------

TEST_F(DialogTest, DeleteAsksWithTheNameBetweenTwoAndOneSpacesAndNoKeepsEverything) {
  WriteFile(L"OvPopupManager.log", 100);
  Open();
  view.UserSelect(kPopup);
  const int refreshes = view.widthUpdates;
  ui.answers = {kIdNo};
  dlg->OnDeleteFile();
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, L"Are you sure you want to delete the  Popup Manager trace file?");
  EXPECT_EQ(ui.shown[0].caption, L"Confirm trace file delete");
  EXPECT_EQ(ui.shown[0].flags, kMbYesNo | kMbIconError);
  EXPECT_TRUE(fs::exists(HostPath(L"OvPopupManager.log")));
  EXPECT_EQ(view.widthUpdates, refreshes);
  EXPECT_EQ(view.selected, kPopup);
}

TEST_F(DialogTest, DeletingADisabledComponentsFileReportsEachErrorByCode) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const wchar_t* message;  // nullptr: deleted silently
  };
  const std::vector<Case> cases = {
      {"deleted", [&] { WriteFile(L"OvPopupManager.log", 10); }, nullptr},
      {"missing", [] {}, L"File was not deleted.  File not found."},
      {"denied", [&] { files->SetFailureHook([](FileOp op, const std::wstring&) { return op == FileOp::Remove ? kErrorAccessDenied : kSuccess; }); },
       L"File was not deleted.  Access denied."},
      {"in use", [&] { WriteFile(L"OvPopupManager.log", 10); files->HoldOpen(L"C:\\Logs\\OvPopupManager.log", kGenericRead, kFileShareRead | kFileShareWrite); },
       L"File was not deleted.  File in use."},
      {"no directory", [&] { registry.PutString(kDesktop, L"DefaultDir", L"C:\\Gone"); }, L"File could not be deleted.  Error 3"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files = std::make_unique<SimFileSystem>(m_dir.string());
    platform.files = files.get();
    registry.PutString(kDesktop, L"DefaultDir", L"C:\\Logs");
    fs::remove(HostPath(L"OvPopupManager.log"));
    ui.shown.clear();
    c.arrange();
    Open();
    view.UserSelect(kPopup);
    ui.answers = {kIdYes};
    dlg->OnDeleteFile();
    ASSERT_EQ(ui.shown.size(), c.message ? 2u : 1u);
    if (c.message) {
      EXPECT_EQ(ui.shown[1].text, c.message);
      EXPECT_EQ(ui.shown[1].caption, L"Deletion Error");
      EXPECT_EQ(ui.shown[1].flags, kMbIconError | kMbOk);
    } else {
      EXPECT_EQ(view.Cell(kPopup, 4), L"Doesn't exist");
    }
    EXPECT_EQ(view.selected, 0);  // refreshed in every case
  }
}

TEST_F(DialogTest, AnEnabledComponentsFileIsEmptiedButNeverThroughALink) {
  const std::string outside = (m_dir / "precious.txt").string();
  std::ofstream(outside) << "keep me";
  WriteFile(L"OvSpoolerHooks.log", 2000);
  const int writer = files->HoldOpen(L"C:\\Logs\\OvSpoolerHooks.log", kGenericWrite, kFileShareRead | kFileShareWrite);
  Open();
  auto deleteHooksFile = [&] {
    view.UserSelect(kHooks);
    ui.answers = {kIdYes};
    dlg->OnDeleteFile();
  };
  deleteHooksFile();  // held open by the running component with shared write
  EXPECT_EQ(fs::file_size(HostPath(L"OvSpoolerHooks.log")), 0u);
  EXPECT_EQ(view.Cell(kHooks, 4), L".0KB");
  files->ReleaseShare(writer);

  fs::remove(HostPath(L"OvSpoolerHooks.log"));
  deleteHooksFile();  // missing: created empty
  EXPECT_EQ(view.Cell(kHooks, 4), L".0KB");

  for (bool symbolic : {true, false}) {
    fs::remove(HostPath(L"OvSpoolerHooks.log"));
    symbolic ? fs::create_symlink(outside, HostPath(L"OvSpoolerHooks.log"))
             : fs::create_hard_link(outside, HostPath(L"OvSpoolerHooks.log"));
    deleteHooksFile();
    EXPECT_EQ(fs::file_size(outside), 7u) << symbolic;
  }
  EXPECT_EQ(ui.shown.size(), 4u);  // the four questions, nothing else

  // Switched off, the same link is deleted: the link goes, its target stays.
  view.UserSelect(kHooks);
  view.UserClickCheck();
  fs::remove(HostPath(L"OvSpoolerHooks.log"));
  fs::create_symlink(outside, HostPath(L"OvSpoolerHooks.log"));
  deleteHooksFile();
  EXPECT_FALSE(fs::exists(fs::symlink_status(HostPath(L"OvSpoolerHooks.log"))));
  EXPECT_EQ(fs::file_size(outside), 7u);

  // An exception while emptying is shown with its own text.
  registry.PutDword(kKeys[kHooks], L"Enable", 1);
  files->SetFailureHook([](FileOp op, const std::wstring&) -> ErrorCode {
    if (op == FileOp::Truncate) throw std::runtime_error("stream failure");
    return kSuccess;
  });
  Open();
  ui.shown.clear();
  deleteHooksFile();
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[1].text, L"stream failure");
  EXPECT_EQ(ui.shown[1].caption, L"Error");
  EXPECT_TRUE(ui.shown[1].eightBit);
}

}  // namespace
