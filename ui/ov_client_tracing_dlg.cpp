// COvClientTracingDlg: initialisation, the list view, editing, bulk commands, Apply/OK/Cancel
// and deleting trace files.
#include "ui/ov_client_tracing_dlg.h"

#include <algorithm>
#include <exception>
#include <string>

#include "branding/branding_placeholders.h"
#include "commands/tracing_commands.h"
#include "logcollect/zip_up_log_files.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "ui/resource_ids.h"
#include "ui/strings.h"

using namespace ov::platform;
using ov::ui::ColumnAlign;
using ov::ui::StringTableText;

namespace {

constexpr int kColumnCount = 5;
constexpr int kEnabledColumn = 1;
constexpr int kLevelColumn = 2;
// Padding added to every measured text so that cells never look cramped.
const wchar_t* const kColumnPadding = L"MM";
// The working directory is recorded in a 256-byte buffer, terminator included; a longer
// one cannot be recorded and is then not restored.
constexpr std::size_t kWorkingDirectoryRecordChars = 256;
// Gives the restarted service a moment before the list reads its trace file again.
constexpr std::uint32_t kPauseAfterRestartMs = 500;

}  // namespace

COvClientTracingDlg::COvClientTracingDlg(Platform& platform, ov::ui::DialogView& view)
    : m_platform(platform), m_view(view), m_list(platform) {}

COvClientTracingDlg::~COvClientTracingDlg() = default;

bool COvClientTracingDlg::OnInitDialog() {
  m_view.SetWindowIcons();
  m_view.SetListFullRowSelectOnly();

  m_view.InsertColumn(0, StringTableText(IDS_COLUMN_COMPONENT), ColumnAlign::Left, 0);
  m_view.InsertColumn(1, StringTableText(IDS_COLUMN_ENABLED), ColumnAlign::Left, 0);
  m_view.SetColumnAlign(kEnabledColumn, ColumnAlign::Center);
  m_view.InsertColumn(2, StringTableText(IDS_COLUMN_LEVEL), ColumnAlign::Left, 0);
  m_view.InsertColumn(3, StringTableText(IDS_COLUMN_FILENAME), ColumnAlign::Left, 0);
  m_view.InsertColumn(4, L"File Size", ColumnAlign::Left, 0);

  RefreshList();
  ShowCurrentEntry();

  m_view.EnableControl(IDC_APPLY_BUTTON, false);
  m_directoryChanged = false;
  m_levelChanged = false;

  if (m_list.GetCount() == 0) {
    m_platform.ui->ShowMessage(L"No tracing entries found.", L"Error", kMbIconError | kMbOk);
    OnCancel();
  }

  // Branded also on the way out above: the caption is what the window was last seen with.
  std::wstring caption = m_view.GetCaption();
  ov::branding::ReplaceBrandingPlaceholders(caption);
  m_view.SetCaption(caption);
  return true;
}

void COvClientTracingDlg::RefreshList() {
  const std::int32_t count = m_list.GetCount();
  const bool firstFill = m_view.GetRowCount() == 0;
  int widths[kColumnCount] = {};

  for (std::int32_t i = 0; i < count; ++i) {
    const OvClientTracingEntry entry = m_list.GetEntry(i);
    if (firstFill) {
      m_view.InsertRow(i, entry.m_name);
    } else {
      m_view.SetCellText(i, 0, entry.m_name);
    }
    widths[0] = std::max(widths[0], m_view.MeasureListString(entry.m_name + kColumnPadding));
  }

  const std::wstring directory = m_list.GetDefaultDirectory();
  for (std::int32_t i = 0; i < count; ++i) {
    const OvClientTracingEntry entry = m_list.GetEntry(i);
    const std::wstring path = directory + L"\\" + entry.m_fileName;
    const std::wstring sizeText = m_list.GetFileSizeText(i);
    m_view.SetCellText(i, 1, StringTableText(entry.m_enabled ? IDS_YES : IDS_NO));
    m_view.SetCellText(i, 2, entry.m_level);
    m_view.SetCellText(i, 3, path);
    m_view.SetCellText(i, 4, sizeText);
    widths[2] = std::max(widths[2], m_view.MeasureListString(entry.m_level + kColumnPadding));
    widths[3] = std::max(widths[3], m_view.MeasureListString(path + kColumnPadding));
    widths[4] = std::max(widths[4], m_view.MeasureListString(sizeText + kColumnPadding));
  }

  // "Yes" and "No" are narrower than their header, so the header decides this one.
  widths[kEnabledColumn] = m_view.MeasureListString(StringTableText(IDS_COLUMN_ENABLED) + kColumnPadding);
  for (int column = 0; column < kColumnCount; ++column) m_view.SetColumnWidth(column, widths[column]);

  if (count > 0) {
    m_view.SelectRow(0);
    // Selecting a row that already is selected raises no notification, and the cells above
    // may have changed the entry behind it: show entry 0 whatever the control reported.
    m_currentEntry = m_list.GetEntry(0);
    ShowCurrentEntry();
  }
}

