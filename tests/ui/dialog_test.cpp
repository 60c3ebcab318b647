// The main dialog against the test view on the simulated machine.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "tests/support/sim_machine.h"
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

class DialogTest : public ::testing::Test, public ov::test::SimMachine {
 protected:
  void SetUp() override {
    PutFile(L"C:\\Logs\\placeholder", "");
    files.SetWorkingDirectoryForTest(L"C:\\Logs");
    registry.PutString(kDesktop, L"DefaultDir", L"C:\\Logs");
    for (int i = 0; i < 4; ++i) registry.PutDword(kKeys[i], L"Level", 3 + i);
    registry.PutDword(kKeys[kHooks], L"Enable", 1);
  }
  // A fresh dialog on a fresh view, as each start of the tool has; ui answers the questions.
  void Open(std::deque<int> answers = {}) {
    dlg.reset();
    view = TestDialogView();
    ui.shown.clear();
    dlg = std::make_unique<COvClientTracingDlg>(platform, view);
    view.Attach(dlg.get());
    EXPECT_TRUE(dlg->OnInitDialog());
    ui.answers = std::move(answers);
  }
  Texts Shown() const {
    Texts out;
    for (const auto& box : ui.shown) out.push_back(box.caption);
    return out;
  }
  // One box as "caption|text|flags", with "|8-bit" for 8-bit text; "none" past the last.
  std::wstring Box(std::size_t i) const {
    if (i >= ui.shown.size()) return L"none";
    const auto& box = ui.shown[i];
    return box.caption + L"|" + box.text + L"|" + std::to_wstring(box.flags) + (box.eightBit ? L"|8-bit" : L"");
  }
  OvClientTracingEntry Entry(int row) { return dlg->GetList().GetEntry(row); }
  void TypeDirectory(const std::wstring& text, int focusTo = IDC_TRACE_LIST) {
    view.FocusControl(IDC_TRACE_DIRECTORY);
    view.SetControlText(IDC_TRACE_DIRECTORY, text);
    view.UserMoveFocus(focusTo);
  }

  TestDialogView view;
  std::unique_ptr<COvClientTracingDlg> dlg;
};

TEST_F(DialogTest, RowsShowTheEntriesInColumnsAsWideAsTheirWidestCell) {
  Open();
  EXPECT_EQ(view.rows[kHooks], (Texts{L"Spooler Hooks", L"Yes", L"6", L"C:\\Logs\\OvSpoolerHooks.log", L"Doesn't exist"}));
  EXPECT_EQ(view.widths, (std::vector<int>{7 * 23, 7 * 9, 7 * 3, 7 * 28, 7 * 15}));  // widest cell + "MM"
  EXPECT_EQ(view.caption, L"Unknown Product Client tracing options");
  EXPECT_FALSE(view.Enabled(IDC_APPLY_BUTTON));
  // Switching on what is on already marks nothing.
  for (const auto& key : kKeys) registry.PutDword(key, L"Enable", 1);
  Open();
  dlg->OnAllTracingOn();
  EXPECT_FALSE(view.Enabled(IDC_APPLY_BUTTON));
}

TEST_F(DialogTest, EveryRefreshSelectsRow0AndShowsEntry0) {
  const std::vector<std::function<void()>> refreshes = {
      [&] { dlg->OnAllTracingOn(); },        [&] { dlg->OnAllTracingOff(); },
      [&] { dlg->OnResetToDefaults(); },
      [&] {
        // The refresh disables the level box while the focus is on its way there; it arrives.
        TypeDirectory(L"C:\\Logs\\", IDC_TRACE_LEVEL);
        EXPECT_EQ(view.focused, IDC_TRACE_LEVEL);
      },
      [&] { ui.answers = {kIdNo, kIdNo}, dlg->OnApply(); }, [&] { ui.answers = {kIdYes}, dlg->OnDeleteFile(); }};
  Open();
  for (std::size_t i = 0; i < refreshes.size(); ++i) {
    SCOPED_TRACE(i);
    view.UserSelect(kHooks);
    refreshes[i]();
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(dlg->GetCurrentEntry().m_name, Entry(0).m_name);
    EXPECT_EQ(view.Text(IDC_TRACE_LEVEL), Entry(0).m_level);
    EXPECT_EQ(view.check[IDC_TRACING_ENABLED], Entry(0).m_enabled);
    EXPECT_EQ(view.Text(IDC_TRACE_DIRECTORY), dlg->GetList().GetDefaultDirectory());
  }
}

