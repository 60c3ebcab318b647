// Synthetic trace logs of the print-management client's components, the kind of file the
// archive writer deflates most, generated deterministically for benchmarks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace ov::bench {

// About `bytes` bytes (whole lines) of interleaved trace output of the shared engine, the
// popup manager, the message client and the spooler hooks: timestamps, thread ids,
// function entry and exit, jobs, printers, users, handles and error codes.
std::string GenerateTraceCorpus(std::size_t bytes, std::uint64_t seed);

// The layouts of trace logs that the benchmark and the output checker run: the one above
// (stamps to the millisecond) and others seen in the field.
enum class TraceShape {
  kMillis,         // the corpus above
  kSeconds,        // stamps to the second: many lines share the whole stamp
  kMicrosThreads,  // stamps to the microsecond with thread ids
  kCallReturn,     // nested call and return lines with 64-bit addresses
  kInterleaved,    // writers of these layouts taking turns, some turns ending mid-line
};
std::string GenerateTrace(TraceShape shape, std::size_t bytes, std::uint64_t seed);

}  // namespace ov::bench
