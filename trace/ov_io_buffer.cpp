// OvIOBuffer: the capacity rule of Resize.
#include "trace/ov_io_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace ov::trace {

OvIOBuffer::OvIOBuffer(std::size_t initialCapacity, std::size_t growthQuantum)
    : m_initialCapacity(initialCapacity == 0 ? 1 : initialCapacity),
      m_growthQuantum(std::max(growthQuantum, m_initialCapacity)) {}

OvIOBuffer::~OvIOBuffer() { delete[] m_bytes; }

std::uint32_t OvIOBuffer::Resize(std::size_t bytes) {
  const std::size_t oldSize = m_size;
  const std::size_t keep = std::min(oldSize, bytes);
  if (bytes < m_size) m_size = bytes;

  const std::size_t request = bytes == 0 ? 1 : bytes;
  std::size_t candidate = m_bytes != nullptr ? m_capacity : m_initialCapacity;
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();

  if (request > m_growthQuantum) {
    const std::size_t quanta = request / m_growthQuantum + (request % m_growthQuantum != 0 ? 1 : 0);
    if (quanta > kMax / m_growthQuantum) {
      m_size = oldSize;
      return kIOBufferNoMemory;
    }
    candidate = quanta * m_growthQuantum;
    if (m_bytes != nullptr && m_capacity >= request &&
        m_capacity / m_growthQuantum == candidate / m_growthQuantum) {
      m_size = bytes;
      return kIOBufferOk;
    }
  } else if (request > m_capacity) {
    while (candidate < request) {
      if (candidate > kMax / 2) {
        m_size = oldSize;
        return kIOBufferNoMemory;
      }
      candidate *= 2;
    }
  } else {
    while (request <= kMax / 2 && candidate > 2 * request && candidate > m_initialCapacity) {
      candidate /= 2;
    }
    if (candidate == m_capacity) {
      m_size = bytes;
      return kIOBufferOk;
    }
  }

  auto* block = new (std::nothrow) std::uint8_t[candidate];
  if (block == nullptr) {
    m_size = oldSize;
    return kIOBufferNoMemory;
  }
  if (keep != 0) std::memcpy(block, m_bytes, keep);
  delete[] m_bytes;
  m_bytes = block;
  m_capacity = candidate;
  m_size = bytes;
  return kIOBufferOk;
}

}  // namespace ov::trace
