// Round trips through zlib's inflate, an independent decoder, over inputs of every kind
// and size; and, where zlib at level 8 makes the same choices, the very same bytes.
#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/deflate/deflate_support.h"
#include "tests/deflate/trace_inflate.h"

namespace ov::zip::test {
namespace {

bool ZlibInflate(const Bytes& stream, Bytes* out, std::string* error) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  std::uint8_t chunk[65536];
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    out->insert(out->end(), chunk, chunk + (sizeof chunk - z.avail_out));
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
  }
  const bool ok = rc == Z_STREAM_END && z.avail_in == 0;
  if (!ok) *error = z.msg != nullptr ? z.msg : "stream ended early or has trailing bytes";
  inflateEnd(&z);
  return ok;
}

Bytes ZlibLevel8(const Bytes& input) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out(deflateBound(&z, static_cast<uLong>(input.size())));
  z.next_in = const_cast<Bytef*>(input.data());
  z.avail_in = static_cast<uInt>(input.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Binary with structure: little-endian records with counters and repeating fields.
Bytes Records(std::size_t n, std::uint64_t seed) {
  Noise noise(seed);
  Bytes out;
  std::uint32_t counter = 0;
  while (out.size() < n) {
    counter += 1 + noise.Below(3);
    const std::uint32_t fields[4] = {counter, 0x00010000u + noise.Below(4), 0, noise.Below(1000)};
    const auto* p = reinterpret_cast<const std::uint8_t*>(fields);
    out.insert(out.end(), p, p + sizeof fields);
  }
  out.resize(n);
  return out;
}

struct Case {
  const char* name;
  Bytes input;
};


std::vector<Case> RoundTripCases() {
  Bytes mixed;
  for (int i = 0; i < 8; ++i) {
    const Bytes text = TraceText(200000, 100 + i);
    const Bytes noise = RandomBytes(60000 + 1000 * i, 200 + i);
    mixed.insert(mixed.end(), text.begin(), text.end());
    mixed.insert(mixed.end(), noise.begin(), noise.end());
  }
  return {
      {"empty", {}},
      {"one byte", {0xFF}},
      {"two bytes", {0x00, 0x00}},
      {"three equal bytes", Repeated(3, 7)},
      {"run of 262", Repeated(262, 1)},
      {"long run", Repeated(1000000, 'x')},
      {"random 1000", RandomBytes(1000, 1)},
      {"random 3 MB", RandomBytes(3000000, 2)},
      {"text 10 KB", TraceText(10000, 3)},
      {"text exactly 65274", TraceText(65274, 4)},
      {"text 65275", TraceText(65275, 4)},
      {"text 6 MB", TraceText(6000000, 5)},
      {"random letters", RandomLetters(500000, 6)},
      {"literals and long copies", LiteralsAndLongCopies(1000000, 7)},
      {"binary records", Records(2000000, 8)},
      {"text and noise, 2 MB", mixed},
  };
}

TEST(DeflateZlib, EveryInputInflatesBackThroughZlib) {
  for (const Case& c : RoundTripCases()) {
    SCOPED_TRACE(c.name);
    const DeflateRun run = RunDeflate(c.input);
    ASSERT_EQ(run.result, 0u) << run.error;
    EXPECT_EQ(run.compressedBytes, run.output.size());
    Bytes back;
    std::string error;
    EXPECT_TRUE(ZlibInflate(run.output, &back, &error)) << error;
    EXPECT_TRUE(back == c.input) << "inflated " << back.size() << " of " << c.input.size();
  }
}

// zlib at level 8 runs the same search and block construction; it only ends blocks at
// other symbol counts. Inputs that stay below 4096 symbols are one block for both, and
// the streams must agree byte for byte.
TEST(DeflateZlib, SingleBlockStreamsEqualZlibLevel8) {
  const Case cases[] = {
      {"empty", {}},
      {"one byte", {'a'}},
      {"ten equal bytes", Repeated(10, 'a')},
      {"long run", Repeated(50000, 0)},
      {"random 2000", RandomBytes(2000, 11)},
      {"text 8 KB", TraceText(8000, 12)},
      {"random letters", RandomLetters(3000, 13)},
      {"binary records", Records(20000, 14)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DeflateRun run = RunDeflate(c.input);
    ASSERT_EQ(run.result, 0u) << run.error;
    EXPECT_TRUE(run.output == ZlibLevel8(c.input))
        << "ours " << run.output.size() << " bytes, zlib " << ZlibLevel8(c.input).size();
  }
}

// Where blocks end has no say in how the input is parsed into literals and matches, so
// over any length, slides included, the parse must be zlib level 8's symbol for symbol
// (inputs chosen so that neither side stores a block, which would hide its symbols).
std::vector<TracedSymbol> Parse(const Bytes& stream) {
  const TracedStream traced = TraceInflate(stream);
  EXPECT_TRUE(traced.ok) << traced.error;
  std::vector<TracedSymbol> symbols;
  for (const TracedBlock& block : traced.blocks) {
    EXPECT_NE(block.type, 0);
    symbols.insert(symbols.end(), block.symbols.begin(), block.symbols.end());
  }
  return symbols;
}

TEST(DeflateZlib, ParseEqualsZlibLevel8AcrossBlocksAndSlides) {
  const Case cases[] = {
      {"text 3 MB", TraceText(3000000, 21)},
      {"random letters", RandomLetters(600000, 22)},
      {"literals and long copies", LiteralsAndLongCopies(1000000, 23)},
      {"binary records", Records(2000000, 24)},
      {"long run", Repeated(1000000, 'x')},
      {"match beyond the chain budget", BeyondTheChainBudget()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DeflateRun run = RunDeflate(c.input);
    ASSERT_EQ(run.result, 0u) << run.error;
    const std::vector<TracedSymbol> ours = Parse(run.output);
    const std::vector<TracedSymbol> theirs = Parse(ZlibLevel8(c.input));
    ASSERT_EQ(ours.size(), theirs.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
      ASSERT_TRUE(ours[i].length == theirs[i].length && ours[i].distance == theirs[i].distance &&
                  ours[i].literal == theirs[i].literal)
          << "symbol " << i;
    }
  }
}

}  // namespace
}  // namespace ov::zip::test
