// The dialogue's cost: time from the worker's start to "exit\n" reaching a
// scripted host that answers every prompt at once, and the launcher's CPU
// time; the same dialogue by expect driving
// Debian's telnet client; the floor of round trips on loopback; and how the
// cost grows with banners and drains of 1 KiB to 16 MiB.
//
//   dialogue_bench RUNS [expect-script]
// Prints one line per figure: name, median, min, max, unit.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "session/launcher_session.h"
#include "session/launch/session_observer.h"
#include "session/watch/local_display.h"

namespace {

using namespace std::chrono_literals;
using dovrel::UniqueFd;

double NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void Print(const std::string& name, std::vector<double> values, const char* unit) {
  std::sort(values.begin(), values.end());
  const double median = values[values.size() / 2];
  std::printf("%s\t%.3f\t%.3f\t%.3f\t%s\n", name.c_str(), median, values.front(), values.back(), unit);
  std::fflush(stdout);
}

UniqueFd Listen(std::uint16_t& port) {
  UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener.Get(), 4) != 0 ||
      ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("listen");
    std::exit(1);
  }
  port = ntohs(address.sin_port);
  return listener;
}

bool SendAllBytes(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadUntil(int fd, std::string& seen, const std::string& pattern) {
  char buffer[65536];
  while (seen.find(pattern) == std::string::npos) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    seen.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

// What the scripted host reports back: when the user name and "exit\n"
// arrived (CLOCK_MONOTONIC, ms).
struct HostTimes {
  double userArrived = 0;
  double exitArrived = 0;
};

// A host in a child process that answers every prompt at once. `banner` goes
// before the login prompt, `drain` after "exit\n".
pid_t StartHost(UniqueFd& listener, int reportFd, std::size_t banner, std::size_t drain) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  UniqueFd client(::accept(listener.Get(), nullptr, nullptr));
  HostTimes times;
  std::string seen;
  const std::string bulk(65536, 'b');
  auto sendBulk = [&](std::size_t size) {
    for (std::size_t left = size; left > 0;) {
      const std::size_t now = std::min(left, bulk.size());
      if (!SendAllBytes(client.Get(), bulk.substr(0, now))) return false;
      left -= now;
    }
    return true;
  };
  // Each answer is a line; a telnet client may end it in CR LF.
  auto line = [&](const char* ending) {
    const bool got = ReadUntil(client.Get(), seen, ending);
    seen.clear();
    return got;
  };
  const bool ok = sendBulk(banner) && SendAllBytes(client.Get(), "\r\nhost login: ") && line("\n") &&
                  ((times.userArrived = NowMs()), true) && SendAllBytes(client.Get(), "Password: ") &&
                  line("\n") && SendAllBytes(client.Get(), "\r\nbench@host:~$ ") && line("exit");
  times.exitArrived = NowMs();
  if (ok) sendBulk(drain);
  [[maybe_unused]] const auto written = ::write(reportFd, &times, sizeof times);
  ::_exit(ok ? 0 : 1);
}

class NullObserver final : public dovrel::SessionObserver {
 public:
  void PhaseChanged(dovrel::SessionPhase) override {}
  void Report(const std::string&) override {}
  void Finished(const dovrel::SessionEnd&) override {}
};

// A display on which the terminal appears the moment it is typed: the
// dialogue's own cost, without a terminal program's start-up.
class InstantDisplay final : public dovrel::LocalDisplay {
 public:
  Reach CheckTcp(const std::string&, int, const dovrel::AbortSignal&, const dovrel::Limits&) override {
    return Reach::kListening;
  }
  std::optional<std::uint32_t> TcpListenerOwner(const std::string&, int) override { return ::geteuid(); }
  bool AnswersAsXServer(const std::string&, int, const dovrel::AbortSignal&, const dovrel::Limits&) override {
    return true;
  }
  bool HasLocalSocket(int) override { return true; }
  bool LocalSocketTrusted(int) override { return true; }
  std::unique_ptr<dovrel::TerminalWatch> WatchWindows(int, const dovrel::Limits&,
                                                      const dovrel::AbortSignal&) override {
    return std::make_unique<AlwaysSeen>();
  }
  std::unique_ptr<dovrel::TerminalWatch> Watch(const std::string&, int, bool, const dovrel::Limits&,
                                               const dovrel::AbortSignal&) override {
    return std::make_unique<AlwaysSeen>();
  }

 private:
  class AlwaysSeen final : public dovrel::TerminalWatch {
   public:
    bool Seen(std::chrono::steady_clock::time_point) override { return true; }
    [[nodiscard]] bool SeesWindows() const override { return true; }
  };
};

struct Run {
  double toExit = 0;     // start to "exit\n" at the host
  double toUser = 0;     // start to the user name at the host
  double total = 0;      // start to the session's end
  double cpu = 0;        // launcher CPU time
};

Run LauncherRun(std::size_t banner, std::size_t drain) {
  std::uint16_t port = 0;
  UniqueFd listener = Listen(port);
  int report[2];
  if (::pipe(report) != 0) std::exit(1);
  const pid_t host = StartHost(listener, report[1], banner, drain);
  ::close(report[1]);

  dovrel::SessionSetup setup;
  setup.port = port;
  setup.display = std::make_shared<InstantDisplay>();
  std::string user = "bench";
  std::string password = "pw";
  dovrel::LauncherSession session(
      dovrel::SessionRequest::FromTyped({"127.0.0.1", 0, true}, user, password),
      std::make_shared<NullObserver>(), setup);
  const double cpu0 = CpuMs();
  const double t0 = NowMs();
  session.RunSession();
  Run run;
  run.total = NowMs() - t0;
  run.cpu = CpuMs() - cpu0;
  HostTimes times;
  if (::read(report[0], &times, sizeof times) != static_cast<ssize_t>(sizeof times)) std::exit(1);
  ::close(report[0]);
  ::waitpid(host, nullptr, 0);
  run.toExit = times.exitArrived - t0;
  run.toUser = times.userArrived - t0;
  if (!dovrel::TerminalStarted(session.Outcome())) {
    std::fprintf(stderr, "the dialogue did not complete\n");
    std::exit(1);
  }
  return run;
}

double ExpectRun(const char* script) {
  std::uint16_t port = 0;
  UniqueFd listener = Listen(port);
  int report[2];
  if (::pipe(report) != 0) std::exit(1);
  const pid_t host = StartHost(listener, report[1], 0, 0);
  ::close(report[1]);
  const double t0 = NowMs();
  const pid_t client = ::fork();
  if (client == 0) {
    const std::string portText = std::to_string(port);
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 1);
    ::execlp("expect", "expect", "-f", script, "127.0.0.1", portText.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  HostTimes times;
  const bool got = ::read(report[0], &times, sizeof times) == static_cast<ssize_t>(sizeof times);
  ::close(report[0]);
  ::waitpid(host, nullptr, 0);
  ::waitpid(client, nullptr, 0);
  if (!got) std::exit(1);
  return times.exitArrived - t0;
}

// One round trip of one byte over loopback TCP, in ms.
std::vector<double> LoopbackRoundTrips(int count) {
  std::uint16_t port = 0;
  UniqueFd listener = Listen(port);
  UniqueFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(client.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::exit(1);
  UniqueFd server(::accept(listener.Get(), nullptr, nullptr));
  const int on = 1;
  ::setsockopt(client.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(server.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  std::vector<double> trips;
  char byte = 'x';
  for (int i = 0; i < count; ++i) {
    const double t0 = NowMs();
    if (::send(client.Get(), &byte, 1, 0) != 1 || ::recv(server.Get(), &byte, 1, 0) != 1 ||
        ::send(server.Get(), &byte, 1, 0) != 1 || ::recv(client.Get(), &byte, 1, 0) != 1) {
      std::exit(1);
    }
    trips.push_back(NowMs() - t0);
  }
  return trips;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
  const char* expectScript = argc > 2 ? argv[2] : nullptr;
  const dovrel::Limits defaults;

  std::vector<double> toExit, cpu, own;
  for (int i = 0; i < runs; ++i) {
    const Run run = LauncherRun(0, 0);
    toExit.push_back(run.toExit);
    cpu.push_back(run.cpu);
    // The launcher waits on purpose once: the quiet after the shell prompt.
    own.push_back(run.toExit - static_cast<double>(defaults.promptQuiet.count()));
  }
  Print("dialogue: start to exit at the host (dovrel)", toExit, "ms");
  Print("dialogue: deliberate wait (quiet after the shell prompt)",
        std::vector<double>(1, static_cast<double>(defaults.promptQuiet.count())), "ms");
  Print("dialogue: the rest (network and own work)", own, "ms");
  Print("dialogue: launcher CPU time", cpu, "ms");

  const std::vector<double> trips = LoopbackRoundTrips(1000);
  Print("floor: loopback round trip", trips, "ms");
  std::vector<double> floor;
  for (const double trip : trips) floor.push_back(4 * trip);  // connect, user, password, command
  Print("floor: 4 round trips (connect + 3 prompts)", floor, "ms");

  if (expectScript != nullptr) {
    std::vector<double> expectTimes;
    for (int i = 0; i < runs; ++i) expectTimes.push_back(ExpectRun(expectScript));
    Print("dialogue: start to exit at the host (expect + telnet)", expectTimes, "ms");
  }

  for (const std::size_t size : {std::size_t{1} << 10, std::size_t{1} << 16, std::size_t{1} << 20,
                                 std::size_t{16} << 20}) {
    std::vector<double> bannerRate, drainRate;
    const int scaleRuns = size >= (std::size_t{16} << 20) ? std::max(3, runs / 3) : runs;
    for (int i = 0; i < scaleRuns; ++i) {
      const Run banner = LauncherRun(size, 0);
      bannerRate.push_back(static_cast<double>(size) / 1e6 / (banner.toUser / 1e3));
      const Run drain = LauncherRun(0, size);
      // Only the drain's own time: the session ends once the host closes.
      drainRate.push_back(static_cast<double>(size) / 1e6 / ((drain.total - drain.toExit) / 1e3));
    }
    const std::string label = size >= (1 << 20) ? std::to_string(size >> 20) + " MiB"
                                                : std::to_string(size >> 10) + " KiB";
    Print("scale: banner " + label + " before the prompt", bannerRate, "MB/s");
    Print("scale: drain " + label + " after exit", drainRate, "MB/s");
  }
  return 0;
}
