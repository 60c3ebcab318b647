// The compressor's output, pinned: digests of its streams over the benchmark corpora and
// the edge cases. A change that must leave the output alone (a faster search, a tidier
// block writer) leaves every line here as it is; deflate_check prints the same list for
// the corpora too large for a sanitised test run.
#include <algorithm>
#include <string>

#include "bench/deflate/corpora.h"

namespace ov::bench {
namespace {

// Bytes of each other trace layout in the quick set.
constexpr std::size_t kLayoutSlice = 1000000;

// name, then "<compressed bytes> <digest>" as Digest::Hex gives it.
constexpr struct {
  const char* name;
  const char* digest;
} kPinned[] = {
    {"trace", "7052299 fc4a63c446df08542bd6b1791ca0c984"},
    {"trace-sec", "5557763 e34b503c2716b9cca934155b956e1a21"},
    {"trace-usec", "7777623 41c12d890dd05bb46bb452f96e623d58"},
    {"trace-calls", "8051142 82c0dacfec1de07cc335b3bb7f070109"},
    {"trace-mixed", "8177843 103c927b4ce5785bb0ff9e7c4c7ee31c"},
    {"seed/empty_buffer1", "3 f725ed190df703c2af1ddecc66bf3849"},
    {"seed/mixed", "334 410a7599388d62516a8f046d66f4a7e1"},
    {"seed/noise", "2006 034264a124a8ed1d4ea645fe749cabe5"},
    {"seed/run", "21 d2f274cfcc37f5189345bed59929ce30"},
    {"seed/text", "371 fdb55c75a7dc1e15f89d06cae12a5088"},
    {"trace-3MB-reads-1000", "332743 f7e66b542457636610b060ba4993c3a2"},
    {"trace-3MB-reads-7-out-512", "45384 c8c9a000b1ff14bf3a0cc8965d98ab92"},
    {"trace-prefix-0", "2 0835ee07b4ee5316c0da50f5d50feed4"},
    {"trace-prefix-1", "3 5758111822717d6035de8dd62e8fdda0"},
    {"trace-prefix-2", "4 518abc0238581f70404f3111aa8d9337"},
    {"trace-prefix-3", "5 471ca3c4d243719280f1716088fb6b4d"},
    {"trace-prefix-4", "6 b8e64f72341c9e4f2f6f320574d73c1f"},
    {"trace-prefix-261", "160 2cb3adc8a7f7653bcbd8790ab236c496"},
    {"trace-prefix-262", "160 755e0083578336758dd0dfa496713b1d"},
    {"trace-prefix-263", "160 7561608357860f6c15bf400de9f1caa5"},
    {"trace-prefix-4096", "1247 1ee78fa32a6738004eff68c00701105e"},
    {"trace-prefix-32767", "4978 e79b3c502d248d7d3b8efa217b86da9e"},
    {"trace-prefix-32768", "4978 0b86f1b348f48cbdc72ad069d38b3a48"},
    {"trace-prefix-65273", "8494 1df6d3488666d244c0f2e3fc8ac96b3a"},
    {"trace-prefix-65274", "8494 7406438dad57530c9c11dcd4faccb94b"},
    {"trace-prefix-65275", "8494 89dd54dbc4005294be0fb543b8b3e363"},
    {"trace-prefix-65536", "8527 88a0a1623fb01c8130a1e5cbd7a711e5"},
    {"trace-prefix-65537", "8527 bec1497dc49517b516a72b43ecd2901e"},
    {"trace-prefix-98304", "12314 1ca46451468f29e8cad1ff7e27ca496b"},
    {"trace-prefix-200000", "23438 d1ebfea58083dedd2f4ad307605e9b0a"},
    {"run-1", "3 81cb35195c827b16c5db5c3a1ed0ce8f"},
    {"run-258", "6 268ae3464b8e2791430aba62e0c19833"},
    {"run-259", "6 e13f0b46244e323910607ad10f4f9598"},
    {"run-1000", "11 369857471dc2096bf3692061104fb930"},
    {"run-70000", "86 2e06cdd46d697f4c3012a1820a2ece22"},
    {"run-300000", "308 6610fa7efc9a74d4a08ece561ee94e1a"},
    {"noise-100", "105 21750479399fa3c02af25af962a8f6e1"},
    {"noise-1000", "1005 0eea431e6de6076eeb373305210a1e18"},
    {"noise-70000", "70015 893a2b848e33dc778d0a2a96a6691884"},
    {"noise-300000", "300050 1ea413ef8dbc055992757f9d59fd8af0"},
    {"alphabet-2", "61244 fc4569624a1841630ddcd5822ce824c1"},
    {"alphabet-4", "115507 bddbd014b6beb8751031aa207aeb8397"},
    {"alphabet-16", "228476 8f97d9f8b921d17ae865985d2ab36824"},
    {"repeats", "51891 c9509cebd932f86f59018486c2f3eab7"},
    {"trace-sec-slice", "88004 bc8b29dc2b8c0066c5aca08d133c43f1"},
    {"trace-usec-slice", "122738 36f1dbacd50dfb9da3820ce84dcfb0f5"},
    {"trace-calls-slice", "126789 ee58ca93d9df5a77ba218738845025b3"},
    {"trace-mixed-slice", "130096 7cff37e3c29aaee2c4533360770c652e"},
};

// The edge cases below were pinned with their own xorshift sequence, drawn in this order;
// drawing them from Rng would change the inputs and so lose the comparison with every
// build checked before.
struct Xorshift {
  std::uint64_t s = 88172645463325252ull;
  std::uint64_t Next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
};

}  // namespace

std::vector<PinnedCase> PinnedCases() {
  std::vector<PinnedCase> out;
  const Bytes trace = TraceBytes(3000000);
  out.push_back({"trace-3MB-reads-1000", trace, 1000});
  out.push_back({"trace-3MB-reads-7-out-512", TraceBytes(400000), 7, 512});
  // Sizes around the minimum lookahead, the slide point and the symbol buffer.
  for (std::size_t n : {0u, 1u, 2u, 3u, 4u, 261u, 262u, 263u, 4096u, 32767u, 32768u, 65273u, 65274u,
                        65275u, 65536u, 65537u, 98304u, 200000u}) {
    const auto end = trace.begin() + static_cast<std::ptrdiff_t>(n);
    out.push_back({"trace-prefix-" + std::to_string(n), Bytes(trace.begin(), end)});
  }
  for (std::size_t n : {1u, 258u, 259u, 1000u, 70000u, 300000u}) {
    out.push_back({"run-" + std::to_string(n), Bytes(n, 0x41)});
  }
  Xorshift rng;
  for (std::size_t n : {100u, 1000u, 70000u, 300000u}) {
    Bytes noise(n);
    for (auto& b : noise) b = static_cast<std::uint8_t>(rng.Next() >> 56);
    out.push_back({"noise-" + std::to_string(n), noise});
  }
  // Small alphabets give long chains, many matches and short distances.
  for (unsigned alphabet : {2u, 4u, 16u}) {
    Bytes data(400000);
    for (auto& b : data) b = static_cast<std::uint8_t>('a' + (rng.Next() >> 33) % alphabet);
    out.push_back({"alphabet-" + std::to_string(alphabet), data});
  }
  // Repeats of random blocks at random distances, some far, some overlapping.
  Bytes data;
  while (data.size() < 500000) {
    if (data.size() > 1000 && rng.Next() % 3 != 0) {
      const std::size_t dist = 1 + rng.Next() % std::min<std::size_t>(data.size(), 40000);
      const std::size_t len = 3 + rng.Next() % 300;
      for (std::size_t i = 0; i < len; ++i) data.push_back(data[data.size() - dist]);
    } else {
      for (int i = 0; i < 20; ++i) data.push_back(static_cast<std::uint8_t>(rng.Next() >> 56));
    }
  }
  out.push_back({"repeats", data});
  // A slice of every other trace layout.
  for (NamedCorpus& layout : TraceCorpora(kLayoutSlice)) {
    if (layout.name != "trace") out.push_back({layout.name + "-slice", std::move(layout.data)});
  }
  return out;
}

std::string ExpectedDigest(std::string_view name) {
  for (const auto& p : kPinned) {
    if (name == p.name) return p.digest;
  }
  return {};
}

}  // namespace ov::bench
