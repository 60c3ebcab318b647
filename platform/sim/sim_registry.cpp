// In-memory registry: a key tree per machine, per-handle access, 32/64-bit views.
#include "platform/sim/sim_registry.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

namespace ov::platform::sim {

struct SimRegistry::Node {
  std::wstring name;
  std::map<std::wstring, std::unique_ptr<Node>> children;  // by folded name: sorted like Windows
  std::vector<Value> values;                               // in creation order

  Value* FindValue(const std::wstring& valueName) {
    const std::wstring folded = SimRegistry::Fold(valueName);
    for (auto& v : values) {
      if (SimRegistry::Fold(v.name) == folded) return &v;
    }
    return nullptr;
  }
};

namespace {

std::vector<std::wstring> SplitPath(const std::wstring& path) {
  std::vector<std::wstring> parts;
  std::wstring part;
  for (wchar_t c : path) {
    if (c == L'\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::wstring JoinPath(const std::vector<std::wstring>& parts) {
  std::wstring out;
  for (const auto& p : parts) {
    if (!out.empty()) out += L'\\';
    out += p;
  }
  return out;
}

// Splits "\\MACHINE\rest" into machine and rest; a plain path is the local machine's.
void SplitMachine(const std::wstring& path, std::wstring* machine, std::wstring* rest) {
  if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\') {
    const auto slash = path.find(L'\\', 2);
    *machine = SimRegistry::Fold(path.substr(2, slash == std::wstring::npos ? std::wstring::npos : slash - 2));
    *rest = slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
  } else {
    machine->clear();
    *rest = path;
  }
}

bool HasUnknownAccessBits(std::uint32_t access) { return (access & ~0x000F033Fu) != 0; }

}  // namespace

SimRegistry::SimRegistry(bool wow64) : m_wow64(wow64) {
  m_roots[L""] = std::make_unique<Node>();
}

SimRegistry::~SimRegistry() = default;

std::wstring SimRegistry::Fold(const std::wstring& text) {
  std::wstring out(text);
  for (auto& c : out) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return out;
}

SimRegistry::Node* SimRegistry::Resolve(const std::wstring& machine,
                                        const std::wstring& physicalPath) const {
  auto root = m_roots.find(machine);
  if (root == m_roots.end()) return nullptr;
  Node* node = root->second.get();
  for (const auto& part : SplitPath(physicalPath)) {
    auto it = node->children.find(Fold(part));
    if (it == node->children.end()) return nullptr;
    node = it->second.get();
  }
  return node;
}

SimRegistry::Node* SimRegistry::ResolveOrCreate(const std::wstring& machine,
                                                const std::wstring& physicalPath) {
  auto& root = m_roots[machine];
  if (!root) root = std::make_unique<Node>();
  Node* node = root.get();
  for (const auto& part : SplitPath(physicalPath)) {
    auto& child = node->children[Fold(part)];
    if (!child) {
      child = std::make_unique<Node>();
      child->name = part;
    }
    node = child.get();
  }
  return node;
}

// The physical path that an open of subKey below parentPath reaches, after WOW64 redirection.
std::wstring SimRegistry::Physical(const std::wstring& parentPath, const std::wstring& subKey,
                                   std::uint32_t access) const {
  auto parts = SplitPath(parentPath);
  for (auto& p : SplitPath(subKey)) parts.push_back(p);
  const bool view32 = m_wow64 ? (access & kKeyWow64_64Key) == 0 : (access & kKeyWow64_32Key) != 0;
  if (view32 && parts.size() >= 2 && Fold(parts[0]) == L"SOFTWARE" &&
      Fold(parts[1]) != L"WOW6432NODE") {
    parts.insert(parts.begin() + 1, L"Wow6432Node");
  }
  return JoinPath(parts);
}

ErrorCode SimRegistry::Hook(RegOp op, const std::wstring& path, const std::wstring& name) {
  static const wchar_t* const kNames[] = {L"Open", L"Create", L"Query", L"Set", L"DeleteValue",
                                          L"EnumValue", L"EnumKey", L"Close", L"Connect"};
  std::wstring line = kNames[static_cast<int>(op)];
  line += L' ';
  line += path;
  if (!name.empty()) {
    line += L" [";
    line += name;
    line += L']';
  }
  m_log.push_back(line);
  return m_hook ? m_hook(op, path, name) : kSuccess;
}

RegKey SimRegistry::NewHandle(const std::wstring& machine, const std::wstring& path,
                              std::uint32_t access) {
  const RegKey key = m_nextHandle;
  m_nextHandle += 4;
  m_handles[key] = Handle{machine, path, access};
  return key;
}

ErrorCode SimRegistry::LookUp(RegKey key, Handle** handle, Node** node) {
  auto it = m_handles.find(key);
  if (it == m_handles.end()) return kErrorInvalidHandle;
  *handle = &it->second;
  *node = Resolve(it->second.machine, it->second.path);
  return *node == nullptr ? kErrorKeyDeleted : kSuccess;
}

ErrorCode SimRegistry::OpenOrCreate(RegKey parent, const std::wstring& subKey,
                                    std::uint32_t access, RegKey* result, bool create) {
  if (result == nullptr) return kErrorInvalidParameter;
  *result = kNoKey;
  std::wstring machine;
  std::wstring parentPath;
  if (parent != kHKeyLocalMachine) {
    auto it = m_handles.find(parent);
    if (it == m_handles.end()) return kErrorInvalidHandle;
    machine = it->second.machine;
    parentPath = it->second.path;
    if (Resolve(machine, parentPath) == nullptr) return kErrorKeyDeleted;
  }
  if (HasUnknownAccessBits(access)) return kErrorAccessDenied;
  const std::wstring path = Physical(parentPath, subKey, access);
  const std::wstring shown = machine.empty() ? path : L"\\\\" + machine + L"\\" + path;
  if (ErrorCode e = Hook(create ? RegOp::Create : RegOp::Open, shown, L""); e != kSuccess) return e;
  auto refused = m_refused.find(Fold(shown));
  if (refused != m_refused.end()) return refused->second;
  if (Resolve(machine, path) == nullptr) {
    if (!create) return kErrorFileNotFound;
    // Creating below a key that refuses opening fails like Windows' access check would.
    std::wstring prefix;
    for (const auto& part : SplitPath(shown)) {
      prefix += prefix.empty() ? part : L"\\" + part;
      auto r = m_refused.find(Fold(prefix));
      if (r != m_refused.end()) return r->second;
    }
    ResolveOrCreate(machine, path);
  }
  *result = NewHandle(machine, path, access);
  return kSuccess;
}

ErrorCode SimRegistry::OpenKey(RegKey parent, const std::wstring& subKey, std::uint32_t access,
                               RegKey* result) {
  return OpenOrCreate(parent, subKey, access, result, false);
}

ErrorCode SimRegistry::CreateKey(RegKey parent, const std::wstring& subKey, std::uint32_t access,
                                 RegKey* result) {
  return OpenOrCreate(parent, subKey, access, result, true);
}

ErrorCode SimRegistry::QueryValue(RegKey key, const std::wstring& name, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* size) {
  Handle* handle = nullptr;
  Node* node = nullptr;
  if (ErrorCode e = LookUp(key, &handle, &node); e != kSuccess) return e;
  if (ErrorCode e = Hook(RegOp::Query, handle->path, name); e != kSuccess) return e;
  if ((handle->access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  if (data != nullptr && size == nullptr) return kErrorInvalidParameter;
  const Value* value = node->FindValue(name);
  if (value == nullptr) return kErrorFileNotFound;
  if (type != nullptr) *type = value->type;
  const auto needed = static_cast<std::uint32_t>(value->data.size());
  if (data != nullptr) {
    if (*size < needed) {
      *size = needed;
      return kErrorMoreData;
    }
    if (needed != 0) std::memcpy(data, value->data.data(), needed);
  }
  if (size != nullptr) *size = needed;
  return kSuccess;
}

ErrorCode SimRegistry::SetValue(RegKey key, const std::wstring& name, std::uint32_t type,
                                const std::uint8_t* data, std::uint32_t size) {
  Handle* handle = nullptr;
  Node* node = nullptr;
  if (ErrorCode e = LookUp(key, &handle, &node); e != kSuccess) return e;
  if (ErrorCode e = Hook(RegOp::Set, handle->path, name); e != kSuccess) return e;
  if ((handle->access & kKeySetValue) == 0) return kErrorAccessDenied;
  if (data == nullptr && size != 0) return kErrorInvalidParameter;
  std::vector<std::uint8_t> bytes(data, data + size);
  if (Value* value = node->FindValue(name)) {
    value->type = type;
    value->data = std::move(bytes);
  } else {
    node->values.push_back(Value{name, type, std::move(bytes)});
  }
  return kSuccess;
}

ErrorCode SimRegistry::DeleteValue(RegKey key, const std::wstring& name) {
  Handle* handle = nullptr;
  Node* node = nullptr;
  if (ErrorCode e = LookUp(key, &handle, &node); e != kSuccess) return e;
  if (ErrorCode e = Hook(RegOp::DeleteValue, handle->path, name); e != kSuccess) return e;
  if ((handle->access & kKeySetValue) == 0) return kErrorAccessDenied;
  const std::wstring folded = Fold(name);
  auto it = std::find_if(node->values.begin(), node->values.end(),
                         [&](const Value& v) { return Fold(v.name) == folded; });
  if (it == node->values.end()) return kErrorFileNotFound;
  node->values.erase(it);
  return kSuccess;
}

ErrorCode SimRegistry::EnumValue(RegKey key, std::uint32_t index, std::uint32_t nameBufferChars,
                                 std::wstring* name, std::uint32_t* type) {
  Handle* handle = nullptr;
  Node* node = nullptr;
  if (ErrorCode e = LookUp(key, &handle, &node); e != kSuccess) return e;
  if (ErrorCode e = Hook(RegOp::EnumValue, handle->path, L""); e != kSuccess) return e;
  if ((handle->access & kKeyQueryValue) == 0) return kErrorAccessDenied;
  if (index >= node->values.size()) return kErrorNoMoreItems;
  const Value& value = node->values[index];
  if (value.name.size() + 1 > nameBufferChars) return kErrorMoreData;
  if (name != nullptr) *name = value.name;
  if (type != nullptr) *type = value.type;
  return kSuccess;
}

ErrorCode SimRegistry::EnumKey(RegKey key, std::uint32_t index, std::uint32_t nameBufferChars,
                               std::wstring* name) {
  Handle* handle = nullptr;
  Node* node = nullptr;
  if (ErrorCode e = LookUp(key, &handle, &node); e != kSuccess) return e;
  if (ErrorCode e = Hook(RegOp::EnumKey, handle->path, L""); e != kSuccess) return e;
  if ((handle->access & kKeyEnumerateSubKeys) == 0) return kErrorAccessDenied;
  if (index >= node->children.size()) return kErrorNoMoreItems;
  auto it = node->children.begin();
  std::advance(it, index);
  if (it->second->name.size() + 1 > nameBufferChars) return kErrorMoreData;
  if (name != nullptr) *name = it->second->name;
  return kSuccess;
}

ErrorCode SimRegistry::CloseKey(RegKey key) {
  if (key == kHKeyLocalMachine) return kSuccess;
  auto it = m_handles.find(key);
  if (it == m_handles.end()) return kErrorInvalidHandle;
  const std::wstring path = it->second.path;
  m_handles.erase(it);
  Hook(RegOp::Close, path, L"");
  return kSuccess;
}

ErrorCode SimRegistry::ConnectRegistry(const std::wstring& machine, RegKey root, RegKey* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  *result = kNoKey;
  if (ErrorCode e = Hook(RegOp::Connect, machine, L""); e != kSuccess) return e;
  if (root != kHKeyLocalMachine) return kErrorInvalidHandle;
  std::wstring name = machine;
  while (!name.empty() && name.front() == L'\\') name.erase(name.begin());
  const std::wstring folded = Fold(name);
  if (m_remoteMachines.count(folded) == 0) return kErrorBadNetPath;
  if (!m_roots[folded]) m_roots[folded] = std::make_unique<Node>();
  // The remote root is a key handle of that machine; every access is allowed on it.
  *result = NewHandle(folded, L"", 0x000F003Fu);
  return kSuccess;
}

// ---- Test set-up and inspection -------------------------------------------------------

void SimRegistry::AddKey(const std::wstring& path) {
  std::wstring machine, rest;
  SplitMachine(path, &machine, &rest);
  ResolveOrCreate(machine, rest);
}

bool SimRegistry::KeyExists(const std::wstring& path) const {
  std::wstring machine, rest;
  SplitMachine(path, &machine, &rest);
  return Resolve(machine, rest) != nullptr;
}

void SimRegistry::RemoveKeyTree(const std::wstring& path) {
  std::wstring machine, rest;
  SplitMachine(path, &machine, &rest);
  auto parts = SplitPath(rest);
  if (parts.empty()) return;
  const std::wstring last = parts.back();
  parts.pop_back();
  if (Node* parent = Resolve(machine, JoinPath(parts))) parent->children.erase(Fold(last));
}

void SimRegistry::PutValue(const std::wstring& path, const std::wstring& name, std::uint32_t type,
                           std::vector<std::uint8_t> data) {
  std::wstring machine, rest;
  SplitMachine(path, &machine, &rest);
  Node* node = ResolveOrCreate(machine, rest);
  if (Value* value = node->FindValue(name)) {
    value->type = type;
    value->data = std::move(data);
  } else {
    node->values.push_back(Value{name, type, std::move(data)});
  }
}

void SimRegistry::PutString(const std::wstring& path, const std::wstring& name,
                            const std::wstring& text, std::uint32_t type) {
  std::vector<std::uint8_t> data((text.size() + 1) * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<std::uint32_t>(text[i]);
    data[2 * i] = static_cast<std::uint8_t>(c & 0xFF);
    data[2 * i + 1] = static_cast<std::uint8_t>((c >> 8) & 0xFF);
  }
  PutValue(path, name, type, std::move(data));
}

void SimRegistry::PutDword(const std::wstring& path, const std::wstring& name, std::uint32_t value) {
  PutValue(path, name, kRegDword,
           {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

const SimRegistry::Value* SimRegistry::FindValue(const std::wstring& path,
                                                 const std::wstring& name) const {
  std::wstring machine, rest;
  SplitMachine(path, &machine, &rest);
  Node* node = Resolve(machine, rest);
  return node == nullptr ? nullptr : node->FindValue(name);
}

std::vector<std::wstring> SimRegistry::ValueNames(const std::wstring& path) const {
  std::wstring machine, rest;
  SplitMachine(path, &machine, &rest);
  std::vector<std::wstring> names;
  if (Node* node = Resolve(machine, rest)) {
    for (const auto& v : node->values) names.push_back(v.name);
  }
  return names;
}

bool SimRegistry::GetString(const std::wstring& path, const std::wstring& name,
                            std::wstring* text) const {
  const Value* value = FindValue(path, name);
  if (value == nullptr || value->type != kRegSz) return false;
  text->clear();
  for (std::size_t i = 0; i + 1 < value->data.size(); i += 2) {
    const auto c = static_cast<wchar_t>(value->data[i] | (value->data[i + 1] << 8));
    if (c == 0) break;
    text->push_back(c);
  }
  return true;
}

bool SimRegistry::GetDword(const std::wstring& path, const std::wstring& name,
                           std::uint32_t* result) const {
  const Value* value = FindValue(path, name);
  if (value == nullptr || value->type != kRegDword || value->data.size() != 4) return false;
  *result = static_cast<std::uint32_t>(value->data[0]) | (static_cast<std::uint32_t>(value->data[1]) << 8) |
            (static_cast<std::uint32_t>(value->data[2]) << 16) |
            (static_cast<std::uint32_t>(value->data[3]) << 24);
  return true;
}

void SimRegistry::RefuseOpen(const std::wstring& path, ErrorCode code) { m_refused[Fold(path)] = code; }

}  // namespace ov::platform::sim
