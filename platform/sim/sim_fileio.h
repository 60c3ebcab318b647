// File handles of the sim: host files, pipes and memory mappings behind Windows-style handles.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/fileio.h"
#include "platform/sim/sim_files.h"

namespace ov::platform::sim {

// Which operation a failure hook is asked about.
enum class FileIoOp { Open, Close, Read, Write, Seek, Truncate, Duplicate, QueryType, QueryInformation, MakePipe,
                      CreateMapping, MapView, UnmapView, Flush };

// Paths go through the SimFileSystem's mapping and every open through its share-mode table,
// so a file held open by SimFileSystem::HoldOpen or by another handle conflicts exactly as it
// would on Windows. Pipes are POSIX pipes (non-seekable, FileType::Pipe); mappings are memfd
// files, so every view of one mapping shares its pages. Handle values are never reused, so a
// handle used after Close fails with kErrorInvalidHandle. Safe to use from several threads
// (a test drains a pipe on a second thread).
class SimFileIo final : public FileIo {
 public:
  explicit SimFileIo(SimFileSystem& files);
  ~SimFileIo() override;
  SimFileIo(const SimFileIo&) = delete;
  SimFileIo& operator=(const SimFileIo&) = delete;

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
  // Through SimFileSystem::OpenChecked; a failure hook sees it as FileIoOp::Open.
  ErrorCode OpenCheckedForReading(const std::wstring& path, FileHandle* handle) override;

  // A non-zero result fails the operation with that code and no effect.
  using FailureHook = std::function<ErrorCode(FileIoOp op, FileHandle handle)>;
  void SetFailureHook(FailureHook hook);
  // Handles and views still open, so tests can prove that nothing leaks.
  std::size_t OpenHandleCount() const;
  std::size_t MappedViewCount() const;

 private:
  struct Object;  // one open file object, shared by duplicated handles
  struct Entry {
    std::shared_ptr<Object> object;
    std::uint32_t access = 0;
  };
  ErrorCode Hook(FileIoOp op, FileHandle handle);
  static ErrorCode FileSystemErrno(int error, const std::string& hostPath);
  bool Find(FileHandle handle, Entry* entry) const;
  FileHandle Register(Entry entry);

  SimFileSystem& m_files;
  mutable std::mutex m_mutex;
  std::map<FileHandle, Entry> m_handles;
  std::map<void*, std::size_t> m_views;
  FileHandle m_next = 4;
  FailureHook m_hook;

 public:
  ErrorCode Flush(FileHandle handle) override;
};

}  // namespace ov::platform::sim
