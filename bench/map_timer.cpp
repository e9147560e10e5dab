// Start-up: the time from exec to the program's first window being mapped on
// an X server with no window manager, and its peak resident memory while the
// window is up.
//
//   map_timer RUNS NAME COMMAND [ARGS...]
// Prints: NAME start-up, and NAME peak memory, each with median, min, max.
//
//   map_timer --login RUNS NAME COMMAND [ARGS...]
// Once the program's first window (a login form) is up, types $BENCH_USER,
// Tab and $BENCH_PASSWORD with xdotool, and times from Enter to the next
// window being mapped (the remote terminal).

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
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

int main(int argc, char** argv) {
  const bool login = argc > 1 && std::string(argv[1]) == "--login";
  if (login) {
    ++argv;
    --argc;
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: map_timer [--login] RUNS NAME COMMAND [ARGS...]\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  const std::string name = argv[2];
  xcb_connection_t* x = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x) != 0) {
    std::fprintf(stderr, "map_timer: no display\n");
    return 1;
  }
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(x);

  std::vector<double> startup, memory;
  for (int run = 0; run < runs; ++run) {
    while (xcb_generic_event_t* stale = xcb_poll_for_event(x)) std::free(stale);
    const double t0 = NowMs();
    const pid_t child = ::fork();
    if (child == 0) {
      ::execvp(argv[3], argv + 3);
      ::_exit(127);
    }
    if (!WaitForMap(x)) return 1;
    double mapped = NowMs() - t0;
    if (login) {
      Type("type --delay 5 \"$BENCH_USER\"");
      Type("key Tab");
      Type("type --delay 5 \"$BENCH_PASSWORD\"");
      while (xcb_generic_event_t* stale = xcb_poll_for_event(x)) std::free(stale);
      const double enter = NowMs();
      Type("key Return");
      if (!WaitForMap(x)) return 1;
      mapped = NowMs() - enter;
    }
    // Let the window settle, then read the high-water mark of its memory.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    startup.push_back(mapped);
    memory.push_back(static_cast<double>(PeakResidentKiB(child)) / 1024.0);
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
  }
  xcb_disconnect(x);
  if (login) {
    Print(name + ": Enter to terminal mapped", startup, "ms");
  } else {
    Print(name + ": exec to window mapped", startup, "ms");
    Print(name + ": peak resident memory", memory, "MiB");
  }
  return 0;
}
