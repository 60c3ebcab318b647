// The output sink: creating or taking the output, writing, seeking, and releasing it.
#include "zip/zip_output.h"

#include <algorithm>
#include <cstring>

namespace ov::zip {

namespace {

using platform::kNoFile;
using platform::kSuccess;

// Writes at the output's current position without counting; the header rewrite uses it
// directly, everything else through AppendOutput.
std::uint32_t WriteOutput(ZipArchive& zip, const void* data, std::uint32_t size) {
  if (zip.memory != nullptr) {
    // The last byte of the area is never used.
    if (zip.memoryPosition + size < zip.memorySize) {
      if (size > 0) std::memcpy(zip.memory + zip.memoryPosition, data, size);
      zip.memoryPosition += size;
      return size;
    }
    zip.SetSticky(ZipResult::MemoryTooSmall);
    return 0;
  }
  if (zip.output == kNoFile) {
    zip.SetSticky(ZipResult::NotInitialised);
    return 0;
  }
  std::uint32_t written = 0;
  const platform::ErrorCode error = zip.io->Write(zip.output, data, size, &written);
  // After a failed or short write the output's end is no longer where the counts say, so no
  // further member may be placed after it.
  if (error != kSuccess || written != size) zip.SetSticky(ZipResult::WriteFailed);
  return written;
}

ZipResult OpenFile(ZipArchive& zip, const std::wstring& path) {
  if (path.empty()) return ZipResult::BadArguments;
  if (zip.io->Open(path, platform::kAccessWrite, platform::kShareNone, platform::kCreateAlways,
                   platform::kAttributeNormal, &zip.output) != kSuccess) {
    return ZipResult::CannotOpenFile;
  }
  zip.outputSeekable = true;
  return ZipResult::Ok;
}

ZipResult TakeHandle(ZipArchive& zip, platform::FileHandle handle) {
  if (handle == kNoFile || zip.io->Duplicate(handle, &zip.output) != kSuccess) return ZipResult::CannotDuplicateHandle;
  platform::FileType type = platform::FileType::Unknown;
  if (zip.io->QueryType(zip.output, &type) != kSuccess) type = platform::FileType::Unknown;
  zip.outputSeekable = type == platform::FileType::Disk;
  // The archive starts where the caller's file stands; every stored offset counts from the
  // start of the file.
  if (zip.outputSeekable &&
      zip.io->Seek(zip.output, 0, platform::SeekOrigin::Current, &zip.outputOffset) != kSuccess) {
    return ZipResult::SeekFailed;
  }
  return ZipResult::Ok;
}

ZipResult TakeMemory(ZipArchive& zip, const void* area, std::uint64_t length) {
  if (length == 0) return ZipResult::MemoryTooSmall;
  if (area != nullptr) {
    // The caller hands in the area for the writer to fill.
    zip.memory = static_cast<std::uint8_t*>(const_cast<void*>(area));
  } else {
    void* view = nullptr;
    if (zip.io->CreateAnonymousMapping(length, &zip.mapping) != kSuccess) return ZipResult::CannotAllocate;
    if (zip.io->MapView(zip.mapping, length, &view) != kSuccess || view == nullptr) return ZipResult::CannotAllocate;
    zip.memory = static_cast<std::uint8_t*>(view);
  }
  zip.memorySize = length;
  zip.outputSeekable = true;
  return ZipResult::Ok;
}

}  // namespace

ZipArchive::~ZipArchive() {
  if (mapping != kNoFile) {
    if (memory != nullptr) io->UnmapView(memory);
    io->Close(mapping);
  }
  if (output != kNoFile) io->Close(output);
}

ZipResult OpenOutput(ZipArchive& zip, const ZipTarget& target, std::uint64_t length, ZipSourceKind kind) {
  switch (kind) {
    case ZipSourceKind::FileName: return OpenFile(zip, target.path);
    case ZipSourceKind::Handle: return TakeHandle(zip, target.handle);
    case ZipSourceKind::Memory: return TakeMemory(zip, target.memory, length);
    default: return ZipResult::BadArguments;
  }
}

std::uint32_t AppendOutput(ZipArchive& zip, const void* data, std::uint32_t size) {
  const std::uint32_t written = WriteOutput(zip, data, size);
  zip.bytesWritten += written;
  zip.highWater = std::max(zip.highWater, zip.bytesWritten);
  return written;
}

bool SeekOutput(ZipArchive& zip, std::uint64_t target) {
  if (!zip.outputSeekable) {
    zip.SetSticky(ZipResult::SeekFailed);
    return false;
  }
  if (zip.memory != nullptr) {
    if (target >= zip.memorySize) {
      zip.SetSticky(ZipResult::MemoryTooSmall);
      return false;
    }
    zip.memoryPosition = target;
    return true;
  }
  if (zip.output == kNoFile) {
    zip.SetSticky(ZipResult::NotInitialised);
    return false;
  }
  const std::uint64_t position = zip.outputOffset + target;
  if (position > static_cast<std::uint64_t>(INT64_MAX) ||
      zip.io->Seek(zip.output, static_cast<std::int64_t>(position), platform::SeekOrigin::Begin, nullptr) != kSuccess) {
    zip.SetSticky(ZipResult::SeekFailed);
    return false;
  }
  return true;
}

ZipResult OverwriteAt(ZipArchive& zip, std::uint64_t at, const void* data, std::uint32_t size) {
  if (!SeekOutput(zip, at)) return ZipResult::SeekFailed;
  if (WriteOutput(zip, data, size) != size) return ZipResult::WriteFailed;
  if (!SeekOutput(zip, zip.bytesWritten)) return ZipResult::SeekFailed;
  return ZipResult::Ok;
}

// Readers that walk the local headers then meet no half-written member. A stream keeps it,
// unlisted: what went out cannot be called back.
void TakeBackMember(ZipArchive& zip, std::uint64_t memberStart) {
  if (zip.outputSeekable && SeekOutput(zip, memberStart)) zip.bytesWritten = memberStart;
}

// Readers look for the end record at the very end, so a member taken back that had reached
// further than the archive now does must leave nothing there.
ZipResult CutAfterEnd(ZipArchive& zip) {
  if (zip.highWater <= zip.bytesWritten) return ZipResult::Ok;
  if (zip.memory != nullptr) {
    const std::uint64_t stop = std::min(zip.outputOffset + zip.highWater, zip.memorySize);
    std::memset(zip.memory + zip.memoryPosition, 0, static_cast<std::size_t>(stop - zip.memoryPosition));
    return ZipResult::Ok;
  }
  return zip.io->TruncateAtPosition(zip.output) == kSuccess ? ZipResult::Ok : ZipResult::WriteFailed;
}

}  // namespace ov::zip
