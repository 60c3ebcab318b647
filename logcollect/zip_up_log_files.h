// "Zip up Log Files": the trace logs and a fresh registry snapshot in one archive for support.
#pragma once
#include <string>

#include "model/ov_client_tracing.h"
#include "platform/platform.h"

// Runs the whole command on the calling (user-interface) thread: asks for the archive path,
// writes the registry snapshot into the list's trace directory, adds every "Ov*.log" file of
// that directory to the archive and reports failures in message boxes. Uses the platform's
// files, textFiles, fileIo, clock, registry and ui. Entries that are symbolic links, junctions
// or other reparse points are never collected, and the snapshot is never written through one.
// Logs are read alongside the components still writing them, each up to the size it had when
// it was opened. The archive is written beside the chosen path and takes its name only when it
// is complete on disk, so a failure never leaves a broken archive or costs an older one of
// that name.
void ZipUpLogFiles(OvClientTracingList& list, ov::platform::Platform& platform);

namespace ov::logcollect {

// What one collection achieved; every shortfall has been reported as the command reports it.
struct Collection {
  bool written = false;   // the archive is complete under the chosen name
  bool snapshot = false;  // it holds the registry snapshot
  int logsLeftOut = 0;    // logs that could not be added
  bool Complete() const { return written && snapshot && logsLeftOut == 0; }
};

// The command after the Save dialog: the snapshot and the logs into archivePath.
Collection CollectLogs(OvClientTracingList& list, ov::platform::Platform& platform, const std::wstring& archivePath);

}  // namespace ov::logcollect
