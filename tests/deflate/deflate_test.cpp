// The compressor's streams: pinned by digest over the corpora and edge cases, exact bytes
// where they can be worked out by hand, the search limits that explain a changed digest,
// and what happens when a check or the output fails.
#include <gtest/gtest.h>

#include <memory>

#include "tests/deflate/deflate_support.h"
#include "zip/deflate_state.h"

namespace ov::zip::test {
namespace {

using bench::RandomBytes;
using bench::TraceBytes;

TEST(Deflate, StreamsKeepTheirPinnedDigests) {
  for (const bench::PinnedCase& c : bench::PinnedCases()) {
    const std::size_t chunk = c.readChunk != 0 ? c.readChunk : kWhole;
    const MemoryIo run = RunDeflate(c.input, c.outputSize, chunk, false);
    EXPECT_EQ(run.result, 0u) << c.name << ": " << run.error;
    EXPECT_EQ(run.digest.Hex(), bench::ExpectedDigest(c.name)) << c.name;
  }
}

TEST(Deflate, SmallInputsGiveTheStreamsWorkedOutByHand) {
  // Bytes 0xA0 and on cost 9 bits each in the fixed code: 14 of them and the end-of-block
  // code take 17 bytes as a fixed block against 18 stored; 15 take 19 either way, and a tie
  // goes out stored.
  std::string high(15, '\0');
  for (std::size_t i = 0; i < high.size(); ++i) high[i] = static_cast<char>(0xA0 + i);
  Bytes stored = {0x01, 0x0F, 0x00, 0xF0, 0xFF};  // final stored block, length 15 and ~15
  stored.insert(stored.end(), high.begin(), high.end());
  const struct {
    std::string input;
    Bytes expected;
  } cases[] = {
      {"", {0x03, 0x00}},         // one final fixed block with only the end-of-block code
      {"a", {0x4B, 0x04, 0x00}},  // header 1,01; literal 'a' as 0x91 in 8 bits; end of block
      // Two literals (position 0 is never a match candidate), then length 8 at distance 1
      // as code 262 with distance code 0.
      {"aaaaaaaaaa", {0x4B, 0x4C, 0x84, 0x01, 0x00}},
      // Literals "xabcd_", (3, 4) for "bcd", "ef_a", then (5, 7): the 4-byte match at the
      // second 'a' waits, because the next byte starts a 5-byte one.
      {"xabcd_bcdef_abcdef",
       {0xAB, 0x48, 0x4C, 0x4A, 0x4E, 0x89, 0x07, 0xE2, 0xD4, 0xB4, 0xF8, 0x44, 0x30, 0x05,
        0x00}},
      {high.substr(0, 14),
       {0x5B, 0xB0, 0x70, 0xD1, 0xE2, 0x25, 0x4B, 0x97, 0x2D, 0x5F, 0xB1, 0x72, 0xD5, 0xEA, 0x35,
        0x6B, 0x01}},
      {high, stored},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input.substr(0, 20));
    const MemoryIo run = RunDeflate(Bytes(c.input.begin(), c.input.end()));
    EXPECT_EQ(run.result, 0u) << run.error;
    EXPECT_EQ(run.output, c.expected);
    EXPECT_EQ(run.compressedBytes, c.expected.size());
  }
}

std::size_t CompressedSize(const Bytes& input) {
  return RunDeflate(input, 16384, kWhole, false).digest.bytes;
}

TEST(Deflate, MatchesReachBack32506BytesAndNoFurther) {
  // Noise repeated exactly gap bytes later amid zeros: the hash head at the repeat points
  // straight back at the original, so only the distance limit decides.
  const auto size = [](std::size_t gap) {
    Bytes input(gap + 8000, 0);
    const Bytes noise = RandomBytes(100, 99);
    std::copy(noise.begin(), noise.end(), input.begin() + 1000);
    std::copy(noise.begin(), noise.end(), input.begin() + static_cast<std::ptrdiff_t>(1000 + gap));
    return CompressedSize(input);
  };
  EXPECT_GT(size(32507), size(32506) + 80) << "a repeat at 32506 missed, or one at 32507 taken";
}

TEST(Deflate, OutputDoesNotDependOnBufferSizeOrReadChunks) {
  // Text and noise: stored blocks go to the writer past the buffer.
  Bytes input = TraceBytes(90000, 8);
  const Bytes noise = RandomBytes(40000, 9);
  input.insert(input.end(), noise.begin(), noise.end());
  const MemoryIo reference = RunDeflate(input);
  EXPECT_EQ(reference.compressedBytes, reference.output.size());
  for (std::uint32_t size : {1u, 2u, 3u, 7u, 8u, 9u, 100u, 65536u}) {
    EXPECT_TRUE(RunDeflate(input, size).output == reference.output) << "buffer " << size;
  }
  for (std::size_t chunk : {1u, 7u, 261u, 262u, 5000u}) {
    EXPECT_TRUE(RunDeflate(input, 16384, chunk).output == reference.output) << "reads of " << chunk;
  }
}

TEST(Deflate, FailedCheckStillRunsTheMemberToItsEndAndKeepsTheFirstError) {
  const Bytes input = TraceBytes(100000, 10);
  MemoryIo mem{.input = &input};
  Bytes buffer(16384);
  const DeflateIo io{&MemoryIo::Read, &MemoryIo::Write, &mem, buffer.data(), 16384};
  auto state = std::make_unique<deflate::DeflateState>();
  deflate::InitState(*state, io);
  state->level = 9;
  EXPECT_EQ(deflate::CompressMember(*state, &mem.compressedBytes, &mem.error), kDeflateFailed);
  EXPECT_EQ(mem.error, "bad pack level");
  EXPECT_EQ(mem.compressedBytes, mem.output.size());
  EXPECT_TRUE(mem.output == RunDeflate(input).output) << "the member was not run to its end";

  deflate::InitState(*state, io);
  deflate::InitTrees(*state);
  deflate::Tally(*state, 32508, 0);  // distance - 1 = 32507: beyond the window's reach
  deflate::SendBits(*state, 0, 0);   // a second failure
  EXPECT_STREQ(state->error, "ct_tally: bad match");
}

TEST(Deflate, RefusedWriteOrMissingCallbacksEndTheMemberWithTheFailureCode) {
  // Several buffers of output; and a stored block, which bypasses the buffer.
  const Bytes text = TraceBytes(400000, 11), noise = RandomBytes(20000, 12);
  for (const auto& [input, failing] : {std::pair{&text, 0}, {&text, 1}, {&text, 2}, {&noise, 1}}) {
    SCOPED_TRACE(failing);
    const MemoryIo run = RunDeflate(*input, 16384, kWhole, true, failing);
    EXPECT_EQ(run.result, kDeflateFailed);
    EXPECT_EQ(run.writes, failing + 1) << "the writer was called again after refusing";
    EXPECT_EQ(run.compressedBytes, run.output.size());
  }
  // Nowhere to read from or write to.
  std::uint64_t compressed = 99;
  std::string error;
  EXPECT_EQ(DeflateStream(DeflateIo{}, &compressed, &error), kDeflateFailed);
  EXPECT_EQ(compressed, 0u);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace ov::zip::test
