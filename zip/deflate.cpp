// The Deflate compressor's driver: the sliding window, the hash chains, the longest-match
// search and the lazy evaluation that turns the input into literals and matches.
#include "zip/deflate.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "zip/deflate_state.h"

namespace ov::zip {
namespace deflate {
namespace {

std::uint16_t Load16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Adds position pos to its hash chain; returns the chain's previous head. Every position
// is inserted in order, so the running hash of the three bytes at pos equals this direct
// form, which does not make each insertion wait for the one before.
unsigned InsertString(DeflateState& s, unsigned pos) {
  const std::uint8_t* p = s.window + pos;
  s.insHash = ((static_cast<unsigned>(p[0]) << (2 * kHashShift)) ^
               (static_cast<unsigned>(p[1]) << kHashShift) ^ p[2]) &
              kHashMask;
  const unsigned head = s.head[s.insHash];
  s.prev[pos & kWMask] = static_cast<std::uint16_t>(head);
  s.rank[pos & kWMask] = static_cast<std::uint16_t>(s.rank[head & kWMask] + 1);
  s.head[s.insHash] = static_cast<std::uint16_t>(pos);
  return head;
}

// Hash of the gram (kGramLength bytes) at p.
unsigned GramHash(const std::uint8_t* p) {
  static_assert(kGramLength < 8);
  // The eight bytes loaded hold the gram in their low bytes (little-endian); the multiplier
  // shifted left by the two bytes beyond the gram pushes those bytes out past bit 63, so
  // the product's top bits depend on the gram alone, without a shift of the loaded word.
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull << (64 - 8 * kGramLength);
  return static_cast<unsigned>((Load64(p) * kMultiplier) >> (64 - kGramHashBits));
}

// Makes position p the head of its gram's chain.
void LinkGram(DeflateState& s, unsigned p) {
  const unsigned h = GramHash(s.window + p);
  s.gramPrev[p & kWMask] = s.gramHead[h];
  s.gramHead[h] = static_cast<std::uint16_t>(p);
}

// Links the positions before `to` into the gram chains. Only done while the input reaches
// far enough beyond them that every gram hashed is final.
void CatchUpGrams(DeflateState& s, unsigned to) {
  for (unsigned p = s.gramPos; p < to; ++p) LinkGram(s, p);
  if (s.gramPos < to) s.gramPos = to;
}

// Inserts the positions from..last inside a match into the 3-byte chains. Where the input
// ends at or beyond `end`, so every gram hashed is final, the same pass links them into
// the gram chains too; otherwise the next search catches them up. Inside a match the
// running 3-byte hash is cheapest: each is the last one with one byte shifted in.
// Most positions are inserted here, so the loop that also links grams is a loop of its own
// rather than a test per position (measured: 1-2 % of the whole compression).
void InsertInside(DeflateState& s, unsigned from, unsigned last, unsigned end) {
  const std::uint8_t* const window = s.window;
  std::uint16_t* const heads = s.head;
  std::uint16_t* const prev = s.prev;
  std::uint16_t* const rank = s.rank;
  unsigned h = ((static_cast<unsigned>(window[from]) << kHashShift) ^ window[from + 1]) & kHashMask;
  const auto link = [&](unsigned p) {
    h = ((h << kHashShift) ^ window[p + 2]) & kHashMask;
    const unsigned head = heads[h];
    prev[p & kWMask] = static_cast<std::uint16_t>(head);
    rank[p & kWMask] = static_cast<std::uint16_t>(rank[head & kWMask] + 1);
    heads[h] = static_cast<std::uint16_t>(p);
  };
  if (last + kGramLength <= end) {
    CatchUpGrams(s, from);
    std::uint16_t* const gramHead = s.gramHead;
    std::uint16_t* const gramPrev = s.gramPrev;
    for (unsigned p = from; p <= last; ++p) {
      link(p);
      const unsigned g = GramHash(window + p);
      gramPrev[p & kWMask] = gramHead[g];
      gramHead[g] = static_cast<std::uint16_t>(p);
    }
    s.gramPos = last + 1;
  } else {
    for (unsigned p = from; p <= last; ++p) link(p);
  }
  s.insHash = h;
}

// Length of the common prefix of scan and match, at most kMaxMatch. The first two bytes
// are known to be equal; so is the third, since the hash of the first three bytes is
// shared, but comparing from the third costs nothing and assumes less.
unsigned MatchLength(const std::uint8_t* scan, const std::uint8_t* match) {
#if defined(__SSE2__)
  // Sixteen bytes a step: match lengths vary, and each step is a branch the processor
  // may mispredict; half as many steps on log lines of tens of bytes. The last step reads
  // up to byte 257, as the eight-byte steps do, so the window's slack still suffices.
  unsigned len = 2;
  while (len < kMaxMatch) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(scan + len));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(match + len));
    const unsigned differ = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b))) ^ 0xFFFFu;
    if (differ != 0) {
      len += static_cast<unsigned>(std::countr_zero(differ));
      return len < kMaxMatch ? len : kMaxMatch;
    }
    len += 16;
  }
  return kMaxMatch;
