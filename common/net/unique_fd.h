#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace dovrel {

// Owns one file descriptor and closes it exactly once.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.m_fd, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  [[nodiscard]] int Get() const noexcept { return m_fd; }
  [[nodiscard]] bool IsOpen() const noexcept { return m_fd >= 0; }
  explicit operator bool() const noexcept { return IsOpen(); }

  // Gives the descriptor up to a new owner that will close it.
  [[nodiscard]] int Release() noexcept { return std::exchange(m_fd, -1); }

  void Reset(int fd = -1) noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd = -1;
};

// Puts `fd` in non-blocking mode; false if the system refused.
inline bool SetNonBlocking(int fd) noexcept {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace dovrel
