// DeflateMember: connects the member compressor to the archive writer's reader and output.
#include "zip/deflate.h"
#include "zip/zip_archive.h"

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

}  // namespace

std::uint32_t DeflateMember(ZipArchive& zip, ZipMemberRecord& record) {
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
  zip.memberCompressedSize = compressed;
  return result == 0 ? 0 : kDeflateFailed;
}

}  // namespace ov::zip
