// Text conversion through the system's code pages.
#include <windows.h>

#include "platform/text.h"

namespace ov::platform {

bool WideToAnsi(std::wstring_view text, std::string* ansi) {
  ansi->clear();
  if (text.empty()) return true;
  const int length = static_cast<int>(text.size());
  const int needed = ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return false;
  ansi->resize(static_cast<std::size_t>(needed));
  if (::WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi->data(), needed, nullptr, nullptr) != needed) {
    ansi->clear();
    return false;
  }
  return true;
}

}  // namespace ov::platform
