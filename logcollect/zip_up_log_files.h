// "Zip up Log Files": the trace logs and a fresh registry snapshot in one archive for support.
#pragma once
#include "model/ov_client_tracing.h"
#include "platform/platform.h"

// Runs the whole command on the calling (user-interface) thread: asks for the archive path,
// writes the registry snapshot into the list's trace directory, adds every "Ov*.log" file of
// that directory to the archive and reports failures in message boxes. Uses the platform's
// files, textFiles, fileIo, registry and ui. Entries that are symbolic links, junctions or
// other reparse points are never collected, and the snapshot is never written through one.
// Logs are read alongside the components still writing them, each up to the size it had
// when it was opened. The archive is written beside the chosen path and takes its name only
// when it is complete on disk, so a failure never leaves a broken archive or costs an older
// one of that name.
void ZipUpLogFiles(OvClientTracingList& list, ov::platform::Platform& platform);
