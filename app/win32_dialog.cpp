// Win32 side of the main dialog: controls behind DialogView, messages to handlers.
#include "app/win32_dialog.h"

#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <memory>
#include <vector>

#include "ui/resource_ids.h"

namespace ov::app {

class Win32DialogView final : public ov::ui::DialogView {
 public:
  explicit Win32DialogView(HINSTANCE instance) : m_instance(instance) {
    m_icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 0, 0,
                                           LR_DEFAULTSIZE | LR_SHARED));
    m_smallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                LR_SHARED));
  }
  void Attach(HWND dialog) { m_dialog = dialog; }
  HWND Window() const { return m_dialog; }
  HICON Icon() const { return m_icon; }
  HWND List() const { return GetDlgItem(m_dialog, IDC_TRACE_LIST); }

  void SetWindowIcons() override {
    SendMessageW(m_dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessageW(m_dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));
  }
  std::wstring GetCaption() override { return WindowText(m_dialog); }
  void SetCaption(const std::wstring& caption) override { SetWindowTextW(m_dialog, caption.c_str()); }
  void EndDialog(int result) override { ::EndDialog(m_dialog, result); }

  std::wstring GetControlText(int id) override { return WindowText(GetDlgItem(m_dialog, id)); }
  void SetControlText(int id, const std::wstring& text) override { SetDlgItemTextW(m_dialog, id, text.c_str()); }
  void EnableControl(int id, bool enable) override { EnableWindow(GetDlgItem(m_dialog, id), enable); }
  bool IsControlEnabled(int id) override { return IsWindowEnabled(GetDlgItem(m_dialog, id)) != FALSE; }
  int GetCheck(int id) override { return static_cast<int>(IsDlgButtonChecked(m_dialog, id)); }
  void SetCheck(int id, int state) override { CheckDlgButton(m_dialog, id, static_cast<UINT>(state)); }
  int GetFocusedControl() override {
    HWND focus = GetFocus();
    if (focus == nullptr || !IsChild(m_dialog, focus)) return ov::ui::kNoControl;  // another window's
    // A window inside a control (a list view's header, say) counts as its control.
    while (GetParent(focus) != m_dialog) focus = GetParent(focus);
    return GetDlgCtrlID(focus);
  }
  void FocusControl(int id) override { SetFocus(GetDlgItem(m_dialog, id)); }

  void SetListFullRowSelectOnly() override {
    // A zero mask sets the whole extended style: full-row selection and nothing else.
    SendMessageW(List(), LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  }
  void InsertColumn(int column, const std::wstring& header, ov::ui::ColumnAlign align, int width) override {
    std::wstring text = header;
    LVCOLUMNW col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = Format(align);
    col.cx = width;
    col.pszText = text.data();
    col.iSubItem = column;
    SendMessageW(List(), LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col));
  }
  void SetColumnAlign(int column, ov::ui::ColumnAlign align) override {
    LVCOLUMNW col{};
    col.mask = LVCF_FMT;
    col.fmt = Format(align);
    SendMessageW(List(), LVM_SETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col));
  }
  void SetColumnWidth(int column, int width) override {
    SendMessageW(List(), LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(width, 0));
  }
  int GetRowCount() override { return static_cast<int>(SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0)); }
  void InsertRow(int row, const std::wstring& text) override {
    std::wstring copy = text;
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = copy.data();
    SendMessageW(List(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  void SetCellText(int row, int column, const std::wstring& text) override {
    std::wstring copy = text;
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = copy.data();
    SendMessageW(List(), LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }
  int GetFirstSelectedRow() override {
    return static_cast<int>(SendMessageW(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  }
  void SelectRow(int row) override {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }
  void RedrawRow(int row) override {
    SendMessageW(List(), LVM_REDRAWITEMS, static_cast<WPARAM>(row), static_cast<LPARAM>(row));
    UpdateWindow(List());
  }
  int MeasureListString(const std::wstring& text) override {
    return static_cast<int>(SendMessageW(List(), LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
  }

 private:
  static int Format(ov::ui::ColumnAlign align) {
    return align == ov::ui::ColumnAlign::Center ? LVCFMT_CENTER : LVCFMT_LEFT;
  }
  static std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data());
  }

  HINSTANCE m_instance;
  HWND m_dialog = nullptr;
  HICON m_icon = nullptr;
  HICON m_smallIcon = nullptr;
};

namespace {

struct DialogContext {
  Win32DialogView* view;
  COvClientTracingDlg* dialog;
  std::function<void(void*)> onShown;
};

using Handler = void (COvClientTracingDlg::*)();

// Dispatch only: every behaviour lives in COvClientTracingDlg, and every handler runs behind
// its RunHandler, which reports what a handler throws.
Handler CommandHandler(int id, int code) {
  if (code == BN_CLICKED) {
    switch (id) {
      case IDC_TRACING_ENABLED: return &COvClientTracingDlg::OnTracingEnabled;
      case IDC_APPLY_BUTTON: return &COvClientTracingDlg::OnApply;
      case IDC_ALL_TRACING_ON: return &COvClientTracingDlg::OnAllTracingOn;
      case IDC_RESET_TO_DEFAULTS: return &COvClientTracingDlg::OnResetToDefaults;
      case IDC_ALL_TRACING_OFF: return &COvClientTracingDlg::OnAllTracingOff;
      case IDC_DELETE_FILE: return &COvClientTracingDlg::OnDeleteFile;
      case IDC_ZIP_UP_LOG_FILES: return &COvClientTracingDlg::OnZipUpLogFiles;
      case IDOK: return &COvClientTracingDlg::OnOK;
      case IDCANCEL: return &COvClientTracingDlg::OnCancel;
      default: return nullptr;
    }
  }
  if (code == EN_CHANGE && id == IDC_TRACE_DIRECTORY) return &COvClientTracingDlg::OnDirectoryChange;
  if (code == EN_CHANGE && id == IDC_TRACE_LEVEL) return &COvClientTracingDlg::OnLevelChange;
  if (code == EN_KILLFOCUS && id == IDC_TRACE_DIRECTORY) return &COvClientTracingDlg::OnDirectoryKillFocus;
  if (code == EN_KILLFOCUS && id == IDC_TRACE_LEVEL) return &COvClientTracingDlg::OnLevelKillFocus;
  return nullptr;
}

Handler NotifyHandler(HWND list, const NMHDR& header) {
  const bool fromList = header.idFrom == IDC_TRACE_LIST || header.hwndFrom == list;
  const bool fromHeader = header.hwndFrom == reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  switch (header.code) {
    case LVN_ITEMCHANGED: return fromList ? &COvClientTracingDlg::OnListItemChanged : nullptr;
    case HDN_ITEMCHANGEDW: return fromList || fromHeader ? &COvClientTracingDlg::OnListItemChanged : nullptr;
    case NM_DBLCLK: return fromList ? &COvClientTracingDlg::OnListDoubleClick : nullptr;
    default: return nullptr;
  }
}

void PaintMinimised(HWND window, HICON icon) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(window, &paint);
  SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client{};
  GetClientRect(window, &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, icon);
  EndPaint(window, &paint);
}

INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* context = reinterpret_cast<DialogContext*>(GetWindowLongPtrW(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    context = reinterpret_cast<DialogContext*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(context));
    context->view->Attach(window);
    const BOOL focusDefault = context->dialog->OnInitDialog() ? TRUE : FALSE;
    if (context->onShown) context->onShown(window);
    return focusDefault;
  }
  if (context == nullptr) return FALSE;
  COvClientTracingDlg& dlg = *context->dialog;
  switch (message) {
    case WM_COMMAND:
      if (Handler handler = CommandHandler(LOWORD(wParam), HIWORD(wParam))) {
        dlg.RunHandler(handler);
        return TRUE;
      }
      return FALSE;
    case WM_NOTIFY:
      if (Handler handler = NotifyHandler(context->view->List(), *reinterpret_cast<const NMHDR*>(lParam))) {
        dlg.RunHandler(handler);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      dlg.RunHandler(&COvClientTracingDlg::OnClose);
      return TRUE;
    case WM_PAINT:
      if (IsIconic(window)) {
        PaintMinimised(window, context->view->Icon());
        return TRUE;
      }
      return FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(context->view->Icon());
    default:
      return FALSE;  // system commands and everything else: the default handling
  }
}

// An exception must not unwind through the system's frames that called us. The handlers
// report their own; this catches what is left, such as a report that could not be shown
// for want of memory, with no allocation of its own.
INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return HandleMessage(window, message, wParam, lParam);
  } catch (const std::exception& failure) {
    MessageBoxA(nullptr, failure.what(), "Error", MB_ICONERROR | MB_OK);
  } catch (...) {
  }
  return FALSE;
}

}  // namespace

std::intptr_t RunMainDialog(ov::platform::Platform& platform,
                            void* resourceModule, std::function<void(void* hwnd)> onShown) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = resourceModule != nullptr ? static_cast<HINSTANCE>(resourceModule) : GetModuleHandleW(nullptr);
  Win32DialogView view(instance);
  // The dialog object, and with it the tracing list, exists before the window does.
  COvClientTracingDlg dialog(platform, view);
  DialogContext context{&view, &dialog, std::move(onShown)};
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_OVCLIENTTRACING_DIALOG), nullptr, DialogProc,
                         reinterpret_cast<LPARAM>(&context));
}

}  // namespace ov::app
