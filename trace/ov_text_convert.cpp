// Utf8ToWide / WideToUtf8: measure, then convert into an OvIOBuffer.
#include "trace/ov_text_convert.h"

#include <climits>
#include <cstring>
#include <cwchar>

#include "platform/utf8.h"
#include "trace/ov_io_buffer.h"

namespace ov::trace {
namespace {

constexpr std::size_t kInitialCapacity = 4096;
constexpr std::size_t kGrowthQuantum = 16777216;
constexpr char32_t kReplacement = 0xFFFD;
constexpr bool kWide16 = sizeof(wchar_t) == 2;

// The system converters take int lengths; longer text fails there, and so it does here, so
// that a 32-bit and a 64-bit build agree.
constexpr std::size_t kMaxUnits = INT_MAX;

// Decodes one code point at text[*pos], advancing *pos past it. A malformed sequence yields
// U+FFFD and advances by its maximal well-formed prefix (at least one byte), the Unicode
// recommendation the system converter follows as well.
char32_t DecodeUtf8(const unsigned char* text, std::size_t length, std::size_t* pos) {
  const unsigned char lead = text[*pos];
  ++*pos;
  if (lead < 0x80) return lead;
  std::size_t trail;
  char32_t value;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the first trail byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return kReplacement;
  }
  for (std::size_t i = 0; i < trail; ++i) {
    if (*pos >= length) return kReplacement;
    const unsigned char byte = text[*pos];
    const unsigned char lo = i == 0 ? low : 0x80;
    const unsigned char hi = i == 0 ? high : 0xBF;
    if (byte < lo || byte > hi) return kReplacement;
    value = (value << 6) | (byte & 0x3F);
    ++*pos;
  }
  return value;
}

// Decodes one code point of wide text; a lone surrogate yields U+FFFD.
char32_t DecodeWide(const wchar_t* text, std::size_t length, std::size_t* pos) {
  const auto unit = static_cast<char32_t>(text[*pos]);
  ++*pos;
  if constexpr (kWide16) {
    const char32_t u = unit & 0xFFFF;
    if (u >= 0xD800 && u <= 0xDBFF && *pos < length) {
      const char32_t next = static_cast<char32_t>(text[*pos]) & 0xFFFF;
      if (next >= 0xDC00 && next <= 0xDFFF) {
        ++*pos;
        return 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00);
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) return kReplacement;
    return u;
  } else {
    if (unit > 0x10FFFF || (unit >= 0xD800 && unit <= 0xDFFF)) return kReplacement;
    return unit;
  }
}

std::size_t WideUnits(char32_t cp) { return kWide16 && cp >= 0x10000 ? 2 : 1; }

wchar_t* PutWide(wchar_t* out, char32_t cp) {
  if (kWide16 && cp >= 0x10000) {
    cp -= 0x10000;
    *out++ = static_cast<wchar_t>(0xD800 + (cp >> 10));
    *out++ = static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
  } else {
    *out++ = static_cast<wchar_t>(cp);
  }
  return out;
}

}  // namespace

std::uint32_t ConvertUtf8ToWide(const char* text, std::size_t length, std::wstring* result) {
  result->clear();
  if (text == nullptr || length == 0) return kConvertOk;
  if (length > kMaxUnits) return kConvertUtf8ToWideFailed;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);

  std::size_t units = 0;
  for (std::size_t pos = 0; pos < length;) units += WideUnits(DecodeUtf8(bytes, length, &pos));
  if (units > kMaxUnits) return kConvertUtf8ToWideFailed;

  OvIOBuffer buffer(kInitialCapacity, kGrowthQuantum);
  if (buffer.Resize(units * sizeof(wchar_t)) != kIOBufferOk) return kConvertNoMemory;
  auto* out = reinterpret_cast<wchar_t*>(buffer.Data());
  wchar_t* const begin = out;
  for (std::size_t pos = 0; pos < length;) out = PutWide(out, DecodeUtf8(bytes, length, &pos));
  if (static_cast<std::size_t>(out - begin) != units) return kConvertUtf8ToWideFailed;
  result->assign(begin, units);
  return kConvertOk;
}

std::uint32_t ConvertWideToUtf8(const wchar_t* text, std::size_t length, std::string* result) {
  result->clear();
  if (text == nullptr || length == 0) return kConvertOk;
  if (length > kMaxUnits) return kConvertWideToUtf8Failed;

  std::size_t bytes = 0;
  for (std::size_t pos = 0; pos < length;) bytes += platform::Utf8Length(DecodeWide(text, length, &pos));
  if (bytes > kMaxUnits) return kConvertWideToUtf8Failed;

  OvIOBuffer buffer(kInitialCapacity, kGrowthQuantum);
  if (buffer.Resize(bytes) != kIOBufferOk) return kConvertNoMemory;
  auto* out = reinterpret_cast<char*>(buffer.Data());
  char* const begin = out;
  for (std::size_t pos = 0; pos < length;) out = platform::PutUtf8(out, DecodeWide(text, length, &pos));
  if (static_cast<std::size_t>(out - begin) != bytes) return kConvertWideToUtf8Failed;
  result->assign(begin, bytes);
  return kConvertOk;
}

std::wstring Utf8ToWide(const char* text, std::size_t length) {
  std::wstring result;
  if (ConvertUtf8ToWide(text, length, &result) != kConvertOk) result.clear();
  return result;
}

std::string WideToUtf8(const wchar_t* text, std::size_t length) {
  std::string result;
  if (ConvertWideToUtf8(text, length, &result) != kConvertOk) result.clear();
  return result;
}

std::wstring Utf8ToWide(const char* text) {
  return text == nullptr ? std::wstring() : Utf8ToWide(text, std::strlen(text));
}

std::string WideToUtf8(const wchar_t* text) {
  return text == nullptr ? std::string() : WideToUtf8(text, std::wcslen(text));
}

}  // namespace ov::trace
