#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "common/net/unique_fd.h"

namespace dovrel {

// Bytes on their way from one side of a relayed connection to the other,
// held in a pipe: splice(2) moves them from socket to socket without a copy
// through this process. The pipe is made by Open(), once a connection has
// been admitted, so a client that never finishes its setup costs none.
class SplicePipe {
 public:
  // Makes the pipe and asks for `capacity` bytes of room; when the system
  // grants less (this user's pipe quota), the pipe keeps its default size.
  // False when no pipe could be made.
  bool Open(std::size_t capacity);

  [[nodiscard]] bool Empty() const { return m_count == 0; }
  [[nodiscard]] bool HasRoom() const { return m_count < m_capacity; }
  [[nodiscard]] std::size_t Capacity() const { return m_capacity; }
  // Bytes passed on since the last call.
  std::size_t TakeMoved() { return std::exchange(m_moved, 0); }

  // Takes what `from` has, as far as there is room. False at its end or on
  // an error; true when it had nothing more for now.
  bool ReadFrom(int from);
  // Passes what is pending to `to`, as far as it takes it. False on an error.
  bool WriteTo(int to);
  // Puts bytes of this process's own in line (the rewritten setup request).
  bool Append(std::span<const std::uint8_t> bytes);

 private:
  UniqueFd m_read;
  UniqueFd m_write;
  std::size_t m_capacity = 0;
  std::size_t m_count = 0;
  std::size_t m_moved = 0;
};

}  // namespace dovrel
