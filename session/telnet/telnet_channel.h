#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/base/limits.h"
#include "common/net/abort_signal.h"
#include "session/telnet/channel_listener.h"
#include "session/telnet/option_refuser.h"
#include "session/telnet/telnet_reader.h"
#include "common/net/transport.h"

namespace dovrel {

// The telnet side of one connection: reads the host's bytes through the
// telnet reader, answers option requests wherever they arrive, and hands the
// login script data bytes only.
//
// The channel does not own the socket; the session does, and closes it.
class TelnetChannel {
 public:
  struct Unit {
    IoStatus status = IoStatus::kFailed;
    TelnetUnit unit;  // valid when status is kOk
  };
  struct DataByte {
    IoStatus status = IoStatus::kFailed;
    unsigned char byte = 0;  // valid when status is kOk
  };

  // Reads wait at most the read limit for a byte, once the host has
  // acknowledged what was typed, which it must within the ack limit.
  // `listener`, if any, hears the host's text and the typed lines.
  TelnetChannel(int socket, const AbortSignal& abort, const Limits& limits, WaitClock& clock = SystemClock(),
                ChannelListener* listener = nullptr);

  // The next unit from the host, each read waiting at most `quiet` for a
  // byte and never past `deadline`. Option requests are answered before
  // this returns.
  Unit ReadUnit(std::chrono::milliseconds quiet, std::chrono::steady_clock::time_point deadline = kNoDeadline);

  // The next data byte; commands on the way are handled and skipped.
  DataByte ReadDataByte(std::chrono::milliseconds quiet,
                        std::chrono::steady_clock::time_point deadline = kNoDeadline);
  DataByte ReadDataByte() { return ReadDataByte(m_readLimit); }

  // Puts one data byte back; the next read returns it first.
  void Unread(unsigned char byte) { m_unread = byte; }

  // Sends the replies gathered so far; false if that failed.
  bool FlushReplies();

  // Whether the listener may show a typed line.
  enum class Echo { kShown, kSecret };
  // Sends bytes as telnet data (a byte 255 doubled) and a line feed, in one
  // segment: the host answers a line at once, with no wait for a lone LF.
  bool SendLine(std::span<const unsigned char> bytes, Echo echo = Echo::kShown);
  // The same for a line of text the program itself wrote.
  bool SendLine(std::string_view text) {
    return SendLine({reinterpret_cast<const unsigned char*>(text.data()), text.size()});
  }

  // Reads and throws away up to `chunk` bytes at a time, telnet commands
  // included, until the host closes or stays silent for `quietLimit`, and
  // not past `deadline`.
  void Drain(std::size_t chunk, std::chrono::milliseconds quietLimit,
             std::chrono::steady_clock::time_point deadline = kNoDeadline);

  // No read waits past `deadline` (kNoDeadline: none), whatever each read's
  // own limit: one past it ends as kOverLimit.
  void LimitUntil(std::chrono::steady_clock::time_point deadline) { m_overallDeadline = deadline; }

  // How the latest read from the socket ended.
  [[nodiscard]] IoStatus LastReadStatus() const { return m_lastReadStatus; }

  [[nodiscard]] std::chrono::milliseconds ReadLimit() const { return m_readLimit; }
  // The system's error of the latest send that failed.
  [[nodiscard]] int LastSendError() const { return m_sendError; }
  // Whether the host has acknowledged everything typed so far.
  [[nodiscard]] bool AllAcknowledged() const { return HostHasAllSent(m_socket); }

 private:
  bool SendRaw(std::span<const unsigned char> bytes);

  int m_socket;
  const AbortSignal& m_abort;
  WaitClock& m_clock;
  std::chrono::milliseconds m_readLimit;
  AckPatience m_patience;
  int m_sendError = 0;
  TelnetReader m_reader;
  OptionRefuser m_options;
  std::optional<unsigned char> m_unread;
  IoStatus m_lastReadStatus = IoStatus::kOk;
  std::chrono::steady_clock::time_point m_overallDeadline = kNoDeadline;
  ChannelListener* m_listener;
  // Replies to the requests in one received segment go out together, before
  // the next wait for the host and before any data.
  std::vector<unsigned char> m_replies;
  std::array<unsigned char, 4096> m_buffer{};
  std::size_t m_next = 0;  // first unparsed byte in m_buffer
  std::size_t m_end = 0;   // one past the last received byte
};

// The next unit from the host, within the channel's read limit; nothing when
// the host fell silent or closed, a read failed or the session was aborted.
// A data byte stays in the channel for the next read.
std::optional<TelnetUnit> ReadTelnetCommand(TelnetChannel& channel);

// Answers the host's opening option requests until its first data byte
// arrives. True once the host has begun to send data; that byte is kept.
bool RefuseTelnetOptions(TelnetChannel& channel);

}  // namespace dovrel
