#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace dovrel {

// Bytes of a credential. Overwritten when wiped, moved from or destroyed, so
// no copy lingers in freed memory. Never printed.
class SecretBytes {
 public:
  SecretBytes() = default;
  // Takes the bytes of `text` and overwrites `text` itself.
  static SecretBytes TakeFrom(std::string& text);

  SecretBytes(SecretBytes&& other) noexcept = default;  // the vector's buffer moves, no copy
  SecretBytes& operator=(SecretBytes&& other) noexcept;
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;
  ~SecretBytes() { Wipe(); }

  [[nodiscard]] std::span<const unsigned char> Bytes() const { return m_bytes; }
  [[nodiscard]] bool Empty() const { return m_bytes.empty(); }
  void Wipe() noexcept;

 private:
  std::vector<unsigned char> m_bytes;
};

// Overwrites every byte a string holds, then empties it.
void WipeString(std::string& text) noexcept;

}  // namespace dovrel
