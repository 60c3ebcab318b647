// Text conversion of the sim: a Latin-1 "ANSI code page" with '?' as its default character.
#include "platform/text.h"

#include <cstdint>

namespace ov::platform {

bool WideToAnsi(std::wstring_view text, std::string* ansi) {
  ansi->clear();
  ansi->reserve(text.size());
  for (wchar_t c : text) {
    const auto code = static_cast<std::uint32_t>(c);
    ansi->push_back(code < 256 ? static_cast<char>(code) : '?');
  }
  return true;
}

}  // namespace ov::platform
