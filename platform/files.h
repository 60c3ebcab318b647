// The file-system concept: path-level operations of the dialog, the model and log collection.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace ov::platform {

// Method names avoid the Win32 API's macro names (DeleteFile, CreateDirectory, ...), which
// <windows.h> would otherwise rename in one translation unit and not in the others.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual ErrorCode GetWorkingDirectory(std::wstring* directory) = 0;
  virtual ErrorCode SetWorkingDirectory(const std::wstring& directory) = 0;
  // One level only, like CreateDirectoryW: a missing parent gives kErrorPathNotFound.
  virtual ErrorCode MakeDirectory(const std::wstring& directory) = 0;
  virtual ErrorCode RemoveFile(const std::wstring& path) = 0;

  // Opens read-only without denying anyone any access and reads the size as 64 bits.
  // openError is the open's code (kSuccess when it opened); sizeKnown is false when the
  // open worked but the size could not be read.
  struct SizeQuery {
    ErrorCode openError = kSuccess;
    bool sizeKnown = false;
    std::int64_t size = 0;
  };
  virtual SizeQuery QueryFileSize(const std::wstring& path) = 0;

  // Opens for reading and writing with truncation, creating a missing file, with full
  // sharing, and closes it at once. Never follows a link: a symbolic link, junction or other
  // reparse point, or a file with more than one hard link, gives kErrorAccessDenied and is
  // left untouched, because an elevated tool must not empty a file it was pointed at.
  virtual ErrorCode TruncateFileShared(const std::wstring& path) = 0;

  // What a directory entry is, read without following links (FindFirstFileW's view).
  struct EntryInfo {
    std::wstring name;
    bool directory = false;
    bool reparsePoint = false;
    std::uint32_t hardLinks = 1;
    std::uint64_t size = 0;
  };
  // kErrorFileNotFound / kErrorPathNotFound when the path does not exist.
  virtual ErrorCode QueryEntry(const std::wstring& path, EntryInfo* info) = 0;

  // FindFirstFileW/FindNextFileW over a pattern with an optional directory part; the wildcard
  // matching is Windows' (case-insensitive, '*' and '?'). Matches in search order;
  // kErrorFileNotFound when nothing matches.
  virtual ErrorCode FindFiles(const std::wstring& pattern, std::vector<EntryInfo>* matches) = 0;

  // MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH): gives a file a
  // new name on its volume, replacing a file of that name, and returns once the move is on
  // disk. A link at the new name is replaced itself, never followed; a directory there, a
  // read-only file or a file someone holds open is not replaced (kErrorAccessDenied).
  virtual ErrorCode MoveReplacing(const std::wstring& from, const std::wstring& to) = 0;
};

}  // namespace ov::platform
