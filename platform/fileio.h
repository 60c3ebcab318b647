// The file-handle concept: CreateFileW-style opens, handle I/O, anonymous mappings.
#pragma once
#include <cstdint>
#include <string>

#include "platform/errors.h"

namespace ov::platform {

// An open file, pipe or mapping. kNoFile is never a valid handle (Win32 handles of files are
// never 0; INVALID_HANDLE_VALUE is reported as an error instead of being handed out).
using FileHandle = std::uintptr_t;
inline constexpr FileHandle kNoFile = 0;

// Access, share, disposition and attribute values, bit for bit as in winnt.h/winbase.h.
inline constexpr std::uint32_t kAccessRead = 0x80000000u;   // GENERIC_READ
inline constexpr std::uint32_t kAccessWrite = 0x40000000u;  // GENERIC_WRITE
inline constexpr std::uint32_t kShareNone = 0;
inline constexpr std::uint32_t kShareRead = 1;
inline constexpr std::uint32_t kShareWrite = 2;
inline constexpr std::uint32_t kShareDelete = 4;
inline constexpr std::uint32_t kCreateNew = 1;
inline constexpr std::uint32_t kCreateAlways = 2;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kOpenAlways = 4;
inline constexpr std::uint32_t kTruncateExisting = 5;
inline constexpr std::uint32_t kAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kAttributeHidden = 0x02;
inline constexpr std::uint32_t kAttributeSystem = 0x04;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeArchive = 0x20;
inline constexpr std::uint32_t kAttributeNormal = 0x80;

// GetFileType's answer; only Disk can seek.
enum class FileType : std::uint32_t { Unknown = 0, Disk = 1, Char = 2, Pipe = 3 };

enum class SeekOrigin : std::uint32_t { Begin = 0, Current = 1, End = 2 };

// What GetFileInformationByHandle reports. Times are FILETIMEs: 100 ns units since
// 1601-01-01 00:00:00 UTC.
struct FileInformation {
  std::uint32_t attributes = 0;
  std::uint64_t creationTime = 0;
  std::uint64_t lastAccessTime = 0;
  std::uint64_t lastWriteTime = 0;
  std::uint64_t size = 0;
  std::uint32_t links = 1;
};

// Method names avoid the Win32 API's macro names (CreateFile, CreateFileMapping, ...), which
// <windows.h> would otherwise rename in one translation unit only.
class FileIo {
 public:
  virtual ~FileIo() = default;

  // CreateFileW(path, access, share, no security, disposition, attributes, no template).
  virtual ErrorCode Open(const std::wstring& path, std::uint32_t access, std::uint32_t share,
                         std::uint32_t disposition, std::uint32_t attributes, FileHandle* handle) = 0;
  virtual ErrorCode Close(FileHandle handle) = 0;
  // ReadFile / WriteFile, synchronous. A disk read at the end gives kSuccess with 0 bytes; a
  // pipe whose writer has gone gives kErrorBrokenPipe.
  virtual ErrorCode Read(FileHandle handle, void* buffer, std::uint32_t size, std::uint32_t* read) = 0;
  virtual ErrorCode Write(FileHandle handle, const void* buffer, std::uint32_t size,
                          std::uint32_t* written) = 0;
  // SetFilePointerEx; *position (when given) receives the new position.
  virtual ErrorCode Seek(FileHandle handle, std::int64_t distance, SeekOrigin origin,
                         std::uint64_t* position) = 0;
  // SetEndOfFile: the file ends at the handle's current position.
  virtual ErrorCode TruncateAtPosition(FileHandle handle) = 0;
  // DuplicateHandle within the process, with the same access. Both handles share one file
  // position.
  virtual ErrorCode Duplicate(FileHandle handle, FileHandle* duplicate) = 0;
  // GetFileType; an invalid handle gives FileType::Unknown and kErrorInvalidHandle.
  virtual ErrorCode QueryType(FileHandle handle, FileType* type) = 0;
  virtual ErrorCode QueryInformation(FileHandle handle, FileInformation* information) = 0;
  // CreatePipe with the system's default buffer size.
  virtual ErrorCode MakePipe(FileHandle* readEnd, FileHandle* writeEnd) = 0;

  // CreateFileMappingW(INVALID_HANDLE_VALUE, PAGE_READWRITE, size): shared memory backed by
  // the paging file; closed with Close.
  virtual ErrorCode CreateAnonymousMapping(std::uint64_t size, FileHandle* mapping) = 0;
  // MapViewOfFile(read and write, offset 0, size) and UnmapViewOfFile.
  virtual ErrorCode MapView(FileHandle mapping, std::uint64_t size, void** view) = 0;
  virtual ErrorCode UnmapView(void* view) = 0;

  // FlushFileBuffers: what was written through the handle is on the device when it returns.
  // The handle needs write access.
  virtual ErrorCode Flush(FileHandle handle) = 0;

  // How the elevated tool opens a file it reads for someone else, such as a trace log that
  // goes into an archive: an existing file, for reading, sharing reading, writing and
  // deletion (the component that writes it may go on), checked as FileSystem's checked
  // operations are (files.h): not a link or other reparse point, exactly one link, and its
  // final path the path given, so no link in the file's name or in any folder above it can
  // make the tool read a file the user may not. A directory, or anything that does not
  // check out, gives kErrorAccessDenied and no handle. The handle serves Read, Seek,
  // QueryInformation and Close like one from Open.
  virtual ErrorCode OpenCheckedForReading(const std::wstring& path, FileHandle* handle) = 0;
};

}  // namespace ov::platform
