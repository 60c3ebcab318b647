// "Zip up Log Files": the trace logs and a fresh registry snapshot in one archive for support.
#pragma once
#include <string>

#include "model/ov_client_tracing.h"
#include "platform/platform.h"

// Runs the whole command on the calling (user-interface) thread: asks for the archive path,
// writes the registry snapshot into the list's trace directory, adds every "Ov*.log" file of
// that directory to the archive and reports failures in message boxes. Uses the platform's
// files, textFiles, fileIo, registry and ui. Entries that are symbolic links, junctions or
// other reparse points are never collected, and the snapshot is never written through one.
void ZipUpLogFiles(OvClientTracingList& list, ov::platform::Platform& platform);

namespace ov::logcollect {
// The command after the Save dialog: snapshot and logs into archivePath, failures reported as
// the command reports them. True when the archive holds every log and was written.
bool CollectLogs(OvClientTracingList& list, ov::platform::Platform& platform, const std::wstring& archivePath);
}  // namespace ov::logcollect
