// Sim file handles: POSIX descriptors with Windows' share modes, handle rules and error codes.
#include "platform/sim/sim_fileio.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <utility>

namespace ov::platform::sim {

namespace {

constexpr std::int64_t kUnixEpochAsFileTimeSeconds = 11644473600;  // 1601 to 1970

bool ParentExists(const std::string& hostPath) {
  const auto slash = hostPath.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return true;
  struct stat st {};
  return ::stat(hostPath.substr(0, slash).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::uint64_t ToFileTime(const struct timespec& t) {
  const std::int64_t seconds = static_cast<std::int64_t>(t.tv_sec) + kUnixEpochAsFileTimeSeconds;
  if (seconds < 0) return 0;
  return static_cast<std::uint64_t>(seconds) * 10000000u + static_cast<std::uint64_t>(t.tv_nsec) / 100u;
}

// A write to a pipe whose reader has gone raises SIGPIPE on POSIX; Windows reports an error
// instead. Blocking the signal for the write and consuming it afterwards gives the Windows
// behaviour without changing the process's signal disposition.
ssize_t WriteWithoutSigpipe(int fd, const void* buffer, std::size_t size) {
  sigset_t pipeOnly;
  sigset_t previous;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
  ssize_t n = 0;
  do {
    n = ::write(fd, buffer, size);
  } while (n < 0 && errno == EINTR);
  const int error = errno;
  if (n < 0 && error == EPIPE) {
    const struct timespec zero {};
    while (sigtimedwait(&pipeOnly, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return n;
}

}  // namespace

struct SimFileIo::Object {
  SimFileSystem* files = nullptr;
  int fd = -1;
  int shareToken = 0;
  FileType type = FileType::Disk;
  bool mapping = false;
  std::uint64_t mappingSize = 0;

  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  ~Object() {
    if (fd >= 0) ::close(fd);
    if (shareToken != 0) files->ReleaseShare(shareToken);
  }
};

SimFileIo::SimFileIo(SimFileSystem& files) : m_files(files) {}

SimFileIo::~SimFileIo() {
  for (const auto& [view, length] : m_views) ::munmap(view, length);
}

void SimFileIo::SetFailureHook(FailureHook hook) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_hook = std::move(hook);
}

std::size_t SimFileIo::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_handles.size();
}

std::size_t SimFileIo::MappedViewCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_views.size();
}

ErrorCode SimFileIo::Hook(FileIoOp op, FileHandle handle) {
  FailureHook hook;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    hook = m_hook;
  }
  return hook ? hook(op, handle) : kSuccess;
}

bool SimFileIo::Find(FileHandle handle, Entry* entry) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto it = m_handles.find(handle);
  if (it == m_handles.end()) return false;
  *entry = it->second;
  return true;
}

FileHandle SimFileIo::Register(Entry entry) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const FileHandle handle = m_next;
  m_next += 4;  // Windows hands out multiples of 4
  m_handles.emplace(handle, std::move(entry));
  return handle;
}

