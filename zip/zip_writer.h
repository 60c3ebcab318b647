// The ZIP archive writer: stored or deflated members from files, handles, memory and folders.
#pragma once
#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/fileio.h"

namespace ov::zip {

// The kind of an archive's output or of a member's source.
enum class ZipSourceKind : std::uint32_t {
  // An open OS handle. As an output the writer uses its own duplicate; as a source a disk
  // file is read from its start up to the size it has when the member begins.
  Handle = 1,
  FileName = 2,  // a path: created as an output, opened for reading (sharing reading only) as a source
  Memory = 3,    // a memory area; as an output without an address, a writer-allocated mapping
  Folder = 4,    // a directory entry without data (sources only)
};

enum class ZipResult : std::uint32_t {
  Ok = 0,
  CannotDuplicateHandle = 0x100,
  CannotOpenFile = 0x200,
  CannotAllocate = 0x300,
  WriteFailed = 0x400,
  BadArguments = 0x10000,
  MemoryTooSmall = 0x30000,
  AlreadyFailed = 0x40000,
  AlreadyClosed = 0x50000,
  WrongHandleKind = 0x80000,
  NotInitialised = 0x1000000,
  SeekFailed = 0x2000000,
  CannotChangeStorage = 0x4000000,
};

struct ZipArchive;

// What callers hold between CreateZipArchive and CloseZipArchive. The tag tells an archive
// being created (2) from anything else handed in by mistake; every operation checks it.
inline constexpr std::uint32_t kZipCreateTag = 2;
struct ZipHandle {
  std::uint32_t tag = kZipCreateTag;
  ZipArchive* archive = nullptr;
};

// An output or a member source; which field counts depends on the kind that comes with it.
struct ZipTarget {
  std::wstring path;                                // FileName
  platform::FileHandle handle = platform::kNoFile;  // Handle
  // Memory: the member's bytes, or as an output the area the writer fills (the writer
  // writes through this pointer, so the area must be writable).
  const void* memory = nullptr;
};

// Starts an archive on the output; clock gives the members' local times. length is the size
// of a Memory output and is ignored otherwise. Returns nullptr on failure, with the reason
// in *result when it is given.
ZipHandle* CreateZipArchive(platform::FileIo& io, platform::Clock& clock, const ZipTarget& target,
                            std::uint64_t length, ZipSourceKind kind, ZipResult* result = nullptr);

// Appends one member. length is the size of a Memory source, or for a Handle that is not a
// disk file its size when the caller knows it (0 when not); other kinds ignore it.
ZipResult AddZipMember(ZipHandle* zip, const std::wstring& name, const ZipTarget& source,
                       std::uint64_t length, ZipSourceKind kind);

// Writes the central directory, releases the output and frees the handle, which is invalid
// afterwards whatever the result.
ZipResult CloseZipArchive(ZipHandle* zip);

}  // namespace ov::zip
