// The implementation under contract: the sim natively, the real Win32 calls under Wine.
#pragma once
#include <memory>
#include <string>

#include "platform/fileio.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/textfile.h"

namespace contract {

std::unique_ptr<ov::platform::Registry> MakeRegistry();
// A fresh empty directory (Windows path) and the file system to use on it.
ov::platform::FileSystem& Files();
std::wstring FreshDirectory(const std::wstring& name);
void WriteBytes(const std::wstring& path, std::size_t count);
// The whole file, read sharing everything; "<missing>" when it cannot be opened.
std::string ReadBytes(const std::wstring& path);
ov::platform::TextFiles& TextFiles();
ov::platform::FileIo& FileIo();
// Another "process" holding the file open with the given Windows access/share bits; undone
// by Release.
int HoldOpen(const std::wstring& path, std::uint32_t access, std::uint32_t share);
void Release(int token);
// A link at link pointing at target, a file or a directory (where a junction would do the
// same); false where links cannot be made.
bool MakeSymlink(const std::wstring& target, const std::wstring& link);
bool MakeHardLink(const std::wstring& target, const std::wstring& link);

}  // namespace contract
