// The registry snapshot "OvReg.log": which keys it holds and how its text is encoded.
#pragma once
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/textfile.h"

namespace ov::logcollect {

// One key of the snapshot, below HKEY_LOCAL_MACHINE.
struct SnapshotRoot {
  std::wstring keyPath;
  bool recurse = false;
};

// The four roots in the order they are written: the product's own keys, the print system,
// the Windows version (without its sub-keys) and the computer name.
std::vector<SnapshotRoot> SnapshotRoots();

// Writes the key below HKEY_LOCAL_MACHINE (and with recurse its whole sub-tree) as text into
// the snapshot file; reports nothing.
void DumpRegistryKey(ov::platform::Registry& registry, ov::platform::TextFile& file, const std::wstring& keyPath,
                     bool recurse);

// Creates "OvReg.log" anew in the trace directory and writes every root into it. A snapshot
// that cannot be created, or that the text-file concept refuses because its name or a
// folder above it is a link, is simply not written, and a root that fails does not stop the
// next one: the archive is worth more with a partial snapshot than without the logs.
bool WriteRegistrySnapshot(ov::platform::Registry& registry, const std::wstring& traceDirectory,
                           ov::platform::TextFiles& textFiles);

// The snapshot's 8-bit text: ASCII as it is, everything beyond it as UTF-8 (a lone UTF-16
// surrogate becomes U+FFFD).
std::string ToSnapshotText(const std::wstring& text);

}  // namespace ov::logcollect
