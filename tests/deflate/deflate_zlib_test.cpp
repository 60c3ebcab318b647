// Round trips through zlib's inflate, an independent decoder, over one input of each shape:
// runs, noise, text past many window slides, small alphabets, far copies and records.
#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/deflate/deflate_support.h"

namespace ov::zip::test {
namespace {

using bench::RandomBytes;

TEST(DeflateZlib, EveryShapeInflatesBack) {
  Bytes mixed;
  for (int i = 0; i < 4; ++i) {
    const Bytes text = bench::TraceBytes(200000, 100 + i);
    const Bytes noise = RandomBytes(60000 + 1000 * i, 200 + i);
    mixed.insert(mixed.end(), text.begin(), text.end());
    mixed.insert(mixed.end(), noise.begin(), noise.end());
  }
  const struct {
    const char* name;
    Bytes input;
  } cases[] = {
      {"empty", {}},
      {"two bytes", {0x00, 0x00}},
      {"long run", Bytes(1000000, 'x')},
      {"random 1 MB", RandomBytes(1000000, 2)},
      {"text 2 MB", bench::TraceBytes(2000000, 5)},
      {"random letters", RandomBytes(500000, 6, 'a', 26)},
      {"two letters: best matches closer than their length", RandomBytes(200000, 13, 'a', 2)},
      {"literals and long copies", bench::LiteralsAndCopies(1000000, 7)},
      {"binary records", bench::RecordBytes(1000000, 9)},
      {"text and noise", mixed},
  };
  for (const auto& c : cases) {
    const MemoryIo run = RunDeflate(c.input);
    EXPECT_EQ(run.result, 0u) << c.name << ": " << run.error;
    EXPECT_EQ(run.compressedBytes, run.output.size()) << c.name;
    EXPECT_TRUE(ZlibInflatesTo(run.output, c.input)) << c.name;
  }
}

}  // namespace
}  // namespace ov::zip::test
