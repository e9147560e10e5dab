#include "common/secret/secret_bytes.h"

#include <string.h>

#include <utility>

namespace dovrel {

void WipeBytes(std::span<std::uint8_t> bytes) noexcept {
  // explicit_bzero is not removed by the optimiser as a dead store.
  if (!bytes.empty()) ::explicit_bzero(bytes.data(), bytes.size());
}

void WipeBytes(std::span<char> bytes) noexcept {
  if (!bytes.empty()) ::explicit_bzero(bytes.data(), bytes.size());
}

void WipeString(std::string& text) noexcept {
  // Short strings live inside the object, longer ones in the heap: the whole
  // capacity is overwritten either way.
  text.resize(text.capacity());
  WipeBytes(std::span(text.data(), text.size()));
  text.clear();
}

SecretBytes SecretBytes::TakeFrom(std::string& text) {
  SecretBytes secret(text.size());
  secret.m_bytes.assign(text.begin(), text.end());
  WipeString(text);
  return secret;
}

SecretBytes SecretBytes::CopyOf(std::string_view text) {
  return CopyOf({reinterpret_cast<const unsigned char*>(text.data()), text.size()});
}

SecretBytes SecretBytes::CopyOf(std::span<const unsigned char> bytes) {
  SecretBytes secret(bytes.size());
  secret.m_bytes.assign(bytes.begin(), bytes.end());
  return secret;
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept {
  if (this != &other) {
    Wipe();
    m_bytes = std::move(other.m_bytes);
  }
  return *this;
}

void SecretBytes::Wipe() noexcept {
  WipeBytes(std::span(m_bytes.data(), m_bytes.size()));
  m_bytes.clear();
}

SecretString SecretString::TakeFrom(std::string& text) {
  SecretString secret(text.size());
  secret.m_text.assign(text);
  WipeString(text);
  return secret;
}

// A short string's bytes live in the object itself and are copied by a move:
// the source is wiped after, whichever way its bytes went.
SecretString::SecretString(SecretString&& other) noexcept : m_text(std::move(other.m_text)) {
  WipeString(other.m_text);
}

SecretString& SecretString::operator=(SecretString&& other) noexcept {
  if (this != &other) {
    WipeString(m_text);
    m_text = std::move(other.m_text);
    WipeString(other.m_text);
  }
  return *this;
}

}  // namespace dovrel
