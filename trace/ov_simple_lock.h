// A scoped hold on a critical section.
#pragma once
#include <mutex>

namespace ov::trace {

// Any mutex serves as the critical section; std::mutex needs no run-time creation, so a
// process-wide one exists before any static constructor could trace.
using OvCriticalSection = std::mutex;

class OvSimpleLock {
 public:
  explicit OvSimpleLock(OvCriticalSection& section) : m_section(section) { m_section.lock(); }
  OvSimpleLock(const OvSimpleLock&) = delete;
  OvSimpleLock& operator=(const OvSimpleLock&) = delete;
  virtual ~OvSimpleLock() { m_section.unlock(); }

 private:
  OvCriticalSection& m_section;
};

}  // namespace ov::trace
