// UTF-8 <-> wide text for the trace facility (UTF-16 where wchar_t is 16 bits, UTF-32 where
// it is 32 bits).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace ov::trace {

// What the conversion step reports besides success.
inline constexpr std::uint32_t kConvertOk = 0;
inline constexpr std::uint32_t kConvertNoMemory = 3;
inline constexpr std::uint32_t kConvertWideToUtf8Failed = 9;
inline constexpr std::uint32_t kConvertUtf8ToWideFailed = 10;

// Null input, a failed measurement or conversion, or a failed allocation give an empty
// result; tracing never raises. Malformed input is not a failure: each broken sequence
// becomes U+FFFD, as the system converters do without their strict flag.
std::wstring Utf8ToWide(const char* text);
std::string WideToUtf8(const wchar_t* text);
// The same for counted text, which may hold zeros.
std::wstring Utf8ToWide(const char* text, std::size_t length);
std::string WideToUtf8(const wchar_t* text, std::size_t length);

// The conversion step itself, for callers that want the code: measures, then converts into a
// buffer of initial capacity 4096 bytes and growth quantum 16777216 bytes.
std::uint32_t ConvertUtf8ToWide(const char* text, std::size_t length, std::wstring* result);
std::uint32_t ConvertWideToUtf8(const wchar_t* text, std::size_t length, std::string* result);

}  // namespace ov::trace