void COvClientTracingDlg::ShowCurrentEntry() {
  // The editors' change notifications fire while we fill them; they must not count as edits.
  // Cleared on every way out: a flag left set would make every later edit count for nothing.
  struct Updating {
    bool& flag;
    ~Updating() { flag = false; }
  } updating{m_updating};
  m_updating = true;
  m_view.SetCheck(IDC_TRACING_ENABLED, m_currentEntry.m_enabled ? ov::ui::kChecked : ov::ui::kUnchecked);
  m_view.SetControlText(IDC_TRACE_DIRECTORY, m_list.GetDefaultDirectory());
  m_view.SetControlText(IDC_TRACE_LEVEL, m_currentEntry.m_level);
}

void COvClientTracingDlg::OnListItemChanged() {
  const int row = m_view.GetFirstSelectedRow();
  if (row < 0) {
    m_view.EnableControl(IDC_TRACE_LEVEL, false);
    m_view.EnableControl(IDC_TRACING_ENABLED, false);
    m_view.EnableControl(IDC_DELETE_FILE, false);
    m_view.EnableControl(IDC_LEVEL_LABEL, false);
    return;
  }
  m_currentEntry = m_list.GetEntry(row);
  // An entry kept as one path value has no level to edit.
  const bool hasLevel = m_currentEntry.m_pathValueName.empty();
  m_view.EnableControl(IDC_TRACE_LEVEL, hasLevel);
  m_view.EnableControl(IDC_LEVEL_LABEL, hasLevel);
  m_view.EnableControl(IDC_TRACING_ENABLED, true);
  m_view.EnableControl(IDC_DELETE_FILE, true);
  ShowCurrentEntry();
}

void COvClientTracingDlg::OnTracingEnabled() {
  const int row = m_view.GetFirstSelectedRow();
  if (m_updating) return;
  // The check box is disabled without a selection; a click that still arrives has no entry.
  if (row < 0) return;
  m_currentEntry.m_enabled = m_view.GetCheck(IDC_TRACING_ENABLED) == ov::ui::kChecked ? 1 : 0;
  m_view.EnableControl(IDC_APPLY_BUTTON, true);
  ov::commands::MarkForSaveAndRestart(m_currentEntry);
  m_list.SetEntry(row, m_currentEntry);
  const OvClientTracingEntry stored = m_list.GetEntry(row);
  m_view.SetCellText(row, kEnabledColumn, StringTableText(stored.m_enabled ? IDS_YES : IDS_NO));
}

void COvClientTracingDlg::OnListDoubleClick() {
  // Disabled means nothing is selected: the double click landed below the rows.
  if (!m_view.IsControlEnabled(IDC_TRACING_ENABLED)) return;
  const int state = m_view.GetCheck(IDC_TRACING_ENABLED);
  if (state == ov::ui::kChecked) {
    m_view.SetCheck(IDC_TRACING_ENABLED, ov::ui::kUnchecked);
  } else if (state == ov::ui::kUnchecked) {
    m_view.SetCheck(IDC_TRACING_ENABLED, ov::ui::kChecked);
  }
  OnTracingEnabled();
}

void COvClientTracingDlg::OnDirectoryChange() {
  if (m_updating) return;
  const std::wstring text = m_view.GetControlText(IDC_TRACE_DIRECTORY);
  m_view.EnableControl(IDC_APPLY_BUTTON, true);
  if (m_list.SetDefaultDirectory(text)) {
    m_view.EnableControl(IDC_APPLY_BUTTON, true);
    m_directoryChanged = true;
    // The list has marked every entry; the editing copy must carry the same marks, or the
    // next level edit would store it back without them and lose a restart question.
    ov::commands::MarkForSaveAndRestart(m_currentEntry);
  }
}