TEST_F(DialogTest, ALevelChangeAloneSavesWithoutARestartQuestionAndAFailedSaveKeepsApply) {
  for (const bool fails : {true, false}) {
    Open();
    registry.SetFailureHook([fails](RegOp op, const std::wstring&, const std::wstring&) {
      return fails && op == RegOp::Set ? kErrorAccessDenied : kSuccess;
    });
    view.UserSelect(kPopup);
    view.SetControlText(IDC_TRACE_LEVEL, L"8");
    dlg->OnApply();
    EXPECT_EQ(Shown(), fails ? Texts{L"Registry Error"} : Texts{});
    EXPECT_EQ(Dword(kKeys[kPopup], L"SeverityFilter"), fails ? 0xDEADBEEF : 8u);
    EXPECT_EQ(view.Enabled(IDC_APPLY_BUTTON), fails);  // so that OK and the close box still ask
  }
}

TEST_F(DialogTest, ADoubleClickTogglesTheSelectedRowAndWithoutOneOnlyTheDirectoryIsUsable) {
  Open();
  view.UserSelect(-1);
  for (int id : {IDC_TRACING_ENABLED, IDC_TRACE_LEVEL, IDC_LEVEL_LABEL, IDC_DELETE_FILE, IDC_TRACE_DIRECTORY}) {
    EXPECT_EQ(view.Enabled(id), id == IDC_TRACE_DIRECTORY) << id;
  }
  dlg->OnListDoubleClick();
  EXPECT_EQ(view.check[IDC_TRACING_ENABLED], ov::ui::kUnchecked);  // still showing the shared engine
  EXPECT_FALSE(view.Enabled(IDC_APPLY_BUTTON));
  view.UserSelect(kHooks);
  dlg->OnListDoubleClick();  // toggles the row's tracing as a click on the check box does
  EXPECT_EQ(view.rows[kHooks][1] + std::to_wstring(view.check[IDC_TRACING_ENABLED]), L"No0");
  EXPECT_TRUE(view.Enabled(IDC_APPLY_BUTTON));
}

TEST_F(DialogTest, AnExceptionFromAHandlerIsShownAndTheDialogStaysUsable) {
  files.SetFailureHook([](FileOp op, const std::wstring&) -> ErrorCode {
    if (op == FileOp::Find) throw std::bad_alloc();
    return kSuccess;
  });
  Open();
  ui.savePaths = {L"C:\\Logs\\case.zip"};
  dlg->RunHandler(&COvClientTracingDlg::OnZipUpLogFiles);
  EXPECT_EQ(Box(0) + Box(1), L"Error|std::bad_alloc|16|8-bitnone");
  EXPECT_EQ(ui.cursor, SimUserInteraction::kArrow);
  EXPECT_EQ(fileIo.OpenHandleCount(), 0u);  // the archive was closed on the way out
  dlg->RunHandler(&COvClientTracingDlg::OnAllTracingOn);
  EXPECT_EQ(view.rows[kPopup][1], L"Yes");
}

// Every component of the table has a numeric level, which a reset always rewrites and marks.
TEST_F(DialogTest, ResetSwitchesEverythingOffWithDefaultLevelsAndDirectory) {
  Open();
  dlg->OnResetToDefaults();
  EXPECT_EQ(view.rows[kHooks][1] + L"|" + view.rows[kHooks][2] + L"|" + view.rows[kHooks][3],
            L"No|0|C:\\ProgramData\\Mirabo\\Ostrival\\Logs\\Veltrane\\Client\\OvSpoolerHooks.log");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Entry(i).m_modified + Entry(i).m_sharedEngineRestartPending, 2) << i;
  EXPECT_TRUE(view.Enabled(IDC_APPLY_BUTTON));
}

TEST_F(DialogTest, MissingDirectoryAnsweredCancelNoOrYesAndCreationFailing) {
  for (const int answer : {kIdCancel, kIdNo, kIdYes, -kIdYes}) {  // -kIdYes: Yes, but creating fails
    SCOPED_TRACE(answer);
    fs::remove_all(Host(L"C:\\a"));
    registry.PutString(kDesktop, L"DefaultDir", L"C:\\Logs");
    files.SetFailureHook([&](FileOp op, const std::wstring&) {
      return answer < 0 && op == FileOp::MakeDir ? kErrorAccessDenied : kSuccess;
    });
    Open(answer < 0 ? std::deque<int>{kIdYes, kIdOk, kIdNo, kIdNo} : std::deque<int>{answer, kIdNo, kIdNo});
    TypeDirectory(L"C:\\a\\b\\c");
    dlg->OnApply();
    const bool saved = answer != kIdCancel;
    Texts expected = saved ? Texts{L"Path error", L"Restart Spooler?", L"Restart Shared Engine?"} : Texts{L"Path error"};
    if (answer < 0) expected.insert(expected.begin() + 1, L"Directory Error");
    EXPECT_EQ(Shown(), expected);
    EXPECT_EQ(ui.shown[0].flags, kMbYesNoCancel | kMbIconError);
    EXPECT_EQ(Box(1), answer < 0 ? L"Directory Error|Could not create directory|16" : Box(1));
    EXPECT_EQ(String(kDesktop, L"DefaultDir"), saved ? L"C:\\a\\b\\c" : L"C:\\Logs");
    EXPECT_EQ(view.Enabled(IDC_APPLY_BUTTON), !saved);
    EXPECT_EQ(fs::is_directory(Host(L"C:\\a\\b\\c")), answer == kIdYes);
    std::wstring cwd;
    files.GetWorkingDirectory(&cwd);
    EXPECT_EQ(cwd, L"C:\\Logs");
  }
}

