#include "relay/x11_setup.h"

#include <algorithm>

namespace dovrel {

namespace {

constexpr std::uint16_t kX11Major = 11;

}  // namespace

std::uint16_t X11SetupReader::Read16(std::size_t at) const {
  const auto high = BigEndian() ? m_request[at] : m_request[at + 1];
  const auto low = BigEndian() ? m_request[at + 1] : m_request[at];
  return static_cast<std::uint16_t>((high << 8) | low);
}

std::size_t X11SetupReader::TotalLength() const {
  return kHeaderSize + PaddedLength(NameLength()) + PaddedLength(DataLength());
}

X11SetupReader::State X11SetupReader::Feed(std::span<const std::uint8_t> bytes, std::size_t& used) {
  used = 0;
  while (m_state == State::kNeedMore && used < bytes.size()) {
    const std::size_t wanted = m_request.size() < kHeaderSize ? kHeaderSize : TotalLength();
    const std::size_t take = std::min(wanted - m_request.size(), bytes.size() - used);
    m_request.insert(m_request.end(), bytes.begin() + static_cast<std::ptrdiff_t>(used),
                     bytes.begin() + static_cast<std::ptrdiff_t>(used + take));
    used += take;
    if (m_request.size() == kHeaderSize) {
      const bool orderKnown = m_request[0] == 'B' || m_request[0] == 'l';
      if (!orderKnown || MajorVersion() != kX11Major || NameLength() > kMaxNameLength ||
          DataLength() > kMaxDataLength) {
        m_state = State::kMalformed;
        break;
      }
    }
    if (m_request.size() >= kHeaderSize && m_request.size() == TotalLength()) m_state = State::kComplete;
  }
  return m_state;
}

std::string_view X11SetupReader::AuthName() const {
  return {reinterpret_cast<const char*>(m_request.data() + kHeaderSize), NameLength()};
}

std::span<const std::uint8_t> X11SetupReader::AuthData() const {
  return {m_request.data() + kHeaderSize + PaddedLength(NameLength()), DataLength()};
}

SecretBytes X11SetupReader::WithAuthorisation(std::span<const std::uint8_t> name,
                                              std::span<const std::uint8_t> data) const {
  const std::size_t dataAt = kHeaderSize + PaddedLength(name.size());
  SecretBytes secret(dataAt + PaddedLength(data.size()));
  std::vector<std::uint8_t>& request = secret.Edit();
  request.resize(dataAt + PaddedLength(data.size()), 0);
  std::copy_n(m_request.begin(), kHeaderSize, request.begin());
  const auto put16 = [&](std::size_t at, std::size_t value) {
    const auto high = static_cast<std::uint8_t>(value >> 8);
    const auto low = static_cast<std::uint8_t>(value & 0xFF);
    request[at] = BigEndian() ? high : low;
    request[at + 1] = BigEndian() ? low : high;
  };
  put16(6, name.size());
  put16(8, data.size());
  std::copy(name.begin(), name.end(), request.begin() + kHeaderSize);
  std::copy(data.begin(), data.end(), request.begin() + static_cast<std::ptrdiff_t>(dataAt));
  return secret;
}

}  // namespace dovrel
