// A DialogView that keeps the controls' state in memory and raises the notifications the
// Windows controls raise, synchronously, so the handlers re-enter as they do in the window.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/dialog_view.h"
#include "ui/ov_client_tracing_dlg.h"
#include "ui/resource_ids.h"

class TestDialogView final : public ov::ui::DialogView {
 public:
  struct Control {
    std::wstring text;
    bool enabled = true;
    int check = ov::ui::kUnchecked;
  };
  struct Column {
    std::wstring header;
    ov::ui::ColumnAlign align = ov::ui::ColumnAlign::Left;
    int width = -1;
  };

  void Attach(COvClientTracingDlg* dialog) { m_dialog = dialog; }

  // A fixed-pitch font: every character is 7 pixels wide.
  static int Measure(const std::wstring& text) { return 7 * static_cast<int>(text.size()); }

  // What the user does.
  void UserSelect(int row) {  // -1 clicks below the rows: nothing selected
    if (row < 0) {
      if (selected >= 0) Notify(-1);
    } else {
      SelectRow(row);
    }
  }
  void UserType(int id, const std::wstring& text) { SetControlText(id, text); }
  void UserClickCheck() {
    Control& box = controls[IDC_TRACING_ENABLED];
    box.check = box.check == ov::ui::kChecked ? ov::ui::kUnchecked : ov::ui::kChecked;
    m_dialog->OnTracingEnabled();
  }
  const std::wstring& Text(int id) { return controls[id].text; }
  bool Enabled(int id) { return controls[id].enabled; }
  const std::wstring& Cell(int row, int column) { return rows.at(row).at(column); }

  // DialogView.
  void SetWindowIcons() override { iconsSet = true; }
  std::wstring GetCaption() override { return caption; }
  void SetCaption(const std::wstring& text) override { caption = text; }
  void EndDialog(int result) override { endResult = result; }
  std::wstring GetControlText(int id) override { return controls[id].text; }
  void SetControlText(int id, const std::wstring& text) override {
    controls[id].text = text;
    // An edit control reports every change of its text, also one the program makes.
    if (id == IDC_TRACE_DIRECTORY) m_dialog->OnDirectoryChange();
    if (id == IDC_TRACE_LEVEL) m_dialog->OnLevelChange();
  }
  void EnableControl(int id, bool enable) override { controls[id].enabled = enable; }
  bool IsControlEnabled(int id) override { return controls[id].enabled; }
  int GetCheck(int id) override { return controls[id].check; }
  void SetCheck(int id, int state) override { controls[id].check = state; }
  void SetListFullRowSelectOnly() override { fullRowSelectOnly = true; }
  void InsertColumn(int column, const std::wstring& header, ov::ui::ColumnAlign align, int width) override {
    columns.insert(columns.begin() + column, Column{header, align, width});
  }
  void SetColumnAlign(int column, ov::ui::ColumnAlign align) override { columns.at(column).align = align; }
  void SetColumnWidth(int column, int width) override {
    columns.at(column).width = width;
    ++widthUpdates;
  }
  int GetRowCount() override { return static_cast<int>(rows.size()); }
  void InsertRow(int row, const std::wstring& text) override {
    rows.insert(rows.begin() + row, std::vector<std::wstring>(columns.size()));
    rows[row][0] = text;
  }
  void SetCellText(int row, int column, const std::wstring& text) override {
    if (row < 0 || row >= GetRowCount()) return;
    rows[row].at(column) = text;
    Notify(selected);
  }
  int GetFirstSelectedRow() override { return selected; }
  void SelectRow(int row) override {
    if (row == selected || row < 0 || row >= GetRowCount()) return;
    if (selected >= 0) Notify(-1);  // single selection: the old row is deselected first
    Notify(row);
  }
  void RedrawRow(int row) override { redrawn.push_back(row); }
  int MeasureListString(const std::wstring& text) override { return Measure(text); }

  std::map<int, Control> controls;
  std::vector<Column> columns;
  std::vector<std::vector<std::wstring>> rows;
  int selected = -1;
  std::vector<int> redrawn;
  int widthUpdates = 0;  // one refresh sets all five widths
  std::wstring caption = L"<<_ProductName_>> Client tracing options";
  std::optional<int> endResult;
  bool iconsSet = false;
  bool fullRowSelectOnly = false;

 private:
  void Notify(int newSelection) {
    selected = newSelection;
    m_dialog->OnListItemChanged();
  }
  COvClientTracingDlg* m_dialog = nullptr;
};
