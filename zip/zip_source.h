// Members' sources: opening each kind, what the headers say of it, and reading its bytes.
#pragma once
#include <cstdint>

#include "zip/zip_writer_state.h"

namespace ov::zip {

// Opens the member's source by kind into zip.member, with what its headers will say of it:
// external attributes, declared size and times. length is a Memory source's size, or a
// non-disk Handle's when the caller knows it.
ZipResult OpenSource(ZipArchive& zip, const ZipTarget& source, std::uint64_t length, ZipSourceKind kind);

// The member reader: fills buffer from the source, adds the bytes to the member's count and
// CRC, and returns how many came; 0 at the end or at member.readLimit (a read error also ends
// the input, and is remembered in member.readFailed).
std::uint32_t ReadMemberData(ZipArchive& zip, std::uint8_t* buffer, std::uint32_t size);

// Closes the member's source, if the writer opened it, when the add ends, whichever way.
class OwnedSourceCloser {
 public:
  explicit OwnedSourceCloser(ZipArchive& zip) : m_zip(zip) {}
  ~OwnedSourceCloser();
  OwnedSourceCloser(const OwnedSourceCloser&) = delete;
  OwnedSourceCloser& operator=(const OwnedSourceCloser&) = delete;

 private:
  ZipArchive& m_zip;
};

}  // namespace ov::zip
