// The writer under Wine, where member names meet the system's real ANSI code page: they
// convert to it exactly or not at all. (The rest of the Win32 path, files, handles and the
// readers' verdict, is the end-to-end session's; the file calls have their own contract.)
#include <gtest/gtest.h>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_fileio.h"
#include "zip/zip_writer.h"

namespace ov::zip {
namespace {

TEST(ZipWin32Test, NamesConvertExactlyOrNotAtAll) {
  platform::win32::Win32FileIo io;
  platform::win32::Win32Clock clock;
  ZipHandle* zip = CreateZipArchive(io, clock, ZipTarget{}, 65536, ZipSourceKind::Memory);  // the writer's own mapping
  ASSERT_NE(zip, nullptr);
  const ZipTarget data{L"", platform::kNoFile, "x"};
  EXPECT_EQ(AddZipMember(zip, L"caf\u00E9.log", data, 1, ZipSourceKind::Memory), ZipResult::Ok);
  // The code page's best fit would make these "/..": refused instead.
  EXPECT_EQ(AddZipMember(zip, L"a\uFF0F\uFF0E\uFF0E", data, 1, ZipSourceKind::Memory), ZipResult::BadArguments);
  EXPECT_EQ(CloseZipArchive(zip), ZipResult::Ok);
}

}  // namespace
}  // namespace ov::zip
