// A small reader of the archive structures, so tests can check every header field.
#pragma once
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace ov::zip::test {

struct ZipLocal {
  std::uint64_t offset = 0;
  std::uint32_t signature = 0;
  std::uint16_t version = 0, flags = 0, method = 0, time = 0, date = 0;
  std::uint32_t crc = 0, compressedSize = 0, uncompressedSize = 0;
  std::uint16_t nameLength = 0, extraLength = 0;
  std::string name;
  std::vector<std::uint8_t> extra;
  std::uint64_t dataOffset = 0;
};

struct ZipCentral {
  std::uint64_t offset = 0;
  std::uint16_t madeBy = 0, version = 0, flags = 0, method = 0, time = 0, date = 0;
  std::uint32_t crc = 0, compressedSize = 0, uncompressedSize = 0;
  std::uint16_t nameLength = 0, extraLength = 0, commentLength = 0, disk = 0, internal = 0;
  std::uint32_t external = 0, localOffset = 0;
  std::string name;
  std::vector<std::uint8_t> extra;
  // Resolved through the ZIP64 extra field where the classic field holds the marker.
  std::uint64_t realCompressed = 0, realUncompressed = 0, realLocalOffset = 0;
};

struct ZipEnd {
  std::uint64_t offset = 0;
  std::uint16_t disk = 0, centralDisk = 0, entriesHere = 0, entries = 0;
  std::uint32_t centralSize = 0, centralOffset = 0;
  std::uint16_t commentLength = 0;
  bool zip64 = false;
  std::uint64_t zip64EndOffset = 0, entries64 = 0, centralSize64 = 0, centralOffset64 = 0;
  std::uint16_t zip64MadeBy = 0, zip64Version = 0;
};

struct ParsedZip {
  std::vector<ZipCentral> central;
  std::vector<ZipLocal> local;  // in central-directory order
  ZipEnd end;
  std::string error;  // empty when the structure is consistent
};

template <class Source>
std::uint64_t LittleEndian(const Source& b, std::uint64_t at, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<std::uint64_t>(i)];
  return v;
}

template <class Source>
std::string Text(const Source& b, std::uint64_t at, std::size_t size) {
  std::string out;
  for (std::size_t i = 0; i < size; ++i) out.push_back(static_cast<char>(b[at + i]));
  return out;
}

template <class Source>
std::vector<std::uint8_t> Slice(const Source& b, std::uint64_t at, std::size_t size) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < size; ++i) out.push_back(b[at + i]);
  return out;
}

// Bounds-checked access to an archive held in memory.
struct InMemory {
  const std::vector<std::uint8_t>& bytes;
  std::uint64_t size() const { return bytes.size(); }
  std::uint8_t operator[](std::uint64_t at) const { return bytes.at(static_cast<std::size_t>(at)); }
};

// The data of the extra-field block with this id, if present.
inline std::optional<std::vector<std::uint8_t>> FindExtra(const std::vector<std::uint8_t>& extra, std::uint16_t id) {
  std::size_t at = 0;
  while (at + 4 <= extra.size()) {
    const auto blockId = static_cast<std::uint16_t>(LittleEndian(extra, at, 2));
    const auto size = static_cast<std::size_t>(LittleEndian(extra, at + 2, 2));
    if (at + 4 + size > extra.size()) return std::nullopt;
    if (blockId == id) return std::vector<std::uint8_t>(extra.begin() + static_cast<long>(at + 4),
                                                        extra.begin() + static_cast<long>(at + 4 + size));
    at += 4 + size;
  }
  return std::nullopt;
}

template <class Source>
ZipLocal ParseLocal(const Source& b, std::uint64_t at) {
  ZipLocal l;
  l.offset = at;
  l.signature = static_cast<std::uint32_t>(LittleEndian(b, at, 4));
  l.version = static_cast<std::uint16_t>(LittleEndian(b, at + 4, 2));
  l.flags = static_cast<std::uint16_t>(LittleEndian(b, at + 6, 2));
  l.method = static_cast<std::uint16_t>(LittleEndian(b, at + 8, 2));
  l.time = static_cast<std::uint16_t>(LittleEndian(b, at + 10, 2));
  l.date = static_cast<std::uint16_t>(LittleEndian(b, at + 12, 2));
  l.crc = static_cast<std::uint32_t>(LittleEndian(b, at + 14, 4));
  l.compressedSize = static_cast<std::uint32_t>(LittleEndian(b, at + 18, 4));
  l.uncompressedSize = static_cast<std::uint32_t>(LittleEndian(b, at + 22, 4));
  l.nameLength = static_cast<std::uint16_t>(LittleEndian(b, at + 26, 2));
  l.extraLength = static_cast<std::uint16_t>(LittleEndian(b, at + 28, 2));
  l.name = Text(b, at + 30, l.nameLength);
  l.extra = Slice(b, at + 30 + l.nameLength, l.extraLength);
  l.dataOffset = at + 30 + l.nameLength + l.extraLength;
  return l;
}

