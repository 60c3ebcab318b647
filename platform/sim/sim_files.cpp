// Sim file system over a real host directory: path mapping, share modes, Windows codes.
#include "platform/sim/sim_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cwctype>
#include <iterator>
#include <utility>

#include "platform/utf8.h"

namespace ov::platform::sim {

std::string WideToHost(const std::wstring& text) {
  std::string out;
  for (wchar_t wc : text) PutUtf8(std::back_inserter(out), static_cast<char32_t>(wc));
  return out;
}

std::wstring HostToWide(const std::string& text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::uint32_t c = b;
    std::size_t extra = 0;
    if (b >= 0xF0) {
      c = b & 0x07u;
      extra = 3;
    } else if (b >= 0xE0) {
      c = b & 0x0Fu;
      extra = 2;
    } else if (b >= 0xC0) {
      c = b & 0x1Fu;
      extra = 1;
    }
    ++i;
    for (std::size_t k = 0; k < extra && i < text.size(); ++k, ++i) {
      c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

namespace {

std::vector<std::wstring> Split(const std::wstring& path) {
  std::vector<std::wstring> parts;
  std::wstring part;
  for (wchar_t c : path) {
    if (c == L'\\' || c == L'/') {
      parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  parts.push_back(part);
  return parts;
}

wchar_t Upper(wchar_t c) { return static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c))); }

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
           return Upper(x) == Upper(y);
         });
}

// The host object a descriptor refers to, as the kernel resolved it.
std::string HostPathOf(int fd) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

SimFileSystem::SimFileSystem(std::string hostRoot) : m_root(std::move(hostRoot)) {
  while (m_root.size() > 1 && m_root.back() == '/') m_root.pop_back();
}

std::wstring SimFileSystem::Absolute(const std::wstring& path) const {
  if (!path.empty() && path[0] == L'/') return path;
  std::wstring prefix;  // "C:" or "\\server\share"
  std::vector<std::wstring> parts;
  std::wstring rest;
  if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
    auto p = Split(path.substr(2));
    prefix = L"\\\\" + (p.size() > 0 ? p[0] : L"") + L"\\" + (p.size() > 1 ? p[1] : L"");
    for (std::size_t i = 2; i < p.size(); ++i) parts.push_back(p[i]);
  } else if (path.size() >= 2 && path[1] == L':') {
    prefix = std::wstring(1, Upper(path[0])) + L":";
    rest = path.substr(2);
    if (rest.empty() || (rest[0] != L'\\' && rest[0] != L'/')) {
      // Drive-relative: only the current drive's directory is known.
      if (m_cwd.size() >= 2 && Upper(m_cwd[0]) == prefix[0]) {
        rest = m_cwd.substr(2) + L"\\" + rest;
      } else {
        rest = L"\\" + rest;
      }
    }
    parts = Split(rest);
  } else if (!path.empty() && (path[0] == L'\\')) {
    prefix = m_cwd.substr(0, 2);
    parts = Split(path);
  } else {
    const std::wstring cwd = Absolute(m_cwd);
    return Absolute(cwd + L"\\" + path);
  }
  std::vector<std::wstring> clean;
  for (const auto& part : parts) {
    if (part.empty() || part == L".") continue;
    if (part == L"..") {
      if (!clean.empty()) clean.pop_back();
      continue;
    }
    // Windows drops trailing dots and blanks of a path component.
    std::wstring p = part;
    while (!p.empty() && (p.back() == L'.' || p.back() == L' ')) p.pop_back();
    if (!p.empty()) clean.push_back(p);
  }
  std::wstring out = prefix;
  for (const auto& part : clean) out += L"\\" + part;
  if (clean.empty()) out += L"\\";
  return out;
}

std::string SimFileSystem::ToHostPath(const std::wstring& path) const {
  const std::wstring abs = Absolute(path);
  if (!abs.empty() && abs[0] == L'/') return WideToHost(abs);
  std::string host = m_root;
  std::wstring rest;
  if (abs.size() >= 2 && abs[0] == L'\\' && abs[1] == L'\\') {
    host += "/UNC";
    rest = abs.substr(1);
  } else {
    host += "/";
    host.push_back(static_cast<char>(abs[0]));
    rest = abs.substr(2);
  }
  for (wchar_t c : rest) {
    if (c == L'\\') {
      host.push_back('/');
    } else {
      host += WideToHost(std::wstring(1, c));
    }
  }
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  return host;
}

