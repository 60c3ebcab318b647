// UTF-8 encoding of one code point: the one encoder behind every 8-bit text the tool writes.
#pragma once
#include <cstddef>

namespace ov::platform {

// What a lone surrogate or a value beyond U+10FFFF becomes is each caller's rule, settled
// before it calls: the trace lines and the registry snapshot write U+FFFD instead, the sim's
// host paths keep every unit as it is (a surrogate as three bytes), so that a name maps back.

// How many bytes PutUtf8 writes for cp.
constexpr std::size_t Utf8Length(char32_t cp) {
  if (cp < 0x80) return 1;
  if (cp < 0x800) return 2;
  if (cp < 0x10000) return 3;
  return 4;
}

// Writes cp's bytes through out (a char pointer or an output iterator such as
// std::back_inserter) and returns out past them.
template <typename Out>
Out PutUtf8(Out out, char32_t cp) {
  const auto put = [&out](char32_t byte) { *out++ = static_cast<char>(static_cast<unsigned char>(byte)); };
  if (cp < 0x80) {
    put(cp);
  } else if (cp < 0x800) {
    put(0xC0 | (cp >> 6));
    put(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    put(0xE0 | (cp >> 12));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  } else {
    put(0xF0 | (cp >> 18));
    put(0x80 | ((cp >> 12) & 0x3F));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  }
  return out;
}

}  // namespace ov::platform
