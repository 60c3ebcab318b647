// Text conversion through the system's code pages, exact or not at all.
#include <windows.h>

#include "platform/text.h"

namespace ov::platform {

bool WideToAnsi(std::wstring_view text, std::string* ansi) {
  ansi->clear();
  if (text.empty()) return true;
  // UTF-8 and GB18030 as the ANSI code page hold every character; they take neither
  // WC_NO_BEST_FIT_CHARS nor a used-default flag, and refuse only broken UTF-16.
  const UINT codePage = ::GetACP();
  const bool complete = codePage == CP_UTF8 || codePage == 54936;
  const DWORD flags = complete ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultCheck = complete ? nullptr : &usedDefault;
  const int length = static_cast<int>(text.size());
  const int needed = ::WideCharToMultiByte(CP_ACP, flags, text.data(), length, nullptr, 0, nullptr, usedDefaultCheck);
  if (needed <= 0 || usedDefault) return false;
  ansi->resize(static_cast<std::size_t>(needed));
  if (::WideCharToMultiByte(CP_ACP, flags, text.data(), length, ansi->data(), needed, nullptr, usedDefaultCheck) !=
          needed ||
      usedDefault) {
    ansi->clear();
    return false;
  }
  return true;
}

}  // namespace ov::platform
