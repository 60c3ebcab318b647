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

// Field n of a header, little-endian, from anything indexable by a 64-bit offset.
template <class Source>
std::uint64_t LittleEndian(const Source& b, std::uint64_t at, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<std::uint64_t>(i)];
  return v;
}
template <class Source>
Bytes Slice(const Source& b, std::uint64_t at, std::uint64_t size) {
  Bytes out(static_cast<std::size_t>(size));
  for (std::uint64_t i = 0; i < size; ++i) out[static_cast<std::size_t>(i)] = b[at + i];
  return out;
}

struct InMemory {  // bounds-checked access to an archive held in memory
  const Bytes& bytes;
  std::uint64_t size() const { return bytes.size(); }
  std::uint8_t operator[](std::uint64_t at) const { return bytes.at(static_cast<std::size_t>(at)); }
};

// The classic header fields in the order of the format, then name and extra field.
struct ZipHeader {
  std::uint64_t offset = 0;
  std::uint16_t madeBy = 0;  // central headers only
  std::uint16_t version = 0, flags = 0, method = 0, time = 0, date = 0;
  std::uint32_t crc = 0, compressedSize = 0, uncompressedSize = 0;
  std::uint16_t commentLength = 0, disk = 0, internal = 0;  // central headers only
  std::uint32_t external = 0, localOffset = 0;              // central headers only
  std::string name;
  Bytes extra;
  std::uint64_t dataOffset = 0;  // local headers: where the member data begins
  // Central headers: resolved through the ZIP64 field where the classic one holds the marker.
  std::uint64_t realCompressed = 0, realUncompressed = 0, realLocalOffset = 0;
};

struct ZipEnd {
  std::uint64_t offset = 0;
  std::uint16_t disk = 0, centralDisk = 0, entriesHere = 0, entries = 0, commentLength = 0;
  std::uint32_t centralSize = 0, centralOffset = 0;
  bool zip64 = false;
  std::uint64_t zip64EndOffset = 0, entries64 = 0, centralSize64 = 0, centralOffset64 = 0;
  std::uint16_t zip64Version = 0;
};

struct ParsedZip {
  std::vector<ZipHeader> central, local;  // local headers in central-directory order
  ZipEnd end;
  std::string error;  // empty when the structure is consistent
};

inline std::optional<Bytes> FindExtra(const Bytes& extra, std::uint16_t id) {
  for (std::size_t at = 0; at + 4 <= extra.size(); at += 4 + LittleEndian(extra, at + 2, 2)) {
    if (LittleEndian(extra, at, 2) == id) return Slice(extra, at + 4, LittleEndian(extra, at + 2, 2));
  }
  return std::nullopt;
}

template <class Source>
ZipHeader ParseHeader(const Source& b, std::uint64_t at, bool central) {
  ZipHeader h;
  h.offset = at;
  std::uint64_t p = at + 4;
  const auto take = [&](int bytes) { const std::uint64_t v = LittleEndian(b, p, bytes); p += static_cast<std::uint64_t>(bytes); return v; };
  if (central) h.madeBy = static_cast<std::uint16_t>(take(2));
  h.version = static_cast<std::uint16_t>(take(2));
  h.flags = static_cast<std::uint16_t>(take(2));
  h.method = static_cast<std::uint16_t>(take(2));
  h.time = static_cast<std::uint16_t>(take(2));
  h.date = static_cast<std::uint16_t>(take(2));
  h.crc = static_cast<std::uint32_t>(take(4));
  h.compressedSize = static_cast<std::uint32_t>(take(4));
  h.uncompressedSize = static_cast<std::uint32_t>(take(4));
  const auto nameLength = take(2), extraLength = take(2);
  if (central) {
    h.commentLength = static_cast<std::uint16_t>(take(2));
    h.disk = static_cast<std::uint16_t>(take(2));
    h.internal = static_cast<std::uint16_t>(take(2));
    h.external = static_cast<std::uint32_t>(take(4));
    h.localOffset = static_cast<std::uint32_t>(take(4));
  }
  const Bytes name = Slice(b, p, nameLength);
  h.name.assign(name.begin(), name.end());
  h.extra = Slice(b, p + nameLength, extraLength);
  h.dataOffset = p + nameLength + extraLength;
  h.realCompressed = h.compressedSize;
  h.realUncompressed = h.uncompressedSize;
  h.realLocalOffset = h.localOffset;
  if (const auto z64 = FindExtra(h.extra, 0x0001); z64 && central) {
    std::uint64_t k = 0;
    const auto next = [&] { k += 8; return LittleEndian(*z64, k - 8, 8); };
    if (h.uncompressedSize == 0xFFFFFFFFu) h.realUncompressed = next();
    if (h.compressedSize == 0xFFFFFFFFu) h.realCompressed = next();
    if (h.localOffset == 0xFFFFFFFFu) h.realLocalOffset = next();
    if (k != z64->size()) h.name += " (ZIP64 field has extra bytes)";
  }
  return h;
}

