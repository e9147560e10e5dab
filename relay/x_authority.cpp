#include "relay/x_authority.h"

#include <X11/Xauth.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "common/base/relay_protocol.h"
#include "common/secret/secret_bytes.h"

namespace dovrel {

std::optional<XCookie> FindLocalCookie(int display) {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return std::nullopt;
  const std::string hostName(host);
  const std::string number = std::to_string(display);
  char* types[] = {const_cast<char*>(kMitCookieName.data())};
  int typeLengths[] = {static_cast<int>(kMitCookieName.size())};
  // A local entry for this host, or a wildcard one: the rule every client
  // of a local display follows.
  const auto dispose = [](Xauth* entry) { XauDisposeAuth(entry); };
  const std::unique_ptr<Xauth, decltype(dispose)> entry(
      XauGetBestAuthByAddr(FamilyLocal, static_cast<unsigned short>(hostName.size()), hostName.c_str(),
                           static_cast<unsigned short>(number.size()), number.c_str(), 1, types, typeLengths),
      dispose);
  if (!entry) return std::nullopt;
  // The cookie in the entry is overwritten here, not left to libXau.
  const WipedOnExit wipe({reinterpret_cast<std::uint8_t*>(entry->data), static_cast<std::size_t>(entry->data_length)});
  if (entry->data_length == 0) return std::nullopt;
  return XCookie{std::string(entry->name, entry->name_length),
                 SecretBytes::CopyOf({reinterpret_cast<const unsigned char*>(entry->data),
                                      static_cast<std::size_t>(entry->data_length)})};
}

}  // namespace dovrel
