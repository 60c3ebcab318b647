// Divude::IWriter and IWriterMutable: the interfaces a destination of finished trace lines implements.
// WriterNull, the one writer the shipped tool has, records nothing.
#pragma once
#include <cstdint>
#include <string>

namespace Divude {

// A destination for trace lines. The facility calls one operation on it, once per finished
// line: the writer level (1, 3, 4, 5, 6 or 7), the source name and line number of the
// statement, and the line itself, both texts UTF-8. How a writer records the line (time
// stamp, level names, destination) is the writer's own business.
class IWriter {
 public:
  virtual ~IWriter() = default;
  virtual void write(std::uint32_t level, const std::string& sourceName, std::int32_t line,
                     const std::string& message) = 0;
};

// A writer whose destination can be changed while it is installed; the facility itself
// never needs more than IWriter.
class IWriterMutable : public IWriter {
 public:
  ~IWriterMutable() override = default;
};

// Accepts every line and records nothing; the one writer the shipped tool knows.
class WriterNull final : public IWriterMutable {
 public:
  void write(std::uint32_t, const std::string&, std::int32_t, const std::string&) override {}
};

}  // namespace Divude