template <class Source>
ParsedZip ParseZipFrom(const Source& b) {
  ParsedZip z;
  std::uint64_t at = b.size() < 22 ? 0 : b.size() - 22;
  while (b.size() >= 22 && LittleEndian(b, at, 4) != 0x06054B50 && at > 0) --at;
  if (b.size() < 22 || LittleEndian(b, at, 4) != 0x06054B50) {
    z.error = "no end record";
    return z;
  }
  ZipEnd& e = z.end;
  e.offset = at;
  e.disk = static_cast<std::uint16_t>(LittleEndian(b, at + 4, 2));
  e.centralDisk = static_cast<std::uint16_t>(LittleEndian(b, at + 6, 2));
  e.entriesHere = static_cast<std::uint16_t>(LittleEndian(b, at + 8, 2));
  e.entries = static_cast<std::uint16_t>(LittleEndian(b, at + 10, 2));
  e.centralSize = static_cast<std::uint32_t>(LittleEndian(b, at + 12, 4));
  e.centralOffset = static_cast<std::uint32_t>(LittleEndian(b, at + 16, 4));
  e.commentLength = static_cast<std::uint16_t>(LittleEndian(b, at + 20, 2));
  std::uint64_t entries = e.entries, p = e.centralOffset;
  if (at >= 20 && LittleEndian(b, at - 20, 4) == 0x07064B50) {
    e.zip64 = true;
    const std::uint64_t z64 = e.zip64EndOffset = LittleEndian(b, at - 20 + 8, 8);
    if (LittleEndian(b, z64, 4) != 0x06064B50 || LittleEndian(b, z64 + 4, 8) != 44) {
      z.error = "bad ZIP64 end record";
      return z;
    }
    e.zip64Version = static_cast<std::uint16_t>(LittleEndian(b, z64 + 14, 2));
    entries = e.entries64 = LittleEndian(b, z64 + 32, 8);
    e.centralSize64 = LittleEndian(b, z64 + 40, 8);
    p = e.centralOffset64 = LittleEndian(b, z64 + 48, 8);
  }
  for (std::uint64_t i = 0; i < entries && z.error.empty(); ++i) {
    if (LittleEndian(b, p, 4) != 0x02014B50) z.error = "central header " + std::to_string(i) + " has no signature";
    z.central.push_back(ParseHeader(b, p, true));
    p = z.central.back().dataOffset + z.central.back().commentLength;
    if (LittleEndian(b, z.central.back().realLocalOffset, 4) != 0x04034B50) z.error = "no local header";
    z.local.push_back(ParseHeader(b, z.central.back().realLocalOffset, false));
  }
  return z;
}

inline ParsedZip ParseZip(const Bytes& bytes) { return ParseZipFrom(InMemory{bytes}); }

}  // namespace ov::zip::test
