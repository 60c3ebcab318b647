// Sim text files: the Win32 rules for the snapshot file, on POSIX calls.
#include "platform/sim/sim_textfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace ov::platform::sim {
namespace {

class SimTextFile final : public TextFile {
 public:
  SimTextFile(SimFileSystem& files, SimTextFiles::FailureHook hook, std::wstring path, int fd, int token)
      : m_files(files), m_hook(std::move(hook)), m_path(std::move(path)), m_fd(fd), m_token(token) {}
  SimTextFile(const SimTextFile&) = delete;
  SimTextFile& operator=(const SimTextFile&) = delete;
  ~SimTextFile() override {
    ::close(m_fd);
    m_files.ReleaseShare(m_token);
  }

  ErrorCode Write(std::string_view bytes) override {
    if (m_hook) {
      if (ErrorCode e = m_hook(TextFileOp::Write, m_path); e != kSuccess) return e;
    }
    const std::string text = ToTextMode(bytes);
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(m_fd, text.data() + done, text.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return SimFileSystem::FromErrno(errno, false);
      }
      done += static_cast<std::size_t>(n);
    }
    return kSuccess;
  }

 private:
  SimFileSystem& m_files;
  SimTextFiles::FailureHook m_hook;
  std::wstring m_path;
  int m_fd;
  int m_token;
};

constexpr std::uint32_t kReadWrite = kGenericRead | kGenericWrite;
constexpr std::uint32_t kShareReadWrite = kFileShareRead | kFileShareWrite;

}  // namespace

ErrorCode SimTextFiles::CreatePlainTextFile(const std::wstring& path, std::unique_ptr<TextFile>* file) {
  file->reset();
  if (ErrorCode e = Hook(TextFileOp::Create, path); e != kSuccess) return e;
  const std::string host = m_files.ToHostPath(path);
  // O_NOFOLLOW plays FILE_FLAG_OPEN_REPARSE_POINT: a link is refused, not followed, and the
  // rest of the check is made on the descriptor that would be written through.
  int fd = ::open(host.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  bool replace = false;
  if (fd < 0) {
    if (errno == ELOOP) {
      replace = true;
    } else {
      return SimFileSystem::FromErrno(errno, errno == ENOENT);
    }
  } else {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      const int error = errno;
      ::close(fd);
      return SimFileSystem::FromErrno(error, false);
    }
    if (!S_ISREG(st.st_mode)) {
      ::close(fd);
      return kErrorAccessDenied;
    }
    if (st.st_nlink > 1) {
      ::close(fd);
      replace = true;
    }
  }
  if (replace) {
    // Removes the link or this one name of the file, never the target; the exclusive
    // create then fails on anything that has reappeared under the name meanwhile.
    if (ErrorCode e = m_files.RemoveFile(path); e != kSuccess) return e;
    fd = ::open(host.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return SimFileSystem::FromErrno(errno, errno == ENOENT);
  }
  int token = 0;
  if (ErrorCode e = m_files.AcquireShare(host, kReadWrite, kShareReadWrite, &token); e != kSuccess) {
    ::close(fd);
    return e;
  }
  if (::ftruncate(fd, 0) != 0) {
    const int error = errno;
    m_files.ReleaseShare(token);
    ::close(fd);
    return SimFileSystem::FromErrno(error, false);
  }
  *file = std::make_unique<SimTextFile>(m_files, m_hook, path, fd, token);
  return kSuccess;
}

}  // namespace ov::platform::sim
