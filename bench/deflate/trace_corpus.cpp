// Generators of synthetic trace logs of the print-management client's components.
#include "bench/deflate/corpora.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace ov::bench {
namespace {

struct Component {
  const char* name;
  unsigned pid;
  std::vector<unsigned> threads;
};

constexpr std::array<const char*, 8> kPrinters = {
    "\\\\PRNSRV01\\Floor3-Color", "\\\\PRNSRV01\\Floor3-BW",  "\\\\PRNSRV02\\Reception",
    "\\\\PRNSRV02\\Finance-A3",   "\\\\PRNSRV03\\Warehouse", "Microsoft Print to PDF",
    "\\\\PRNSRV01\\SecurePrint",  "\\\\PRNSRV03\\Plotter-HP"};
constexpr std::array<const char*, 10> kUsers = {"jdoe",    "amartin", "kwilson", "lnguyen",
                                                "pschmidt", "mrossi",  "tkato",   "svc_print",
                                                "bdupont", "hmuller"};
constexpr std::array<const char*, 10> kDocs = {
    "Quarterly Report.docx", "Invoice_2024-0413.pdf", "Microsoft Word - Minutes.docx",
    "Budget FY25.xlsx",     "https://intranet/portal/home", "Shipping Label",
    "Untitled - Notepad",   "Drawing1.dwg", "Presentation1.pptx", "Scan_0042.tif"};
constexpr std::array<const char*, 6> kLevels = {"DEBUG", "INFO ", "TRACE", "TRACE", "DEBUG",
                                                "WARN "};

// Interleaved trace output of the shared engine, the popup manager, the message client and
// the spooler hooks: timestamps, thread ids, function entry and exit, jobs, printers, users,
// handles and error codes.
std::string GenerateTraceCorpus(std::size_t bytes, std::uint64_t seed) {
  Rng rng(seed);
  std::vector<Component> comps = {
      {"OvSharedEngine", 2188, {0x0A14, 0x0B20, 0x1C04, 0x1D38, 0x2210}},
      {"OvPopupManager", 5120, {0x14F0, 0x1520}},
      {"OvMessageClient", 6044, {0x17A8, 0x17AC, 0x2F00}},
      {"OvSpoolerHooks", 1876, {0x0E6C, 0x0F10, 0x0F14, 0x1104}},
  };
  std::string out;
  out.reserve(bytes + 512);
  std::uint64_t ms = 1715672400000ull % 86400000ull;  // time of day in ms
  unsigned day = 14;
  unsigned job = 4711;
  unsigned msgId = 90210;
  char line[512];
  while (out.size() < bytes) {
    ms += rng.Below(rng.Below(8) == 0 ? 2500 : 40);
    if (ms >= 86400000ull) ms -= 86400000ull, ++day;
    const Component& c = comps[rng.Below(static_cast<unsigned>(comps.size()))];
    const unsigned tid = c.threads[rng.Below(static_cast<unsigned>(c.threads.size()))];
    const int head = std::snprintf(line, sizeof line, "2024-05-%02u %02u:%02u:%02u.%03u [%5u:0x%04X] %-15s %s ",
                                   day % 28 + 1, static_cast<unsigned>(ms / 3600000),
                                   static_cast<unsigned>(ms / 60000 % 60),
                                   static_cast<unsigned>(ms / 1000 % 60),
                                   static_cast<unsigned>(ms % 1000), c.pid, tid, c.name,
                                   rng.Pick(kLevels));
    out.append(line, static_cast<std::size_t>(head));
    const unsigned kind = rng.Below(14);
    const char* printer = rng.Pick(kPrinters);
    const char* user = rng.Pick(kUsers);
    int n = 0;
    switch (kind) {
      case 0:
        n = std::snprintf(line, sizeof line, "> SpoolerHook::StartDocPrinterW(hPrinter=0x%08X, level=1, doc=\"%s\")",
                          0x00A30000u + rng.Below(0x400) * 8, rng.Pick(kDocs));
        break;
      case 1:
        n = std::snprintf(line, sizeof line, "< SpoolerHook::StartDocPrinterW returns %u (%u ms)", job, rng.Below(30));
        break;
      case 2:
        n = std::snprintf(line, sizeof line, "Job %u \"%s\" for user VELTRANE\\%s on %s: %u pages, %u bytes", ++job,
                          rng.Pick(kDocs), user, printer, 1 + rng.Below(40), 20000 + rng.Below(4000000));
        break;
      case 3:
        n = std::snprintf(line, sizeof line, "> JobManager::OnJobEvent(job=%u, event=%s)", job - rng.Below(5),
                          rng.Below(2) ? "JOB_NOTIFY_FIELD_STATUS" : "JOB_NOTIFY_FIELD_PAGES_PRINTED");
        break;
      case 4:
        n = std::snprintf(line, sizeof line, "< JobManager::OnJobEvent (%u ms)", rng.Below(12));
        break;
      case 5:
        n = std::snprintf(line, sizeof line, "PolicyCache: lookup printer=%s user=%s -> rule %u (%s)", printer, user,
                          rng.Below(24), rng.Below(3) ? "allow" : "require release");
        break;
      case 6:
        n = std::snprintf(line, sizeof line, "PopupManager::ShowPopup(session=%u, id={%08X-%04X-%04X-%04X-%012llX}, type=%s)",
                          1 + rng.Below(3), static_cast<unsigned>(rng.Next()), rng.Below(65536),
                          0x4000 + rng.Below(4096), 0x8000 + rng.Below(16384),
                          static_cast<unsigned long long>(rng.Next() & 0xFFFFFFFFFFFFull),
                          rng.Below(2) ? "JobConfirmation" : "BalanceWarning");
        break;
      case 7:
        n = std::snprintf(line, sizeof line, "MessageClient: received message %u from server ovsrv01.veltrane.local:9191, %u bytes",
                          ++msgId, 64 + rng.Below(2048));
        break;
      case 8:
        n = std::snprintf(line, sizeof line, "MessageClient: heartbeat ok, latency %u ms, queue depth %u", rng.Below(80),
                          rng.Below(6));
        break;
      case 9:
        n = std::snprintf(line, sizeof line, "SharedEngine::AccountJob(job=%u, user=%s, cost=%u.%02u, balance=%u.%02u)", job,
                          user, rng.Below(20), rng.Below(100), rng.Below(500), rng.Below(100));
        break;
      case 10:
        n = std::snprintf(line, sizeof line, "RegistryWatcher: key SOFTWARE\\Veltrane\\%s\\Tracing changed, reloading", c.name);
        break;
      case 11:
        n = std::snprintf(line, sizeof line, "WritePrinter(hPrinter=0x%08X, cbBuf=%u) -> %u written",
                          0x00A30000u + rng.Below(0x400) * 8, 4096u << rng.Below(4), 4096u << rng.Below(4));
        break;
      case 12:
        n = std::snprintf(line, sizeof line, "GetPrinterDriver(\"%s\") failed, GetLastError=%u, retry %u of 3", printer,
                          rng.Below(2) ? 1801u : 1722u, 1 + rng.Below(3));
        break;
      default:
        n = std::snprintf(line, sizeof line, "ConnectionPool: %u active, %u idle, %u waiting", rng.Below(16), rng.Below(8),
                          rng.Below(3));
        break;
    }
    out.append(line, static_cast<std::size_t>(n));
    out.append("\r\n");
  }
  return out;
}

// ---------------------------------------------------------------------------------------
// Other layouts that tracers in the field write: the compressor's speed must not depend on
// the one above. Each writer below produces the lines of one layout with its own clock;
// the interleaved shape lets several of them append to one file in turns.

// Appends printf-style text; values are drawn into locals first, so the order of the
// random draws never depends on the compiler's order of evaluating arguments.
__attribute__((format(printf, 2, 3))) void AppendF(std::string& out, const char* format, ...) {
  char line[640];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  out.append(line, static_cast<std::size_t>(n));
}

// The message of a trace line: jobs, printers, users, documents, counters.
void AppendMessage(Rng& rng, std::string& out) {
  const unsigned kind = rng.Below(8);
  const char* printer = rng.Pick(kPrinters);
  const char* user = rng.Pick(kUsers);
  const char* doc = rng.Pick(kDocs);
  const unsigned a = rng.Below(100000);
  const unsigned b = rng.Below(4096);
  switch (kind) {
    case 0:
      AppendF(out, "Job %u \"%s\" for user VELTRANE\\%s on %s: %u pages", 4000 + a % 3000, doc, user,
              printer, 1 + b % 40);
      break;
    case 1:
      AppendF(out, "PolicyCache: lookup printer=%s user=%s -> rule %u", printer, user, b % 24);
      break;
    case 2:
      AppendF(out, "MessageClient: heartbeat ok, latency %u ms, queue depth %u", b % 80, a % 6);
      break;
    case 3:
      AppendF(out, "WritePrinter(hPrinter=0x%08X, cbBuf=%u) -> %u written", 0x00A30000u + b * 8,
              4096u << (a % 4), 4096u << (a % 3));
      break;
    case 4:
      AppendF(out, "GetPrinterDriver(\"%s\") failed, GetLastError=%u, retry %u of 3", printer,
              a % 2 ? 1801u : 1722u, 1 + b % 3);
      break;
    case 5:
      AppendF(out, "SharedEngine::AccountJob(job=%u, user=%s, cost=%u.%02u)", 4000 + a % 3000, user,
              b % 20, a % 100);
      break;
    case 6:
      AppendF(out, "Spooler: document \"%s\" of %s spooled, %u bytes", doc, user, 20000 + a * 37);
      break;
    default:
      AppendF(out, "ConnectionPool: %u active, %u idle, %u waiting", b % 16, a % 8, (a >> 4) % 3);
      break;
  }
}

class LineWriter {
 public:
  explicit LineWriter(std::uint64_t seed) : m_rng(seed) {}
  virtual ~LineWriter() = default;
  virtual void Line(std::string& out) = 0;

