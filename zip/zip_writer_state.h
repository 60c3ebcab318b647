// The writer's state behind a ZipHandle: its output, the records so far, the member being added.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/fileio.h"
#include "zip/zip_writer.h"

namespace ov::zip {

inline constexpr std::uint32_t kTransferBufferSize = 16384;
inline constexpr std::uint16_t kFlagSizesFollowData = 0x0008;
inline constexpr std::uint16_t kFlagMaximumCompression = 0x0002;

// One member as the central directory will describe it.
struct ZipMemberRecord {
  std::uint16_t versionMadeBy = 0x0B17;
  std::uint16_t versionNeeded = 20;
  std::uint16_t flags = 0;  // of the central header
  std::uint16_t method = 0;
  std::uint32_t dosTimestamp = 0;  // date high, time low
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t uncompressedSize = 0;
  std::uint16_t diskNumber = 0;
  std::uint16_t internalAttributes = 0;
  std::uint16_t localFlags = 0;  // of the local header
  std::uint32_t externalAttributes = 0;
  std::uint64_t localHeaderOffset = 0;
  // The local header carries the 64-bit sizes (decided before the data, never changed).
  bool localZip64 = false;
  std::array<std::uint8_t, 9> centralExtra {};  // the central extended timestamp
  std::string name;                             // ANSI, "/" separated
};

// The member being added. Each add starts from a fresh one, so nothing of the previous
// member can leak into the next.
struct MemberState {
  std::uint32_t externalAttributes = 0;
  std::uint32_t accessTime = 0;  // extended-timestamp seconds, low 32 bits
  std::uint32_t modificationTime = 0;
  std::uint32_t creationTime = 0;
  std::uint32_t dosTimestamp = 0;
  std::int64_t declaredSize = -1;  // -1: unknown before the data
  std::uint64_t bytesRead = 0;
  // A disk file is read no further than the size it had when the member began, so a log that
  // grows meanwhile neither keeps the member going nor outgrows the header written for it.
  std::uint64_t readLimit = UINT64_MAX;
  std::uint32_t crc = 0;
  bool readFailed = false;
  platform::FileHandle source = platform::kNoFile;
  bool closeSource = false;  // the writer opened the source, so it closes it
  const std::uint8_t* memorySource = nullptr;
  std::uint64_t memorySourceLength = 0;
  std::uint64_t memorySourcePosition = 0;
  std::uint64_t compressedSize = 0;
};

struct ZipArchive {
  ZipArchive(platform::FileIo& fileIo, platform::Clock& localTime) : io(&fileIo), clock(&localTime) {}
  // Releases the output (the writer's mapping and handles), whatever became of the archive.
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // The first fault is the one reported; later ones are its consequences.
  void SetSticky(ZipResult error) {
    if (stickyError == ZipResult::Ok) stickyError = error;
  }

  platform::FileIo* io = nullptr;
  platform::Clock* clock = nullptr;  // the members' local times
  platform::FileHandle output = platform::kNoFile;
  platform::FileHandle mapping = platform::kNoFile;
  std::uint64_t outputOffset = 0;
  ZipResult stickyError = ZipResult::Ok;
  std::uint64_t bytesWritten = 0;  // archive bytes, counted from outputOffset
  std::uint64_t highWater = 0;     // the furthest that bytesWritten ever reached
  bool outputSeekable = false;
  std::uint8_t* memory = nullptr;
  std::uint64_t memoryPosition = 0;
  std::uint64_t memorySize = 0;
  bool closed = false;
  std::vector<ZipMemberRecord> records;
  MemberState member;
  std::array<std::uint8_t, kTransferBufferSize> transfer {};
};

}  // namespace ov::zip
