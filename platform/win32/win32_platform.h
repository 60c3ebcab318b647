// The real Win32 implementations of the platform concepts.
#pragma once
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/textfile.h"
#include "platform/ui.h"

namespace ov::platform::win32 {

class Win32Registry final : public Registry {
 public:
  ErrorCode OpenKey(RegKey parent, const std::wstring& subKey, std::uint32_t access,
                    RegKey* result) override;
  ErrorCode CreateKey(RegKey parent, const std::wstring& subKey, std::uint32_t access,
                      RegKey* result) override;
  ErrorCode QueryValue(RegKey key, const std::wstring& name, std::uint32_t* type,
                       std::uint8_t* data, std::uint32_t* size) override;
  ErrorCode SetValue(RegKey key, const std::wstring& name, std::uint32_t type,
                     const std::uint8_t* data, std::uint32_t size) override;
  ErrorCode DeleteValue(RegKey key, const std::wstring& name) override;
  ErrorCode EnumValue(RegKey key, std::uint32_t index, std::uint32_t nameBufferChars,
                      std::wstring* name, std::uint32_t* type) override;
  ErrorCode EnumKey(RegKey key, std::uint32_t index, std::uint32_t nameBufferChars,
                    std::wstring* name) override;
  ErrorCode CloseKey(RegKey key) override;
  ErrorCode ConnectRegistry(const std::wstring& machine, RegKey root, RegKey* result) override;
};

class Win32SystemInfo final : public SystemInfo {
 public:
  bool QueryWow64Process(bool* wow64) override;
  std::wstring CommonAppDataFolder() override;
  bool FindInSystemDirectory(const std::wstring& name, const std::wstring& extension) override;
  bool IsProcessElevated() override;
};

class Win32FileSystem final : public FileSystem {
 public:
  ErrorCode GetWorkingDirectory(std::wstring* directory) override;
  ErrorCode SetWorkingDirectory(const std::wstring& directory) override;
  ErrorCode MakeDirectory(const std::wstring& directory) override;
  ErrorCode RemoveFile(const std::wstring& path) override;
  SizeQuery QueryFileSize(const std::wstring& path) override;
  ErrorCode TruncateFileShared(const std::wstring& path) override;
  ErrorCode QueryEntry(const std::wstring& path, EntryInfo* info) override;
  ErrorCode FindFiles(const std::wstring& pattern, std::vector<EntryInfo>* matches) override;
  ErrorCode MoveReplacing(const std::wstring& from, const std::wstring& to) override;
};

class Win32UserInteraction final : public UserInteraction {
 public:
  int ShowMessage(const std::wstring& text, const std::wstring& caption, std::uint32_t flags) override;
  int ShowMessage8(const std::string& text, const std::string& caption, std::uint32_t flags) override;
  CursorHandle ShowWaitCursor() override;
  void RestoreCursor(CursorHandle previous) override;
  bool AskSavePath(const SaveDialogRequest& request, std::wstring* path) override;
};

class Win32TextFiles final : public TextFiles {
 public:
  ErrorCode CreatePlainTextFile(const std::wstring& path, std::unique_ptr<TextFile>* file) override;
};

}  // namespace ov::platform::win32
