// File system of the sim: Windows paths mapped onto a real host directory, with share modes.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/files.h"

namespace ov::platform::sim {

// Checked: a checked open has passed its check and is about to act through its handle; a
// test may change the file system then, as someone racing the tool would.
enum class FileOp { GetCwd, SetCwd, MakeDir, Remove, OpenForSize, QuerySize, Truncate, QueryEntry, Find, Move, Checked };

// Windows access and share bits, as in winnt.h, for the share-mode model.
inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kDeleteAccess = 0x00010000u;
inline constexpr std::uint32_t kFileShareRead = 1;
inline constexpr std::uint32_t kFileShareWrite = 2;
inline constexpr std::uint32_t kFileShareDelete = 4;

// Maps "C:\a\b" to <root>/C/a/b and "\\server\share\x" to <root>/UNC/server/share/x, so file
// tests work on real files in a temporary directory. A path that starts with "/" is taken as
// a host path unchanged. Relative paths resolve against the sim's own working directory
// (the process's real one is never changed).
class SimFileSystem final : public FileSystem {
 public:
  explicit SimFileSystem(std::string hostRoot);

  ErrorCode GetWorkingDirectory(std::wstring* directory) override;
  ErrorCode SetWorkingDirectory(const std::wstring& directory) override;
  ErrorCode MakeDirectory(const std::wstring& directory) override;
  ErrorCode RemoveFile(const std::wstring& path) override;
  SizeQuery QueryFileSize(const std::wstring& path) override;
  ErrorCode TruncateFileShared(const std::wstring& path) override;
  ErrorCode QueryEntry(const std::wstring& path, EntryInfo* info) override;
  ErrorCode FindFiles(const std::wstring& pattern, std::vector<EntryInfo>* matches) override;

  // Path mapping, also for the sim's other file concepts.
  std::wstring Absolute(const std::wstring& path) const;  // normalised Windows path
  std::string ToHostPath(const std::wstring& path) const;
  const std::string& HostRoot() const { return m_root; }

  // The share-mode table that every sim open consults, as Windows does across processes.
  // Acquire fails with kErrorSharingViolation on a conflict; the token releases the open.
  ErrorCode AcquireShare(const std::string& hostPath, std::uint32_t access, std::uint32_t share,
                         int* token);
  void ReleaseShare(int token);
  // Holds a file open as another process would, until ReleaseShare(token).
  int HoldOpen(const std::wstring& path, std::uint32_t access, std::uint32_t share);

  // The checked open of files.h, for the sim's file concepts. Links are host links: the
  // host follows them in every folder of a path as Windows follows links and junctions, and
  // O_NOFOLLOW refuses one as the final component, as its handle's reparse attribute would.
  // On success the descriptor and its share-table entry are the caller's to release; a file
  // the open made that does not check out is removed again.
  struct CheckedTarget {
    bool directory = false;
    std::uint32_t access = 0;  // Windows access and share bits, for the share table
    std::uint32_t share = 0;
    bool create = false;  // a missing file is created
  };
  struct CheckedOpen {
    int fd = -1;
    int shareToken = 0;
    bool created = false;
  };
  ErrorCode OpenChecked(const std::wstring& path, const CheckedTarget& target, CheckedOpen* open);
  // GetFinalPathNameByHandleW for a descriptor: where its object really is, every link on
  // the way resolved, as a Windows path ("C:\..."), or a host path outside the sim's root.
  std::wstring FinalPath(int fd) const;

  // A non-zero result fails the operation with that code and no effect.
  using FailureHook = std::function<ErrorCode(FileOp op, const std::wstring& path)>;
  void SetFailureHook(FailureHook hook) { m_hook = std::move(hook); }
  // Working directories too long for a 256-byte buffer are what the dialog must survive.
  void SetWorkingDirectoryForTest(const std::wstring& directory) { m_cwd = directory; }

  // Windows' wildcard rule, case-insensitive.
  static bool WildcardMatch(const std::wstring& pattern, const std::wstring& name);
  static ErrorCode FromErrno(int error, bool parentMissing);

 private:
  ErrorCode Hook(FileOp op, const std::wstring& path) { return m_hook ? m_hook(op, path) : kSuccess; }
  bool ParentExists(const std::string& hostPath) const;

  struct OpenRecord {
    std::string identity;
    std::uint32_t access;
    std::uint32_t share;
  };
  std::string m_root;
  std::wstring m_cwd = L"C:\\";
  std::map<int, OpenRecord> m_opens;
  int m_nextToken = 1;
  FailureHook m_hook;

 public:
  ErrorCode MoveReplacing(const std::wstring& from, const std::wstring& to) override;
};

// UTF-8 for host paths (wchar_t holds whole code points on Linux).
std::string WideToHost(const std::wstring& text);
std::wstring HostToWide(const std::string& text);

}  // namespace ov::platform::sim
