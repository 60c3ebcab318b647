// The implementation under contract: the sim natively, the real Win32 calls under Wine.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace contract {

// Every concept of the implementation (ui stays null: nobody answers a box here).
ov::platform::Platform& Os();
// A fresh empty directory (Windows path) of that name.
std::wstring FreshDirectory(const std::wstring& name);
void WriteBytes(const std::wstring& path, std::size_t count);
// The whole file, read sharing everything; "<missing>" when it cannot be opened.
std::string ReadBytes(const std::wstring& path);
// Another process holding the file open with the given Windows access/share bits, until
// Release.
int HoldOpen(const std::wstring& path, std::uint32_t access, std::uint32_t share);
void Release(int token);
// A link at link pointing at target, a file or a directory (where a junction would do the
// same); false where links cannot be made.
bool MakeSymlink(const std::wstring& target, const std::wstring& link);
bool MakeHardLink(const std::wstring& target, const std::wstring& link);
// Once the next checked operation has passed its check, folder becomes folder + "-moved" and
// a link to target takes its name, as someone racing the tool would arrange; false where a
// race cannot be arranged (the real system).
bool SwapFolderAfterNextCheck(const std::wstring& folder, const std::wstring& target);
// A service that honours a stop after stopDelayMs, reporting that as its wait hint; running
// or stopped when this returns, removed again at exit. Under Wine it is OvTestService.exe.
void InstallService(const std::wstring& name, std::uint32_t stopDelayMs, bool running);
// "start NAME" / "stop NAME" for every start and stop since the last call, in order.
std::vector<std::wstring> TakeServiceEvents();

}  // namespace contract
