// The writer's state behind a ZipHandle and the services the member compressor uses.
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

struct ZipArchive {
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

  // The member being added; reset by every add.
  std::uint32_t memberExternalAttributes = 0;
  std::uint32_t memberAccessTime = 0;  // extended-timestamp seconds, low 32 bits
  std::uint32_t memberModificationTime = 0;
  std::uint32_t memberCreationTime = 0;
  std::uint32_t memberDosTimestamp = 0;
  std::int64_t memberDeclaredSize = -1;
  std::uint64_t memberBytesRead = 0;
  // A disk file is read no further than the size it had when the member began, so a log that
  // grows meanwhile neither keeps the member going nor outgrows the header written for it.
  std::uint64_t memberReadLimit = UINT64_MAX;
  std::uint32_t memberCrc = 0;
  bool memberReadFailed = false;
  platform::FileHandle memberSource = platform::kNoFile;
  bool closeSource = false;
  const std::uint8_t* memorySource = nullptr;
  std::uint64_t memorySourceLength = 0;
  std::uint64_t memorySourcePosition = 0;
  std::uint64_t memberCompressedSize = 0;

  std::array<std::uint8_t, kTransferBufferSize> transfer {};
};

// The member reader: fills buffer from the current source, adds the bytes to the member's
// count and CRC, and returns how many came; 0 at the end or at memberReadLimit (a read error
// also ends the input, and is remembered in memberReadFailed).
std::uint32_t ReadMemberData(ZipArchive& zip, std::uint8_t* buffer, std::uint32_t size);

// The output writer: appends size bytes at the end of the archive and returns how many were
// written. Anything short sets the sticky error.
std::uint32_t AppendOutput(ZipArchive& zip, const void* data, std::uint32_t size);

// Compresses the rest of the current source into the archive, leaving the compressed byte
// count in memberCompressedSize; marks the record's flags. Returns 0 or kDeflateFailed.
std::uint32_t DeflateMember(ZipArchive& zip, ZipMemberRecord& record);

}  // namespace ov::zip
