// dovrel-relay: serves display :N's TCP port for the telnet host of a
// launch, relayed to the display's local socket. Started by dovrel with the
// listening socket and the read end of its control pipe on the descriptors
// the protocol names; unless it admits by address (--trust-host), the first
// bytes on the pipe are the launch's cookie. It ends once dovrel is done and
// the last relayed connection has closed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "common/base/ports.h"
#include "common/base/program_name.h"
#include "common/base/relay_protocol.h"
#include "common/net/connector.h"
#include "common/secret/secret_bytes.h"
#include "common/secret/secret_guard.h"
#include "common/net/local_socket.h"
#include "relay/relay_server.h"
#include "relay/untrusted_authority.h"

namespace {

int Usage() {
  std::fputs("dovrel-relay is started by dovrel: --peer ADDRESS --display N [--trust-host] [--untrusted] [--verbose]\n",
             stderr);
  return 2;
}

// One line on standard error, under the program's name.
void Say(const std::string& line) {
  const std::string said = std::string(dovrel::kReportPrefix) + "relay: " + line + "\n";
  std::fputs(said.c_str(), stderr);
}

// The launch's cookie, as dovrel writes it on the control pipe.
std::optional<dovrel::SecretCookie> ReadCookie(int fd) {
  dovrel::SecretCookie cookie;
  std::size_t got = 0;
  while (got < cookie.Get().size()) {
    const ssize_t n = ::read(fd, cookie.Get().data() + got, cookie.Get().size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    got += static_cast<std::size_t>(n);
  }
  return cookie;
}

}  // namespace

int main(int argc, char** argv) {
  dovrel::RelayConfig config;
  bool verbose = false;
  bool peerGiven = false;
  bool trustHost = false;
  bool untrusted = false;
  config.display = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == dovrel::kRelayVerboseSwitch) {
      verbose = true;
    } else if (argument == dovrel::kRelayTrustHostSwitch) {
      trustHost = true;
    } else if (argument == dovrel::kRelayUntrustedSwitch) {
      untrusted = true;
    } else if (argument == dovrel::kRelayPeerArgument && i + 1 < argc) {
      in_addr peer{};
      if (::inet_pton(AF_INET, argv[++i], &peer) != 1) return Usage();
      config.peer = peer.s_addr;
      peerGiven = true;
    } else if (argument == dovrel::kRelayDisplayArgument && i + 1 < argc) {
      const auto number = dovrel::DisplayDigit(argv[++i]);
      if (!number) return Usage();
      config.display = *number;
    } else {
      return Usage();
    }
  }
  if (!peerGiven || config.display < 0) return Usage();
  // The tests shorten the relay's life; nothing lengthens it.
  if (const char* grace = std::getenv("DOVREL_RELAY_LATE_GRACE_MS")) {  // NOLINT(concurrency-mt-unsafe)
    char* end = nullptr;
    const long ms = std::strtol(grace, &end, 10);
    if (end != grace && *end == '\0' && ms >= 0 && ms < config.limits.lateGrace.count()) {
      config.limits.lateGrace = std::chrono::milliseconds(ms);
      config.limits.reopenWindow = std::min(config.limits.reopenWindow, config.limits.lateGrace);
    }
  }
  // The cookie it reads stays out of core dumps and other processes' reach.
  dovrel::ProtectSecretsFromInspection();
  if (!trustHost) {
    config.cookie = ReadCookie(dovrel::kRelayControlFd);
    if (!config.cookie) return 1;
  }

  // Nothing of dovrel's but the two descriptors it was given.
  ::close_range(dovrel::kRelayControlFd + 1, ~0U, 0);
  if (verbose) {
    config.report = [](const std::string& line) { Say(line); };
  }
  config.xSocket = dovrel::X11LocalSocketPath(config.display);

  // Before the fork, so that dovrel learns from the exit status when the
  // X server cannot give one.
  std::unique_ptr<dovrel::UntrustedAuthority> untrustedAuthority;
  if (untrusted) {
    auto generated = dovrel::UntrustedAuthority::Generate(config.display);
    if (!generated) {
      Say(generated.Why());
      return dovrel::kRelayExitNoUntrusted;
    }
    untrustedAuthority = std::move(*generated);
    config.authorisation = [&untrustedAuthority] { return std::optional(untrustedAuthority->Cookie()); };
  }

  // A process of its own, in a session of its own: it lives on after dovrel
  // and its terminal, as long as a relayed connection does. The parent
  // leaves at once, touching nothing the child goes on using (the X
  // connection of the untrusted authorisation among them).
  const pid_t child = ::fork();
  if (child < 0) return 1;
  if (child > 0) ::_exit(0);
  ::setsid();
  [[maybe_unused]] const int root = ::chdir("/");
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGHUP, SIG_IGN);
  config.listener.Reset(dovrel::kRelayListenerFd);
  config.control.Reset(dovrel::kRelayControlFd);

  // A later launch to the same display on another host joins this relay
  // rather than finding its port taken.
  sockaddr_in served{};
  socklen_t length = sizeof served;
  // Its socket is a file in a directory of this user's alone: no other
  // account can take its name or reach it.
  std::string joinPath;
  const auto directory = dovrel::OwnSocketDirectory();
  if (directory && ::getsockname(dovrel::kRelayListenerFd, reinterpret_cast<sockaddr*>(&served), &length) == 0) {
    joinPath = *directory + "/" + dovrel::RelayJoinName(dovrel::AddressAndPort(served));
    config.joinListener = dovrel::ListenSocketFile(joinPath);
    if (!config.joinListener) joinPath.clear();
  }
  char peer[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &config.peer, peer, sizeof peer);
  if (config.report) {
    config.report("started (pid " + std::to_string(::getpid()) + "): serving display :" +
                  std::to_string(config.display) + " to " + peer +
                  (trustHost ? " by its address alone" : " with this launch's cookie") +
                  (untrusted ? ", as an untrusted client" : "") + ", through " + config.xSocket);
  }
  dovrel::RunRelay(std::move(config));
  if (!joinPath.empty()) ::unlink(joinPath.c_str());
  return 0;
}
