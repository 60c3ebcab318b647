// A member's data through the transfer buffer: copied as stored, or through the compressor.
#include "zip/zip_member_data.h"

#include "zip/deflate.h"
#include "zip/zip_headers.h"
#include "zip/zip_output.h"
#include "zip/zip_source.h"

namespace ov::zip {

namespace {

std::uint32_t ReadForCompressor(void* context, std::uint8_t* buffer, std::uint32_t size) {
  return ReadMemberData(*static_cast<ZipArchive*>(context), buffer, size);
}

void WriteForCompressor(void* context, std::uint8_t* buffer, std::uint32_t* fill) {
  // A short write has already set the archive's sticky error, which fails the member; the
  // pending count is dropped once anything went out, as the compressor expects.
  if (AppendOutput(*static_cast<ZipArchive*>(context), buffer, *fill) > 0) *fill = 0;
}

bool Deflate(ZipArchive& zip, ZipMemberRecord& record) {
  // For the Deflate method these flag bits mean "maximum compression"; the fixed level counts
  // as that.
  record.flags |= kFlagMaximumCompression;
  DeflateIo io;
  io.read = &ReadForCompressor;
  io.write = &WriteForCompressor;
  io.context = &zip;
  io.outputBuffer = zip.transfer.data();
  io.outputSize = kTransferBufferSize;
  std::uint64_t compressed = 0;
  const std::uint32_t result = DeflateStream(io, &compressed, nullptr);
  zip.member.compressedSize = compressed;
  return result == 0;
}

bool Copy(ZipArchive& zip) {
  for (;;) {
    const std::uint32_t got = ReadMemberData(zip, zip.transfer.data(), kTransferBufferSize);
    if (got == 0) return true;
    const std::uint32_t written = AppendOutput(zip, zip.transfer.data(), got);
    zip.member.compressedSize += written;
    if (written != got) return false;
  }
}

}  // namespace

bool WriteMemberData(ZipArchive& zip, ZipMemberRecord& record) {
  return record.method == kMethodDeflated ? Deflate(zip, record) : Copy(zip);
}

}  // namespace ov::zip
