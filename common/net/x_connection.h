#pragma once

#include <memory>

#include "common/net/unique_fd.h"

struct xcb_connection_t;

namespace dovrel {

struct XcbDisconnect {
  void operator()(xcb_connection_t* connection) const;
};

// An X connection of libxcb's, disconnected (and its socket closed) when it goes.
using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

// Opens an X connection on `socket`, already connected to the X server of
// display `display` and checked to be root's or this user's: never through a
// second lookup by name, which another account could answer. Offers this
// user's cookie for that server, chosen from the authority file as libxcb
// itself chooses: by the server's address, or by this host's name for a
// local socket or loopback. The connection has an error when the server
// refused; never null.
XcbConnection ConnectXOnSocket(UniqueFd socket, int display);

}  // namespace dovrel