void COvClientTracingDlg::OnDirectoryKillFocus() {
  std::wstring text = m_view.GetControlText(IDC_TRACE_DIRECTORY);
  if (text.empty()) return;
  if (text.back() == L'\\') {
    // Raises OnDirectoryChange, which stores the shortened directory as an edit.
    text.pop_back();
    m_view.SetControlText(IDC_TRACE_DIRECTORY, text);
  }
  if (m_directoryChanged) {
    // The focus is on its way to another control, and the refresh disables and enables the
    // entry's controls, which drops the focus of one of them: it goes where the user sent it.
    const int receiving = m_view.GetFocusedControl();
    RefreshList();
    m_directoryChanged = false;
    if (receiving != ov::ui::kNoControl && m_view.GetFocusedControl() != receiving &&
        m_view.IsControlEnabled(receiving)) {
      m_view.FocusControl(receiving);
    }
  }
}

void COvClientTracingDlg::OnLevelChange() {
  if (m_updating) return;
  m_levelChanged = true;
  m_editedRow = m_view.GetFirstSelectedRow();
  m_currentEntry.m_level = m_view.GetControlText(IDC_TRACE_LEVEL);
  // A level takes effect without a restart: no restart mark.
  m_currentEntry.m_modified = 1;
  m_list.SetEntry(m_editedRow, m_currentEntry);
  m_view.EnableControl(IDC_APPLY_BUTTON, true);
}

void COvClientTracingDlg::OnLevelKillFocus() {
  if (!m_levelChanged) return;
  const OvClientTracingEntry entry = m_list.GetEntry(m_editedRow);
  m_view.SetCellText(m_editedRow, kLevelColumn, entry.m_level);
  m_view.RedrawRow(m_editedRow);
  m_levelChanged = false;
}

void COvClientTracingDlg::SetAllTracing(bool enabled) {
  if (ov::commands::SetAllTracing(m_list, enabled)) m_view.EnableControl(IDC_APPLY_BUTTON, true);
  RefreshList();
}

void COvClientTracingDlg::OnAllTracingOn() { SetAllTracing(true); }

void COvClientTracingDlg::OnAllTracingOff() { SetAllTracing(false); }

void COvClientTracingDlg::OnResetToDefaults() {
  OnAllTracingOff();
  if (ov::commands::ResetLevelsAndDirectory(m_list, *m_platform.system)) m_view.EnableControl(IDC_APPLY_BUTTON, true);
  RefreshList();
}

void COvClientTracingDlg::OnApply() {
  UserInteraction& ui = *m_platform.ui;
  FileSystem& files = *m_platform.files;

  // From the marks as they stand: the save below does not clear them, and nothing else does.
  const bool restartSpooler = m_list.IsSpoolerRestartNeeded();
  const bool restartSharedEngine = m_list.IsSharedEngineRestartNeeded();

  // Checking the directory changes the working directory; record it to put it back.
  std::wstring workingDirectory;
  bool recorded = files.GetWorkingDirectory(&workingDirectory) == kSuccess &&
                  workingDirectory.size() < kWorkingDirectoryRecordChars;
  if (!recorded) {
    ui.ShowMessage(StringTableText(IDS_CURRENT_DIRECTORY_ERROR), StringTableText(IDS_DIRECTORY_ERROR_CAPTION),
                   kMbIconError | kMbOk);
  }

  const std::wstring directory = m_view.GetControlText(IDC_TRACE_DIRECTORY);
  if (files.SetWorkingDirectory(directory) != kSuccess) {
    const int answer = ui.ShowMessage(StringTableText(IDS_CREATE_DIRECTORY_QUESTION),
                                      StringTableText(IDS_PATH_ERROR_CAPTION), kMbYesNoCancel | kMbIconError);
    if (answer == kIdYes) {
      if (!CreateDirectoryTree(directory)) {
        ui.ShowMessage(StringTableText(IDS_CREATE_DIRECTORY_FAILED), StringTableText(IDS_DIRECTORY_ERROR_CAPTION),
                       kMbIconError | kMbOk);
      }
    } else if (answer != kIdNo) {
      // Cancel (or a box that could not be shown): nothing saved, the changes stay pending.
      if (recorded) files.SetWorkingDirectory(workingDirectory);
      return;
    }
  }
  if (recorded) files.SetWorkingDirectory(workingDirectory);

  // A save that did not reach the registry leaves Apply enabled, so that OK and the close
  // box still ask before the change is lost.
  const bool saved = m_list.SaveToRegistry();
  m_view.EnableControl(IDC_APPLY_BUTTON, !saved);

  if (restartSpooler &&
      ui.ShowMessage(StringTableText(IDS_RESTART_SPOOLER_QUESTION), StringTableText(IDS_RESTART_SPOOLER_CAPTION),
                     kMbYesNo | kMbIconQuestion) == kIdYes) {
    RestartService(L"Spooler");
  }
  if (restartSharedEngine &&
      ui.ShowMessage(StringTableText(IDS_RESTART_SHARED_ENGINE_QUESTION),
                     StringTableText(IDS_RESTART_SHARED_ENGINE_CAPTION), kMbYesNo | kMbIconQuestion) == kIdYes) {
    RestartService(L"OvSharedEngine");
  }

  RefreshList();
  m_view.EnableControl(IDC_APPLY_BUTTON, !saved);
}