ErrorCode SimFileIo::Open(const std::wstring& path, std::uint32_t access, std::uint32_t share,
                          std::uint32_t disposition, std::uint32_t attributes, FileHandle* handle) {
  *handle = kNoFile;
  if (ErrorCode e = Hook(FileIoOp::Open, kNoFile); e != kSuccess) return e;
  if (path.empty()) return kErrorPathNotFound;
  if (disposition < kCreateNew || disposition > kTruncateExisting) return kErrorInvalidParameter;
  const std::string host = m_files.ToHostPath(path);
  const bool wantsWrite = (access & kAccessWrite) != 0;
  struct stat st {};
  const bool existed = ::stat(host.c_str(), &st) == 0;
  if (existed) {
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened, and the read-only
    // attribute refuses writers even to an administrator (the sim runs as root on Linux).
    if (S_ISDIR(st.st_mode)) return kErrorAccessDenied;
    if ((wantsWrite || disposition == kCreateAlways || disposition == kTruncateExisting) &&
        (st.st_mode & S_IWUSR) == 0) {
      return kErrorAccessDenied;
    }
    if (disposition == kCreateNew) return kErrorFileExists;
  } else if (disposition == kOpenExisting || disposition == kTruncateExisting) {
    return FileSystemErrno(errno, host);
  }

  int flags = O_CLOEXEC | O_NOCTTY;
  const bool wantsRead = (access & kAccessRead) != 0;
  flags |= wantsRead && wantsWrite ? O_RDWR : wantsWrite ? O_WRONLY : O_RDONLY;
  const bool creates = disposition == kCreateNew || disposition == kCreateAlways || disposition == kOpenAlways;
  if (creates) flags |= O_CREAT;
  if (disposition == kCreateNew) flags |= O_EXCL;
  const mode_t mode = (attributes & kAttributeReadOnly) != 0 ? 0444 : 0666;
  const int fd = ::open(host.c_str(), flags, mode);
  if (fd < 0) return FileSystemErrno(errno, host);

  // Windows checks sharing before it truncates anything, so the share table comes first.
  auto object = std::make_shared<Object>();
  object->files = &m_files;
  object->fd = fd;
  if (ErrorCode e = m_files.AcquireShare(host, access, share, &object->shareToken); e != kSuccess) {
    object->shareToken = 0;
    object.reset();
    if (!existed) ::unlink(host.c_str());
    return e;
  }
  if (existed && (disposition == kCreateAlways || disposition == kTruncateExisting)) {
    if (::ftruncate(fd, 0) != 0) return SimFileSystem::FromErrno(errno, false);
  }
  *handle = Register(Entry{std::move(object), access});
  return kSuccess;
}

ErrorCode SimFileIo::OpenCheckedForReading(const std::wstring& path, FileHandle* handle) {
  *handle = kNoFile;
  if (ErrorCode e = Hook(FileIoOp::Open, kNoFile); e != kSuccess) return e;
  SimFileSystem::CheckedOpen open;
  if (ErrorCode e = m_files.OpenChecked(path, {false, kAccessRead, kShareRead | kShareWrite | kShareDelete, false}, &open);
      e != kSuccess) {
    return e;
  }
  auto object = std::make_shared<Object>();
  object->files = &m_files;
  object->fd = open.fd;
  object->shareToken = open.shareToken;
  *handle = Register(Entry{std::move(object), kAccessRead});
  return kSuccess;
}

ErrorCode SimFileIo::FileSystemErrno(int error, const std::string& hostPath) {
  return SimFileSystem::FromErrno(error, error == ENOENT && !ParentExists(hostPath));
}

ErrorCode SimFileIo::Close(FileHandle handle) {
  if (ErrorCode e = Hook(FileIoOp::Close, handle); e != kSuccess) return e;
  std::shared_ptr<Object> last;  // destroyed outside the lock
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto it = m_handles.find(handle);
  if (it == m_handles.end()) return kErrorInvalidHandle;
  last = std::move(it->second.object);
  m_handles.erase(it);
  return kSuccess;
}

