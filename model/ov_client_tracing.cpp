// The component table, the list's operations and the registry load and save.
#include "model/ov_client_tracing.h"

#include <climits>
#include <cwctype>
#include <stdexcept>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/ui.h"

using namespace ov::platform;

const wchar_t* const g_traceFileMask = L"Ov*.log";
const wchar_t* const g_registryRoot = L"SOFTWARE\\Veltrane";
const wchar_t* const g_registrySnapshotFileName = L"OvReg.log";
const wchar_t* const g_defaultArchiveName = L"OvClientLogs.zip";
const wchar_t* const g_defaultNumericLevel = L"0";
const wchar_t* const g_defaultRangeLevel = L"0-31.0";
const wchar_t* const g_defaultSpecialLevel = L"1.5,2-31.0";
const wchar_t* const g_defaultTraceSubdirectory = L"\\Mirabo\\Ostrival\\Logs\\Veltrane\\Client";

namespace {

const wchar_t* const kDesktopClientKey = L"Software\\Veltrane\\Desktop Client";
const wchar_t* const kReruzeCountManager = L"Reruze Count Manager";

std::vector<std::uint8_t> DwordBytes(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

ErrorCode SetDword(Registry& registry, RegKey key, const std::wstring& name, std::uint32_t value) {
  const auto bytes = DwordBytes(value);
  return registry.SetValue(key, name, kRegDword, bytes.data(), 4);
}

ErrorCode SetString(Registry& registry, RegKey key, const std::wstring& name, const std::wstring& text) {
  const auto bytes = ToRegistryText(text);
  return registry.SetValue(key, name, kRegSz, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

// True with the value when it exists as a REG_DWORD; *query tells a value of another type
// (kSuccess) from a missing one or one longer than 4 bytes.
bool QueryDword(Registry& registry, RegKey key, const std::wstring& name, std::uint32_t* value,
                ErrorCode* query = nullptr) {
  std::uint8_t data[4] = {};
  std::uint32_t type = kRegNone;
  std::uint32_t size = sizeof data;
  const ErrorCode rc = registry.QueryValue(key, name, &type, data, &size);
  if (query != nullptr) *query = rc;
  if (rc != kSuccess || type != kRegDword) return false;
  *value = static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
           (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
  return true;
}

}  // namespace

bool IsRunningUnderWow64(SystemInfo& system) {
  bool wow64 = false;
  return system.QueryWow64Process(&wow64) && wow64;
}

std::int32_t LevelTextToNumber(const std::wstring& text) {
  std::size_t i = 0;
  while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > static_cast<std::int64_t>(INT32_MAX) + 1) value = static_cast<std::int64_t>(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

OvClientTracingList::OvClientTracingList(Platform& platform) : m_platform(&platform) {
  LoadFromRegistry();
}

OvClientTracingList::~OvClientTracingList() = default;

std::int32_t OvClientTracingList::GetCount() const { return static_cast<std::int32_t>(m_entries.size()); }

OvClientTracingEntry OvClientTracingList::GetEntry(std::int32_t index) const {
  if (m_entries.empty()) throw std::invalid_argument("OvClientTracingList::GetEntry on an empty list");
  if (index < 0 || index >= GetCount()) return m_entries.front();
  return m_entries[static_cast<std::size_t>(index)];
}

void OvClientTracingList::SetEntry(std::int32_t index, OvClientTracingEntry entry) {
  if (index < 0 || index >= GetCount()) return;
  m_entries[static_cast<std::size_t>(index)] = std::move(entry);
}

std::wstring OvClientTracingList::GetDefaultDirectory() const { return m_defaultDirectory; }

bool OvClientTracingList::SetDefaultDirectory(const std::wstring& directory) {
  bool marked = false;
  for (auto& entry : m_entries) {
    if (directory != m_defaultDirectory) {
      entry.m_modified = 1;
      entry.m_spoolerRestartPending = 1;
      entry.m_sharedEngineRestartPending = 1;
      marked = true;
    }
  }
  m_defaultDirectory = directory;
  return marked;
}

bool OvClientTracingList::IsSpoolerRestartNeeded() const {
  for (const auto& entry : m_entries) {
    if (entry.m_hostedBySpooler && entry.m_spoolerRestartPending) return true;
  }
  return false;
}

bool OvClientTracingList::IsSharedEngineRestartNeeded() const {
  for (const auto& entry : m_entries) {
    if (entry.m_hostedBySharedEngine && entry.m_sharedEngineRestartPending) return true;
  }
  return false;
}

std::wstring OvClientTracingList::GetFileSizeText(std::int32_t index) const {
  const OvClientTracingEntry entry = GetEntry(index);
  const std::wstring path = m_defaultDirectory + L"\\" + entry.m_fileName;
  const FileSystem::SizeQuery query = m_platform->files->QueryFileSize(path);
  if (query.openError != kSuccess) return L"Doesn't exist";
  // The size is read as a signed 32-bit value: 2 GiB and more does not fit.
  if (!query.sizeKnown || query.size < 0 || query.size > INT32_MAX) return L"Error";
  // Kilobytes rounded to one decimal, halves upward.
  const std::int64_t tenths = (10 * query.size + 512) / 1024;
  std::wstring text;
  if (tenths / 10 != 0) text = std::to_wstring(tenths / 10);
  text += L'.';
  text += static_cast<wchar_t>(L'0' + tenths % 10);
  text += L"KB";
  return text;
}

void OvClientTracingList::AddKnownComponents() {
  const std::int32_t wow64 = IsRunningUnderWow64(*m_platform->system) ? 1 : 0;
  AddEntry(L"Shared Engine Service", L"SOFTWARE\\Veltrane\\Desktop Client\\Shared Engine", 1,
           L"SOFTWARE\\Veltrane\\Desktop Client\\Shared Engine", 0, 1, 0, L"", L"OvSharedEngine.log", 1, 0);
  AddEntry(L"Popup Manager", L"SOFTWARE\\Veltrane\\Desktop Client\\Popup Manager", 1,
           L"SOFTWARE\\Veltrane\\Desktop Client\\Popup Manager", 0, 0, 2, L"", L"OvPopupManager.log", 1, 0);
  AddEntry(L"Message Client", L"SOFTWARE\\Veltrane\\Desktop Client\\Message Client", 1,
           L"SOFTWARE\\Veltrane\\Desktop Client\\Message Client", 0, 0, 2, L"", L"MessageClient.log", 1, 0);
  AddEntry(L"Spooler Hooks", L"SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing", 1,
           L"SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing", 1, 0, 2, L"", L"OvSpoolerHooks.log", 1, wow64);
}

void OvClientTracingList::AddEntry(const std::wstring& name, const std::wstring& keyPath,
                                   std::int32_t probeInstalledKey, const std::wstring& installedKeyPath,
                                   std::int32_t hostedBySpooler, std::int32_t hostedBySharedEngine,
                                   std::int32_t levelDefaultKind, const std::wstring& pathValueName,
                                   const std::wstring& fileName, std::int32_t numericLevel,
                                   std::int32_t use64BitView) {
  OvClientTracingEntry entry;
  entry.m_name = name;
  entry.m_keyPath = keyPath;
  entry.m_probeInstalledKey = probeInstalledKey;
  entry.m_installedKeyPath = installedKeyPath;
  entry.m_hostedBySpooler = hostedBySpooler;
  entry.m_hostedBySharedEngine = hostedBySharedEngine;
  entry.m_levelDefaultKind = levelDefaultKind;
  entry.m_pathValueName = pathValueName;
  entry.m_fileName = fileName;
  entry.m_numericLevel = numericLevel;
  entry.m_use64BitView = use64BitView;
  m_entries.push_back(std::move(entry));
}

std::uint32_t ReadDwordValue(Registry& registry, RegKey key, const std::wstring& name, std::uint32_t defaultValue) {
  std::uint32_t value = 0;
  ErrorCode rc = kSuccess;
  if (QueryDword(registry, key, name, &value, &rc)) return value;
  if (rc == kSuccess) registry.DeleteValue(key, name);  // there, with another type
  SetDword(registry, key, name, defaultValue);
  return defaultValue;
}

std::wstring ReadStringValue(Registry& registry, RegKey key, const std::wstring& name,
                             const std::wstring& defaultText) {
  std::uint32_t type = kRegNone;
  std::uint32_t size = 0;
  const ErrorCode rc = registry.QueryValue(key, name, &type, nullptr, &size);
  if (rc != kSuccess && rc != kErrorMoreData) {
    SetString(registry, key, name, defaultText);
    return defaultText;
  }
  if (type == kRegSz) {
    // Room for one more character than the data holds, so unterminated data still ends.
    std::vector<std::uint8_t> buffer((static_cast<std::size_t>(size) + 1) * 2, 0);
    std::uint32_t bufferSize = static_cast<std::uint32_t>(buffer.size());
    if (registry.QueryValue(key, name, &type, buffer.data(), &bufferSize) != kSuccess) return std::wstring();
    return FromRegistryText(buffer.data(), bufferSize);
  }
  registry.DeleteValue(key, name);
  if (!defaultText.empty()) SetString(registry, key, name, defaultText);
  return defaultText;
}

bool OvClientTracingList::MayCreateKey(const OvClientTracingEntry& entry, std::uint32_t access) const {
  if (entry.m_probeInstalledKey == 1) {
    RegKey installed = kNoKey;
    if (m_platform->registry->OpenKey(kHKeyLocalMachine, entry.m_installedKeyPath, access, &installed) ==
        kSuccess) {
      m_platform->registry->CloseKey(installed);
      return true;
    }
    return entry.m_installedKeyPath == entry.m_keyPath;
  }
  return m_platform->system->FindInSystemDirectory(L"RERURClientInterface", L".dll");
}

bool OvClientTracingList::LoadFromRegistry() {
  try {
    AddKnownComponents();
    Registry& registry = *m_platform->registry;
    {
      RegKey key = kNoKey;
      registry.CreateKey(kHKeyLocalMachine, kDesktopClientKey, kKeyRead, &key);
      ScopedRegKey desktopClient(registry, key);
      m_defaultDirectory = ReadStringValue(registry, key, L"DefaultDir", L"");
    }
    if (m_defaultDirectory.empty()) {
      m_defaultDirectory = m_platform->system->CommonAppDataFolder() + g_defaultTraceSubdirectory;
    }
    LoadEntries();
  } catch (...) {
    m_platform->ui->ShowMessage(L"Error reading registry entry", L"Registry Error", kMbOk);
  }
  return true;
}

void OvClientTracingList::LoadEntries() {
  Registry& registry = *m_platform->registry;
  for (std::int32_t i = 0; i < GetCount();) {
    OvClientTracingEntry entry = m_entries[static_cast<std::size_t>(i)];
    const std::uint32_t view = entry.m_use64BitView ? kKeyWow64_64Key : 0;
    RegKey key = kNoKey;
    ErrorCode rc = registry.OpenKey(kHKeyLocalMachine, entry.m_keyPath, kKeyRead | view, &key);
    if (rc == kErrorFileNotFound) {
      rc = MayCreateKey(entry, kKeyRead | view)
               ? registry.CreateKey(kHKeyLocalMachine, entry.m_keyPath,
                                    kKeyRead | kKeySetValue | kKeyCreateSubKey | view, &key)
               : kErrorFileNotFound;
    }
    if (rc != kSuccess) {
      m_entries.erase(m_entries.begin() + i);
      continue;
    }
    ScopedRegKey open(registry, key);
    if (entry.m_pathValueName.empty()) {
      if (entry.m_numericLevel) {
        // The save writes a numeric level as "SeverityFilter" and leaves "Level" alone, so the
        // level last applied is there; "Level", read and repaired as always, is the fallback.
        std::uint32_t level = 0;
        if (!QueryDword(registry, key, L"SeverityFilter", &level)) level = ReadDwordValue(registry, key, L"Level", 0);
        entry.m_level = std::to_wstring(static_cast<std::int32_t>(level));
      } else {
        entry.m_level = ReadStringValue(registry, key, L"Level", g_defaultRangeLevel);
      }
      entry.m_enabled = ReadDwordValue(registry, key, L"Enable", 0) == 1 ? 1 : 0;
    } else {
      entry.m_enabled = ReadStringValue(registry, key, entry.m_pathValueName, L"").empty() ? 0 : 1;
    }
    if (entry.m_fileName.empty()) {
      const std::wstring file = ReadStringValue(registry, key, L"File", L"");
      const auto slash = file.find_last_of(L'\\');
      entry.m_fileName = slash == std::wstring::npos ? file : file.substr(slash + 1);
    }
    SetEntry(i, entry);
    ++i;
  }
}

bool OvClientTracingList::SaveEntry(const OvClientTracingEntry& entry) {
  Registry& registry = *m_platform->registry;
  const std::uint32_t view = entry.m_use64BitView ? kKeyWow64_64Key : 0;
  RegKey key = kNoKey;
  if (registry.OpenKey(kHKeyLocalMachine, entry.m_keyPath, kKeyWrite | view, &key) != kSuccess) return false;
  ScopedRegKey open(registry, key);
  const std::wstring file = m_defaultDirectory + L"\\" + entry.m_fileName;
  bool ok = true;
  const auto check = [&ok](ErrorCode rc) { ok = ok && rc == kSuccess; };
  if (entry.m_pathValueName.empty()) {
    check(SetString(registry, key, L"File", file));
    if (entry.m_numericLevel) {
      check(SetDword(registry, key, L"SeverityFilter",
                     static_cast<std::uint32_t>(LevelTextToNumber(entry.m_level))));
    } else {
      check(SetString(registry, key, L"Level", entry.m_level));
    }
    check(SetDword(registry, key, L"Enable", static_cast<std::uint32_t>(entry.m_enabled)));
    if (entry.m_name == kReruzeCountManager) {
      check(SetDword(registry, key, L"LogFileMask", entry.m_enabled != 0 ? 0xFFFFu : 0u));
    }
  } else {
    check(SetString(registry, key, entry.m_pathValueName, entry.m_enabled != 0 ? file : std::wstring()));
  }
  return ok;
}

bool OvClientTracingList::SaveToRegistry() {
  // A setting that did not reach the registry must not look saved: such an entry keeps its
  // mark so the next Apply writes it again, and the administrator is told once.
  bool failed = false;
  try {
    Registry& registry = *m_platform->registry;
    {
      RegKey key = kNoKey;
      ErrorCode rc = registry.CreateKey(kHKeyLocalMachine, kDesktopClientKey, kKeyWrite, &key);
      ScopedRegKey desktopClient(registry, key);
      if (rc == kSuccess) rc = SetString(registry, key, L"DefaultDir", m_defaultDirectory);
      failed = rc != kSuccess;
    }
    for (std::int32_t i = 0; i < GetCount(); ++i) {
      OvClientTracingEntry entry = m_entries[static_cast<std::size_t>(i)];
      if (entry.m_modified == 0) continue;
      if (!SaveEntry(entry)) {
        failed = true;
        continue;
      }
      entry.m_modified = 0;
      SetEntry(i, entry);
    }
  } catch (...) {
    failed = true;
  }
  if (failed) m_platform->ui->ShowMessage(L"Error saving registry entry", L"Registry Error", kMbOk);
  return !failed;
}