void COvClientTracingDlg::RestartService(const std::wstring& serviceName) {
  UserInteraction& ui = *m_platform.ui;
  const CursorHandle previous = ui.ShowWaitCursor();
  const ov::commands::RestartOutcome outcome = ov::commands::RestartHostingService(m_platform, serviceName);
  if (!outcome.restarted) {
    // Service names are ASCII; the caption tells which of the two restarts failed.
    std::string caption;
    for (wchar_t c : serviceName) caption += static_cast<char>(c);
    ui.ShowMessage8(outcome.message, caption, kMbIconError | kMbOk);
  }
  m_platform.clock->Sleep(kPauseAfterRestartMs);
  ui.RestoreCursor(previous);
}

bool COvClientTracingDlg::CreateDirectoryTree(const std::wstring& path) {
  return ov::commands::CreateDirectoryTree(*m_platform.files, path);
}

bool COvClientTracingDlg::HasUnsavedChanges() { return m_view.IsControlEnabled(IDC_APPLY_BUTTON); }

bool COvClientTracingDlg::ConfirmLeaving() {
  if (!HasUnsavedChanges()) return true;
  const int answer = m_platform.ui->ShowMessage(StringTableText(IDS_SAVE_CHANGES_QUESTION),
                                                StringTableText(IDS_SAVE_CHANGES_CAPTION),
                                                kMbYesNoCancel | kMbIconQuestion);
  if (answer == kIdYes) {
    OnApply();  // closes afterwards also when Apply stopped at its own Cancel
    return true;
  }
  // Only an explicit No discards the changes; Cancel, or a box that failed, keeps the dialog.
  return answer == kIdNo;
}

void COvClientTracingDlg::OnOK() {
  if (ConfirmLeaving()) m_view.EndDialog(kIdOk);
}

void COvClientTracingDlg::OnClose() {
  if (ConfirmLeaving()) OnCancel();
}

void COvClientTracingDlg::OnCancel() { m_view.EndDialog(kIdCancel); }

void COvClientTracingDlg::OnDeleteFile() {
  const int row = m_view.GetFirstSelectedRow();
  // The button is disabled without a selection; a click that still arrives names no file.
  if (row < 0) return;
  const OvClientTracingEntry entry = m_list.GetEntry(row);
  UserInteraction& ui = *m_platform.ui;
  const std::wstring question =
      StringTableText(IDS_DELETE_QUESTION_START) + L" " + entry.m_name + L" " + StringTableText(IDS_DELETE_QUESTION_END);
  if (ui.ShowMessage(question, StringTableText(IDS_DELETE_CAPTION), kMbYesNo | kMbIconError) != kIdYes) return;

  try {
    const ov::commands::DeleteOutcome outcome = ov::commands::DeleteOrEmptyTraceFile(m_list, *m_platform.files, row);
    // A file that could not be emptied, or a link that must not be followed, is left alone
    // without a word: the component keeps writing it either way.
    if (!outcome.emptied && outcome.error != kSuccess) {
      ui.ShowMessage(ov::commands::DeletionErrorText(outcome.error), L"Deletion Error", kMbIconError | kMbOk);
    }
  } catch (const std::exception& failure) {
    ui.ShowMessage8(failure.what(), "Error", kMbIconError | kMbOk);
  }
  RefreshList();
}

void COvClientTracingDlg::OnZipUpLogFiles() { ZipUpLogFiles(m_list, m_platform); }

void COvClientTracingDlg::RunHandler(void (COvClientTracingDlg::*handler)()) {
  try {
    (this->*handler)();
  } catch (const std::exception& failure) {
    m_platform.ui->ShowMessage8(failure.what(), "Error", kMbIconError | kMbOk);
  }
}
