// Win32 side of the main dialog: controls behind DialogView, messages to handlers.
#include "app/win32_dialog.h"

#include <windows.h>
#include <commctrl.h>

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

// Dispatch only: every behaviour lives in COvClientTracingDlg.
bool OnCommand(COvClientTracingDlg& dlg, int id, int code) {
  if (code == BN_CLICKED) {
    switch (id) {
      case IDC_TRACING_ENABLED: dlg.OnTracingEnabled(); return true;
      case IDC_APPLY_BUTTON: dlg.OnApply(); return true;
      case IDC_ALL_TRACING_ON: dlg.OnAllTracingOn(); return true;
      case IDC_RESET_TO_DEFAULTS: dlg.OnResetToDefaults(); return true;
      case IDC_ALL_TRACING_OFF: dlg.OnAllTracingOff(); return true;
      case IDC_DELETE_FILE: dlg.OnDeleteFile(); return true;
      case IDC_ZIP_UP_LOG_FILES: dlg.OnZipUpLogFiles(); return true;
      case IDOK: dlg.OnOK(); return true;
      case IDCANCEL: dlg.OnCancel(); return true;
      default: return false;
    }
  }
  if (code == EN_CHANGE) {
    if (id == IDC_TRACE_DIRECTORY) dlg.OnDirectoryChange();
    if (id == IDC_TRACE_LEVEL) dlg.OnLevelChange();
    return id == IDC_TRACE_DIRECTORY || id == IDC_TRACE_LEVEL;
  }
  if (code == EN_KILLFOCUS) {
    if (id == IDC_TRACE_DIRECTORY) dlg.OnDirectoryKillFocus();
    if (id == IDC_TRACE_LEVEL) dlg.OnLevelKillFocus();
    return id == IDC_TRACE_DIRECTORY || id == IDC_TRACE_LEVEL;
  }
  return false;
}

bool OnNotify(COvClientTracingDlg& dlg, HWND list, const NMHDR& header) {
  const bool fromList = header.idFrom == IDC_TRACE_LIST || header.hwndFrom == list;
  const bool fromHeader = header.hwndFrom == reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  switch (header.code) {
    case LVN_ITEMCHANGED:
      if (!fromList) return false;
      dlg.OnListItemChanged();
      return true;
    case HDN_ITEMCHANGEDW:
      if (!fromList && !fromHeader) return false;
      dlg.OnListItemChanged();
      return true;
    case NM_DBLCLK:
      if (!fromList) return false;
      dlg.OnListDoubleClick();
      return true;
    default:
      return false;
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

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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
      return OnCommand(dlg, LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_NOTIFY:
      if (OnNotify(dlg, context->view->List(), *reinterpret_cast<const NMHDR*>(lParam))) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      dlg.OnClose();
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