#else
  unsigned len = 2;
  while (len < kMaxMatch) {
    const std::uint64_t diff = Load64(scan + len) ^ Load64(match + len);
    if (diff != 0) {
      len += static_cast<unsigned>(std::countr_zero(diff)) >> 3;  // little-endian targets
      return len < kMaxMatch ? len : kMaxMatch;
    }
    len += 8;
  }
  return kMaxMatch;
#endif
}

// The search for the longest match of the string at the current position, as the 3-byte
// chain walk defines it, and what it has found so far.
struct Search {
  const std::uint8_t* scan;
  unsigned strStart;
  unsigned limit;      // positions at or below it are out of reach
  unsigned niceMatch;  // a match this long ends the search
  unsigned budget;     // candidates the 3-byte walk looks at
  std::uint16_t firstRank;  // rank of its first candidate
  std::uint32_t scan3;      // the first three bytes
  std::uint16_t scanStart;  // the first two bytes
  unsigned bestLen;
  std::uint16_t scanEnd;    // the two bytes that end the best match
};

// Whether the candidate at match agrees with the current string in the two bytes that
// start and the two that end the best match so far, as any longer match must. Both in
// one test: a data-dependent branch fewer for the processor to mispredict.
bool AgreesAtEnds(const Search& q, const std::uint8_t* match) {
  return ((Load16(match + q.bestLen - 1) ^ q.scanEnd) | (Load16(match) ^ q.scanStart)) == 0;
}

// Where the walk goes on: the chain of the gram at `offset`, from position `at` on it,
// which stands for the candidate at - offset.
struct GramWalk {
  unsigned offset;
  unsigned at;
  int Candidate() const { return static_cast<int>(at) - static_cast<int>(offset); }
};

// The first position below done + o on the chain of the gram at offset o, found from the
// chain's head within two steps, so that the walk reaches every candidate below done (all
// those at or above it were looked at); none when the chain is busier than that above it,
// since a busy chain is a poor one to walk anyway. The chain's first three positions are
// loaded and the one wanted is selected, not branched to: which one it is varies from
// search to search, and a mispredicted branch costs more than the loads (up to 2 % faster).
bool GramChainBelow(const DeflateState& s, const Search& q, unsigned o, unsigned done,
                    unsigned* at) {
  const unsigned below = done + o;
  const unsigned a0 = s.gramHead[GramHash(q.scan + o)];
  const unsigned a1 = s.gramPrev[a0 & kWMask];  // not a link of the chain where a0 is below
  const unsigned a2 = s.gramPrev[a1 & kWMask];
  *at = a0 < below ? a0 : a1 < below ? a1 : a2;
  return (a0 < below) | (a1 < below) | (a2 < below);
}

// How far back a walk's second position stands: a chain's first position below done says
// little about how busy it is (a run puts every line on the chain, yet the line just
// before may lack it), the one after it more. Smaller is sparser.
int SecondDepth(const DeflateState& s, const Search& q, const GramWalk& w) {
  const unsigned next = w.at > q.limit + w.offset ? s.gramPrev[w.at & kWMask] : w.at;
  return static_cast<int>(next) - static_cast<int>(w.offset);
}

// The sparsest chain looked at so far, by SecondDepth.
struct ChainChoice {
  GramWalk walk;
  int depth;
};

// Looks up the chain of the gram at offset o from its head and takes it where it is
// sparser than the choice so far; true when it has nothing within reach, which ends the
// search (the choice is then that chain).
bool ConsiderFromHead(const DeflateState& s, const Search& q, unsigned o, unsigned done,
                      ChainChoice* choice) {
  GramWalk w{o, 0};
  if (!GramChainBelow(s, q, o, done, &w.at)) return false;
  if (w.Candidate() <= static_cast<int>(q.limit)) {
    choice->walk = w;
    return true;
  }
  const int depth = SecondDepth(s, q, w);
  if (depth < choice->depth) *choice = ChainChoice{w, depth};
  return false;
}