TEST_F(DialogTest, AWorkingDirectoryThatCannotBeRecordedIsReportedAndNotRestored) {
  const std::wstring deep = L"C:\\" + std::wstring(252, L'd');  // 255 characters still fit the record
  fs::create_directories(Host(deep));
  for (const std::wstring& cwd : {deep, deep + L"d", std::wstring()}) {  // empty: it cannot be read
    SCOPED_TRACE(cwd.size());
    files.SetWorkingDirectoryForTest(cwd.empty() ? deep : cwd);
    files.SetFailureHook([&](FileOp op, const std::wstring&) {
      return cwd.empty() && op == FileOp::GetCwd ? kErrorNotEnoughMemory : kSuccess;
    });
    Open();
    dlg->OnApply();
    EXPECT_EQ(Box(0), cwd == deep ? L"none" : L"Directory Error|An error occured getting current directory.|16");
    files.SetFailureHook(nullptr);
    std::wstring after;
    files.GetWorkingDirectory(&after);
    EXPECT_EQ(after, cwd == deep ? deep : L"C:\\Logs");  // otherwise Apply went on and left it there
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
  EXPECT_EQ(Box(1), L"Spooler|Could not stop the service.  Error: 1061|16|8-bit");
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

// Deleting it, the question's text and the refresh are part of the session under Wine.
TEST_F(DialogTest, DeletingADisabledComponentsFileReportsEachErrorByCode) {
  const std::wstring file = L"C:\\Logs\\OvPopupManager.log";
  const struct { int arrange; const wchar_t* message; } cases[] = {
      {0, L"File was not deleted.  File not found."}, {1, L"File was not deleted.  Access denied."},
      {2, L"File was not deleted.  File in use."}, {3, L"File could not be deleted.  Error 3"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.message);
    registry.PutString(kDesktop, L"DefaultDir", c.arrange == 3 ? L"C:\\Gone" : L"C:\\Logs");
    files.SetFailureHook([&](FileOp op, const std::wstring&) {
      return c.arrange == 1 && op == FileOp::Remove ? kErrorAccessDenied : kSuccess;
    });
    if (c.arrange == 2) PutFile(file, "held by someone who shares no deletion");
    const int held = c.arrange == 2 ? files.HoldOpen(file, kGenericRead, kFileShareRead | kFileShareWrite) : 0;
    Open({kIdYes});
    view.UserSelect(kPopup);
    dlg->OnDeleteFile();
    EXPECT_EQ(Box(1), L"Deletion Error|" + std::wstring(c.message) + L"|16");
    if (held != 0) files.ReleaseShare(held);
    fs::remove(Host(file));
  }
}

// Never through a link: the contract's checked truncation.
TEST_F(DialogTest, AnEnabledComponentsFileIsEmptiedWhileItsComponentWritesIt) {
  PutFile(L"C:\\Logs\\OvSpoolerHooks.log", std::string(2000, 'x'));
  const int writer = files.HoldOpen(L"C:\\Logs\\OvSpoolerHooks.log", kGenericWrite, kFileShareRead | kFileShareWrite);
  Open({kIdYes});
  view.UserSelect(kHooks);
  dlg->OnDeleteFile();
  EXPECT_EQ(view.rows[kHooks][4], L".0KB");
  EXPECT_EQ(Shown(), Texts{L"Confirm trace file delete"});
  files.ReleaseShare(writer);
}

TEST_F(DialogTest, NoEntriesEndsTheDialogAfterBrandingWithoutSaving) {
  for (const auto& key : kKeys) registry.RefuseOpen(key, kErrorAccessDenied);
  registry.PutString(kDesktop, L"DefaultDir", L"C:\\Old");
  Open();
  EXPECT_EQ(Box(0), L"Error|No tracing entries found.|16");
  EXPECT_EQ(view.endResult, kIdCancel);
  EXPECT_EQ(view.caption, L"Unknown Product Client tracing options");
  EXPECT_EQ(String(kDesktop, L"DefaultDir"), L"C:\\Old");
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
