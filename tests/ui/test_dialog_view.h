// A DialogView holding the controls' state in memory; it raises the notifications the Windows
// controls raise, synchronously, so the handlers re-enter as they do in the window.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/dialog_view.h"
#include "ui/ov_client_tracing_dlg.h"
#include "ui/resource_ids.h"

class TestDialogView final : public ov::ui::DialogView {
 public:
  void Attach(COvClientTracingDlg* dialog) { m_dialog = dialog; }
  void UserSelect(int row) { row < 0 ? (selected >= 0 ? Notify(-1) : void()) : SelectRow(row); }
  // The focus goes first, then the control it left hears about it, as with GetFocus().
  void UserMoveFocus(int to) {
    const int from = std::exchange(focused, to);
    if (from == IDC_TRACE_DIRECTORY) m_dialog->OnDirectoryKillFocus();
    if (from == IDC_TRACE_LEVEL) m_dialog->OnLevelKillFocus();
  }
  const std::wstring& Text(int id) { return text[id]; }
  bool Enabled(int id) { return !disabled[id]; }

  void SetWindowIcons() override {}
  std::wstring GetCaption() override { return caption; }
  void SetCaption(const std::wstring& t) override { caption = t; }
  void EndDialog(int result) override { endResult = result; }
  std::wstring GetControlText(int id) override { return text[id]; }
  void SetControlText(int id, const std::wstring& t) override {
    text[id] = t;  // an edit control reports every change, also the program's own
    if (id == IDC_TRACE_DIRECTORY) m_dialog->OnDirectoryChange();
    if (id == IDC_TRACE_LEVEL) m_dialog->OnLevelChange();
  }
  void EnableControl(int id, bool enable) override {
    disabled[id] = !enable;
    if (!enable && focused == id) focused = ov::ui::kNoControl;
  }
  bool IsControlEnabled(int id) override { return Enabled(id); }
  int GetCheck(int id) override { return check[id]; }
  void SetCheck(int id, int state) override { check[id] = state; }
  int GetFocusedControl() override { return focused; }
  void FocusControl(int id) override { focused = id; }
  void SetListFullRowSelectOnly() override {}
  void InsertColumn(int column, const std::wstring&, ov::ui::ColumnAlign, int width) override {
    widths.insert(widths.begin() + column, width);
  }
  void SetColumnAlign(int, ov::ui::ColumnAlign) override {}
  void SetColumnWidth(int column, int width) override { widths.at(column) = width; }
  int GetRowCount() override { return static_cast<int>(rows.size()); }
  void InsertRow(int row, const std::wstring& t) override {
    rows.insert(rows.begin() + row, std::vector<std::wstring>(widths.size()));
    rows[row][0] = t;
  }
  void SetCellText(int row, int column, const std::wstring& t) override {
    if (row < 0 || row >= GetRowCount()) return;
    rows[row].at(column) = t;
    Notify(selected);
  }
  int GetFirstSelectedRow() override { return selected; }
  void SelectRow(int row) override {
    if (row == selected || row < 0 || row >= GetRowCount()) return;
    if (selected >= 0) Notify(-1);  // single selection: the old row is deselected first
    Notify(row);
  }
  void RedrawRow(int) override {}
  int MeasureListString(const std::wstring& t) override { return 7 * static_cast<int>(t.size()); }

  std::map<int, std::wstring> text;
  std::map<int, bool> disabled;
  std::map<int, int> check;
  std::vector<int> widths;
  std::vector<std::vector<std::wstring>> rows;
  int selected = -1, focused = ov::ui::kNoControl;
  std::wstring caption = L"<<_ProductName_>> Client tracing options";
  std::optional<int> endResult;

 private:
  void Notify(int newSelection) {
    selected = newSelection;
    m_dialog->OnListItemChanged();
  }
  COvClientTracingDlg* m_dialog = nullptr;
};
