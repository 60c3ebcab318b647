// The tracing model: one entry per traced component, the list that owns them and the
// common trace directory, loaded from and saved to HKEY_LOCAL_MACHINE.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/registry.h"

extern const wchar_t* const g_traceFileMask;             // "Ov*.log"
extern const wchar_t* const g_registryRoot;              // "SOFTWARE\Veltrane"
extern const wchar_t* const g_registrySnapshotFileName;  // "OvReg.log"
extern const wchar_t* const g_defaultArchiveName;        // "OvClientLogs.zip"
extern const wchar_t* const g_defaultNumericLevel;       // "0"
extern const wchar_t* const g_defaultRangeLevel;         // "0-31.0"
extern const wchar_t* const g_defaultSpecialLevel;       // "1.5,2-31.0"

// Appended to the common application-data folder to give the default trace directory.
extern const wchar_t* const g_defaultTraceSubdirectory;  // "\Mirabo\Ostrival\Logs\Veltrane\Client"

// A plain copyable record; the dialog edits copies and stores them back with SetEntry.
struct OvClientTracingEntry {
  std::int32_t m_modified = 0;
  std::int32_t m_spoolerRestartPending = 0;
  std::int32_t m_sharedEngineRestartPending = 0;
  std::int32_t m_hostedBySpooler = 0;
  std::int32_t m_hostedBySharedEngine = 0;
  std::int32_t m_enabled = 0;
  std::int32_t m_probeInstalledKey = 0;
  std::wstring m_name;
  std::wstring m_fileName;
  std::wstring m_level;
  std::wstring m_keyPath;
  std::wstring m_pathValueName;
  std::wstring m_installedKeyPath;
  std::int32_t m_levelDefaultKind = 0;
  std::int32_t m_numericLevel = 0;
  std::int32_t m_use64BitView = 0;
};

// True only when kernel32 offers IsWow64Process, the call succeeds and it says this process
// is a 32-bit one on 64-bit Windows.
bool IsRunningUnderWow64(ov::platform::SystemInfo& system);

// A level text as SaveToRegistry stores it: leading white space and a sign accepted,
// conversion up to the first non-digit, no digits = 0, saturating at the 32-bit limits.
std::int32_t LevelTextToNumber(const std::wstring& text);

// The typed readers of loading, which repair what they can through the handle they are given.
// Through a read-only handle, such as the registry snapshot's, the repairs change nothing.
std::uint32_t ReadDwordValue(ov::platform::Registry& registry, ov::platform::RegKey key, const std::wstring& name,
                             std::uint32_t defaultValue);
std::wstring ReadStringValue(ov::platform::Registry& registry, ov::platform::RegKey key, const std::wstring& name,
                             const std::wstring& defaultText);

class OvClientTracingList {
 public:
  // Uses the platform's registry, system, files and ui. Loads at once (messages included).
  explicit OvClientTracingList(ov::platform::Platform& platform);
  virtual ~OvClientTracingList();
  OvClientTracingList(const OvClientTracingList&) = delete;
  OvClientTracingList& operator=(const OvClientTracingList&) = delete;

  std::int32_t GetCount() const;
  // A copy of the entry; any index outside the list answers with entry 0. Throws
  // std::invalid_argument on an empty list.
  OvClientTracingEntry GetEntry(std::int32_t index) const;
  void SetEntry(std::int32_t index, OvClientTracingEntry entry);
  std::wstring GetDefaultDirectory() const;
  bool SetDefaultDirectory(const std::wstring& directory);
  // False when something did not reach the registry; that failure has been shown already.
  bool SaveToRegistry();
  bool IsSpoolerRestartNeeded() const;
  bool IsSharedEngineRestartNeeded() const;
  std::wstring GetFileSizeText(std::int32_t index) const;

 protected:
  void AddKnownComponents();
  void AddEntry(const std::wstring& name, const std::wstring& keyPath, std::int32_t probeInstalledKey,
                const std::wstring& installedKeyPath, std::int32_t hostedBySpooler,
                std::int32_t hostedBySharedEngine, std::int32_t levelDefaultKind,
                const std::wstring& pathValueName, const std::wstring& fileName,
                std::int32_t numericLevel, std::int32_t use64BitView);
  bool LoadFromRegistry();

 private:
  bool MayCreateKey(const OvClientTracingEntry& entry, std::uint32_t access) const;
  void LoadEntries();
  // Writes one modified entry; false when its key could not be opened or a write failed.
  bool SaveEntry(const OvClientTracingEntry& entry);

  ov::platform::Platform* m_platform;
  std::vector<OvClientTracingEntry> m_entries;
  std::wstring m_defaultDirectory;
};
