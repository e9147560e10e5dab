#include "common/net/x_connection.h"

#include <X11/Xauth.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstring>
#include <string>

#include "common/base/relay_protocol.h"

namespace dovrel {

void XcbDisconnect::operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }

namespace {

struct XauDispose {
  void operator()(Xauth* entry) const { XauDisposeAuth(entry); }  // wipes the cookie's bytes
};

// The authority entry for the server at the other end of `socket`: its
// address for a remote one, this host's name for a local socket or loopback.
std::unique_ptr<Xauth, XauDispose> EntryFor(int socket, int display) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return nullptr;
  unsigned short family = FamilyLocal;
  std::string address;
  if (peer.ss_family == AF_INET) {
    const auto& inet = reinterpret_cast<const sockaddr_in&>(peer);
    if (inet.sin_addr.s_addr != htonl(INADDR_LOOPBACK)) {
      family = XCB_FAMILY_INTERNET;
      address.assign(reinterpret_cast<const char*>(&inet.sin_addr), sizeof inet.sin_addr);
    }
  } else if (peer.ss_family != AF_UNIX) {
    return nullptr;
  }
  if (family == FamilyLocal) {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return nullptr;
    address = host;
  }
  const std::string number = std::to_string(display);
  char* types[] = {const_cast<char*>(kMitCookieName.data())};
  int typeLengths[] = {static_cast<int>(kMitCookieName.size())};
  return std::unique_ptr<Xauth, XauDispose>(
      XauGetBestAuthByAddr(family, static_cast<unsigned short>(address.size()), address.data(),
                           static_cast<unsigned short>(number.size()), number.c_str(), 1, types, typeLengths));
}

}  // namespace

XcbConnection ConnectXOnSocket(UniqueFd socket, int display) {
  const auto entry = EntryFor(socket.Get(), display);
  xcb_auth_info_t auth{};
  if (entry) {
    auth.name = entry->name;
    auth.namelen = entry->name_length;
    auth.data = entry->data;
    auth.datalen = entry->data_length;
  }
  // libxcb takes the descriptor: it closes it on failure and on disconnect.
  return XcbConnection(xcb_connect_to_fd(socket.Release(), entry ? &auth : nullptr));
}

}  // namespace dovrel
