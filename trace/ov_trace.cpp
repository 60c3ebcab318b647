// OvTrace and OvTraceFunction: composing lines and handing them to the shared writer.
#include "trace/ov_trace.h"

#include <cstring>
#include <utility>

#include "trace/ov_text_convert.h"

namespace ov::trace {

std::atomic<bool> TraceSwitch{false};
std::atomic<std::int32_t> TraceMinimumLevel{0};
OvCriticalSection TraceWriterLock;

namespace {

std::shared_ptr<Divude::IWriter> SharedTraceWriter;
// Mirrors whether SharedTraceWriter is set; changed only under TraceWriterLock.
std::atomic<bool> g_sharedTraceWriterSet{false};

}  // namespace

void InstallSharedTraceWriter(std::shared_ptr<Divude::IWriter> writer) {
  std::shared_ptr<Divude::IWriter> previous;
  {
    OvSimpleLock lock(TraceWriterLock);
    previous = std::exchange(SharedTraceWriter, std::move(writer));
    g_sharedTraceWriterSet.store(SharedTraceWriter != nullptr, std::memory_order_release);
  }
  // The previous writer, if this was its last share, goes away outside the lock.
}

std::shared_ptr<Divude::IWriter> CopySharedTraceWriter() {
  OvSimpleLock lock(TraceWriterLock);
  return SharedTraceWriter;
}

bool IsSharedTraceWriterSet() { return g_sharedTraceWriterSet.load(std::memory_order_acquire); }

std::uint32_t TraceWriterLevel(std::int32_t level) {
  switch (static_cast<std::uint32_t>(level)) {
    case 0:
    case 1:
      return 1;
    case 2:
    case 3:
      return 3;
    case 4:
    case 5:
      return 4;
    case 6:
      return 5;
    case 7:
      return 6;
    default:
      return 7;
  }
}

// ---- OvTrace

OvTrace::OvTrace(bool enabled) : m_enabled(enabled) {}

OvTrace::~OvTrace() {
  // The exception line is written whatever IsEnabled says; Emit still decides whether it
  // reaches a writer.
  if (m_stdException) {
    DiscardText();
    m_level = 6;
    Text() << L"std::exception caught. What: '" << m_exceptionText << L"'. File: '"
           << Utf8ToWide(m_location.fileName.data(), m_location.fileName.size());
  } else if (m_unknownException) {
    DiscardText();
    m_level = 6;
    Text() << L"unknown exception caught. File: '"
           << Utf8ToWide(m_location.fileName.data(), m_location.fileName.size());
  }
  Emit();
  m_writer.reset();
}

void OvTrace::PrepareSourceName() {
  if (IsSharedTraceWriterSet() && m_location.sourceName.empty()) {
    m_location.sourceName = WideToUtf8(m_functionName.data(), m_functionName.size());
  }
}

OvTrace& OvTrace::SetLevel(std::int32_t level) {
  m_level = level;
  return *this;
}

std::int32_t OvTrace::SetStdException(const std::exception& exception, const char* fileName,
                                      std::int32_t line) {
  return SetStdException(exception, Utf8ToWide(fileName).c_str(), line);
}

std::int32_t OvTrace::SetStdException(const std::exception& exception, const wchar_t* fileName,
                                      std::int32_t line) {
  const char* what = exception.what();
  if (what != nullptr) m_exceptionText = Utf8ToWide(what);
  m_location.fileName = WideToUtf8(fileName);
  m_location.line = line;
  m_stdException = true;
  return line;
}

std::int32_t OvTrace::SetUnknownException(const char* fileName, std::int32_t line) {
  return SetUnknownException(Utf8ToWide(fileName).c_str(), line);
}

std::int32_t OvTrace::SetUnknownException(const wchar_t* fileName, std::int32_t line) {
  m_location.fileName = WideToUtf8(fileName);
  m_location.line = line;
  m_unknownException = true;
  return line;
}

void OvTrace::EmitLine() {
  if (IsEnabled()) {
    if (!m_writer) {
      OvSimpleLock lock(TraceWriterLock);
      m_writer = SharedTraceWriter;
    }
    if (!m_writer) {
      // Silent for good: a writer installed later does not revive this statement.
      m_enabled = false;
    } else if (m_text) {
      const std::wstring_view line = m_text->view();
      if (!line.empty()) {
        m_writer->write(TraceWriterLevel(m_level), m_location.sourceName, m_location.line,
                        WideToUtf8(line.data(), line.size()));
      }
    }
  }
  DiscardText();
  m_level = 0;
}

std::wostringstream& OvTrace::Text() {
  if (!m_text) m_text.emplace();
  return *m_text;
}

void OvTrace::DiscardText() {
  if (m_text) m_text->str(std::wstring());
}

void OvTrace::InsertUtf8(const char* utf8, std::size_t length) {
  Text() << Utf8ToWide(utf8, length);
}

OvTrace& OvTrace::operator<<(std::ios_base& (*manipulator)(std::ios_base&)) {
  manipulator(Text());
  return *this;
}

// ---- OvTraceFunction

OvTraceFunction::OvTraceFunction(std::wstring functionName, std::int32_t kind,
                                 const void* returnValue, bool enabled)
    : OvTrace(enabled), m_kind(kind), m_returnValue(returnValue) {
  m_functionName = std::move(functionName);
  PrepareSourceName();
  if (IsEnabled()) Text() << L" function enter.";
  Emit();
}

OvTraceFunction::~OvTraceFunction() {
  PrepareSourceName();
  if (m_stdException || m_unknownException) {
    SetLevel(6);
    if (IsEnabled()) Text() << L" exception detected. Check next message...";
    Emit();
  } else {
    if (IsEnabled()) WriteReturnValue();
    Emit();
  }
}

const std::wstring& OvTraceFunction::GetFunctionName() {
  if (m_functionName.empty() && !m_location.sourceName.empty()) {
    m_functionName = Utf8ToWide(m_location.sourceName.data(), m_location.sourceName.size());
  }
  return m_functionName;
}

namespace {

template <typename T>
T ReadValue(const void* pointer) {
  T value;
  std::memcpy(&value, pointer, sizeof value);
  return value;
}

std::wstring DefaultFormat(double value) {
  std::wostringstream stream;
  stream << value;
  return stream.str();
}

std::wstring LowerHex(unsigned long value) {
  std::wostringstream stream;
  stream << std::hex << std::nouppercase << value;
  return stream.str();
}

}  // namespace

void OvTraceFunction::WriteReturnValue() {
  const std::int32_t kind = m_returnValue == nullptr ? kReturnNone : m_kind;
  std::wstring value;
  switch (kind) {
    case kReturnBoolAlpha:
      value = ReadValue<unsigned char>(m_returnValue) != 0 ? L"true" : L"false";
      break;
    case kReturnBoolNumeric:
      value = ReadValue<unsigned char>(m_returnValue) != 0 ? L"1" : L"0";
      break;
    case kReturnSuccessFail:
      value = ReadValue<unsigned char>(m_returnValue) != 0 ? L"'Success'" : L"'Fail'";
      break;
    case kReturnLong:
      value = std::to_wstring(ReadValue<long>(m_returnValue));
      break;
    case kReturnULong:
      value = std::to_wstring(ReadValue<unsigned long>(m_returnValue));
      break;
    case kReturnULongHex:
      value = LowerHex(ReadValue<unsigned long>(m_returnValue));
      break;
    case kReturnFloat:
      value = DefaultFormat(ReadValue<float>(m_returnValue));
      break;
    case kReturnDouble:
      value = DefaultFormat(ReadValue<double>(m_returnValue));
      break;
    case kReturnInt32:
    case kReturnInt32Alt:
      value = std::to_wstring(ReadValue<std::int32_t>(m_returnValue));
      break;
    case kReturnUInt32:
      value = std::to_wstring(ReadValue<std::uint32_t>(m_returnValue));
      break;
    default:  // kReturnNone, 12 and above, and anything negative
      Text() << L" function exit.";
      return;
  }
  Text() << L" function exit with return value: " << value;
}

}  // namespace ov::trace
