// Shared by the archive tests: member contents, and a small reader of the archive structures
// so tests can check every header field.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ov::zip::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Log lines like the trace files the product collects: they compress.
inline Bytes SampleLog(std::size_t lines) {
  std::string text;
  for (std::size_t i = 0; i < lines; ++i) {
    text += "2024-02-29 14:37:42.123 [OvSpoolerHooks] job " + std::to_string(i) + " state " +
            std::to_string((i * 2654435761u) >> 20 & 0xFFF) + "\r\n";
  }
  return ToBytes(text);
}

inline Bytes RandomBytes(std::size_t size, std::uint32_t seed) {  // they do not
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
  return out;
}

// An archive in memory or mapped from a (sparse, multi-GiB) file; reads past the end give 0.
struct View {
  const std::uint8_t* data;
  std::uint64_t size;
  std::uint64_t operator()(std::uint64_t at, int bytes) const {  // little-endian field
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | (at + i < size ? data[at + i] : 0);
    return v;
  }
  Bytes Slice(std::uint64_t at, std::uint64_t n) const {
    return at + n <= size ? Bytes(data + at, data + at + n) : Bytes();
  }
};
inline std::uint64_t Le(const Bytes& b, std::uint64_t at, int bytes) { return View{b.data(), b.size()}(at, bytes); }

// The classic header fields; central-only ones stay 0 in local headers. real* resolve the
// ZIP64 field where the classic one holds the marker.
struct ZipHeader {
  std::uint64_t offset = 0, dataOffset = 0;
  std::uint32_t madeBy = 0, version = 0, flags = 0, method = 0, time = 0, date = 0, crc = 0, compressedSize = 0,
                uncompressedSize = 0, commentLength = 0, disk = 0, internal = 0, external = 0, localOffset = 0;
  std::string name;
  Bytes extra;
  std::uint64_t realCompressed = 0, realUncompressed = 0, realLocalOffset = 0;
};

struct ZipEnd {
  std::uint64_t offset = 0, disk = 0, centralDisk = 0, entriesHere = 0, entries = 0, centralSize = 0,
                centralOffset = 0, commentLength = 0;
  bool zip64 = false;
  std::uint64_t zip64EndOffset = 0, zip64Version = 0, entries64 = 0, centralSize64 = 0, centralOffset64 = 0;
};

struct ParsedZip {
  std::vector<ZipHeader> central, local;  // local headers in central-directory order
  ZipEnd end;
  std::string error;  // empty when the structure is consistent
};

inline std::optional<Bytes> FindExtra(const Bytes& extra, std::uint16_t id) {
  for (std::size_t at = 0; at + 4 <= extra.size(); at += 4 + Le(extra, at + 2, 2)) {
    if (Le(extra, at, 2) == id) return View{extra.data(), extra.size()}.Slice(at + 4, Le(extra, at + 2, 2));
  }
  return std::nullopt;
}

inline ZipHeader ParseHeader(const View& b, std::uint64_t at, bool central) {
  ZipHeader h;
  std::uint64_t p = (h.offset = at) + 4;
  const auto take = [&](std::uint32_t& field, int bytes) { field = static_cast<std::uint32_t>(b(p, bytes)); p += bytes; };
  if (central) take(h.madeBy, 2);
  for (auto* f : {&h.version, &h.flags, &h.method, &h.time, &h.date}) take(*f, 2);
  for (auto* f : {&h.crc, &h.compressedSize, &h.uncompressedSize}) take(*f, 4);
  std::uint32_t nameLength = 0, extraLength = 0;
  take(nameLength, 2), take(extraLength, 2);
  if (central) take(h.commentLength, 2), take(h.disk, 2), take(h.internal, 2), take(h.external, 4), take(h.localOffset, 4);
  const Bytes name = b.Slice(p, nameLength);
  h.name.assign(name.begin(), name.end());
  h.extra = b.Slice(p + nameLength, extraLength);
  h.dataOffset = p + nameLength + extraLength;
  h.realCompressed = h.compressedSize, h.realUncompressed = h.uncompressedSize, h.realLocalOffset = h.localOffset;
  if (const auto z64 = FindExtra(h.extra, 0x0001); z64 && central) {
    std::uint64_t k = 0;
    for (auto [classic, real] : {std::pair{h.uncompressedSize, &h.realUncompressed}, {h.compressedSize, &h.realCompressed},
                                 {h.localOffset, &h.realLocalOffset}}) {
      if (classic == 0xFFFFFFFFu) *real = Le(*z64, (k += 8) - 8, 8);
    }
    if (k != z64->size()) h.name += " (ZIP64 field has extra bytes)";
  }
  return h;
}

inline ParsedZip ParseZip(const View& b) {
  ParsedZip z;
  std::uint64_t at = b.size < 22 ? 0 : b.size - 22;
  while (at > 0 && b(at, 4) != 0x06054B50) --at;
  if (b(at, 4) != 0x06054B50) return z.error = "no end record", z;
  ZipEnd& e = z.end;
  e.offset = at, e.disk = b(at + 4, 2), e.centralDisk = b(at + 6, 2), e.entriesHere = b(at + 8, 2);
  e.entries = b(at + 10, 2), e.centralSize = b(at + 12, 4), e.centralOffset = b(at + 16, 4), e.commentLength = b(at + 20, 2);
  std::uint64_t entries = e.entries, p = e.centralOffset;
  if (at >= 20 && b(at - 20, 4) == 0x07064B50) {
    const std::uint64_t z64 = e.zip64EndOffset = b(at - 20 + 8, 8);
    if (b(z64, 4) != 0x06064B50 || b(z64 + 4, 8) != 44) return z.error = "bad ZIP64 end record", z;
    e.zip64 = true, e.zip64Version = b(z64 + 14, 2), entries = e.entries64 = b(z64 + 32, 8);
    e.centralSize64 = b(z64 + 40, 8), p = e.centralOffset64 = b(z64 + 48, 8);
  }
  for (std::uint64_t i = 0; i < entries && z.error.empty(); ++i) {
    if (b(p, 4) != 0x02014B50) z.error = "central header " + std::to_string(i) + " has no signature";
    z.central.push_back(ParseHeader(b, p, true));
    p = z.central.back().dataOffset + z.central.back().commentLength;
    if (b(z.central.back().realLocalOffset, 4) != 0x04034B50) z.error = "no local header";
    z.local.push_back(ParseHeader(b, z.central.back().realLocalOffset, false));
  }
  return z;
}
inline ParsedZip ParseZip(const Bytes& bytes) { return ParseZip(View{bytes.data(), bytes.size()}); }

}  // namespace ov::zip::test
