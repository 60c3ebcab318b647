// A writer that keeps every line it is given, for tests of what the facility hands over.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "trace/divude_writer.h"
#include "trace/ov_trace.h"

namespace ov::trace::testing {

struct WrittenLine {
  std::uint32_t level;
  std::string source;
  std::int32_t line;
  std::string message;
};

class RecordingWriter final : public Divude::IWriterMutable {
 public:
  void write(std::uint32_t level, const std::string& sourceName, std::int32_t line,
             const std::string& message) override {
    lines.push_back({level, sourceName, line, message});
  }
  std::vector<WrittenLine> lines;
};

// Installs a recording writer with the switch on for one scope and puts the process-wide
// state back to the shipped one (off, 0, no writer) afterwards.
class InstalledRecorder {
 public:
  explicit InstalledRecorder(bool switchOn = true, std::int32_t minimumLevel = 0)
      : m_writer(std::make_shared<RecordingWriter>()) {
    InstallSharedTraceWriter(m_writer);
    TraceSwitch = switchOn;
    TraceMinimumLevel = minimumLevel;
  }
  InstalledRecorder(const InstalledRecorder&) = delete;
  InstalledRecorder& operator=(const InstalledRecorder&) = delete;
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

 private:
  std::shared_ptr<RecordingWriter> m_writer;
};

}  // namespace ov::trace::testing
