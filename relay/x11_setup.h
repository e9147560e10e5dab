#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/secret/secret_bytes.h"

namespace dovrel {

// Reads an X11 client's connection-setup request as its bytes arrive:
//   byte order ('B' or 'l'), one unused byte, protocol major and minor,
//   the lengths of the authorisation name and data, two unused bytes,
//   then the name and the data, each padded to a multiple of 4.
// Never touches a socket: bytes in, a verdict out. Each length is bounded,
// so a client cannot make the relay hold more than a few hundred bytes.
class X11SetupReader {
 public:
  enum class State { kNeedMore, kComplete, kMalformed };

  X11SetupReader() = default;
  X11SetupReader(const X11SetupReader&) = delete;
  X11SetupReader& operator=(const X11SetupReader&) = delete;

  static constexpr std::size_t kHeaderSize = 12;
  static constexpr std::size_t kMaxNameLength = 64;
  static constexpr std::size_t kMaxDataLength = 256;

  // Takes the next bytes from the client. Bytes after a complete request are
  // not consumed: `used` tells how many were.
  State Feed(std::span<const std::uint8_t> bytes, std::size_t& used);

  // With kComplete: what the client asked for.
  [[nodiscard]] bool BigEndian() const { return m_request[0] == 'B'; }
  [[nodiscard]] std::uint16_t MajorVersion() const { return Read16(2); }
  [[nodiscard]] std::string_view AuthName() const;
  [[nodiscard]] std::span<const std::uint8_t> AuthData() const;

  // With kComplete: the same request with its authorisation replaced by
  // `name` and `data` (both empty: none, and the server decides by its own
  // rules).
  // The request carries a cookie: it is wiped when it goes.
  [[nodiscard]] SecretBytes WithAuthorisation(std::span<const std::uint8_t> name,
                                              std::span<const std::uint8_t> data) const;

 private:
  [[nodiscard]] std::uint16_t Read16(std::size_t at) const;
  [[nodiscard]] std::size_t NameLength() const { return Read16(6); }
  [[nodiscard]] std::size_t DataLength() const { return Read16(8); }
  [[nodiscard]] std::size_t TotalLength() const;

  // The client's authorisation may be a cookie: no copy of it outlives the
  // reader. Reserved in full, so the request never moves as it grows.
  SecretBytes m_secret{kHeaderSize + kMaxNameLength + kMaxDataLength};
  std::vector<std::uint8_t>& m_request = m_secret.Edit();
  State m_state = State::kNeedMore;
};

// A length padded to a multiple of 4, as X11 lays out strings.
constexpr std::size_t PaddedLength(std::size_t length) { return (length + 3) & ~std::size_t{3}; }

}  // namespace dovrel
