// Generator of the synthetic trace-log corpus.
#include "bench/deflate/trace_corpus.h"

#include <array>
#include <cstdio>
#include <vector>

namespace ov::bench {
namespace {

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
  std::uint64_t Next() {
    s_ += 0x9E3779B97F4A7C15ull;  // splitmix64
    std::uint64_t z = s_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }
  template <typename T, std::size_t N>
  const T& Pick(const std::array<T, N>& a) { return a[Below(N)]; }

 private:
  std::uint64_t s_;
};

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

}  // namespace

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

}  // namespace ov::bench
