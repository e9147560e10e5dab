// Start-up: the time from exec to the program's first window being mapped on
// an X server with no window manager, and its peak resident memory while the
// window is up.
//
//   map_timer RUNS NAME COMMAND [ARGS...] [-- NAME COMMAND [ARGS...]]...
// Prints: NAME start-up, and NAME peak memory, each with median, min, max.
// With several programs the runs take turns, one of each per round, so that
// a slow spell of the machine falls on all of them alike.
//
//   map_timer --login RUNS NAME COMMAND [ARGS...]
// Once the program's first window (a login form) is up, types $BENCH_USER
// and Tab (when set), and $BENCH_PASSWORD with xdotool, and times from Enter to the next
// window being mapped (the remote terminal) and to the program's end. A
// program run with -v reports its steps on standard error: the medians of
// when each ended are printed as the phases of Enter to window, each with
// the host's share and the program's own.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include "bench/phase_report.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

long PeakResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
  }
  return 0;
}

void Print(const std::string& name, std::vector<double> values, const char* unit) {
  std::sort(values.begin(), values.end());
  std::printf("%s\t%.3f\t%.3f\t%.3f\t%s\n", name.c_str(), values[values.size() / 2], values.front(),
              values.back(), unit);
}

// When the program of the latest login run ended, ms after Enter, and
// whether it ended with the terminal started (status 0).
double g_ended = 0;
bool g_started = false;

}  // namespace

// Waits for the next MapNotify; false if the connection broke.
bool WaitForMap(xcb_connection_t* x) {
  for (;;) {
    xcb_generic_event_t* event = xcb_wait_for_event(x);
    if (event == nullptr) return false;
    const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
    std::free(event);
    if (mapped) return true;
  }
}

void Type(const char* what) {
  const std::string command = std::string("xdotool ") + what;
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "map_timer: %s failed\n", command.c_str());
}

struct Program {
  std::string name;
  std::vector<char*> argv;  // null-terminated
  std::vector<double> startup, memory, ended;
  int failed = 0;  // login runs whose terminal did not start
  std::map<std::string, std::vector<PhaseTimes>> phases;
};

// Splits "NAME COMMAND [ARGS...] [-- NAME COMMAND [ARGS...]]..." into programs.
std::vector<Program> ParsePrograms(int argc, char** argv) {
  std::vector<Program> programs;
  for (int i = 0; i < argc;) {
    int end = i;
    while (end < argc && std::string(argv[end]) != "--") ++end;
    if (end - i < 2) return {};
    Program program{argv[i], {argv + i + 1, argv + end}, {}, {}, {}, 0, {}};
    program.argv.push_back(nullptr);
    programs.push_back(std::move(program));
    i = end + 1;
  }
  return programs;
}

// Starts the program and returns its pid and the time from exec to its first
// window mapped (or to the next window after Enter, with `login`).
std::pair<pid_t, double> TimeOneRun(xcb_connection_t* x, const Program& program, bool login) {
  while (xcb_generic_event_t* stale = xcb_poll_for_event(x)) std::free(stale);
  const double t0 = NowMs();
  const pid_t child = ::fork();
  if (child == 0) {
    if (login) {
      // The verbose report, read back for the phases.
      const int report = ::open(("/tmp/map_timer." + std::to_string(::getpid())).c_str(),
                                O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (report >= 0) ::dup2(report, 2);
    }
    ::execvp(program.argv[0], program.argv.data());
    ::_exit(127);
  }
  if (!WaitForMap(x)) return {child, -1};
  double mapped = NowMs() - t0;
  if (login) {
    // With no user to type, the form has one of its own (user@host, or
    // ssh's configuration): give it the moment a person's eye takes.
    const char* user = std::getenv("BENCH_USER");
    if (user != nullptr && *user != '\0') {
      Type("type --delay 5 \"$BENCH_USER\"");
      Type("key Tab");
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    Type("type --delay 5 \"$BENCH_PASSWORD\"");
    while (xcb_generic_event_t* stale = xcb_poll_for_event(x)) std::free(stale);
    // Enter counts from when xdotool has sent the key and gone: its own
    // start and X connection (tens of ms) are not the program's.
    Type("key Return");
    const double enter = NowMs();
    if (!WaitForMap(x)) return {child, -1};
    mapped = NowMs() - enter;
    // The program ends by itself once it has seen the terminal.
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 && NowMs() - enter < 15000) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    g_ended = NowMs() - enter;
    g_started = ended == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!g_started) {
      ::kill(child, SIGTERM);
      ::waitpid(child, nullptr, 0);
    }
    // Whatever the run left on the host (its terminal) goes before the next.
    if (const char* after = std::getenv("BENCH_AFTER_RUN")) {
      if (std::system(after) != 0) std::fprintf(stderr, "map_timer: %s failed\n", after);
    }
  }
  return {child, mapped};
}

int main(int argc, char** argv) {
  const bool login = argc > 1 && std::string(argv[1]) == "--login";
  if (login) {
    ++argv;
    --argc;
  }
  std::vector<Program> programs = argc >= 4 ? ParsePrograms(argc - 2, argv + 2) : std::vector<Program>{};
  if (programs.empty() || (login && programs.size() != 1)) {
    std::fprintf(stderr,
                 "usage: map_timer RUNS NAME COMMAND [ARGS...] [-- NAME COMMAND [ARGS...]]...\n"
                 "       map_timer --login RUNS NAME COMMAND [ARGS...]\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  xcb_connection_t* x = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x) != 0) {
    std::fprintf(stderr, "map_timer: no display\n");
    return 1;
  }
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(x);

  for (int run = 0; run < runs; ++run) {
    for (Program& program : programs) {
      const auto [child, mapped] = TimeOneRun(x, program, login);
      if (mapped < 0) return 1;
      if (login) {
        const std::string report = "/tmp/map_timer." + std::to_string(child);
        // A run whose terminal did not start (the window mapped was a box)
        // is counted, not timed.
        if (g_started) {
          program.startup.push_back(mapped);
          program.ended.push_back(g_ended);
          for (const auto& [phase, times] : ReadPhases(report)) program.phases[phase].push_back(times);
        } else {
          ++program.failed;
        }
        std::remove(report.c_str());
        continue;
      }
      // Let the window settle, then read the high-water mark of its memory.
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      program.startup.push_back(mapped);
      program.memory.push_back(static_cast<double>(PeakResidentKiB(child)) / 1024.0);
      ::kill(child, SIGTERM);
      ::waitpid(child, nullptr, 0);
    }
  }
  xcb_disconnect(x);
  for (const Program& program : programs) {
    if (login) {
      if (program.failed > 0) std::printf("%s: %d runs failed\n", program.name.c_str(), program.failed);
      if (program.startup.empty()) continue;
      Print(program.name + ": Enter to terminal mapped", program.startup, "ms");
      Print(program.name + ": Enter to program ended", program.ended, "ms");
      for (const auto& [phase, each] : program.phases) {
        const auto column = [&each](double PhaseTimes::*field) {
          std::vector<double> values;
          for (const PhaseTimes& times : each) values.push_back(times.*field);
          return values;
        };
        const std::string name = program.name + ": phase " + phase.substr(2);
        Print(name, column(&PhaseTimes::at), "ms");
        Print(name + ", the host's share", column(&PhaseTimes::host), "ms");
        Print(name + ", dovrel's share", column(&PhaseTimes::own), "ms");
      }
    } else {
      Print(program.name + ": exec to window mapped", program.startup, "ms");
      Print(program.name + ": peak resident memory", program.memory, "MiB");
    }
  }
  return 0;
}
