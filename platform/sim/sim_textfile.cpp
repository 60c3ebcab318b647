// Sim text files: the snapshot file through the sim's checked open.
#include "platform/sim/sim_textfile.h"

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
  SimFileSystem::CheckedOpen open;
  if (ErrorCode e = m_files.OpenChecked(path, {false, kReadWrite, kShareReadWrite, true}, &open); e != kSuccess) {
    return e;
  }
  if (::ftruncate(open.fd, 0) != 0) {
    const int error = errno;
    m_files.ReleaseShare(open.shareToken);
    ::close(open.fd);
    return SimFileSystem::FromErrno(error, false);
  }
  *file = std::make_unique<SimTextFile>(m_files, m_hook, path, open.fd, open.shareToken);
  return kSuccess;
}

}  // namespace ov::platform::sim
