#pragma once

#include <sys/socket.h>

#include "common/net/unique_fd.h"

namespace dovrel::test {

// A connected pair of local stream sockets: the client's end and the host's.
// Bytes the host has not read count as bytes it has not acknowledged.
struct SocketPair {
  SocketPair() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
      client.Reset(fds[0]);
      host.Reset(fds[1]);
    }
  }

  UniqueFd client;
  UniqueFd host;
};

}  // namespace dovrel::test
