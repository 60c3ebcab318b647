// Text conversion between the product's wide strings and the system's 8-bit code pages.
#pragma once
#include <string>
#include <string_view>

namespace ov::platform {

// WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, ...) with the used-default check: the text
// in the system's ANSI code page, character for character, or false (and an empty result)
// when any character has no exact counterpart there. Nothing is replaced by a look-alike:
// a best fit could turn a fullwidth "／" (U+FF0F) into "/" or "．" (U+FF0E) into ".", and
// so give an archive member a folder or a ".." it never had. Natively the sim's code page is
// Latin-1: code points below 256 are the byte of that value, every other one fails.
bool WideToAnsi(std::wstring_view text, std::string* ansi);

}  // namespace ov::platform