bool SimFileSystem::ParentExists(const std::string& hostPath) const {
  const auto slash = hostPath.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return true;
  struct stat st {};
  return ::stat(hostPath.substr(0, slash).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

ErrorCode SimFileSystem::FromErrno(int error, bool parentMissing) {
  switch (error) {
    case 0: return kSuccess;
    case ENOENT: return parentMissing ? kErrorPathNotFound : kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ELOOP: return kErrorAccessDenied;
    case EEXIST: return kErrorAlreadyExists;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case ENOSPC: return 112;  // ERROR_DISK_FULL
    case ENAMETOOLONG: return 206;  // ERROR_FILENAME_EXCED_RANGE
    case EBUSY:
    case ETXTBSY: return kErrorSharingViolation;
    default: return 31;  // ERROR_GEN_FAILURE
  }
}

ErrorCode SimFileSystem::GetWorkingDirectory(std::wstring* directory) {
  if (ErrorCode e = Hook(FileOp::GetCwd, m_cwd); e != kSuccess) return e;
  *directory = m_cwd;
  return kSuccess;
}

ErrorCode SimFileSystem::SetWorkingDirectory(const std::wstring& directory) {
  if (ErrorCode e = Hook(FileOp::SetCwd, directory); e != kSuccess) return e;
  if (directory.empty()) return kErrorInvalidParameter;
  const std::string host = ToHostPath(directory);
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return FromErrno(errno, !ParentExists(host));
  if (!S_ISDIR(st.st_mode)) return 267;  // ERROR_DIRECTORY
  if (::access(host.c_str(), X_OK) != 0) return kErrorAccessDenied;
  m_cwd = Absolute(directory);
  return kSuccess;
}

ErrorCode SimFileSystem::MakeDirectory(const std::wstring& directory) {
  if (ErrorCode e = Hook(FileOp::MakeDir, directory); e != kSuccess) return e;
  if (directory.empty()) return kErrorPathNotFound;
  const CheckedTarget folder{true, 0, kFileShareRead | kFileShareWrite | kFileShareDelete, false};
  CheckedOpen open;
  const auto close = [&] {
    ReleaseShare(open.shareToken);
    ::close(open.fd);
  };
  // The parent first, so nothing is made inside a folder that a link has put elsewhere.
  const std::wstring full = Absolute(directory);
  const auto cut = full.find_last_of(L'\\');
  if (full[0] != L'/' && cut != std::wstring::npos && cut + 1 < full.size()) {
    const ErrorCode e = OpenChecked(full.substr(0, cut == 2 ? 3 : cut), folder, &open);
    if (e == kErrorFileNotFound) return kErrorPathNotFound;  // CreateDirectoryW's code for it
    if (e != kSuccess) return e;
    close();
  }
  if (::mkdir(ToHostPath(directory).c_str(), 0777) != 0) return FromErrno(errno, true);
  if (ErrorCode e = OpenChecked(directory, folder, &open); e != kSuccess) return e;
  close();
  return kSuccess;
}

ErrorCode SimFileSystem::RemoveFile(const std::wstring& path) {
  if (ErrorCode e = Hook(FileOp::Remove, path); e != kSuccess) return e;
  // DeleteFileW's access and sharing; the name removed is the one of the checked object.
  CheckedOpen open;
  if (ErrorCode e = OpenChecked(path, {false, kDeleteAccess, kFileShareRead | kFileShareWrite | kFileShareDelete, false},
                                &open);
      e != kSuccess) {
    return e;
  }
  const int error = ::unlink(HostPathOf(open.fd).c_str()) == 0 ? 0 : errno;
  ReleaseShare(open.shareToken);
  ::close(open.fd);
  return FromErrno(error, false);
}

FileSystem::SizeQuery SimFileSystem::QueryFileSize(const std::wstring& path) {
  SizeQuery result;
  if (ErrorCode e = Hook(FileOp::OpenForSize, path); e != kSuccess) {
    result.openError = e;
    return result;
  }
  const std::string host = ToHostPath(path);
  const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result.openError = FromErrno(errno, !ParentExists(host));
    return result;
  }
  int token = 0;
  result.openError = AcquireShare(host, kGenericRead, kFileShareRead | kFileShareWrite | kFileShareDelete, &token);
  if (result.openError == kSuccess) {
    struct stat st {};
    if (Hook(FileOp::QuerySize, path) == kSuccess && ::fstat(fd, &st) == 0) {
      result.sizeKnown = true;
      result.size = st.st_size;
    }
    ReleaseShare(token);
  }
  ::close(fd);
  return result;
}

ErrorCode SimFileSystem::TruncateFileShared(const std::wstring& path) {
  if (ErrorCode e = Hook(FileOp::Truncate, path); e != kSuccess) return e;
  CheckedOpen open;
  if (ErrorCode e = OpenChecked(path, {false, kGenericRead | kGenericWrite,
                                       kFileShareRead | kFileShareWrite | kFileShareDelete, true},
                                &open);
      e != kSuccess) {
    return e;
  }
  const int error = ::ftruncate(open.fd, 0) == 0 ? 0 : errno;
  ReleaseShare(open.shareToken);
  ::close(open.fd);
  return FromErrno(error, false);
}

ErrorCode SimFileSystem::OpenChecked(const std::wstring& path, const CheckedTarget& target, CheckedOpen* open) {
  *open = CheckedOpen{};
  const std::string host = ToHostPath(path);
  const int mode = (target.directory ? O_RDONLY | O_DIRECTORY : (target.access & kGenericWrite) != 0 ? O_RDWR : O_RDONLY) |
                   O_NOFOLLOW | O_CLOEXEC;
  int fd = ::open(host.c_str(), mode);
  if (fd < 0 && errno == ENOENT && target.create) {
    fd = ::open(host.c_str(), mode | O_CREAT | O_EXCL, 0666);
    open->created = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = ::open(host.c_str(), mode);
  }
  if (fd < 0) {
    // A link as the final component (O_DIRECTORY reports it as ENOTDIR) is opened itself on
    // Windows and then refused for its reparse attribute.
    struct stat link {};
    const int error = errno == ENOTDIR && ::lstat(host.c_str(), &link) == 0 && S_ISLNK(link.st_mode) ? ELOOP : errno;
    return FromErrno(error, error == ENOENT && !ParentExists(host));
  }
  const auto refuse = [&](ErrorCode error) {
    ReleaseShare(open->shareToken);
    if (open->created) ::unlink(HostPathOf(fd).c_str());
    ::close(fd);
    *open = CheckedOpen{};
    return error;
  };
  // Windows checks sharing as it opens, before anything can be looked at.
  if (ErrorCode e = AcquireShare(host, target.access, target.share, &open->shareToken); e != kSuccess) return refuse(e);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return refuse(FromErrno(errno, false));
  // Windows counts one link for a directory; a file must have no other name.
  const std::wstring meant = Absolute(path);
  const std::wstring final = meant[0] == L'/' ? HostToWide(HostPathOf(fd)) : FinalPath(fd);
  if (S_ISDIR(st.st_mode) != target.directory || (!target.directory && (!S_ISREG(st.st_mode) || st.st_nlink != 1)) ||
      !SameIgnoringCase(final, meant)) {
    return refuse(kErrorAccessDenied);
  }
  if (ErrorCode e = Hook(FileOp::Checked, path); e != kSuccess) return refuse(e);
  open->fd = fd;
  return kSuccess;
}

std::wstring SimFileSystem::FinalPath(int fd) const {
  const std::string host = HostPathOf(fd);
  char* real = ::realpath(m_root.c_str(), nullptr);
  const std::string root = (real != nullptr ? std::string(real) : m_root) + "/";
  std::free(real);
  if (host.compare(0, root.size(), root) != 0) return HostToWide(host);
  // <root>/C/a/b is "C:\a\b"; <root>/UNC/server/share/x is "\\server\share\x".
  std::wstring rest = HostToWide(host.substr(root.size()));
  std::replace(rest.begin(), rest.end(), L'/', L'\\');
  const auto cut = rest.find(L'\\');
  const std::wstring first = rest.substr(0, cut);
  rest = cut == std::wstring::npos ? L"\\" : rest.substr(cut);
  return first == L"UNC" ? L"\\" + rest : first + L":" + rest;
}

ErrorCode SimFileSystem::QueryEntry(const std::wstring& path, EntryInfo* info) {
  if (ErrorCode e = Hook(FileOp::QueryEntry, path); e != kSuccess) return e;
  const std::string host = ToHostPath(path);
  struct stat st {};
  if (::lstat(host.c_str(), &st) != 0) return FromErrno(errno, !ParentExists(host));
  const auto slash = host.find_last_of('/');
  info->name = HostToWide(host.substr(slash == std::string::npos ? 0 : slash + 1));
  info->reparsePoint = S_ISLNK(st.st_mode);
  info->directory = S_ISDIR(st.st_mode);
  if (info->reparsePoint) {
    struct stat target {};
    info->directory = ::stat(host.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  }
  info->hardLinks = static_cast<std::uint32_t>(st.st_nlink);
  info->size = static_cast<std::uint64_t>(st.st_size);
  return kSuccess;
}

bool SimFileSystem::WildcardMatch(const std::wstring& pattern, const std::wstring& name) {
  // Iterative '*' backtracking; '?' matches exactly one character.
  std::size_t p = 0, n = 0, star = std::wstring::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == L'?' || Upper(pattern[p]) == Upper(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      mark = n;
    } else if (star != std::wstring::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

ErrorCode SimFileSystem::FindFiles(const std::wstring& pattern, std::vector<EntryInfo>* matches) {
  matches->clear();
  if (ErrorCode e = Hook(FileOp::Find, pattern); e != kSuccess) return e;
  const auto cut = pattern.find_last_of(L"\\/");
  const std::wstring dir = cut == std::wstring::npos ? std::wstring(L".") : pattern.substr(0, cut + 1);
  const std::wstring mask = cut == std::wstring::npos ? pattern : pattern.substr(cut + 1);
  const std::string hostDir = ToHostPath(dir);
  DIR* d = ::opendir(hostDir.c_str());
  if (d == nullptr) return FromErrno(errno == ENOENT ? ENOENT : errno, true) == kErrorFileNotFound
                               ? kErrorPathNotFound
                               : FromErrno(errno, true);
  std::vector<std::pair<std::wstring, std::wstring>> names;  // folded, real
  while (dirent* entry = ::readdir(d)) {
    const std::wstring name = HostToWide(entry->d_name);
    if (name == L"." || name == L"..") continue;
    if (!WildcardMatch(mask, name)) continue;
    std::wstring folded = name;
    for (auto& c : folded) c = Upper(c);
    names.emplace_back(folded, name);
  }
  ::closedir(d);
  // NTFS returns directory entries in upper-cased name order; the sim does the same.
  std::sort(names.begin(), names.end());
  for (const auto& [folded, name] : names) {
    EntryInfo info;
    if (QueryEntry(dir + (dir.back() == L'\\' || dir.back() == L'/' ? L"" : L"\\") + name, &info) == kSuccess) {
      matches->push_back(info);
    }
  }
  return matches->empty() ? kErrorFileNotFound : kSuccess;
}

ErrorCode SimFileSystem::AcquireShare(const std::string& hostPath, std::uint32_t access,
                                      std::uint32_t share, int* token) {
  struct stat st {};
  const std::string identity = ::stat(hostPath.c_str(), &st) == 0
                                   ? std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino)
                                   : hostPath;
  const auto wants = [](std::uint32_t acc, std::uint32_t bit) {
    if (bit == kFileShareRead) return (acc & (kGenericRead | 0x1u)) != 0;
    if (bit == kFileShareWrite) return (acc & (kGenericWrite | 0x2u | 0x4u)) != 0;
    return (acc & kDeleteAccess) != 0;
  };
  for (const auto& [t, rec] : m_opens) {
    if (rec.identity != identity) continue;
    for (std::uint32_t bit : {kFileShareRead, kFileShareWrite, kFileShareDelete}) {
      if (wants(access, bit) && (rec.share & bit) == 0) return kErrorSharingViolation;
      if (wants(rec.access, bit) && (share & bit) == 0) return kErrorSharingViolation;
    }
  }
  *token = m_nextToken++;
  m_opens[*token] = OpenRecord{identity, access, share};
  return kSuccess;
}

void SimFileSystem::ReleaseShare(int token) { m_opens.erase(token); }

int SimFileSystem::HoldOpen(const std::wstring& path, std::uint32_t access, std::uint32_t share) {
  int token = 0;
  AcquireShare(ToHostPath(path), access, share, &token);
  return token;
}

ErrorCode SimFileSystem::MoveReplacing(const std::wstring& from, const std::wstring& to) {
  if (ErrorCode e = Hook(FileOp::Move, to); e != kSuccess) return e;
  const std::string source = ToHostPath(from);
  const std::string target = ToHostPath(to);
  struct stat st {};
  if (::lstat(source.c_str(), &st) != 0) return FromErrno(errno, !ParentExists(source));
  struct stat existing {};
  if (::lstat(target.c_str(), &existing) == 0) {
    // Replacing deletes the file of the new name: never a directory, never a read-only file,
    // and not while anyone holds it open (a share check that grants no sharing at all fails
    // against every open). A link there is replaced itself.
    if (S_ISDIR(st.st_mode) || S_ISDIR(existing.st_mode)) return kErrorAccessDenied;
    if (!S_ISLNK(existing.st_mode)) {
      if ((existing.st_mode & S_IWUSR) == 0) return kErrorAccessDenied;
      int token = 0;
      if (AcquireShare(target, kDeleteAccess, 0, &token) != kSuccess) return kErrorAccessDenied;
      ReleaseShare(token);
    }
  } else if (!ParentExists(target)) {
    return kErrorPathNotFound;
  }
  // The file is renamed through a handle with DELETE access, which every other open must share.
  if (!S_ISLNK(st.st_mode)) {
    int token = 0;
    if (ErrorCode e = AcquireShare(source, kDeleteAccess, kFileShareRead | kFileShareWrite | kFileShareDelete, &token);
        e != kSuccess) {
      return e;
    }
    ReleaseShare(token);
  }
  if (::rename(source.c_str(), target.c_str()) != 0) return FromErrno(errno, false);
  return kSuccess;
}

}  // namespace ov::platform::sim
