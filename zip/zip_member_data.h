// A member's data: stored as read, or deflated by the compressor.
#pragma once

#include "zip/zip_writer_state.h"

namespace ov::zip {

// Writes the member's source after its local header: the bytes as read for a stored member,
// the compressor's output for a deflated one (which marks the record's flags). Leaves the
// bytes written in member.compressedSize; false when the output took less than it was given
// or the compressor failed. A folder has no data and no source to call this with.
bool WriteMemberData(ZipArchive& zip, ZipMemberRecord& record);

}  // namespace ov::zip