template <class Source>
ParsedZip ParseZipFrom(const Source& b) {
  ParsedZip z;
  if (b.size() < 22) {
    z.error = "shorter than an end record";
    return z;
  }
  std::uint64_t at = b.size() - 22;
  while (LittleEndian(b, at, 4) != 0x06054B50) {
    if (at == 0) {
      z.error = "no end record";
      return z;
    }
    --at;
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
  std::uint64_t entries = e.entries;
  std::uint64_t centralOffset = e.centralOffset;
  if (at >= 20 && LittleEndian(b, at - 20, 4) == 0x07064B50) {
    e.zip64 = true;
    e.zip64EndOffset = LittleEndian(b, at - 20 + 8, 8);
    const std::uint64_t z64 = e.zip64EndOffset;
    if (LittleEndian(b, z64, 4) != 0x06064B50 || LittleEndian(b, z64 + 4, 8) != 44) {
      z.error = "bad ZIP64 end record";
      return z;
    }
    e.zip64MadeBy = static_cast<std::uint16_t>(LittleEndian(b, z64 + 12, 2));
    e.zip64Version = static_cast<std::uint16_t>(LittleEndian(b, z64 + 14, 2));
    e.entries64 = LittleEndian(b, z64 + 32, 8);
    e.centralSize64 = LittleEndian(b, z64 + 40, 8);
    e.centralOffset64 = LittleEndian(b, z64 + 48, 8);
    entries = e.entries64;
    centralOffset = e.centralOffset64;
  }
  std::uint64_t p = centralOffset;
  for (std::uint64_t i = 0; i < entries; ++i) {
    if (LittleEndian(b, p, 4) != 0x02014B50) {
      z.error = "central header " + std::to_string(i) + " has no signature";
      return z;
    }
    ZipCentral c;
    c.offset = p;
    c.madeBy = static_cast<std::uint16_t>(LittleEndian(b, p + 4, 2));
    c.version = static_cast<std::uint16_t>(LittleEndian(b, p + 6, 2));
    c.flags = static_cast<std::uint16_t>(LittleEndian(b, p + 8, 2));
    c.method = static_cast<std::uint16_t>(LittleEndian(b, p + 10, 2));
    c.time = static_cast<std::uint16_t>(LittleEndian(b, p + 12, 2));
    c.date = static_cast<std::uint16_t>(LittleEndian(b, p + 14, 2));
    c.crc = static_cast<std::uint32_t>(LittleEndian(b, p + 16, 4));
    c.compressedSize = static_cast<std::uint32_t>(LittleEndian(b, p + 20, 4));
    c.uncompressedSize = static_cast<std::uint32_t>(LittleEndian(b, p + 24, 4));
    c.nameLength = static_cast<std::uint16_t>(LittleEndian(b, p + 28, 2));
    c.extraLength = static_cast<std::uint16_t>(LittleEndian(b, p + 30, 2));
    c.commentLength = static_cast<std::uint16_t>(LittleEndian(b, p + 32, 2));
    c.disk = static_cast<std::uint16_t>(LittleEndian(b, p + 34, 2));
    c.internal = static_cast<std::uint16_t>(LittleEndian(b, p + 36, 2));
    c.external = static_cast<std::uint32_t>(LittleEndian(b, p + 38, 4));
    c.localOffset = static_cast<std::uint32_t>(LittleEndian(b, p + 42, 4));
    c.name = Text(b, p + 46, c.nameLength);
    c.extra = Slice(b, p + 46 + c.nameLength, c.extraLength);
    c.realCompressed = c.compressedSize;
    c.realUncompressed = c.uncompressedSize;
    c.realLocalOffset = c.localOffset;
    if (auto z64 = FindExtra(c.extra, 0x0001)) {
      std::size_t k = 0;
      const auto next = [&]() { const std::uint64_t v = LittleEndian(*z64, k, 8); k += 8; return v; };
      if (c.uncompressedSize == 0xFFFFFFFFu) c.realUncompressed = next();
      if (c.compressedSize == 0xFFFFFFFFu) c.realCompressed = next();
      if (c.localOffset == 0xFFFFFFFFu) c.realLocalOffset = next();
      if (k != z64->size()) z.error = "ZIP64 field of " + c.name + " has extra bytes";
    }
    p += 46u + c.nameLength + c.extraLength + c.commentLength;
    z.central.push_back(c);
  }
  for (const ZipCentral& c : z.central) {
    ZipLocal l = ParseLocal(b, c.realLocalOffset);
    if (l.signature != 0x04034B50) z.error = "local header of " + c.name + " has no signature";
    z.local.push_back(l);
  }
  return z;
}

inline ParsedZip ParseZip(const std::vector<std::uint8_t>& bytes) { return ParseZipFrom(InMemory{bytes}); }

}  // namespace ov::zip::test
