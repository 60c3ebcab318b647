// The registry snapshot: registry keys as plain "name"=value lines in "OvReg.log".
#include "logcollect/registry_snapshot.h"

#include <iterator>
#include <memory>

#include "model/ov_client_tracing.h"
#include "platform/utf8.h"

using namespace ov::platform;

namespace ov::logcollect {
namespace {

// RegEnumValueW/RegEnumKeyW name buffer: 511 characters and the terminating zero.
constexpr std::uint32_t kNameBufferChars = 512;

// A REG_MULTI_SZ with every zero unit shown as "|". The whole value is read, however long:
// support needs all of a list such as a printer's dependent files, not its first 128 units.
std::string MultiStringText(Registry& registry, RegKey key, const std::wstring& name) {
  std::uint32_t size = 0;
  ErrorCode rc = registry.QueryValue(key, name, nullptr, nullptr, &size);
  std::vector<std::uint8_t> data;
  // The value may grow between the size query and the read; a few rounds settle that.
  for (int round = 0; round < 4 && (rc == kSuccess || rc == kErrorMoreData); ++round) {
    data.assign(size, 0);
    std::uint32_t got = size;
    rc = registry.QueryValue(key, name, nullptr, data.data(), &got);
    if (rc == kSuccess) {
      data.resize(got);
      std::wstring units = FromRegistryUnits(data.data(), data.size());
      for (wchar_t& c : units) {
        if (c == L'\0') c = L'|';
      }
      return ToSnapshotText(units);
    }
    size = got;
  }
  return std::string();
}

// The line of one value, or nothing for an unnamed value and the types the snapshot skips.
std::string ValueLine(Registry& registry, RegKey key, const std::wstring& name, std::uint32_t type) {
  if (name.empty() || (type != kRegSz && type != kRegDword && type != kRegMultiSz)) return std::string();
  // Built by appending: GCC 12 misreads operator+ chains on temporaries (-Wrestrict).
  std::string line = "\"";
  line += ToSnapshotText(name);
  line += '"';
  if (type == kRegSz) {
    line += "=\"";
    line += ToSnapshotText(ReadStringValue(registry, key, name, L""));
    line += '"';
  } else if (type == kRegDword) {
    line += "=dword:";
    line += std::to_string(static_cast<std::int32_t>(ReadDwordValue(registry, key, name, 0)));
  } else {
    line += "=msz:\"";
    line += MultiStringText(registry, key, name);
    line += '"';
  }
  line += '\n';
  return line;
}

}  // namespace

std::string ToSnapshotText(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<std::uint32_t>(text[i]);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
      const auto low = static_cast<std::uint32_t>(text[i + 1]);
      if (low >= 0xDC00 && low < 0xE000) {
        PutUtf8(std::back_inserter(out), 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) c = 0xFFFD;
    PutUtf8(std::back_inserter(out), c);
  }
  return out;
}

void DumpRegistryKey(Registry& registry, TextFile& file, const std::wstring& keyPath, bool recurse) {
  RegKey key = kNoKey;
  // The tool's own view: on 64-bit Windows that is the 32-bit one, as for every key but the
  // spooler hooks' tracing key.
  if (registry.OpenKey(kHKeyLocalMachine, keyPath, kKeyRead, &key) != kSuccess) return;
  ScopedRegKey open(registry, key);
  std::string header = "\n[";
  header += ToSnapshotText(keyPath);
  header += "]\n";
  file.Write(header);
  // Enumeration ends at "no more items"; any other failure (the key deleted meanwhile, say)
  // would answer the same on every further index, so it ends the walk as well.
  for (std::uint32_t index = 0;; ++index) {
    std::wstring name;
    std::uint32_t type = kRegNone;
    const ErrorCode rc = registry.EnumValue(key, index, kNameBufferChars, &name, &type);
    if (rc == kErrorMoreData) continue;  // a name longer than the buffer is skipped
    if (rc != kSuccess) break;
    const std::string line = ValueLine(registry, key, name, type);
    if (!line.empty()) file.Write(line);
  }
  if (!recurse) return;
  for (std::uint32_t index = 0;; ++index) {
    std::wstring name;
    const ErrorCode rc = registry.EnumKey(key, index, kNameBufferChars, &name);
    if (rc == kErrorMoreData) continue;
    if (rc != kSuccess) break;
    DumpRegistryKey(registry, file, keyPath + L"\\" + name, true);
  }
}

std::vector<SnapshotRoot> SnapshotRoots() {
  return {{g_registryRoot, true},
          {L"SYSTEM\\CurrentControlSet\\Control\\Print", true},
          {L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", false},
          {L"SYSTEM\\CurrentControlSet\\Control\\ComputerName", true}};
}

bool WriteRegistrySnapshot(Registry& registry, const std::wstring& traceDirectory, TextFiles& textFiles) {
  try {
    const std::wstring path = traceDirectory + L"\\" + g_registrySnapshotFileName;
    std::unique_ptr<TextFile> file;
    if (textFiles.CreatePlainTextFile(path, &file) != kSuccess) return false;
    for (const SnapshotRoot& root : SnapshotRoots()) {
      try {
        DumpRegistryKey(registry, *file, root.keyPath, root.recurse);
      } catch (...) {
        // One root that fails (out of memory in a huge key, say) must not cost the others.
      }
    }
  } catch (...) {
    // Without a snapshot the logs still go into the archive.
    return false;
  }
  return true;
}

}  // namespace ov::logcollect
