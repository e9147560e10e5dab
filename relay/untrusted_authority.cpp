#include "relay/untrusted_authority.h"

// clang-format off
#include <X11/Xlib.h>
#include <X11/Xauth.h>
#include <X11/extensions/security.h>
// clang-format on

#include "common/base/ports.h"
#include "common/secret/secret_bytes.h"
#include "common/secret/secret_guard.h"
#include "common/net/local_socket.h"

namespace dovrel {

namespace {

// An authorisation nobody uses expires after this long; the relay revokes
// it sooner when it ends.
constexpr unsigned kUnusedExpiry = 60;

}  // namespace

struct UntrustedAuthority::Connection {
  Display* display = nullptr;
  ~Connection() {
    if (display != nullptr) XCloseDisplay(display);
  }
};

UntrustedAuthority::UntrustedAuthority(std::unique_ptr<Connection> connection, unsigned long id, XCookie cookie)
    : m_connection(std::move(connection)), m_id(id), m_cookie(std::move(cookie)) {}

UntrustedAuthority::~UntrustedAuthority() {
  XSecurityRevokeAuthorization(m_connection->display, m_id);
  XSync(m_connection->display, False);
}

std::variant<std::unique_ptr<UntrustedAuthority>, std::string> UntrustedAuthority::Generate(int display) {
  // Xlib sends this user's cookie on its connection: only to an X server of
  // root's or this user's, wherever it listens (its abstract name first).
  const std::string socket = X11LocalSocketPath(display);
  if (!ConnectTrustedLocalSocket(socket)) {
    return "the X server of display :" + std::to_string(display) + " is not root's or this user's";
  }
  auto connection = std::make_unique<Connection>();
  const std::string name = LocalDisplayName(display);
  connection->display = XOpenDisplay(name.c_str());
  if (connection->display == nullptr) return "cannot open display " + name;
  int major = 0;
  int minor = 0;
  if (!XSecurityQueryExtension(connection->display, &major, &minor)) {
    return "the X server of display " + name +
           " has no SECURITY extension, so it cannot give an untrusted authorisation";
  }
  Xauth* request = XSecurityAllocXauth();
  if (request == nullptr) return "out of memory";
  static char kName[] = "MIT-MAGIC-COOKIE-1";
  request->name = kName;
  request->name_length = sizeof kName - 1;
  XSecurityAuthorizationAttributes attributes{};
  attributes.timeout = kUnusedExpiry;
  attributes.trust_level = XSecurityClientUntrusted;
  XSecurityAuthorization id = 0;
  Xauth* granted = XSecurityGenerateAuthorization(connection->display, request, XSecurityTimeout | XSecurityTrustLevel,
                                                  &attributes, &id);
  request->name = nullptr;
  request->name_length = 0;
  XSecurityFreeXauth(request);
  if (granted == nullptr) return "the X server of display " + name + " refused an untrusted authorisation";
  XCookie cookie{kName, SecretBytes::CopyOf({reinterpret_cast<const unsigned char*>(granted->data),
                                              static_cast<std::size_t>(granted->data_length)})};
  WipeEntryData(*granted);
  XSecurityFreeXauth(granted);
  return std::unique_ptr<UntrustedAuthority>(new UntrustedAuthority(std::move(connection), id, std::move(cookie)));
}

}  // namespace dovrel
