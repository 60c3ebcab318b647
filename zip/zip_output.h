// The output sink: the archive's file, handle or memory area, written at its end.
#pragma once
#include <cstdint>

#include "zip/zip_writer_state.h"

namespace ov::zip {

// Takes the output by kind (Memory: length is the area's size) into zip; on failure what was
// taken is released with zip.
ZipResult OpenOutput(ZipArchive& zip, const ZipTarget& target, std::uint64_t length, ZipSourceKind kind);

// Appends size bytes at the end of the archive and returns how many were written. Anything
// short sets the sticky error.
std::uint32_t AppendOutput(ZipArchive& zip, const void* data, std::uint32_t size);

// Places the output at target, counted from the archive's start; a refusal sets the sticky error.
bool SeekOutput(ZipArchive& zip, std::uint64_t target);

// Writes size bytes over what stands at `at` and returns to the archive's end.
ZipResult OverwriteAt(ZipArchive& zip, std::uint64_t at, const void* data, std::uint32_t size);

// Where the output can seek, the archive ends again at memberStart: the next member or the
// directory overwrites what a refused member left.
void TakeBackMember(ZipArchive& zip, std::uint64_t memberStart);

// After the end record: nothing that a taken-back member left may trail it.
ZipResult CutAfterEnd(ZipArchive& zip);

}  // namespace ov::zip