// ChooseGram when done shares no gram with the current string, so no chain is one look-up
// away: the chains of the first and the last gram a better match must share are looked up
// from their heads. The last one ends with the byte where a better match must first differ
// from the best one; the first one is the better guess where the best match ends in a run
// (indentation, padding), whose grams are on every line. Each is judged by its second
// position below done. Where both chains are busy above done, the last gram's chain is
// walked to below done, however long it takes.
GramWalk ChooseGramFromHeads(const DeflateState& s, const Search& q, unsigned done,
                             unsigned last) {
  ChainChoice choice{{last, 0}, INT_MAX};
  for (const unsigned o : {last, 0u}) {
    if (ConsiderFromHead(s, q, o, done, &choice)) return choice.walk;
  }
  if (choice.depth == INT_MAX) {
    GramWalk& w = choice.walk;
    w.at = s.gramHead[GramHash(q.scan + last)];
    while (w.at >= done + last) w.at = s.gramPrev[w.at & kWMask];
  }
  return choice.walk;
}

// Chooses the gram chain for the walk to go on with below done, the candidate just looked
// at, which shares doneLen bytes with the current string. Offsets up to bestLen + 1 -
// kGramLength keep every candidate that can beat the best match on the chain, and below
// done's distance keep every one of them, and done itself, among the positions linked so
// far. The chain whose second position below done stands furthest back is taken: on
// log text, the chain of the bytes where lines differ (the end of a time stamp, a thread
// id, a counter) holds a handful of lines where the 3-byte chain holds every line of the
// window. Tried: grams that done shares, whose chains it lies on, so that their next
// positions are one look-up away (five spread over the shared bytes meet the rare ones
// about as well as all of them, at a fraction of the look-ups); and the last gram a
// better match must share, which ends with the byte where it must first differ from the
// best one, looked up from its chain's head. Judging each by its first position instead
// walked 10-13 % more steps. A chain with nothing within reach ends the search at once.
// Without a shared gram (done differs early, as in most searches one byte after a
// match), see ChooseGramFromHeads.
GramWalk ChooseGram(const DeflateState& s, const Search& q, unsigned done, unsigned doneLen) {
  unsigned last = q.bestLen + 1 - kGramLength;
  if (last >= q.strStart - done) last = q.strStart - done - 1;
  if (doneLen < kGramLength) return ChooseGramFromHeads(s, q, done, last);
  const unsigned shared = std::min(doneLen - kGramLength, last);
  ChainChoice choice{{0, s.gramPrev[done & kWMask]}, 0};
  GramWalk& best = choice.walk;
  if (best.Candidate() <= static_cast<int>(q.limit)) return best;
  choice.depth = SecondDepth(s, q, best);
  constexpr unsigned kProbes = 4;
  for (unsigned i = 1; i <= kProbes; ++i) {
    const unsigned o = shared * i / kProbes;
    const GramWalk probe{o, s.gramPrev[(done + o) & kWMask]};
    if (probe.Candidate() <= static_cast<int>(q.limit)) return probe;  // nothing more within reach
    const int d = SecondDepth(s, q, probe);
    const bool further = d < choice.depth;
    best.offset = further ? probe.offset : best.offset;  // selects, not branches
    best.at = further ? probe.at : best.at;
    choice.depth = further ? d : choice.depth;
  }
  if (ConsiderFromHead(s, q, last, done, &choice)) return best;
  // Where done fell short of the best match, also the gram that ends with the first byte
  // where done differs: a better match shares it, and done's kind of line does not.
  const unsigned differ = doneLen + 1 - kGramLength;
  if (differ < last) ConsiderFromHead(s, q, differ, done, &choice);
  return best;
}

