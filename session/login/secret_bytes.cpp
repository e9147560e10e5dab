#include "session/login/secret_bytes.h"

#include <cstring>

namespace dovrel {

SecretBytes SecretBytes::TakeFrom(std::string& text) {
  SecretBytes secret;
  secret.m_bytes.assign(text.begin(), text.end());
  WipeString(text);
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
  // explicit_bzero is not removed by the optimiser as a dead store.
  if (!m_bytes.empty()) ::explicit_bzero(m_bytes.data(), m_bytes.size());
  m_bytes.clear();
}

void WipeString(std::string& text) noexcept {
  // Short strings live inside the object, longer ones in the heap: the whole
  // capacity is overwritten either way.
  text.resize(text.capacity());
  if (!text.empty()) ::explicit_bzero(text.data(), text.size());
  text.clear();
}

}  // namespace dovrel
