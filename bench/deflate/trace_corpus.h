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

}  // namespace ov::bench
