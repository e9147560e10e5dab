#include "relay/x_authority.h"

#include <X11/Xauth.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "session/net/launch_cookie.h"

namespace dovrel {

std::optional<XCookie> FindLocalCookie(int display) {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return std::nullopt;
  const std::string hostName(host);
  const std::string number = std::to_string(display);
  static const char kMitCookie[] = "MIT-MAGIC-COOKIE-1";
  char* types[] = {const_cast<char*>(kMitCookie)};
  int typeLengths[] = {static_cast<int>(sizeof kMitCookie - 1)};
  // A local entry for this host, or a wildcard one: the rule every client
  // of a local display follows.
  const std::unique_ptr<Xauth, decltype(&XauDisposeAuth)> entry(
      XauGetBestAuthByAddr(FamilyLocal, static_cast<unsigned short>(hostName.size()), hostName.c_str(),
                           static_cast<unsigned short>(number.size()), number.c_str(), 1, types, typeLengths),
      &XauDisposeAuth);
  if (!entry || entry->data_length == 0) return std::nullopt;
  XCookie cookie;
  cookie.name.assign(entry->name, entry->name_length);
  cookie.data.assign(entry->data, entry->data + entry->data_length);
  // libXau frees the entry without wiping it.
  WipeBytes({reinterpret_cast<std::uint8_t*>(entry->data), static_cast<std::size_t>(entry->data_length)});
  return cookie;
}

}  // namespace dovrel