// The search from the moment its best match is long enough for the gram chains: a
// candidate that can beat bestLen shares a gram with the current string at each offset o
// up to bestLen + 1 - kGramLength, so the walk goes down the chain of one of them instead
// of the 3-byte chain, from below done, the candidate looked at last. The candidates keep
// their order, and their rank says whether the 3-byte walk would still reach them.
unsigned WalkGramChains(DeflateState& s, Search& q, unsigned done, unsigned doneLen) {
  const std::uint8_t* const window = s.window;
  for (;;) {
    const GramWalk walk = ChooseGram(s, q, done, doneLen);
    const unsigned o = walk.offset;
    const std::uint16_t* const prev = s.gramPrev;
    unsigned walked = 0;
    bool improved = false;
    for (unsigned at = walk.at; at > q.limit + o; at = prev[at & kWMask]) {
      const unsigned cand = at - o;
      const std::uint8_t* const match = window + cand;
      // A candidate on the same 3-byte chain that is past the budget means every later
      // one is too. Only a longer match must be refused for it, so the walk looks at the
      // rank just now and then to end early, and always before taking a match.
      if ((++walked & 31) == 0 && (Load32(match) & 0xFFFFFF) == q.scan3 &&
          static_cast<std::uint16_t>(q.firstRank - s.rank[cand & kWMask]) >= q.budget) {
        return q.bestLen;
      }
      if (!AgreesAtEnds(q, match)) continue;
      const unsigned len = MatchLength(q.scan, match);
      if (len > q.bestLen) {
        // A longer match shares at least bestLen + 1 >= 6 bytes: it is on the 3-byte chain.
        if (static_cast<std::uint16_t>(q.firstRank - s.rank[cand & kWMask]) >= q.budget) {
          return q.bestLen;
        }
        s.matchStart = cand;
        q.bestLen = len;
        if (len >= q.niceMatch) return len;
        q.scanEnd = Load16(q.scan + len - 1);
        done = cand;
        doneLen = len;
        improved = true;
        break;
      }
    }
    if (!improved) return q.bestLen;
  }
}

// Follows the hash chain from curMatch for the longest match of the string at the current
// position; returns its length (the previous match length when nothing longer is found)
// and leaves its start in matchStart. The first candidate of the greatest length wins;
// the search ends at a match of niceMatch, after chainLength candidates, or at the first
// candidate beyond reach.
unsigned LongestMatch(DeflateState& s, unsigned curMatch) {
  unsigned chainLength = s.maxChain;
  const std::uint8_t* const window = s.window;
  const unsigned strStart = s.strStart;
  const std::uint8_t* const scan = window + strStart;
  // A good match in hand already: a quarter of the walk. A shift by 0 or 2 rather than a
  // branch, which follows whether the last match was long and is mispredicted often.
  chainLength >>= s.prevLength >= s.goodMatch ? 2 : 0;
  if (kWindowSize - strStart < kMinLookahead) s.Fail("insufficient lookahead");
  Search q{scan,
           strStart,
           strStart > kMaxDist ? strStart - kMaxDist : 0,
           s.niceMatch,
           chainLength,
           s.rank[curMatch & kWMask],
           Load32(scan) & 0xFFFFFF,
           Load16(scan),
           s.prevLength,
           Load16(scan + s.prevLength - 1)};
  // The gram chains hold final input only while the full lookahead is there.
  const bool grams = s.lookahead >= kMinLookahead;
  if (grams) {
    CatchUpGrams(s, strStart);
    // A candidate that beats the match in hand shares the gram that ends one byte past it,
    // and lies far enough back for that gram to be linked; where the chain holds nothing
    // within reach, nothing is found (a quarter of the searches one byte after a match on
    // log text, whose next byte is where lines differ).
    const unsigned last = q.bestLen + 1 - kGramLength;
    if (q.bestLen + 1 >= kGramLength && strStart - curMatch > last) {
      const unsigned at = s.gramHead[GramHash(scan + last)];
      if (at <= q.limit + last) return q.bestLen;
    }
  }

  for (;;) {
    if (curMatch >= strStart) s.Fail("no future");
    const std::uint8_t* const match = window + curMatch;
    unsigned doneLen = 0;  // bytes the candidate shares, where known
    if (AgreesAtEnds(q, match)) {
      const unsigned len = MatchLength(scan, match);
      if (strStart + len > kWindowSize) s.Fail("wild scan");
      doneLen = len;
      if (len > q.bestLen) {
        s.matchStart = curMatch;
        q.bestLen = len;
        if (len >= q.niceMatch) return len;
        q.scanEnd = Load16(scan + len - 1);
      }
    }
    if (grams && q.bestLen + 1 >= kGramLength) return WalkGramChains(s, q, curMatch, doneLen);
    curMatch = s.prev[curMatch & kWMask];
    if (curMatch <= q.limit || --chainLength == 0) return q.bestLen;
  }
}

