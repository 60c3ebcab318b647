// A growable byte buffer whose capacity grows by doubling and shrinks by halving.
#pragma once
#include <cstddef>
#include <cstdint>

namespace ov::trace {

inline constexpr std::uint32_t kIOBufferOk = 0;
inline constexpr std::uint32_t kIOBufferNoMemory = 3;

class OvIOBufferIf {
 public:
  virtual ~OvIOBufferIf() = default;
  virtual std::size_t Size() const = 0;
  // Null until the first allocation.
  virtual std::uint8_t* Data() = 0;
  // kIOBufferOk, or kIOBufferNoMemory with size and contents unchanged.
  virtual std::uint32_t Resize(std::size_t bytes) = 0;
};

// Capacity moves in powers of two of the initial capacity up to the growth quantum and in
// whole quanta beyond it, so a buffer reused for texts of similar length is not
// reallocated for every one of them, and one huge text does not pin a huge block.
class OvIOBuffer final : public OvIOBufferIf {
 public:
  // An initial capacity of 0 counts as 1; the quantum is never less than the initial capacity.
  OvIOBuffer(std::size_t initialCapacity, std::size_t growthQuantum);
  OvIOBuffer(const OvIOBuffer&) = delete;
  OvIOBuffer& operator=(const OvIOBuffer&) = delete;
  ~OvIOBuffer() override;

  std::size_t Size() const override { return m_size; }
  std::uint8_t* Data() override { return m_bytes; }
  std::uint32_t Resize(std::size_t bytes) override;

  std::size_t Capacity() const { return m_capacity; }

 private:
  std::size_t m_initialCapacity;
  std::size_t m_growthQuantum;
  std::size_t m_size = 0;
  std::size_t m_capacity = 0;
  std::uint8_t* m_bytes = nullptr;
};

}  // namespace ov::trace
