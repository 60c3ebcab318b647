// Text conversion of the sim: a Latin-1 "ANSI code page" without best-fit mappings.
#include "platform/text.h"

#include <cstdint>

namespace ov::platform {

bool WideToAnsi(std::wstring_view text, std::string* ansi) {
  ansi->clear();
  ansi->reserve(text.size());
  for (wchar_t c : text) {
    const auto code = static_cast<std::uint32_t>(c);
    if (code >= 256) {
      ansi->clear();
      return false;
    }
    ansi->push_back(static_cast<char>(code));
  }
  return true;
}

}  // namespace ov::platform