// Lowers every position of a hash head or chain link table by kWSize; positions below it
// become 0 (empty). Where SSE2 is there, a saturating subtraction does 32 entries a step.
void SlideTable(std::uint16_t* table, std::size_t entries) {
#if defined(__SSE2__)
  static_assert(kHashSize % 32 == 0 && kWSize % 32 == 0 && kGramHashSize % 32 == 0);
  const __m128i sub = _mm_set1_epi16(static_cast<short>(kWSize));
  for (std::size_t i = 0; i < entries; i += 32) {
    __m128i* const v = reinterpret_cast<__m128i*>(table + i);
    const __m128i a = _mm_subs_epu16(_mm_loadu_si128(v), sub);
    const __m128i b = _mm_subs_epu16(_mm_loadu_si128(v + 1), sub);
    const __m128i c = _mm_subs_epu16(_mm_loadu_si128(v + 2), sub);
    const __m128i d = _mm_subs_epu16(_mm_loadu_si128(v + 3), sub);
    _mm_storeu_si128(v, a);
    _mm_storeu_si128(v + 1, b);
    _mm_storeu_si128(v + 2, c);
    _mm_storeu_si128(v + 3, d);
  }
#else
  for (std::size_t i = 0; i < entries; ++i) {
    table[i] = static_cast<std::uint16_t>(table[i] >= kWSize ? table[i] - kWSize : 0);
  }
#endif
}

// Slides the window when the current position has come near its end, then, unless the
// input has ended, reads into the free room.
void FillWindow(DeflateState& s) {
  unsigned more = kWindowSize - s.lookahead - s.strStart;
  if (s.strStart >= kWSize + kMaxDist) {
    std::memcpy(s.window, s.window + kWSize, kWSize);
    s.matchStart -= kWSize;
    s.strStart -= kWSize;
    s.blockStart -= kWSize;
    SlideTable(s.head, kHashSize);
    SlideTable(s.prev, kWSize);
    SlideTable(s.gramHead, kGramHashSize);
    SlideTable(s.gramPrev, kWSize);
    s.gramPos = s.gramPos >= kWSize ? s.gramPos - kWSize : 0;
    more += kWSize;
  }
  if (s.inputEnded) return;
  if (more < 2) s.Fail("more < 2");
  std::uint32_t n = s.io->read(s.io->context, s.window + s.strStart + s.lookahead, more);
  if (n > more) n = more;  // a reader that claims more than it was given room for
  if (n == 0) {
    s.inputEnded = true;
  } else {
    s.lookahead += n;
  }
}

void FillWhileShort(DeflateState& s) {
  do FillWindow(s);
  while (s.lookahead < kMinLookahead && !s.inputEnded);
}

void EndBlock(DeflateState& s) {
  FlushBlock(s, false);
  s.blockStart = s.strStart;
}

void StartInput(DeflateState& s) {
  const std::uint32_t n = s.io->read(s.io->context, s.window, kWindowSize);
  s.lookahead = n > kWindowSize ? kWindowSize : n;
  if (s.lookahead == 0) {
    s.inputEnded = true;
    return;
  }
  if (s.lookahead < kMinLookahead) FillWhileShort(s);
  s.insHash = ((static_cast<unsigned>(s.window[0]) << kHashShift) ^ s.window[1]) & kHashMask;
}

