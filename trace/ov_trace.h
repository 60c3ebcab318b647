// Trace statements (OvTrace) and function scopes (OvTraceFunction), and the process-wide
// switch, minimum level and writer that guard them.
#pragma once
#include <atomic>
#include <cstdint>
#include <exception>
#include <ios>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "trace/trace_writer.h"
#include "trace/ov_simple_lock.h"

namespace ov::trace {

// ---- Process-wide state. Off, 0 and no writer until someone installs them; the shipped
// tool never does, so its statements cost the guard tests only.

// Read without a lock on every insertion; atomics keep those reads well-defined.
extern std::atomic<bool> TraceSwitch;
extern std::atomic<std::int32_t> TraceMinimumLevel;
// Guards every read and change of the shared writer.
extern OvCriticalSection TraceWriterLock;

// The shared writer itself lives in ov_trace.cpp and is reached only through these, so no
// reader can skip TraceWriterLock.
void InstallSharedTraceWriter(std::shared_ptr<Divude::IWriter> writer);
std::shared_ptr<Divude::IWriter> CopySharedTraceWriter();
// Whether a writer is installed, without taking the lock: scopes ask this on every entry and
// exit, and only ever to decide whether preparing a source name is worth it.
bool IsSharedTraceWriterSet();

// The writer level for a statement level, the statement level read as unsigned.
std::uint32_t TraceWriterLevel(std::int32_t level);

// Where a statement's lines come from.
struct OvTraceLocation {
  std::string fileName;    // UTF-8
  std::string sourceName;  // UTF-8, the function name of a scope
  std::int32_t line = 0;
};

class OvTrace;
using OvTraceManipulator = OvTrace& (*)(OvTrace&);

// One trace statement: collects one line at a time and hands it to the writer on Emit.
// Belongs to the thread that created it.
class OvTrace {
 public:
  explicit OvTrace(bool enabled);
  OvTrace(const OvTrace&) = delete;
  OvTrace& operator=(const OvTrace&) = delete;
  // Writes the recorded exception line, if any, emits what is still collected and releases
  // the statement's share of the writer.
  virtual ~OvTrace();

  virtual void PrepareSourceName();
  virtual OvTrace& SetLevel(std::int32_t level);
  // Record an exception for the destructor's line; each returns the line it was given.
  virtual std::int32_t SetStdException(const std::exception& exception, const char* fileName,
                                       std::int32_t line);
  virtual std::int32_t SetStdException(const std::exception& exception, const wchar_t* fileName,
                                       std::int32_t line);
  virtual std::int32_t SetUnknownException(const char* fileName, std::int32_t line);
  virtual std::int32_t SetUnknownException(const wchar_t* fileName, std::int32_t line);

  // Switch on, statement enabled, level at least the minimum: three tests, nothing else.
  bool IsEnabled() const {
    return m_enabled && TraceSwitch.load(std::memory_order_relaxed) &&
           m_level >= TraceMinimumLevel.load(std::memory_order_relaxed);
  }
  // Hands the collected line to the writer and starts an empty one at level 0.
  void Emit() {
    if (IsEnabled() || m_text) {
      EmitLine();
    } else {
      m_level = 0;
    }
  }

  // Insertions do nothing unless IsEnabled; numbers and booleans go through the stream's own
  // formatting, so its base and bool-alpha flags apply. The guard is inline so that a
  // disabled insertion costs the three tests and no call.
  OvTrace& operator<<(const wchar_t* text) { return text != nullptr ? Insert(text) : *this; }
  OvTrace& operator<<(const std::wstring& text) { return Insert(text); }
  OvTrace& operator<<(const char* utf8) {  // UTF-8
    if (utf8 != nullptr && IsEnabled()) InsertUtf8(utf8, std::char_traits<char>::length(utf8));
    return *this;
  }
  OvTrace& operator<<(const std::string& utf8) {
    if (IsEnabled()) InsertUtf8(utf8.data(), utf8.size());
    return *this;
  }
  OvTrace& operator<<(int value) { return Insert(value); }
  OvTrace& operator<<(unsigned int value) { return Insert(value); }
  OvTrace& operator<<(long value) { return Insert(value); }
  OvTrace& operator<<(unsigned long value) { return Insert(value); }
  OvTrace& operator<<(long long value) { return Insert(value); }
  OvTrace& operator<<(unsigned long long value) { return Insert(value); }
  OvTrace& operator<<(bool value) { return Insert(value); }
  // Manipulators apply whatever IsEnabled says.
  OvTrace& operator<<(OvTraceManipulator manipulator) { return manipulator(*this); }
  OvTrace& operator<<(std::ios_base& (*manipulator)(std::ios_base&));

 protected:
  template <typename T>
  OvTrace& Insert(const T& value) {
    if (IsEnabled()) Text() << value;
    return *this;
  }
  void InsertUtf8(const char* utf8, std::size_t length);
  void EmitLine();
  // The line's stream exists only once something is written into it, so a statement that
  // stays disabled formats and allocates nothing.
  std::wostringstream& Text();
  void DiscardText();

  std::int32_t m_level = 0;
  bool m_enabled;
  bool m_stdException = false;
  std::wstring m_exceptionText;
  bool m_unknownException = false;
  std::wstring m_functionName;
  std::shared_ptr<Divude::IWriter> m_writer;
  OvTraceLocation m_location;
  std::optional<std::wostringstream> m_text;
};

// Ends the line: Emit.
inline OvTrace& EndLine(OvTrace& trace) {
  trace.Emit();
  return trace;
}

// What an OvTraceFunction reports as its function's return value.
enum OvReturnKind : std::int32_t {
  kReturnBoolAlpha = 0,     // bool, "true"/"false"
  kReturnBoolNumeric = 1,   // bool, 1/0
  kReturnSuccessFail = 2,   // first byte non-zero: 'Success', else 'Fail'
  kReturnLong = 3,          // long, decimal
  kReturnULong = 4,         // unsigned long, decimal
  kReturnULongHex = 5,      // unsigned long, lower-case hexadecimal, no prefix
  kReturnFloat = 6,         // float
  kReturnDouble = 7,        // double
  kReturnNone = 8,          // no value
  kReturnInt32 = 9,         // std::int32_t, decimal
  kReturnInt32Alt = 10,     // std::int32_t, decimal
  kReturnUInt32 = 11,       // std::uint32_t, decimal
};

// One per traced function, alive for the function's duration: announces entry on
// construction and exit, with the return value, on destruction.
class OvTraceFunction : public OvTrace {
 public:
  // returnValue points to the function's result variable (read at destruction) or is null.
  OvTraceFunction(std::wstring functionName, std::int32_t kind, const void* returnValue,
                  bool enabled);
  ~OvTraceFunction() override;

  virtual const std::wstring& GetFunctionName();

 private:
  void WriteReturnValue();

  std::int32_t m_kind;
  const void* m_returnValue;
};

}  // namespace ov::trace