 protected:
  // Moves the clock on: mostly a burst of lines close together, now and then a pause.
  void Tick(std::uint64_t usBurst, std::uint64_t usPause) {
    m_micros += m_rng.Below(m_rng.Below(10) == 0 ? static_cast<unsigned>(usPause)
                                            : static_cast<unsigned>(usBurst));
  }
  unsigned Hour() const { return static_cast<unsigned>(m_micros / 3600000000ull % 24); }
  unsigned Minute() const { return static_cast<unsigned>(m_micros / 60000000ull % 60); }
  unsigned Second() const { return static_cast<unsigned>(m_micros / 1000000ull % 60); }
  unsigned Micro() const { return static_cast<unsigned>(m_micros % 1000000ull); }
  unsigned Day() const { return 14 + static_cast<unsigned>(m_micros / 86400000000ull % 14); }

  Rng m_rng;
  std::uint64_t m_micros = 7ull * 3600000000ull + 40ull * 60000000ull;
};

// Stamps to the second, component and process id: many lines share the whole stamp.
class SecondsWriter final : public LineWriter {
 public:
  using LineWriter::LineWriter;
  void Line(std::string& out) override {
    Tick(40000, 3000000);
    static constexpr std::array<const char*, 4> kNames = {"OvSharedEngine", "OvPopupManager",
                                                          "OvMessageClient", "OvSpoolerHooks"};
    static constexpr std::array<unsigned, 4> kPids = {2188, 5120, 6044, 1876};
    const unsigned c = m_rng.Below(4);
    const char* level = m_rng.Pick(kLevels);
    AppendF(out, "2024-05-%02u %02u:%02u:%02u %s[%u]: %s ", Day(), Hour(), Minute(), Second(),
            kNames[c], kPids[c], level);
    AppendMessage(m_rng, out);
    out.append("\n");
  }
};

// Stamps to the microsecond with the writing thread's id in hex: no two stamps alike.
class MicrosWriter final : public LineWriter {
 public:
  using LineWriter::LineWriter;
  void Line(std::string& out) override {
    Tick(3000, 900000);
    static constexpr std::array<unsigned, 12> kThreads = {0x0A14, 0x0B20, 0x1C04, 0x1D38, 0x2210, 0x14F0,
                                                          0x1520, 0x17A8, 0x17AC, 0x2F00, 0x0E6C, 0x0F10};
    const unsigned tid = m_rng.Pick(kThreads);
    const char* level = m_rng.Below(3) != 0 ? "DBG" : "INF";
    AppendF(out, "2024-05-%02uT%02u:%02u:%02u.%06uZ 0x%08X %s ", Day(), Hour(), Minute(), Second(),
            Micro(), tid, level);
    AppendMessage(m_rng, out);
    out.append("\r\n");
  }
};

// Function entry and exit of a few threads with their call depth: long lines full of
// 64-bit object addresses, return addresses and result codes.
class CallWriter final : public LineWriter {
 public:
  explicit CallWriter(std::uint64_t seed) : LineWriter(seed) {
    for (auto& t : m_threads) {
      t.id = 0x1000 + m_rng.Below(0x3000);
      for (auto& o : t.objects) o = 0x000001F4A3000000ull + (static_cast<std::uint64_t>(m_rng.Below(1u << 20)) << 4);
    }
  }
  void Line(std::string& out) override {
    Tick(60, 20000);
    Thread& t = m_threads[m_rng.Below(kThreadCount)];
    const bool call = t.depth == 0 || (t.depth < kMaxDepth && m_rng.Below(2) == 0);
    if (call) {
      Frame& f = t.stack[t.depth++];
      f.function = m_rng.Below(static_cast<unsigned>(kFunctions.size()));
      f.object = t.objects[m_rng.Below(kObjects)];
      f.started = m_micros;
      const std::uint64_t arg = 0x000000E8F3B00000ull + (static_cast<std::uint64_t>(m_rng.Below(1u << 16)) << 3);
      const unsigned size = m_rng.Below(0x20000);
      const std::uint64_t caller = 0x00007FFB1C200000ull + kFunctions[f.function].site * 0x10 + m_rng.Below(4) * 0x1C;
      AppendF(out, "%02u:%02u:%02u.%06u 0x%04X %*s> %s(this=0x%016llX, p=0x%016llX, cb=0x%08X) from 0x%016llX\r\n",
              Hour(), Minute(), Second(), Micro(), t.id, static_cast<int>(2 * (t.depth - 1)), "", kFunctions[f.function].name,
              static_cast<unsigned long long>(f.object), static_cast<unsigned long long>(arg), size,
              static_cast<unsigned long long>(caller));
    } else {
      const Frame& f = t.stack[--t.depth];
      const unsigned result = m_rng.Below(12);
      AppendF(out, "%02u:%02u:%02u.%06u 0x%04X %*s< %s = 0x%08X (%s) %llu us\r\n", Hour(), Minute(),
              Second(), Micro(), t.id, static_cast<int>(2 * t.depth), "", kFunctions[f.function].name,
              result == 0 ? 0x80070005u : 0u, result == 0 ? "E_ACCESSDENIED" : "S_OK",
              static_cast<unsigned long long>(m_micros - f.started));
    }
  }

