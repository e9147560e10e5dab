#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <span>

namespace dovrel {

// The answer to one option request: nothing, or IAC <verb> <option>.
struct TelnetReply {
  std::array<unsigned char, 3> bytes{};
  std::size_t size = 0;

  [[nodiscard]] std::span<const unsigned char> Bytes() const { return {bytes.data(), size}; }
};

// Decides the answer to each WILL, WONT, DO and DONT of the host.
//
// Every option is refused except TRANSMIT-BINARY on our side: a common server
// strips the top bit of every typed byte while the client refuses it. Answers
// follow RFC 1143, so a request that would not change an option's state gets
// no reply and two peers can never acknowledge each other forever.
class OptionRefuser {
 public:
  TelnetReply Answer(unsigned char verb, unsigned char option);

 private:
  std::bitset<256> m_local;  // options we perform; the host's own are always off
};

}  // namespace dovrel
