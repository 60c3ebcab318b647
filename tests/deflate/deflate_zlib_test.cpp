// Round trips through zlib's inflate, an independent decoder, over inputs of every kind
// and size; and, where zlib at level 8 makes the same choices, the same parse or bytes.
#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/deflate/deflate_support.h"

namespace ov::zip::test {
namespace {

// zlib's raw inflate; true only when the whole stream is used and gives back `expected`.
bool ZlibInflatesTo(const Bytes& stream, const Bytes& expected) {
  Bytes back(expected.size() + 1);
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = back.data();
  z.avail_out = static_cast<uInt>(back.size());
  const bool whole = inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_in == 0;
  back.resize(z.total_out);
  inflateEnd(&z);
  return whole && back == expected;
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
  for (std::uint32_t counter = 0; out.size() < n;) {
    counter += 1 + noise.Below(3);
    const std::uint32_t fields[4] = {counter, 0x00010000u + noise.Below(4), 0, noise.Below(1000)};
    const auto* p = reinterpret_cast<const std::uint8_t*>(fields);
    out.insert(out.end(), p, p + sizeof fields);
  }
  out.resize(n);
  return out;
}

// The literals and matches of a stream, which must have no stored block to hide them.
std::vector<Symbol> Parse(const Traced& traced) {
  EXPECT_EQ(traced.error, "");
  std::vector<Symbol> symbols;
  for (const Block& block : traced.blocks) {
    EXPECT_NE(block.type, 0);
    symbols.insert(symbols.end(), block.symbols.begin(), block.symbols.end());
  }
  return symbols;
}

// zlib at level 8 runs the same search and block construction; it only ends blocks at
// other symbol counts. Where zlib writes one block (every input below 4096 symbols), the
// streams must agree byte for byte; elsewhere, where blocks end has no say in the parse,
// so over any length, slides and counter wraps included, it must be zlib's symbol for
// symbol.
TEST(DeflateZlib, EveryInputInflatesBackAndParsesAsZlibLevel8) {
  Bytes mixed;
  for (int i = 0; i < 8; ++i) {
    const Bytes text = TraceText(200000, 100 + i), noise = RandomBytes(60000 + 1000 * i, 200 + i);
    mixed.insert(mixed.end(), text.begin(), text.end());
    mixed.insert(mixed.end(), noise.begin(), noise.end());
  }
  // Chain ranks are built on the ranks of positions that may have slid out; the budget
  // must still count the same links once the window has moved on.
  Bytes slidThenBudget = TraceText(150000, 11);
  for (const Bytes& budget : {BeyondTheChainBudget(), BeyondTheChainBudget()}) {
    slidThenBudget.insert(slidThenBudget.end(), budget.begin(), budget.end());
  }
  const struct {
    const char* name;
    Bytes input;
    bool sameAsZlib;
  } cases[] = {
      {"empty", {}, true},
      {"one byte", {0xFF}, true},
      {"two bytes", {0x00, 0x00}, false},
      {"three equal bytes", Bytes(3, 7), false},
      {"run of 262", Bytes(262, 1), true},
      {"long run", Bytes(1000000, 'x'), true},
      {"random 2000", RandomBytes(2000, 1), true},
      {"random 1 MB", RandomBytes(1000000, 2), false},
      {"text 8 KB", TraceText(8000, 3), true},
      {"text exactly 65274", TraceText(65274, 4), false},
      {"text 65275", TraceText(65275, 4), false},
      {"text 2 MB", TraceText(2000000, 5), true},
      {"random letters", RandomBytes(500000, 6, 'a', 26), true},
      {"two letters: best matches closer than their length", RandomBytes(200000, 13, 'a', 2), true},
      {"literals and long copies", LiteralsAndLongCopies(1000000, 7), true},
      {"binary records 1 MB", Records(1000000, 9), true},
      {"match beyond the chain budget", BeyondTheChainBudget(), true},
      {"chain budget after the window slid", slidThenBudget, true},
      {"text and noise, 2 MB", mixed, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const MemoryIo run = RunDeflate(c.input);
    ASSERT_EQ(run.result, 0u) << run.error;
    EXPECT_EQ(run.compressedBytes, run.output.size());
    EXPECT_TRUE(ZlibInflatesTo(run.output, c.input));
    if (!c.sameAsZlib) continue;
    const Bytes zlib = ZlibLevel8(c.input);
    const Traced theirs = TraceInflate(zlib).Run();
    if (theirs.blocks.size() == 1) {
      EXPECT_TRUE(run.output == zlib)
          << "ours " << run.output.size() << " bytes, zlib " << zlib.size();
      continue;
    }
    const std::vector<Symbol> ours = Parse(TraceInflate(run.output).Run()), zlibs = Parse(theirs);
    ASSERT_EQ(ours.size(), zlibs.size());
    for (std::size_t i = 0; i < ours.size(); ++i)
      ASSERT_TRUE(ours[i] == zlibs[i]) << "symbol " << i;
  }
}

}  // namespace
}  // namespace ov::zip::test
