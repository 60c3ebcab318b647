// The tool's rules, written once for every front end: bulk commands, reset, apply's
// directory creation, delete or empty, and the restarts a change needs.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "model/ov_client_tracing.h"
#include "platform/errors.h"
#include "platform/platform.h"

namespace ov::commands {

// A change the components only pick up when their hosting services start again: saved by
// the next Apply, and asking both restart questions.
void MarkForSaveAndRestart(OvClientTracingEntry& entry);

// Sets every entry's enabled flag to the value, marking and storing only those it changes.
// True when any entry changed.
bool SetAllTracing(OvClientTracingList& list, bool enabled);

// Every level back to its default and the directory back to the common application-data
// default; the second half of a reset, after all tracing was switched off. True when
// anything was marked for saving.
bool ResetLevelsAndDirectory(OvClientTracingList& list, platform::SystemInfo& system);

// The whole reset: all tracing off, then levels and directory.
bool ResetToDefaults(OvClientTracingList& list, platform::SystemInfo& system);

// Switches one entry's tracing, marked as SetAllTracing marks.
void SetTracingEnabled(OvClientTracingList& list, std::int32_t index, bool enabled);

// A new level for one entry; a level takes effect without a restart, so it is only marked
// for saving.
void SetTracingLevel(OvClientTracingList& list, std::int32_t index, const std::wstring& level);

// Creates path and every missing ancestor, outermost first. False when a level could not be
// made (the deepest one decides: an ancestor that failed makes the whole tree fail).
bool CreateDirectoryTree(platform::FileSystem& files, const std::wstring& path);

// Where the entry's component writes its trace file.
std::wstring TraceFilePath(const OvClientTracingList& list, std::int32_t index);

// Deletes the entry's trace file, or empties it when its tracing is on (the component may be
// writing it right now). The code of the delete or of the emptying.
struct DeleteOutcome {
  bool emptied = false;
  platform::ErrorCode error = platform::kSuccess;
};
DeleteOutcome DeleteOrEmptyTraceFile(OvClientTracingList& list, platform::FileSystem& files, std::int32_t index);

// The message a failed delete shows.
std::wstring DeletionErrorText(platform::ErrorCode code);

// The hosting services whose restart the marked changes need, in the order Apply asks:
// "Spooler" first, then "OvSharedEngine".
std::vector<std::wstring> ServicesNeedingRestart(const OvClientTracingList& list);

// Each stop of a restart may take this long.
inline constexpr std::uint32_t kServiceStopTimeoutMs = 60000;

// One restart of a hosting service and its running dependents. On failure, message holds
// the 8-bit text the failure box shows.
struct RestartOutcome {
  bool restarted = true;
  std::string message;
};
RestartOutcome RestartHostingService(const platform::Platform& platform, const std::wstring& serviceName);

}  // namespace ov::commands
