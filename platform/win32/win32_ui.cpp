// Message boxes (no owner window), the cursor and the Save dialog.
#include <windows.h>
#include <shobjidl.h>

#include "platform/win32/win32_platform.h"

namespace ov::platform::win32 {

int Win32UserInteraction::ShowMessage(const std::wstring& text, const std::wstring& caption,
                                      std::uint32_t flags) {
  return MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags);
}

int Win32UserInteraction::ShowMessage8(const std::string& text, const std::string& caption,
                                       std::uint32_t flags) {
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

CursorHandle Win32UserInteraction::ShowWaitCursor() {
  return reinterpret_cast<CursorHandle>(SetCursor(LoadCursorW(nullptr, IDC_WAIT)));
}

void Win32UserInteraction::RestoreCursor(CursorHandle previous) {
  HCURSOR cursor = previous != 0 ? reinterpret_cast<HCURSOR>(previous) : LoadCursorW(nullptr, IDC_ARROW);
  SetCursor(cursor);
}

namespace {

// Releases a COM interface on every path out of a scope.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (m_p != nullptr) m_p->Release();
  }
  T** Out() { return &m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  T* m_p = nullptr;
};

bool ShowSaveDialog(const SaveDialogRequest& request, std::wstring* path) {
  ComPtr<IFileSaveDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileSaveDialog,
                              reinterpret_cast<void**>(dialog.Out())))) {
    return false;
  }
  FILEOPENDIALOGOPTIONS options = 0;
  if (FAILED(dialog->GetOptions(&options))) return false;
  // Replacing an existing archive is what the command wants, so the dialog must not ask.
  options &= ~static_cast<FILEOPENDIALOGOPTIONS>(FOS_OVERWRITEPROMPT);
  options |= FOS_PATHMUSTEXIST | FOS_NOREADONLYRETURN | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR;
  if (FAILED(dialog->SetOptions(options))) return false;
  const COMDLG_FILTERSPEC filter{request.filterName.c_str(), request.filterPattern.c_str()};
  if (!request.filterPattern.empty() && FAILED(dialog->SetFileTypes(1, &filter))) return false;
  // The dialog wants the extension without its dot.
  std::wstring extension = request.defaultExtension;
  if (!extension.empty() && extension.front() == L'.') extension.erase(0, 1);
  if (!extension.empty() && FAILED(dialog->SetDefaultExtension(extension.c_str()))) return false;
  if (!request.initialName.empty() && FAILED(dialog->SetFileName(request.initialName.c_str()))) return false;
  if (FAILED(dialog->Show(nullptr))) return false;  // cancelled, or the dialog failed
  ComPtr<IShellItem> item;
  if (FAILED(dialog->GetResult(item.Out()))) return false;
  wchar_t* chosen = nullptr;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &chosen)) || chosen == nullptr) return false;
  path->assign(chosen);
  CoTaskMemFree(chosen);
  return true;
}

}  // namespace

bool Win32UserInteraction::AskSavePath(const SaveDialogRequest& request, std::wstring* path) {
  // The Vista-style dialog is a COM object; the dialog thread may not have joined COM yet.
  const HRESULT joined = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const bool chosen = ShowSaveDialog(request, path);
  if (SUCCEEDED(joined)) CoUninitialize();
  return chosen;
}

}  // namespace ov::platform::win32