 private:
  struct Function {
    const char* name;
    unsigned site;
  };
  static constexpr std::array<Function, 12> kFunctions = {{
      {"OvSpoolerHooks!CSpoolerHook::StartDocPrinterW", 0x1C4},
      {"OvSpoolerHooks!CSpoolerHook::WritePrinter", 0x2A0},
      {"OvSpoolerHooks!CSpoolerHook::EndDocPrinter", 0x318},
      {"OvSpoolerHooks!CPrintJob::SubmitPage", 0x4F8},
      {"OvSpoolerHooks!CPrintJob::QueryPolicy", 0x530},
      {"OvSharedEngine!CJobAccounting::Charge", 0x7B0},
      {"OvSharedEngine!CJobAccounting::Refund", 0x7F4},
      {"OvSharedEngine!CPolicyCache::Lookup", 0x910},
      {"OvSharedEngine!CRpcChannel::Send", 0xA38},
      {"OvSharedEngine!CRpcChannel::Receive", 0xA7C},
      {"OvMessageClient!CSession::Notify", 0xC20},
      {"OvPopupManager!CPopup::Show", 0xE14},
  }};
  static constexpr unsigned kThreadCount = 6, kObjects = 24, kMaxDepth = 9;
  struct Frame {
    unsigned function = 0;
    std::uint64_t object = 0, started = 0;
  };
  struct Thread {
    unsigned id = 0, depth = 0;
    std::array<std::uint64_t, kObjects> objects{};
    std::array<Frame, kMaxDepth> stack{};
  };
  std::array<Thread, kThreadCount> m_threads{};
};

// Writers of different layouts appending to one file in turns, a few lines at a time; now
// and then a turn ends in the middle of a line, whose rest comes with the writer's next turn.
std::string Interleave(std::size_t bytes, std::uint64_t seed) {
  Rng rng(seed);
  SecondsWriter seconds(seed + 1);
  MicrosWriter micros(seed + 2);
  CallWriter calls(seed + 3);
  std::array<LineWriter*, 3> writers = {&seconds, &micros, &calls};
  std::array<std::string, 3> pending;
  std::string out;
  out.reserve(bytes + 1024);
  while (out.size() < bytes) {
    const unsigned w = rng.Below(3);
    std::string& text = pending[w];
    for (unsigned lines = 1 + rng.Below(3); lines != 0; --lines) writers[w]->Line(text);
    const std::size_t cut = rng.Below(6) == 0 ? rng.Below(static_cast<unsigned>(text.size())) : text.size();
    out.append(text, 0, cut);
    text.erase(0, cut);
  }
  return out;
}

std::string Generate(LineWriter& writer, std::size_t bytes) {
  std::string out;
  out.reserve(bytes + 1024);
  while (out.size() < bytes) writer.Line(out);
  return out;
}

}  // namespace

std::string GenerateTrace(TraceShape shape, std::size_t bytes, std::uint64_t seed) {
  switch (shape) {
    case TraceShape::kMillis:
      return GenerateTraceCorpus(bytes, seed);
    case TraceShape::kSeconds: {
      SecondsWriter writer(seed);
      return Generate(writer, bytes);
    }
    case TraceShape::kMicrosThreads: {
      MicrosWriter writer(seed);
      return Generate(writer, bytes);
    }
    case TraceShape::kCallReturn: {
      CallWriter writer(seed);
      return Generate(writer, bytes);
    }
    case TraceShape::kInterleaved:
      return Interleave(bytes, seed);
  }
  return {};
}

}  // namespace ov::bench
