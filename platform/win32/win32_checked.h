// The checked open behind every elevated change and read in the trace directory (files.h).
#pragma once
#include <windows.h>

#include <string>

#include "platform/errors.h"

namespace ov::platform::win32 {

struct CheckedTarget {
  bool directory = false;
  DWORD access = 0;
  DWORD share = 0;
  bool create = false;  // a missing file is created (never a directory)
};

// Opens the path's final component itself, never what a link there points at, and checks
// on the handle that it is what the caller means: not a reparse point, a directory exactly
// when one is meant, one link for a file, and the handle's final path equal to the path.
// On success *handle is open (CloseHandle it) and *created says whether this open made the
// file; a file it made that does not check out is deleted again through its handle.
ErrorCode OpenChecked(const std::wstring& path, const CheckedTarget& target, HANDLE* handle,
                      bool* created = nullptr);

// Deletes what the handle (opened with DELETE access) refers to: the checked object itself,
// whatever has happened to its name since.
ErrorCode DeleteThrough(HANDLE handle);

// The absolute form of the path without its last component; empty for a root.
std::wstring ParentOf(const std::wstring& path);

}  // namespace ov::platform::win32
