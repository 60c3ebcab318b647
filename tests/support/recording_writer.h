// Keeps every line the facility hands over; installed with the switch on for one scope, and
// the shipped state (off, minimum 0, no writer) put back afterwards.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "trace/ov_trace.h"

namespace ov::trace::testing {

struct WrittenLine { std::uint32_t level; std::string source; std::int32_t line; std::string message; };

struct RecordingWriter final : Divude::IWriterMutable {
  void write(std::uint32_t level, const std::string& source, std::int32_t line, const std::string& message) override {
    lines.push_back({level, source, line, message});
  }
  std::vector<WrittenLine> lines;
};

struct InstalledRecorder {
  explicit InstalledRecorder(bool switchOn = true, std::int32_t minimumLevel = 0) {
    InstallSharedTraceWriter(m_writer);
    TraceSwitch = switchOn;
    TraceMinimumLevel = minimumLevel;
  }
  ~InstalledRecorder() {
    InstallSharedTraceWriter(nullptr);
    TraceSwitch = false;
    TraceMinimumLevel = 0;
  }
  std::vector<WrittenLine>& Lines() { return m_writer->lines; }
  std::vector<std::string> Messages() const {
    std::vector<std::string> result;
    for (const auto& line : m_writer->lines) result.push_back(line.message);
    return result;
  }
  std::shared_ptr<RecordingWriter> m_writer = std::make_shared<RecordingWriter>();
};

}  // namespace ov::trace::testing