ErrorCode SimFileIo::Read(FileHandle handle, void* buffer, std::uint32_t size, std::uint32_t* read) {
  *read = 0;
  if (ErrorCode e = Hook(FileIoOp::Read, handle); e != kSuccess) return e;
  Entry entry;
  if (!Find(handle, &entry) || entry.object->mapping) return kErrorInvalidHandle;
  if ((entry.access & kAccessRead) == 0) return kErrorAccessDenied;
  ssize_t n = 0;
  do {
    n = ::read(entry.object->fd, buffer, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return SimFileSystem::FromErrno(errno, false);
  if (n == 0 && size > 0 && entry.object->type == FileType::Pipe) return kErrorBrokenPipe;
  *read = static_cast<std::uint32_t>(n);
  return kSuccess;
}

ErrorCode SimFileIo::Write(FileHandle handle, const void* buffer, std::uint32_t size,
                           std::uint32_t* written) {
  *written = 0;
  if (ErrorCode e = Hook(FileIoOp::Write, handle); e != kSuccess) return e;
  Entry entry;
  if (!Find(handle, &entry) || entry.object->mapping) return kErrorInvalidHandle;
  if ((entry.access & kAccessWrite) == 0) return kErrorAccessDenied;
  // A synchronous WriteFile returns when everything is written (a pipe blocks until its reader
  // has taken enough), so partial POSIX writes are continued here.
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  while (*written < size) {
    const ssize_t n = WriteWithoutSigpipe(entry.object->fd, bytes + *written, size - *written);
    if (n < 0) return errno == EPIPE ? kErrorNoData : SimFileSystem::FromErrno(errno, false);
    *written += static_cast<std::uint32_t>(n);
  }
  return kSuccess;
}

ErrorCode SimFileIo::Seek(FileHandle handle, std::int64_t distance, SeekOrigin origin,
                          std::uint64_t* position) {
  if (ErrorCode e = Hook(FileIoOp::Seek, handle); e != kSuccess) return e;
  Entry entry;
  if (!Find(handle, &entry) || entry.object->mapping) return kErrorInvalidHandle;
  if (entry.object->type != FileType::Disk) return kErrorInvalidFunction;
  const int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
  if (origin != SeekOrigin::Begin) {
    const off_t base = ::lseek(entry.object->fd, 0, whence);
    if (base < 0) return SimFileSystem::FromErrno(errno, false);
    if (distance < 0 && -distance > base) return kErrorNegativeSeek;
  } else if (distance < 0) {
    return kErrorNegativeSeek;
  }
  const off_t now = ::lseek(entry.object->fd, static_cast<off_t>(distance), whence);
  if (now < 0) return errno == EINVAL ? kErrorNegativeSeek : SimFileSystem::FromErrno(errno, false);
  if (position != nullptr) *position = static_cast<std::uint64_t>(now);
  return kSuccess;
}

ErrorCode SimFileIo::TruncateAtPosition(FileHandle handle) {
  if (ErrorCode e = Hook(FileIoOp::Truncate, handle); e != kSuccess) return e;
  Entry entry;
  if (!Find(handle, &entry) || entry.object->mapping) return kErrorInvalidHandle;
  if (entry.object->type != FileType::Disk) return kErrorInvalidFunction;
  if ((entry.access & kAccessWrite) == 0) return kErrorAccessDenied;
  const off_t here = ::lseek(entry.object->fd, 0, SEEK_CUR);
  if (here < 0 || ::ftruncate(entry.object->fd, here) != 0) return SimFileSystem::FromErrno(errno, false);
  return kSuccess;
}

ErrorCode SimFileIo::Duplicate(FileHandle handle, FileHandle* duplicate) {
  *duplicate = kNoFile;
  if (ErrorCode e = Hook(FileIoOp::Duplicate, handle); e != kSuccess) return e;
  Entry entry;
  if (!Find(handle, &entry)) return kErrorInvalidHandle;
  // The duplicate refers to the same open file (one position, one share-table entry).
  *duplicate = Register(std::move(entry));
  return kSuccess;
}

ErrorCode SimFileIo::QueryType(FileHandle handle, FileType* type) {
  *type = FileType::Unknown;
  if (ErrorCode e = Hook(FileIoOp::QueryType, handle); e != kSuccess) return e;
  Entry entry;
  if (!Find(handle, &entry)) return kErrorInvalidHandle;
  *type = entry.object->mapping ? FileType::Unknown : entry.object->type;
  return kSuccess;
}

ErrorCode SimFileIo::QueryInformation(FileHandle handle, FileInformation* information) {
  *information = FileInformation{};
  if (ErrorCode e = Hook(FileIoOp::QueryInformation, handle); e != kSuccess) return e;
  Entry entry;
  if (!Find(handle, &entry)) return kErrorInvalidHandle;
  if (entry.object->mapping || entry.object->type != FileType::Disk) return kErrorInvalidFunction;
  struct statx sx {};
  if (::statx(entry.object->fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
    return SimFileSystem::FromErrno(errno, false);
  }
  const bool directory = S_ISDIR(sx.stx_mode);
  // New and modified files carry the archive attribute on Windows; the owner's write bit
  // stands for the read-only attribute.
  information->attributes = directory ? kAttributeDirectory : kAttributeArchive;
  if ((sx.stx_mode & S_IWUSR) == 0) information->attributes |= kAttributeReadOnly;
  const auto toTimespec = [](const struct statx_timestamp& t) {
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(t.tv_sec);
    ts.tv_nsec = static_cast<long>(t.tv_nsec);
    return ts;
  };
  information->lastWriteTime = ToFileTime(toTimespec(sx.stx_mtime));
  information->lastAccessTime = ToFileTime(toTimespec(sx.stx_atime));
  information->creationTime =
      (sx.stx_mask & STATX_BTIME) != 0 ? ToFileTime(toTimespec(sx.stx_btime)) : information->lastWriteTime;
  information->size = directory ? 0 : sx.stx_size;
  information->links = sx.stx_nlink;
  return kSuccess;
}

ErrorCode SimFileIo::MakePipe(FileHandle* readEnd, FileHandle* writeEnd) {
  *readEnd = kNoFile;
  *writeEnd = kNoFile;
  if (ErrorCode e = Hook(FileIoOp::MakePipe, kNoFile); e != kSuccess) return e;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return SimFileSystem::FromErrno(errno, false);
  auto reader = std::make_shared<Object>();
  reader->files = &m_files;
  reader->fd = fds[0];
  reader->type = FileType::Pipe;
  auto writer = std::make_shared<Object>();
  writer->files = &m_files;
  writer->fd = fds[1];
  writer->type = FileType::Pipe;
  *readEnd = Register(Entry{std::move(reader), kAccessRead});
  *writeEnd = Register(Entry{std::move(writer), kAccessWrite});
  return kSuccess;
}

ErrorCode SimFileIo::CreateAnonymousMapping(std::uint64_t size, FileHandle* mapping) {
  *mapping = kNoFile;
  if (ErrorCode e = Hook(FileIoOp::CreateMapping, kNoFile); e != kSuccess) return e;
  if (size == 0) return kErrorInvalidParameter;  // a paging-file mapping needs a size
  const int fd = ::memfd_create("ov-sim-mapping", MFD_CLOEXEC);
  if (fd < 0) return kErrorNotEnoughMemory;
  auto object = std::make_shared<Object>();
  object->files = &m_files;
  object->fd = fd;
  object->type = FileType::Unknown;
  object->mapping = true;
  object->mappingSize = size;
  if (size > static_cast<std::uint64_t>(INT64_MAX) || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
    return kErrorNotEnoughMemory;
  }
  *mapping = Register(Entry{std::move(object), kAccessRead | kAccessWrite});
  return kSuccess;
}

ErrorCode SimFileIo::MapView(FileHandle mapping, std::uint64_t size, void** view) {
  *view = nullptr;
  if (ErrorCode e = Hook(FileIoOp::MapView, mapping); e != kSuccess) return e;
  Entry entry;
  if (!Find(mapping, &entry) || !entry.object->mapping) return kErrorInvalidHandle;
  if (size == 0) size = entry.object->mappingSize;
  if (size > entry.object->mappingSize) return kErrorAccessDenied;
  if (size > SIZE_MAX) return kErrorNotEnoughMemory;
  void* address = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED,
                         entry.object->fd, 0);
  if (address == MAP_FAILED) return kErrorNotEnoughMemory;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_views[address] = static_cast<std::size_t>(size);
  *view = address;
  return kSuccess;
}

ErrorCode SimFileIo::UnmapView(void* view) {
  if (ErrorCode e = Hook(FileIoOp::UnmapView, kNoFile); e != kSuccess) return e;
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto it = m_views.find(view);
  if (it == m_views.end()) return kErrorInvalidAddress;
  ::munmap(it->first, it->second);
  m_views.erase(it);
  return kSuccess;
}

ErrorCode SimFileIo::Flush(FileHandle handle) {
  if (ErrorCode e = Hook(FileIoOp::Flush, handle); e != kSuccess) return e;
  Entry entry;
  if (!Find(handle, &entry) || entry.object->mapping) return kErrorInvalidHandle;
  if ((entry.access & kAccessWrite) == 0) return kErrorAccessDenied;
  // A pipe has nothing to flush to a device (fsync refuses it with EINVAL).
  if (::fsync(entry.object->fd) != 0 && errno != EINVAL) return SimFileSystem::FromErrno(errno, false);
  return kSuccess;
}

}  // namespace ov::platform::sim
