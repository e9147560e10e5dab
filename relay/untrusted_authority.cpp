#include "relay/untrusted_authority.h"

#include <sys/uio.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "common/base/ports.h"
#include "common/base/relay_protocol.h"
#include "common/net/local_socket.h"
#include "common/net/x_connection.h"
#include "common/secret/secret_bytes.h"

namespace dovrel {

namespace {

// An authorisation nobody uses expires after this long; the relay revokes
// it sooner when it ends.
constexpr std::uint32_t kUnusedExpiry = 60;

// The SECURITY extension's requests (its minor opcodes) and values. libxcb
// has no binding for it, and Xlib cannot open a display on a socket that
// was already checked, so its requests are written here, in this machine's
// byte order, as libxcb itself writes every request.
xcb_extension_t g_security = {"SECURITY", 0};
constexpr std::uint8_t kQueryVersion = 0;
constexpr std::uint8_t kGenerateAuthorization = 1;
constexpr std::uint8_t kRevokeAuthorization = 2;
constexpr std::uint32_t kTimeoutValue = 1U << 0;
constexpr std::uint32_t kTrustLevelValue = 1U << 1;
constexpr std::uint32_t kUntrusted = 1;
constexpr std::size_t kReplyHead = 32;  // every reply's fixed part

template <typename T>
void Put(std::vector<std::uint8_t>& request, std::size_t at, T value) {
  std::memcpy(request.data() + at, &value, sizeof value);
}

template <typename T>
T Get(const std::uint8_t* reply, std::size_t at) {
  T value{};
  std::memcpy(&value, reply + at, sizeof value);
  return value;
}

// Sends one request of the extension; libxcb fills in the major opcode and
// the length. Its sequence number, or 0 when the connection has failed.
unsigned Send(xcb_connection_t* connection, std::uint8_t minor, std::vector<std::uint8_t>& request, bool reply) {
  std::array<iovec, 3> parts{};  // libxcb uses the two before the request
  parts[2] = {request.data(), request.size()};
  const xcb_protocol_request_t header{1, &g_security, minor, reply ? std::uint8_t{0} : std::uint8_t{1}};
  return xcb_send_request(connection, XCB_REQUEST_CHECKED, parts.data() + 2, &header);
}

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
using Reply = std::unique_ptr<std::uint8_t, FreeReply>;

Reply WaitForReply(xcb_connection_t* connection, unsigned sequence) {
  xcb_generic_error_t* error = nullptr;
  Reply reply(static_cast<std::uint8_t*>(xcb_wait_for_reply(connection, sequence, &error)));
  std::free(error);
  return reply;
}

// QueryVersion: the server's SECURITY speaks version 1.
bool SpeaksVersionOne(xcb_connection_t* connection) {
  std::vector<std::uint8_t> request(8);
  Put<std::uint16_t>(request, 4, 1);  // this client's version, 1.0
  Put<std::uint16_t>(request, 6, 0);
  const Reply reply = WaitForReply(connection, Send(connection, kQueryVersion, request, true));
  return reply && Get<std::uint16_t>(reply.get(), 8) == 1;
}

}  // namespace

struct UntrustedAuthority::Connection {
  XcbConnection x;
};

UntrustedAuthority::UntrustedAuthority(std::unique_ptr<Connection> connection, unsigned long id, XCookie cookie)
    : m_connection(std::move(connection)), m_id(id), m_cookie(std::move(cookie)) {}

UntrustedAuthority::~UntrustedAuthority() {
  // RevokeAuthorization, waited for: the server has dropped the cookie
  // before the relay goes.
  std::vector<std::uint8_t> request(8);
  Put<std::uint32_t>(request, 4, static_cast<std::uint32_t>(m_id));
  xcb_connection_t* x = m_connection->x.get();
  std::free(xcb_request_check(x, xcb_void_cookie_t{Send(x, kRevokeAuthorization, request, false)}));
}

OrFailure<std::unique_ptr<UntrustedAuthority>> UntrustedAuthority::Generate(int display) {
  // This user's cookie goes on the connection: only to an X server of
  // root's or this user's, on the very socket whose owner was checked.
  const std::string name = LocalDisplayName(display);
  UniqueFd socket = ConnectTrustedLocalSocket(X11LocalSocketPath(display));
  if (!socket) return Failure{"the X server of display " + name + " is not root's or this user's"};
  auto connection = std::make_unique<Connection>(Connection{ConnectXOnSocket(std::move(socket), display)});
  xcb_connection_t* x = connection->x.get();
  if (xcb_connection_has_error(x) != 0) return Failure{"cannot open display " + name};
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(x, &g_security);
  if (extension == nullptr || extension->present == 0 || !SpeaksVersionOne(x)) {
    return Failure{"the X server of display " + name +
           " has no SECURITY extension, so it cannot give an untrusted authorisation"};
  }
  // GenerateAuthorization: a new MIT-MAGIC-COOKIE-1 made by the server (no
  // data of ours), untrusted, expiring when unused.
  const std::size_t protocolLength = kMitCookieName.size();
  const std::size_t padded = (protocolLength + 3) & ~std::size_t{3};
  std::vector<std::uint8_t> request(12 + padded + 8);
  Put<std::uint16_t>(request, 4, static_cast<std::uint16_t>(protocolLength));
  Put<std::uint16_t>(request, 6, 0);
  Put<std::uint32_t>(request, 8, kTimeoutValue | kTrustLevelValue);
  std::memcpy(request.data() + 12, kMitCookieName.data(), protocolLength);
  Put<std::uint32_t>(request, 12 + padded, kUnusedExpiry);
  Put<std::uint32_t>(request, 12 + padded + 4, kUntrusted);
  const Reply reply = WaitForReply(x, Send(x, kGenerateAuthorization, request, true));
  const Failure refused{"the X server of display " + name + " refused an untrusted authorisation"};
  if (!reply) return refused;
  const auto id = Get<std::uint32_t>(reply.get(), 8);
  const std::size_t dataLength = Get<std::uint16_t>(reply.get(), 12);
  const std::size_t replyLength = kReplyHead + 4 * std::size_t{Get<std::uint32_t>(reply.get(), 4)};
  const std::span<std::uint8_t> data(reply.get() + kReplyHead, std::min(dataLength, replyLength - kReplyHead));
  const WipedOnExit wipe(data);
  XCookie cookie{std::string(kMitCookieName), SecretBytes::CopyOf(data)};
  if (cookie.data.Bytes().empty()) return refused;
  return std::unique_ptr<UntrustedAuthority>(new UntrustedAuthority(std::move(connection), id, std::move(cookie)));
}

}  // namespace dovrel
