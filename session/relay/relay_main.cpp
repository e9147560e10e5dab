// dovrel-relay: serves display :N's TCP port for one telnet host, relayed to
// the display's local socket. Started by dovrel with the listening socket on
// descriptor 3 and the read end of its control pipe on descriptor 4; ends
// once dovrel is done and the last relayed connection has closed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/ports.h"
#include "net/local_socket.h"
#include "relay/relay_server.h"

namespace {

int Usage() {
  std::fputs("dovrel-relay is started by dovrel: --peer ADDRESS --display N [--verbose]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  dovrel::RelayConfig config;
  bool verbose = false;
  bool peerGiven = false;
  config.display = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--verbose") {
      verbose = true;
    } else if (argument == "--peer" && i + 1 < argc) {
      in_addr peer{};
      if (::inet_pton(AF_INET, argv[++i], &peer) != 1) return Usage();
      config.peer = peer.s_addr;
      peerGiven = true;
    } else if (argument == "--display" && i + 1 < argc) {
      const std::string_view number = argv[++i];
      if (number.size() != 1 || number[0] < '0' || number[0] > '9') return Usage();
      config.display = number[0] - '0';
    } else {
      return Usage();
    }
  }
  if (!peerGiven || config.display < 0) return Usage();

  // A process of its own, in a session of its own: it lives on after dovrel
  // and its terminal, as long as a relayed connection does.
  const pid_t child = ::fork();
  if (child < 0) return 1;
  if (child > 0) return 0;
  ::setsid();
  [[maybe_unused]] const int root = ::chdir("/");
  // Nothing of dovrel's but the two descriptors it was given.
  ::close_range(5, ~0U, 0);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGHUP, SIG_IGN);
  // The cookie it reads stays out of core dumps and other processes' reach.
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  config.listener.Reset(3);
  config.control.Reset(4);
  // A later launch to the same display on another host joins this relay
  // rather than finding its port taken.
  sockaddr_in served{};
  socklen_t length = sizeof served;
  char address[INET_ADDRSTRLEN] = {};
  if (::getsockname(3, reinterpret_cast<sockaddr*>(&served), &length) == 0 &&
      ::inet_ntop(AF_INET, &served.sin_addr, address, sizeof address) != nullptr) {
    config.joinListener =
        dovrel::ListenAbstract(dovrel::RelayJoinName(std::string(address) + ":" + std::to_string(ntohs(served.sin_port))));
  }
  config.xSocket = dovrel::X11LocalSocketPath(config.display);
  if (verbose) {
    config.report = [](const std::string& line) { std::fprintf(stderr, "dovrel: relay: %s\n", line.c_str()); };
  }
  char peer[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &config.peer, peer, sizeof peer);
  if (config.report) {
    config.report("started (pid " + std::to_string(::getpid()) + "): serving display :" +
                  std::to_string(config.display) + " to " + peer + " alone, through " + config.xSocket);
  }
  dovrel::RunRelay(std::move(config));
  return 0;
}
