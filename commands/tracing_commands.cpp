// The tool's rules shared by the dialog and the console companion.
#include "commands/tracing_commands.h"

#include <exception>

#include "platform/files.h"
#include "platform/system.h"
#include "services/service_restart.h"

using namespace ov::platform;

namespace ov::commands {

void MarkForSaveAndRestart(OvClientTracingEntry& entry) {
  entry.m_modified = 1;
  entry.m_spoolerRestartPending = 1;
  entry.m_sharedEngineRestartPending = 1;
}

bool SetAllTracing(OvClientTracingList& list, bool enabled) {
  bool changed = false;
  for (std::int32_t i = 0; i < list.GetCount(); ++i) {
    OvClientTracingEntry entry = list.GetEntry(i);
    if ((entry.m_enabled != 0) == enabled) continue;  // already so: not marked, not stored
    entry.m_enabled = enabled ? 1 : 0;
    MarkForSaveAndRestart(entry);
    list.SetEntry(i, entry);
    changed = true;
  }
  return changed;
}

bool ResetLevelsAndDirectory(OvClientTracingList& list, SystemInfo& system) {
  bool changed = false;
  const std::wstring defaultDirectory = system.CommonAppDataFolder() + g_defaultTraceSubdirectory;
  for (std::int32_t i = 0; i < list.GetCount(); ++i) {
    OvClientTracingEntry entry = list.GetEntry(i);
    bool marked = false;
    if (entry.m_levelDefaultKind == 1) {
      if (entry.m_level != g_defaultSpecialLevel) {
        entry.m_level = g_defaultSpecialLevel;
        marked = true;
      }
    } else if (entry.m_level == g_defaultRangeLevel) {
      // Already the default of a text level.
    } else if (!entry.m_pathValueName.empty()) {
      marked = true;  // no level of its own, but the entry is rewritten
    } else {
      // A numeric "0" is rewritten too: only "0-31.0" counts as already reset.
      entry.m_level = entry.m_numericLevel ? g_defaultNumericLevel : g_defaultRangeLevel;
      marked = true;
    }
    if (marked) MarkForSaveAndRestart(entry);
    changed = changed || marked;
    list.SetEntry(i, entry);
    // Inside the loop, as the dialog always did: with no entries the directory stays as it is.
    if (list.SetDefaultDirectory(defaultDirectory)) changed = true;
  }
  return changed;
}

bool ResetToDefaults(OvClientTracingList& list, SystemInfo& system) {
  const bool switchedOff = SetAllTracing(list, false);
  return ResetLevelsAndDirectory(list, system) || switchedOff;
}

void SetTracingEnabled(OvClientTracingList& list, std::int32_t index, bool enabled) {
  OvClientTracingEntry entry = list.GetEntry(index);
  entry.m_enabled = enabled ? 1 : 0;
  MarkForSaveAndRestart(entry);
  list.SetEntry(index, entry);
}

void SetTracingLevel(OvClientTracingList& list, std::int32_t index, const std::wstring& level) {
  OvClientTracingEntry entry = list.GetEntry(index);
  entry.m_level = level;
  entry.m_modified = 1;
  list.SetEntry(index, entry);
}

bool CreateDirectoryTree(FileSystem& files, const std::wstring& path) {
  if (files.SetWorkingDirectory(path) == kSuccess) return true;
  if (files.MakeDirectory(path) == kSuccess) return true;
  const std::size_t separator = path.rfind(L'\\');
  if (separator == std::wstring::npos) return false;
  // Ancestors first, so each level is created from the outermost down.
  const bool parentExists = CreateDirectoryTree(files, path.substr(0, separator));
  if (files.MakeDirectory(path) != kSuccess) return false;
  return parentExists;
}

std::wstring TraceFilePath(const OvClientTracingList& list, std::int32_t index) {
  return list.GetDefaultDirectory() + L"\\" + list.GetEntry(index).m_fileName;
}

DeleteOutcome DeleteOrEmptyTraceFile(OvClientTracingList& list, FileSystem& files, std::int32_t index) {
  const std::wstring path = TraceFilePath(list, index);
  DeleteOutcome outcome;
  if (list.GetEntry(index).m_enabled) {
    outcome.emptied = true;
    outcome.error = files.TruncateFileShared(path);
  } else {
    outcome.error = files.RemoveFile(path);
  }
  return outcome;
}

std::wstring DeletionErrorText(ErrorCode code) {
  switch (code) {
    case kErrorFileNotFound:
      return L"File was not deleted.  File not found.";
    case kErrorAccessDenied:
      return L"File was not deleted.  Access denied.";
    case kErrorSharingViolation:
      return L"File was not deleted.  File in use.";
    default:
      return L"File could not be deleted.  Error " + std::to_wstring(code);
  }
}

std::vector<std::wstring> ServicesNeedingRestart(const OvClientTracingList& list) {
  std::vector<std::wstring> services;
  if (list.IsSpoolerRestartNeeded()) services.push_back(L"Spooler");
  if (list.IsSharedEngineRestartNeeded()) services.push_back(L"OvSharedEngine");
  return services;
}

RestartOutcome RestartHostingService(const Platform& platform, const std::wstring& serviceName) {
  RestartOutcome outcome;
  try {
    ov::services::RestartServiceAndRunningDependents(platform, serviceName, kServiceStopTimeoutMs);
  } catch (const std::exception& failure) {
    outcome.restarted = false;
    outcome.message = failure.what();
  }
  return outcome;
}

}  // namespace ov::commands
