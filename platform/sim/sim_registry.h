// An in-memory registry that behaves like Windows' in everything the product relies on.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace ov::platform::sim {

// Which operation a failure hook is asked about.
enum class RegOp { Open, Create, Query, Set, DeleteValue, EnumValue, EnumKey, Close, Connect };

class SimRegistry final : public Registry {
 public:
  // wow64: the simulated process is a 32-bit program on 64-bit Windows, so its own view of
  // HKLM\SOFTWARE is SOFTWARE\Wow6432Node and KEY_WOW64_64KEY reaches the real one. Without
  // it the process sees the native view and KEY_WOW64_32KEY reaches Wow6432Node.
  explicit SimRegistry(bool wow64 = false);
  ~SimRegistry() override;

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

  // ---- Test set-up and inspection. Paths are physical: "SOFTWARE\Wow6432Node\..." names
  // the 32-bit view's copy explicitly; no redirection applies here. A path that starts with
  // "\\MACHINE\" names a key of that remote machine's HKLM.
  struct Value {
    std::wstring name;
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> data;
  };
  void AddKey(const std::wstring& path);
  bool KeyExists(const std::wstring& path) const;
  void RemoveKeyTree(const std::wstring& path);
  void PutValue(const std::wstring& path, const std::wstring& name, std::uint32_t type,
                std::vector<std::uint8_t> data);
  void PutString(const std::wstring& path, const std::wstring& name, const std::wstring& text,
                 std::uint32_t type = kRegSz);
  void PutDword(const std::wstring& path, const std::wstring& name, std::uint32_t value);
  const Value* FindValue(const std::wstring& path, const std::wstring& name) const;
  std::vector<std::wstring> ValueNames(const std::wstring& path) const;
  // Text of a REG_SZ value up to its first zero; nullopt-like empty + false when absent.
  bool GetString(const std::wstring& path, const std::wstring& name, std::wstring* text) const;
  bool GetDword(const std::wstring& path, const std::wstring& name, std::uint32_t* value) const;

  // Opening (or creating) this key, in whichever view resolves to it, fails with the code.
  void RefuseOpen(const std::wstring& path, ErrorCode code);
  // Called before every operation with the physical key path (empty for a handle that no
  // longer resolves) and value name; a non-zero result fails the operation without effect.
  using FailureHook = std::function<ErrorCode(RegOp op, const std::wstring& path, const std::wstring& name)>;
  void SetFailureHook(FailureHook hook) { m_hook = std::move(hook); }
  // Machines that RegConnectRegistryW reaches; any other name gives kErrorBadNetPath.
  void AddRemoteMachine(const std::wstring& machine) { m_remoteMachines.insert(Fold(machine)); }

  std::size_t OpenHandleCount() const { return m_handles.size(); }
  // Every operation in order, "Op path [name]", for tests that check what was touched.
  const std::vector<std::wstring>& Log() const { return m_log; }
  void ClearLog() { m_log.clear(); }

  static std::wstring Fold(const std::wstring& text);

 private:
  struct Node;
  struct Handle {
    std::wstring machine;  // folded; empty for the local machine
    std::wstring path;     // physical, below HKLM
    std::uint32_t access = 0;
  };
  Node* Resolve(const std::wstring& machine, const std::wstring& physicalPath) const;
  Node* ResolveOrCreate(const std::wstring& machine, const std::wstring& physicalPath);
  std::wstring Physical(const std::wstring& parentPath, const std::wstring& subKey,
                        std::uint32_t access) const;
  ErrorCode LookUp(RegKey key, Handle** handle, Node** node);
  ErrorCode Hook(RegOp op, const std::wstring& path, const std::wstring& name);
  RegKey NewHandle(const std::wstring& machine, const std::wstring& path, std::uint32_t access);
  ErrorCode OpenOrCreate(RegKey parent, const std::wstring& subKey, std::uint32_t access,
                         RegKey* result, bool create);

  bool m_wow64;
  std::map<std::wstring, std::unique_ptr<Node>> m_roots;  // by folded machine name
  std::map<RegKey, Handle> m_handles;
  std::map<std::wstring, ErrorCode> m_refused;  // folded path -> code
  std::set<std::wstring> m_remoteMachines;
  FailureHook m_hook;
  std::vector<std::wstring> m_log;
  RegKey m_nextHandle = 0x1000;
};

}  // namespace ov::platform::sim
