#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "common/secret/secret_bytes.h"
#include "session/host_text/host_words.h"
#include "session/launch/reporter.h"
#include "session/telnet/channel_listener.h"

namespace dovrel {

// What the host said and what was typed on one telnet connection: its
// latest text, for telling where the host stopped, and under -v all of it
// in the report, each piece as it arrived and in order with the report's
// own lines, a concealed secret masked wherever it shows.
class Transcript final : public ChannelListener {
 public:
  explicit Transcript(Reporter& reporter);
  ~Transcript() override;
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  void Heard(unsigned char byte) override;
  void PieceEnded() override;
  void Typed(std::span<const unsigned char> line, bool secret) override;

  // From now on `secret` (hex digits) never shows: the host's text is shown
  // with it masked, and a run of hex digits at the end of a piece waits for
  // the rest of it in the next.
  void Conceal(SecretString secret);
  // The host's last line, quoted and masked, for the end that quotes where
  // it stopped.
  [[nodiscard]] HostWords LastLine() const;
  // Reports all that is still held back: the connection is done.
  void Flush();

 private:
  void Show(const std::string& piece);

  Reporter& m_reporter;
  bool m_verbose;
  std::string m_piece;   // heard since the last piece ended, under -v
  std::string m_latest;  // the latest bytes heard
  SecretString m_secret;
  static constexpr std::size_t kWaitingCapacity = 256;
  SecretString m_waiting{kWaitingCapacity};  // a run of hex digits at the end of the last piece
};

}  // namespace dovrel
