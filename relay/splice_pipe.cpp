#include "relay/splice_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace dovrel {

bool SplicePipe::Open(std::size_t capacity) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  m_read.Reset(fds[0]);
  m_write.Reset(fds[1]);
  int size = ::fcntl(m_write.Get(), F_SETPIPE_SZ, static_cast<int>(capacity));
  if (size <= 0) size = ::fcntl(m_write.Get(), F_GETPIPE_SZ);
  m_capacity = size > 0 ? static_cast<std::size_t>(size) : 0;
  return m_capacity > 0;
}

bool SplicePipe::ReadFrom(int from) {
  while (m_count < m_capacity) {
    const std::size_t room = m_capacity - m_count;
    const ssize_t got = ::splice(from, nullptr, m_write.Get(), nullptr, room, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    if (got > 0) {
      m_count += static_cast<std::size_t>(got);
      // Less than there was room for: the socket is empty for now, and
      // poll will tell when there is more.
      if (static_cast<std::size_t>(got) < room) return true;
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
  return true;
}

bool SplicePipe::WriteTo(int to) {
  while (m_count > 0) {
    const ssize_t sent = ::splice(m_read.Get(), nullptr, to, nullptr, m_count, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    if (sent > 0) {
      m_count -= static_cast<std::size_t>(sent);
      m_moved += static_cast<std::size_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
  return true;
}

bool SplicePipe::Append(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return true;
  if (m_capacity - m_count < bytes.size()) return false;
  const ssize_t written = ::write(m_write.Get(), bytes.data(), bytes.size());
  if (written != static_cast<ssize_t>(bytes.size())) return false;
  m_count += bytes.size();
  return true;
}

}  // namespace dovrel