// Lazy evaluation: a match found at one position is only taken when the next position
// does not offer a longer one; otherwise its first byte goes out as a literal.
void Run(DeflateState& s) {
  while (s.lookahead != 0 && !s.writeFailed) {
    unsigned hashHead = 0;
    if (s.lookahead >= kMinMatch) hashHead = InsertString(s, s.strStart);
    // Linking the gram here, in order, saves the search a catch-up loop of varying length
    // whose end the processor mispredicts.
    if (s.gramPos == s.strStart && s.lookahead >= kMinLookahead) {
      LinkGram(s, s.strStart);
      s.gramPos = s.strStart + 1;
    }

    s.prevLength = s.matchLength;
    s.prevMatch = s.matchStart;
    s.matchLength = kMinMatch - 1;

    if (hashHead != 0 && s.prevLength < s.maxLazy && s.strStart - hashHead <= kMaxDist) {
      if (s.niceMatch > s.lookahead) s.niceMatch = s.lookahead;
      s.matchLength = LongestMatch(s, hashHead);
      if (s.matchLength > s.lookahead) s.matchLength = s.lookahead;
      // A 3-byte match far away costs about as much as three literals.
      if (s.matchLength == kMinMatch && s.strStart - s.matchStart > kTooFar) {
        s.matchLength = kMinMatch - 1;
      }
    }

    if (s.prevLength >= kMinMatch && s.matchLength <= s.prevLength) {
      const unsigned s0 = s.strStart;
      const unsigned inputEnd = s0 + s.lookahead;
      const unsigned maxInsert = inputEnd - kMinMatch;
      const bool flush = Tally(s, s0 - 1 - s.prevMatch, s.prevLength - kMinMatch);
      s.lookahead -= s.prevLength - 1;
      // The match covers s0 - 1 .. s0 + L - 2; s0 is in the chains already.
      unsigned last = s0 + s.prevLength - 2;
      if (last > maxInsert) last = maxInsert;
      if (s0 + 1 <= last) InsertInside(s, s0 + 1, last, inputEnd);
      s.strStart = s0 + s.prevLength - 1;
      s.matchAvailable = false;
      s.matchLength = kMinMatch - 1;
      if (flush) EndBlock(s);
    } else if (s.matchAvailable) {
      const bool flush = Tally(s, 0, s.window[s.strStart - 1]);
      if (flush) EndBlock(s);
      ++s.strStart;
      --s.lookahead;
    } else {
      s.matchAvailable = true;
      ++s.strStart;
      --s.lookahead;
    }

    // Also at the end of the input, so the window still slides and every search keeps
    // its full room after the current position.
    if (s.lookahead < kMinLookahead) FillWhileShort(s);
  }
  if (s.writeFailed) return;
  // The last literal's wish to end its block is moot: the final block follows anyway.
  if (s.matchAvailable) Tally(s, 0, s.window[s.strStart - 1]);
  FlushBlock(s, true);
  FlushOutput(s);
}

}  // namespace

void InitState(DeflateState& s, const DeflateIo& io) {
  std::memset(s.head, 0, sizeof s.head);
  std::memset(s.prev, 0, sizeof s.prev);
  std::memset(s.rank, 0, sizeof s.rank);
  std::memset(s.gramHead, 0, sizeof s.gramHead);
  std::memset(s.gramPrev, 0, sizeof s.gramPrev);
  s.gramPos = 0;
  s.insHash = 0;
  s.strStart = 0;
  s.blockStart = 0;
  s.matchStart = 0;
  s.lookahead = 0;
  s.inputEnded = false;
  s.prevLength = kMinMatch - 1;
  s.matchLength = kMinMatch - 1;
  s.prevMatch = 0;
  s.matchAvailable = false;

  s.level = kLevel;
  s.maxChain = kMaxChain;
  s.maxLazy = kMaxLazy;
  s.goodMatch = kGoodMatch;
  s.niceMatch = kNiceMatch;

  s.bitBuf = 0;
  s.bitCount = 0;
  s.bytesOut = 0;
  s.io = &io;
  s.out = io.outputBuffer;
  s.outFill = 0;
  s.outSize = io.outputSize;
  s.bytesWritten = 0;
  s.writeFailed = false;
  s.error = nullptr;
}

std::uint32_t CompressMember(DeflateState& s, std::uint64_t* compressedBytes,
                             std::string* firstError) {
  if (s.level < 1 || s.level > 8) s.Fail("bad pack level");
  InitTrees(s);
  StartInput(s);
  Run(s);

  if (compressedBytes != nullptr) *compressedBytes = s.bytesWritten;
  if (s.error != nullptr) {
    if (firstError != nullptr) *firstError = s.error;
    return kDeflateFailed;
  }
  if (s.writeFailed) {
    if (firstError != nullptr) *firstError = "output write failed";
    return kDeflateFailed;
  }
  return 0;
}

}  // namespace deflate

std::size_t DeflateStateBytes() { return sizeof(deflate::DeflateState); }

std::uint32_t DeflateStream(const DeflateIo& io, std::uint64_t* compressedBytes,
                            std::string* firstError) {
  if (compressedBytes != nullptr) *compressedBytes = 0;
  if (io.read == nullptr || io.write == nullptr || io.outputBuffer == nullptr ||
      io.outputSize == 0) {
    if (firstError != nullptr) *firstError = "no member reader, output writer or output buffer";
    return kDeflateFailed;
  }
  // Value-initialised, so the window starts zeroed and the output never depends on
  // leftovers of earlier allocations.
  std::unique_ptr<deflate::DeflateState> state(new (std::nothrow) deflate::DeflateState());
  if (!state) {
    if (firstError != nullptr) *firstError = "out of memory for the compressor state";
    return kDeflateFailed;
  }
  deflate::InitState(*state, io);
  return deflate::CompressMember(*state, compressedBytes, firstError);
}

}  // namespace ov::zip
