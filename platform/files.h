// The file-system concept: path-level operations of the dialog, the model and log collection.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace ov::platform {

// Checked operations. The tool runs elevated, and ordinary users may create entries in the
// trace directory and in its ancestors (the common application-data folder allows it), so
// a link or junction there could point a change anywhere on the machine. Every operation
// marked "checked" below opens its target without following a final link and, before it
// changes or reads anything, checks on that handle that the target is not a reparse point,
// has exactly one link (files) and that the handle's final path is the path meant
// (normalised, case-insensitive), which a link in any ancestor would change. It then acts
// through that handle. A target that does not check out gives kErrorAccessDenied and is left
// as it was; a file that the operation itself created is removed again.
//
// Method names avoid the Win32 API's macro names (DeleteFile, CreateDirectory, ...), which
// <windows.h> would otherwise rename in one translation unit and not in the others.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual ErrorCode GetWorkingDirectory(std::wstring* directory) = 0;
  virtual ErrorCode SetWorkingDirectory(const std::wstring& directory) = 0;
  // One level only, like CreateDirectoryW: a missing parent gives kErrorPathNotFound.
  // Checked: the parent before the directory is made, the new directory afterwards (a
  // directory cannot be made and opened in one step, so one made through a link swapped in
  // meanwhile stays, and the result is kErrorAccessDenied).
  virtual ErrorCode MakeDirectory(const std::wstring& directory) = 0;
  // DeleteFileW's codes, checked, deleting through the handle (delete disposition).
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

  // Opens for reading and writing, creating a missing file, with full sharing, cuts the file
  // to length 0 through the handle and closes it. Checked.
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
