#pragma once

#include <memory>
#include <string>

#include "relay/x_authority.h"
#include "common/base/or_failure.h"

namespace dovrel {

// An untrusted authorisation for the local display, made by the X server's
// SECURITY extension: its clients cannot see other clients' windows, read
// the keyboard or use XTEST. Revoked when this object goes; otherwise it
// expires a minute after its last client has left.
class UntrustedAuthority {
 public:
  // Asks display :`display` (through its local socket, which must be
  // root's or this user's, and on that very socket) for one. On failure: why, in words.
  static OrFailure<std::unique_ptr<UntrustedAuthority>> Generate(int display);

  UntrustedAuthority(const UntrustedAuthority&) = delete;
  UntrustedAuthority& operator=(const UntrustedAuthority&) = delete;
  ~UntrustedAuthority();

  [[nodiscard]] XCookie Cookie() const { return m_cookie.Copy(); }

 private:
  struct Connection;
  UntrustedAuthority(std::unique_ptr<Connection> connection, unsigned long id, XCookie cookie);

  std::unique_ptr<Connection> m_connection;
  unsigned long m_id;
  XCookie m_cookie;
};

}  // namespace dovrel
