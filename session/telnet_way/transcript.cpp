#include "session/telnet_way/transcript.h"

#include <cctype>
#include <utility>

#include "session/host_text/host_text.h"

namespace dovrel {

namespace {

// The host's text kept: for a piece of the report, and for its last line.
constexpr std::size_t kPieceLimit = 4096;
constexpr std::size_t kLatestLimit = 256;

// Keeps at least the latest `limit` bytes, trimming only now and then.
void KeepLatest(std::string& text, std::size_t limit) {
  if (text.size() > 2 * limit) text.erase(0, text.size() - limit);
}

std::string Latest(const std::string& text, std::size_t limit) {
  return text.size() > limit ? text.substr(text.size() - limit) : text;
}

}  // namespace

Transcript::Transcript(Reporter& reporter) : m_reporter(reporter), m_verbose(reporter.IsVerbose()) {
  // What was heard goes before any line the report writes after it.
  m_reporter.BeforeEachLine([this] { PieceEnded(); });
}

Transcript::~Transcript() { m_reporter.BeforeEachLine({}); }

void Transcript::Heard(unsigned char byte) {
  m_latest.push_back(static_cast<char>(byte));
  KeepLatest(m_latest, kLatestLimit);
  if (!m_verbose) return;
  m_piece.push_back(static_cast<char>(byte));
  KeepLatest(m_piece, kPieceLimit);
}

void Transcript::PieceEnded() {
  if (m_piece.empty()) return;
  // Taken out first: the report's line about it asks for the piece again.
  const std::string piece = Latest(m_piece, kPieceLimit);
  m_piece.clear();
  Show(piece);
}

void Transcript::Typed(std::span<const unsigned char> line, bool secret) {
  if (!m_verbose) return;
  PieceEnded();
  const std::string shown =
      secret ? std::string("********") : std::string(reinterpret_cast<const char*>(line.data()), line.size());
  m_reporter.Verbose("typed: " + EscapeHostText(shown) + "\\n");
}

void Transcript::Show(const std::string& piece) {
  SecretString text(m_waiting.View().size() + piece.size());
  text.Edit().append(std::exchange(m_waiting, SecretString(kWaitingCapacity)).View()).append(piece);
  if (!m_secret.Empty()) {
    // A piece of the secret may go on in the next piece: judged whole then.
    const std::string_view all = text.View();
    std::size_t run = all.size();
    while (run > 0 && std::isxdigit(static_cast<unsigned char>(all[run - 1])) != 0) --run;
    if (all.size() - run <= 2 * m_secret.View().size()) {
      m_waiting.Edit().append(all.substr(run));
      text.Edit().erase(run);
    }
  }
  if (!text.Empty()) m_reporter.Verbose("host: " + EscapeHostText(MaskSecret(text.View(), m_secret.View())));
}

void Transcript::Conceal(SecretString secret) { m_secret = std::move(secret); }

HostWords Transcript::LastLine() const {
  // Masked once quoted, so that no control the host put inside the cookie's
  // echo keeps it from being masked.
  return HostWords(MaskSecret(dovrel::LastLine(Latest(m_latest, kLatestLimit)), m_secret.View()));
}

void Transcript::Flush() {
  PieceEnded();
  if (m_waiting.Empty()) return;
  const SecretString waiting = std::move(m_waiting);
  m_reporter.Verbose("host: " + EscapeHostText(MaskSecret(waiting.View(), m_secret.View())));
}

}  // namespace dovrel
