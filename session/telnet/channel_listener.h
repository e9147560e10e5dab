#pragma once

#include <span>

namespace dovrel {

// Hears what passes on a telnet channel: the host's data bytes as they are
// read, where each read from the socket begins, and each line typed. The
// channel only frames; what is kept, shown or masked is the listener's.
class ChannelListener {
 public:
  virtual ~ChannelListener() = default;

  // One data byte of the host's, commands taken out.
  virtual void Heard(unsigned char byte) = 0;
  // The channel is about to wait for the host again: what was heard since
  // the last call came in one piece.
  virtual void PieceEnded() = 0;
  // A line about to be typed (without its line end); `secret`: a password.
  virtual void Typed(std::span<const unsigned char> line, bool secret) = 0;
};

}  // namespace dovrel
