// The window side of the main dialog: what COvClientTracingDlg asks of its controls.
#pragma once
#include <string>

namespace ov::ui {

// Check-box states, as BST_UNCHECKED / BST_CHECKED / BST_INDETERMINATE.
inline constexpr int kUnchecked = 0;
inline constexpr int kChecked = 1;
inline constexpr int kIndeterminate = 2;

enum class ColumnAlign { Left, Center };

// What GetFocusedControl answers when no control of the dialog has the keyboard focus.
inline constexpr int kNoControl = 0;

// The dialog's behaviour is written against this interface; the Win32 implementation wraps
// the real dialog window and a test implementation stands in for it natively. Controls are
// addressed by their ids of ui/resource_ids.h; the list-view operations address the one list
// view (IDC_TRACE_LIST).
//
// An implementation must raise notifications the way the Windows controls do, synchronously
// and before the call returns, because the handlers depend on it:
//  - SetControlText on an edit control raises its change notification (OnDirectoryChange,
//    OnLevelChange), also when the program itself sets the text;
//  - SetCellText and a selection change made by SelectRow raise the list view's item-changed
//    notification (OnListItemChanged); in a single-selection list, selecting a row first
//    deselects the previous one, which raises the notification with no row selected;
//  - SetCheck raises nothing (a click does, a program change does not).
class DialogView {
 public:
  virtual ~DialogView() = default;

  // Window.
  virtual void SetWindowIcons() = 0;  // icon resource IDR_MAINFRAME as big and small icon
  virtual std::wstring GetCaption() = 0;
  virtual void SetCaption(const std::wstring& caption) = 0;
  virtual void EndDialog(int result) = 0;

  // Controls by id.
  virtual std::wstring GetControlText(int id) = 0;
  virtual void SetControlText(int id, const std::wstring& text) = 0;
  virtual void EnableControl(int id, bool enable) = 0;
  virtual bool IsControlEnabled(int id) = 0;
  virtual int GetCheck(int id) = 0;
  virtual void SetCheck(int id, int state) = 0;
  // The control with the keyboard focus. While a control handles its focus-lost notification
  // this is already the control receiving the focus, as GetFocus() answers then. Disabling
  // the focused control leaves no control with the focus.
  virtual int GetFocusedControl() = 0;
  virtual void FocusControl(int id) = 0;

  // The list view.
  virtual void SetListFullRowSelectOnly() = 0;  // extended style: full-row selection, nothing else
  virtual void InsertColumn(int column, const std::wstring& header, ColumnAlign align, int width) = 0;
  virtual void SetColumnAlign(int column, ColumnAlign align) = 0;
  virtual void SetColumnWidth(int column, int width) = 0;
  virtual int GetRowCount() = 0;
  virtual void InsertRow(int row, const std::wstring& text) = 0;
  virtual void SetCellText(int row, int column, const std::wstring& text) = 0;
  virtual int GetFirstSelectedRow() = 0;  // -1 when no row is selected
  virtual void SelectRow(int row) = 0;    // the row becomes the one selected row
  virtual void RedrawRow(int row) = 0;
  // Width of the text in the list view's current font, as ListView_GetStringWidth.
  virtual int MeasureListString(const std::wstring& text) = 0;
};

}  // namespace ov::ui
