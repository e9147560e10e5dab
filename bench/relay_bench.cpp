// The relay against direct TCP to the same X server, in the same run: X
// round trips per second (GetInputFocus) and bulk throughput (PutImage), one
// of each per round, taking turns so that a slow spell falls on both alike.
//
//   relay_bench RUNS DISPLAY RELAY_DISPLAY
// DISPLAY: an X server on this machine listening on TCP and on its local
// socket, with access control off (Xvfb -listen tcp -ac). The relay serves
// 127.0.0.1, port 6000 + RELAY_DISPLAY, for 127.0.0.1, relayed to DISPLAY's
// local socket, in this process. Prints "figure\tmedian\tmin\tmax\tunit".

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/base/ports.h"
#include "common/base/relay_protocol.h"
#include "relay/relay_server.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRoundTrips = 4000;
constexpr int kImages = 120;
constexpr std::uint16_t kImageWidth = 256;
constexpr std::uint16_t kImageHeight = 240;  // 240 KiB a request: under the core request limit

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double RoundTripsPerSecond(xcb_connection_t* c) {
  const auto start = Clock::now();
  for (int i = 0; i < kRoundTrips; ++i) std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  return kRoundTrips / Seconds(Clock::now() - start);
}

double PutImageMegabytesPerSecond(xcb_connection_t* c) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  const xcb_gcontext_t gc = xcb_generate_id(c);
  xcb_create_gc(c, gc, screen->root, 0, nullptr);
  std::vector<std::uint8_t> pixels(std::size_t{kImageWidth} * kImageHeight * 4);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 13);
  const auto start = Clock::now();
  for (int i = 0; i < kImages; ++i) {
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, gc, kImageWidth, kImageHeight, 0, 0, 0,
                  screen->root_depth, static_cast<std::uint32_t>(pixels.size()), pixels.data());
  }
  // Done when the server has answered a request sent after them all.
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  const double seconds = Seconds(Clock::now() - start);
  xcb_free_gc(c, gc);
  return static_cast<double>(pixels.size()) * kImages / (1024.0 * 1024.0) / seconds;
}

void Print(const std::string& name, std::vector<double> values, const char* unit) {
  std::sort(values.begin(), values.end());
  std::printf("%s\t%.1f\t%.1f\t%.1f\t%s\n", name.c_str(), values[values.size() / 2], values.front(), values.back(),
              unit);
}

xcb_connection_t* Open(const std::string& name) {
  xcb_connection_t* c = xcb_connect(name.c_str(), nullptr);
  if (xcb_connection_has_error(c) != 0) {
    std::fprintf(stderr, "relay_bench: cannot open %s\n", name.c_str());
    std::exit(1);
  }
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: relay_bench RUNS DISPLAY RELAY_DISPLAY\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  const int display = std::atoi(argv[2]);
  const int relayDisplay = std::atoi(argv[3]);

  dovrel::RelayConfig config;
  config.listener.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(dovrel::X11TcpPort(relayDisplay));
  ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  const int on = 1;
  ::setsockopt(config.listener.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(config.listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(config.listener.Get(), 8) != 0) {
    std::perror("relay_bench: listen");
    return 1;
  }
  int control[2];
  if (::pipe(control) != 0) return 1;
  config.control.Reset(control[0]);
  config.peer = address.sin_addr.s_addr;
  // Admission as a launch has it: the relayed client carries the launch's
  // cookie, which the relay checks and replaces.
  const dovrel::CookieBytes cookie = {7, 1, 7, 1, 7, 1, 7, 1, 7, 1, 7, 1, 7, 1, 7, 1};
  config.cookie.emplace(cookie);
  config.display = display;
  config.xSocket = dovrel::X11LocalSocketPath(display);
  std::thread relay([config = std::move(config)]() mutable { dovrel::RunRelay(std::move(config)); });

  xcb_connection_t* direct = Open("127.0.0.1:" + std::to_string(display));
  std::string name(dovrel::kMitCookieName);
  dovrel::CookieBytes data = cookie;
  xcb_auth_info_t auth{static_cast<int>(name.size()), name.data(), static_cast<int>(data.size()),
                       reinterpret_cast<char*>(data.data())};
  xcb_connection_t* relayed =
      xcb_connect_to_display_with_auth_info(("127.0.0.1:" + std::to_string(relayDisplay)).c_str(), &auth, nullptr);
  if (xcb_connection_has_error(relayed) != 0) {
    std::fprintf(stderr, "relay_bench: the relay did not admit the cookie\n");
    return 1;
  }
  // Warm both paths up before anything is timed.
  RoundTripsPerSecond(direct);
  RoundTripsPerSecond(relayed);
  std::vector<double> directTrips, relayTrips, directBulk, relayBulk;
  for (int i = 0; i < runs; ++i) {
    directTrips.push_back(RoundTripsPerSecond(direct));
    relayTrips.push_back(RoundTripsPerSecond(relayed));
    directBulk.push_back(PutImageMegabytesPerSecond(direct));
    relayBulk.push_back(PutImageMegabytesPerSecond(relayed));
  }
  Print("X round trips, direct TCP", directTrips, "1/s");
  Print("X round trips, through the relay", relayTrips, "1/s");
  Print("PutImage, direct TCP", directBulk, "MiB/s");
  Print("PutImage, through the relay", relayBulk, "MiB/s");

  xcb_disconnect(direct);
  xcb_disconnect(relayed);
  ::close(control[1]);
  relay.join();
  return 0;
}
