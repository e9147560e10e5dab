#pragma once

#include <cstdint>
#include <vector>

#include "common/net/unique_fd.h"

namespace dovrel::test {

// A loopback listener whose backlog is full, so that a further connect to it
// hangs: the kernel drops the SYNs while nobody accepts.
class HangingListener {
 public:
  HangingListener();
  [[nodiscard]] std::uint16_t Port() const { return m_port; }
  // False if the backlog could not be filled on this system.
  [[nodiscard]] bool IsHanging() const { return m_hanging; }

 private:
  UniqueFd m_listener;
  std::vector<UniqueFd> m_fillers;
  std::uint16_t m_port = 0;
  bool m_hanging = false;
};

}  // namespace dovrel::test
