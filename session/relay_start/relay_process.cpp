#include "session/relay_start/relay_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <cstring>
#include <vector>

#include "common/base/ports.h"
#include "common/base/relay_protocol.h"
#include "common/net/child_process.h"
#include "common/net/connector.h"
#include "common/net/error_text.h"
#include "common/net/local_socket.h"
#include "common/net/transport.h"

namespace dovrel {

namespace {

std::string SystemError(const std::string& what, int error) { return what + ": " + ErrorText(error); }

// A descriptor above the ones the child is given, so that no dup2 in the
// child maps a descriptor onto itself and keeps its close-on-exec flag.
UniqueFd DuplicateAboveChildFds(const UniqueFd& fd) { return UniqueFd(::fcntl(fd.Get(), F_DUPFD_CLOEXEC, 10)); }

}  // namespace

OrFailure<StartingRelay> BeginDisplayRelay(const std::string& program, const std::string& localAddress,
                                           const std::string& peerAddress, int display, const RelayOptions& options) {
  const bool verbose = options.verbose;
  if (program.empty()) return Failure{"the relay program dovrel-relay is not installed"};
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(X11TcpPort(display));
  if (::inet_pton(AF_INET, localAddress.c_str(), &address.sin_addr) != 1) {
    return Failure{"this machine's address " + localAddress + " is not an IPv4 address"};
  }
  const std::string served = AddressAndPort(localAddress, X11TcpPort(display));
  UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int on = 1;
  // A connection of an earlier relay may linger in TIME-WAIT on this port.
  if (!listener || ::setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener.Get(), 16) != 0) {
    return Failure{SystemError("cannot listen on " + served, errno)};
  }
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return Failure{SystemError("cannot make a pipe", errno)};
  UniqueFd controlRead(pipeFds[0]);
  UniqueFd controlWrite(pipeFds[1]);
  const UniqueFd listenerHigh = DuplicateAboveChildFds(listener);
  const UniqueFd controlHigh = DuplicateAboveChildFds(controlRead);
  if (!listenerHigh || !controlHigh) return Failure{SystemError("cannot pass the listener on", errno)};

  const std::string displayArgument = std::to_string(display);
  std::vector<std::string> arguments = {program, std::string(kRelayPeerArgument), peerAddress,
                                        std::string(kRelayDisplayArgument), displayArgument};
  if (verbose) arguments.emplace_back(kRelayVerboseSwitch);
  if (!options.cookie) arguments.emplace_back(kRelayTrustHostSwitch);
  if (options.untrusted) arguments.emplace_back(kRelayUntrustedSwitch);
  // The listener and the control pipe at the descriptors the relay expects.
  static_assert(kRelayListenerFd == 3 && kRelayControlFd == 4);
  // Standard error stays the user's only under -v: otherwise a relay that
  // lives on would hold whatever reads this program's output open.
  int spawned = 0;
  const pid_t child = StartChild({std::move(arguments), std::nullopt, {-1, -1, verbose ? STDERR_FILENO : -1},
                                  {listenerHigh.Get(), controlHigh.Get()}},
                                 spawned);
  if (spawned != 0) return Failure{SystemError("cannot start " + program, spawned)};
  // The cookie goes on the pipe, never in the arguments or the environment,
  // where other processes could read it. The pipe holds it until read.
  bool handed = true;
  if (options.cookie) {
    const CookieBytes& bytes = options.cookie->Bytes();
    handed = ::write(controlWrite.Get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  return StartingRelay(child, RelayHandle{std::move(controlWrite), served}, handed, program, display);
}

StartingRelay::StartingRelay(pid_t child, RelayHandle handle, bool handed, std::string program, int display)
    : m_child(child), m_handle(std::move(handle)), m_handed(handed), m_program(std::move(program)), m_display(display) {}

StartingRelay::StartingRelay(StartingRelay&& other) noexcept
    : m_child(std::exchange(other.m_child, -1)),
      m_handle(std::move(other.m_handle)),
      m_handed(other.m_handed),
      m_program(std::move(other.m_program)),
      m_display(other.m_display) {}

StartingRelay::~StartingRelay() {
  // Never left a zombie: the program ends at once in any case.
  if (m_child > 0) static_cast<void>(Finish());
}

OrFailure<RelayHandle> StartingRelay::Finish() {
  // The program leaves a process of its own behind and ends at once, having
  // taken the listener: this process has no child to wait for later.
  const pid_t child = std::exchange(m_child, -1);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == kRelayExitNoUntrusted) {
    return Failure{"the X server of display :" + std::to_string(m_display) +
           " gave no untrusted authorisation: it has no SECURITY extension (Xwayland has none), so --untrusted "
           "cannot work there"};
  }
  if (!m_handed || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return Failure{m_program + " did not start"};
  return std::move(m_handle);
}

JoinResult JoinDisplayRelay(const std::string& localAddress, const std::string& peerAddress, int display,
                            const LaunchCookie* cookie, std::chrono::milliseconds answerLimit,
                            const AbortSignal& abort) {
  const std::string served = AddressAndPort(localAddress, X11TcpPort(display));
  // The join socket lives in a directory of this user's alone; a relay of
  // this user's is still checked for at the other end before it is told the
  // host or the cookie.
  const auto directory = OwnSocketDirectory();
  if (!directory) {
    return {std::nullopt, "the directory of this user's sockets is missing or not this user's alone"};
  }
  UniqueFd join = ConnectOwnSocketFile(*directory + "/" + RelayJoinName(served));
  if (!join) return {};
  SecretString request(kRelayJoinLineLimit);
  AppendJoinLine(peerAddress, cookie ? &cookie->Bytes() : nullptr, request.Edit());
  const bool sent = ::send(join.Get(), request.View().data(), request.View().size(), MSG_NOSIGNAL) ==
                    static_cast<ssize_t>(request.View().size());
  if (!sent) return {std::nullopt, "the relay for " + served + " did not take the request to join"};
  // The answer, within the limit: a relay that does not answer is not
  // joined. It comes in one write, so one read takes it whole.
  char answer[32] = {};
  ssize_t got = -1;
  if (WaitForSocket(join.Get(), POLLIN, abort, answerLimit) == IoStatus::kOk) {
    got = ::recv(join.Get(), answer, sizeof answer, 0);
  }
  if (got == 0) return {std::nullopt, "the relay for " + served + " does not take this launch's request to join", false, true};
  const std::string_view said(answer, got > 0 ? static_cast<std::size_t>(got) : 0);
  if (said != kRelayJoinAckCookie && said != kRelayJoinAckAddress) {
    return {std::nullopt, "the relay for " + served + " did not answer the request to join"};
  }
  return {RelayHandle{std::move(join), served}, {}, said == kRelayJoinAckAddress, false};
}

}  // namespace dovrel
