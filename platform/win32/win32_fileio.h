// File handles of the real system: CreateFileW, ReadFile/WriteFile, mappings.
#pragma once
#include "platform/fileio.h"

namespace ov::platform::win32 {

class Win32FileIo final : public FileIo {
 public:
  ErrorCode Open(const std::wstring& path, std::uint32_t access, std::uint32_t share,
                 std::uint32_t disposition, std::uint32_t attributes, FileHandle* handle) override;
  ErrorCode Close(FileHandle handle) override;
  ErrorCode Read(FileHandle handle, void* buffer, std::uint32_t size, std::uint32_t* read) override;
  ErrorCode Write(FileHandle handle, const void* buffer, std::uint32_t size,
                  std::uint32_t* written) override;
  ErrorCode Seek(FileHandle handle, std::int64_t distance, SeekOrigin origin,
                 std::uint64_t* position) override;
  ErrorCode TruncateAtPosition(FileHandle handle) override;
  ErrorCode Duplicate(FileHandle handle, FileHandle* duplicate) override;
  ErrorCode QueryType(FileHandle handle, FileType* type) override;
  ErrorCode QueryInformation(FileHandle handle, FileInformation* information) override;
  ErrorCode MakePipe(FileHandle* readEnd, FileHandle* writeEnd) override;
  ErrorCode CreateAnonymousMapping(std::uint64_t size, FileHandle* mapping) override;
  ErrorCode MapView(FileHandle mapping, std::uint64_t size, void** view) override;
  ErrorCode UnmapView(void* view) override;
  ErrorCode Flush(FileHandle handle) override;
  ErrorCode OpenCheckedForReading(const std::wstring& path, FileHandle* handle) override;
};

}  // namespace ov::platform::win32
