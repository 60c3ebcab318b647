// The writer's interface: creating an archive, adding a member step by step, and closing it.
#include "zip/zip_writer.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "platform/text.h"
#include "zip/zip_headers.h"
#include "zip/zip_member_data.h"
#include "zip/zip_output.h"
#include "zip/zip_source.h"
#include "zip/zip_writer_state.h"

namespace ov::zip {

namespace {

constexpr std::size_t kMaxNameBytes = 259;

// The tag tells an archive being created from anything else handed in by mistake.
ZipResult Unwrap(const ZipHandle* handle, ZipArchive** zip) {
  if (handle == nullptr || handle->archive == nullptr) return ZipResult::BadArguments;
  if (handle->tag != kZipCreateTag) return ZipResult::WrongHandleKind;
  *zip = handle->archive;
  return ZipResult::Ok;
}

// Turns the caller's name into the stored one: ANSI, "/" between folders, a folder's "/".
bool MemberName(const std::wstring& wide, bool folder, std::string* name) {
  if (wide.find(L'\0') != std::wstring::npos) return false;
  // Replacing before the conversion keeps the trail bytes of a double-byte code page intact.
  std::wstring slashed = wide;
  std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
  if (!platform::WideToAnsi(slashed, name) || name->empty()) return false;
  if (folder && name->back() != '/') name->push_back('/');
  return name->size() <= kMaxNameBytes;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

// Members whose names say they are compressed already are stored; Deflate would only add
// its block overhead. The suffix runs from the last "." of the whole name.
bool HasStoredSuffix(const std::string& name) {
  const auto dot = name.find_last_of('.');
  if (dot == std::string::npos) return false;
  const std::string_view suffix = std::string_view(name).substr(dot);
  for (std::string_view stored : {".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"}) {
    if (EqualsIgnoringCase(suffix, stored)) return true;
  }
  return false;
}

bool Append(ZipArchive& zip, const HeaderBytes& h) { return AppendOutput(zip, h.data(), h.size()) == h.size(); }

// The sizes the first local header gives. A reader that streams the archive can skip a
// stored member only by its size there; an unknown size is written as 0, as the format asks
// when the sizes follow the data.
std::uint64_t DeclaredSize(const MemberState& member) {
  return member.declaredSize < 0 ? 0 : static_cast<std::uint64_t>(member.declaredSize);
}
std::uint64_t FirstCompressedSize(const ZipMemberRecord& record, const MemberState& member) {
  return record.method == kMethodDeflated ? 0 : DeclaredSize(member);
}

// The record as far as it is known before the data; CRC and sizes follow it.
ZipMemberRecord NewRecord(const ZipArchive& zip, std::string name, bool folder) {
  const bool deflated = !folder && !HasStoredSuffix(name);
  ZipMemberRecord record;
  record.flags = kFlagSizesFollowData;
  record.localFlags = kFlagSizesFollowData;
  record.method = deflated ? kMethodDeflated : kMethodStored;
  record.dosTimestamp = zip.member.dosTimestamp;
  record.externalAttributes = zip.member.externalAttributes;
  record.name = std::move(name);
  record.localZip64 = NeedsLocalZip64(zip.member.declaredSize, deflated);
  record.localHeaderOffset = zip.outputOffset + zip.bytesWritten;
  record.centralExtra = CentralTimestamp(zip.member.modificationTime);
  return record;
}

ZipResult WriteFirstLocalHeader(ZipArchive& zip, const ZipMemberRecord& record) {
  const MemberState& member = zip.member;
  if (!Append(zip, LocalHeader(record, member, FirstCompressedSize(record, member), DeclaredSize(member)))) {
    return ZipResult::WriteFailed;
  }
  return zip.stickyError;
}

// Why a member whose data went out without an output fault still cannot be listed, or Ok.
ZipResult Unlistable(const ZipArchive& zip, const ZipMemberRecord& record, bool complete) {
  if (!complete) return ZipResult::WriteFailed;
  // A source that failed part-way would otherwise become a shorter member with a matching
  // CRC, and the loss would go unnoticed.
  if (zip.member.readFailed) return ZipResult::CannotOpenFile;
  // The local header was written without 64-bit sizes; a member that outgrew what was
  // declared past the 32-bit limit cannot be described there.
  if (!record.localZip64 && (zip.member.compressedSize >= kMax32 || zip.member.bytesRead >= kMax32)) {
    return ZipResult::WriteFailed;
  }
  return ZipResult::Ok;
}

// An output fault is sticky and leaves the member where it stands; a member that cannot be
// listed is taken back.
ZipResult WriteData(ZipArchive& zip, ZipMemberRecord& record, bool folder, std::uint64_t memberStart) {
  const bool complete = folder || WriteMemberData(zip, record);
  if (zip.stickyError != ZipResult::Ok) return zip.stickyError;
  const ZipResult refused = Unlistable(zip, record, complete);
  if (refused != ZipResult::Ok) TakeBackMember(zip, memberStart);
  return refused;
}

// With CRC and sizes known, a seekable output gets them in the rewritten local header, without
// the flag that says they follow the data; an output that cannot seek, in a data descriptor.
ZipResult SettleSizes(ZipArchive& zip, ZipMemberRecord& record, std::uint64_t memberStart) {
  const std::uint64_t firstCompressed = FirstCompressedSize(record, zip.member);
  record.crc = zip.member.crc;
  record.compressedSize = zip.member.compressedSize;
  record.uncompressedSize = zip.member.bytesRead;
  if (zip.outputSeekable) {
    record.flags &= static_cast<std::uint16_t>(~kFlagSizesFollowData);
    record.localFlags = record.flags;
    const HeaderBytes rewritten = LocalHeader(record, zip.member, record.compressedSize, record.uncompressedSize);
    if (ZipResult r = OverwriteAt(zip, memberStart, rewritten.data(), rewritten.size()); r != ZipResult::Ok) return r;
  } else {
    // Streaming readers skip a stored member by the size in its local header, which is out.
    if (record.method == kMethodStored && firstCompressed != record.compressedSize) return ZipResult::CannotChangeStorage;
    Append(zip, DataDescriptor(record));  // a short write is sticky, and reported below
    // Both headers then say the same: the sizes follow the data.
    record.flags = record.localFlags;
  }
  return zip.stickyError;
}

ZipResult WriteCentralDirectory(ZipArchive& zip) {
  // After an earlier fault the output may not stand at the archive's end any more.
  if (zip.stickyError != ZipResult::Ok && zip.outputSeekable && !SeekOutput(zip, zip.bytesWritten)) {
    return ZipResult::WriteFailed;
  }
  const std::uint64_t start = zip.bytesWritten;
  for (const ZipMemberRecord& record : zip.records) {
    if (!Append(zip, CentralHeader(record))) return ZipResult::WriteFailed;
  }
  // Without its end record an archive cannot be read at all, so this write is checked too.
  if (!Append(zip, EndRecords(zip.records.size(), zip.bytesWritten - start, zip.outputOffset + start))) {
    return ZipResult::WriteFailed;
  }
  return CutAfterEnd(zip);
}

}  // namespace

ZipHandle* CreateZipArchive(platform::FileIo& io, platform::Clock& clock, const ZipTarget& target,
                            std::uint64_t length, ZipSourceKind kind, ZipResult* result) {
  ZipResult ignored = ZipResult::Ok;
  ZipResult& outcome = result != nullptr ? *result : ignored;
  clock.RefreshTimeZone();  // each archive follows the time zone as it is now
  auto zip = std::make_unique<ZipArchive>(io, clock);
  outcome = OpenOutput(*zip, target, length, kind);
  if (outcome != ZipResult::Ok) return nullptr;
  return new ZipHandle{kZipCreateTag, zip.release()};
}

ZipResult AddZipMember(ZipHandle* handle, const std::wstring& wideName, const ZipTarget& source,
                       std::uint64_t length, ZipSourceKind kind) {
  ZipArchive* zip = nullptr;
  if (ZipResult r = Unwrap(handle, &zip); r != ZipResult::Ok) return r;
  const bool folder = kind == ZipSourceKind::Folder;
  std::string name;
  if (!MemberName(wideName, folder, &name)) return ZipResult::BadArguments;
  if (zip->stickyError != ZipResult::Ok) return ZipResult::AlreadyFailed;
  if (zip->closed) return ZipResult::AlreadyClosed;

  zip->member = MemberState{};
  const OwnedSourceCloser closer(*zip);
  if (ZipResult r = OpenSource(*zip, source, length, kind); r != ZipResult::Ok) return r;
  ZipMemberRecord record = NewRecord(*zip, std::move(name), folder);
  const std::uint64_t memberStart = zip->bytesWritten;
  if (ZipResult r = WriteFirstLocalHeader(*zip, record); r != ZipResult::Ok) return r;
  if (ZipResult r = WriteData(*zip, record, folder, memberStart); r != ZipResult::Ok) return r;
  if (ZipResult r = SettleSizes(*zip, record, memberStart); r != ZipResult::Ok) return r;
  zip->records.push_back(std::move(record));
  return ZipResult::Ok;
}

ZipResult CloseZipArchive(ZipHandle* handle) {
  ZipArchive* archive = nullptr;
  if (ZipResult r = Unwrap(handle, &archive); r != ZipResult::Ok) return r;
  const std::unique_ptr<ZipArchive> zip(archive);  // its output is released whatever the result
  delete handle;
  const ZipResult result = zip->closed ? ZipResult::Ok : WriteCentralDirectory(*zip);
  zip->closed = true;
  return result;
}

}  // namespace ov::zip
