// Member contents for the archive tests: text that compresses and bytes that do not.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace ov::zip::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Log lines like the trace files the product collects.
inline Bytes SampleLog(std::size_t lines) {
  std::string text;
  std::uint32_t x = 12345;
  for (std::size_t i = 0; i < lines; ++i) {
    x = x * 1103515245u + 12345u;
    text += "2024-02-29 14:37:42.123 [OvSpoolerHooks] job " + std::to_string(i) + " state " +
            std::to_string(x >> 20) + "\r\n";
  }
  return ToBytes(text);
}

inline Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  Bytes out(size);
  for (auto& b : out) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return out;
}

}  // namespace ov::zip::test
