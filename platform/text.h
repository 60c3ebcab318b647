// Text conversion between the product's wide strings and the system's 8-bit code pages.
#pragma once
#include <string>
#include <string_view>

namespace ov::platform {

// WideCharToMultiByte(CP_ACP, 0, ...): the ANSI code page of the system. Characters the code
// page lacks become its default character. Returns false when the conversion fails; the
// result then is empty. Natively the sim's code page is Latin-1: code points below 256 map
// to the same byte, every other one to '?'.
bool WideToAnsi(std::wstring_view text, std::string* ansi);

}  // namespace ov::platform
