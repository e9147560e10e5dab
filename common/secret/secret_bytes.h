#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dovrel {

// Overwrites `bytes` in a way the optimiser keeps (not a dead store). The
// owning types below call it where a secret's life ends; the rest of the
// code holds its secrets in them rather than wiping by hand.
void WipeBytes(std::span<std::uint8_t> bytes) noexcept;
void WipeBytes(std::span<char> bytes) noexcept;
// Overwrites every byte a string holds (its whole capacity), then empties it.
void WipeString(std::string& text) noexcept;

// Bytes of a credential or a request that carries one: overwritten when
// wiped, moved from or destroyed, so no copy lingers in freed memory. Never
// printed. Reserve before growing: a reallocation would leave a copy behind.
class SecretBytes {
 public:
  SecretBytes() = default;
  explicit SecretBytes(std::size_t capacity) { m_bytes.reserve(capacity); }
  // Takes the bytes of `text` and overwrites `text` itself.
  static SecretBytes TakeFrom(std::string& text);
  static SecretBytes CopyOf(std::string_view text);
  static SecretBytes CopyOf(std::span<const unsigned char> bytes);

  SecretBytes(SecretBytes&& other) noexcept = default;  // the vector's buffer moves, no copy
  SecretBytes& operator=(SecretBytes&& other) noexcept;
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;
  ~SecretBytes() { Wipe(); }

  [[nodiscard]] std::span<const unsigned char> Bytes() const { return m_bytes; }
  [[nodiscard]] bool Empty() const { return m_bytes.empty(); }
  [[nodiscard]] std::size_t Size() const { return m_bytes.size(); }
  // The bytes to fill in place (a receive, an escape): within the capacity.
  [[nodiscard]] std::vector<unsigned char>& Edit() { return m_bytes; }
  void Wipe() noexcept;

 private:
  std::vector<unsigned char> m_bytes;
};

// A string that holds a secret (a cookie's hex, a line built from it, a
// password in the locale's encoding): wiped when it goes.
class SecretString {
 public:
  SecretString() = default;
  explicit SecretString(std::size_t capacity) { m_text.reserve(capacity); }
  // Takes `text`'s buffer (or its bytes) and overwrites what is left in `text`.
  static SecretString TakeFrom(std::string& text);

  SecretString(SecretString&& other) noexcept;
  SecretString& operator=(SecretString&& other) noexcept;
  SecretString(const SecretString&) = delete;
  SecretString& operator=(const SecretString&) = delete;
  ~SecretString() { WipeString(m_text); }

  [[nodiscard]] std::string_view View() const { return m_text; }
  [[nodiscard]] std::span<const unsigned char> Bytes() const {
    return {reinterpret_cast<const unsigned char*>(m_text.data()), m_text.size()};
  }
  [[nodiscard]] bool Empty() const { return m_text.empty(); }
  // The text to build in place, within the capacity reserved.
  [[nodiscard]] std::string& Edit() { return m_text; }
  void Wipe() noexcept { WipeString(m_text); }

 private:
  std::string m_text;
};

// A fixed-size secret (a cookie's bytes, a scratch buffer): wiped when it goes.
template <typename T, std::size_t N>
class WipedArray {
 public:
  WipedArray() = default;
  explicit WipedArray(const std::array<T, N>& value) : m_value(value) {}
  WipedArray(const WipedArray&) = default;
  WipedArray& operator=(const WipedArray&) = default;
  ~WipedArray() { dovrel::WipeBytes(std::span(reinterpret_cast<std::uint8_t*>(m_value.data()), sizeof m_value)); }

  [[nodiscard]] std::array<T, N>& Get() { return m_value; }
  [[nodiscard]] const std::array<T, N>& Get() const { return m_value; }

 private:
  std::array<T, N> m_value{};
};

// A secret inside memory that a C library owns and frees without wiping (an
// authority entry, an X server's reply): overwritten when the guard goes,
// which is before that memory is freed when the guard is declared after
// its owner.
class WipedOnExit {
 public:
  explicit WipedOnExit(std::span<std::uint8_t> bytes) noexcept : m_bytes(bytes) {}
  WipedOnExit(const WipedOnExit&) = delete;
  WipedOnExit& operator=(const WipedOnExit&) = delete;
  ~WipedOnExit() { WipeBytes(m_bytes); }

 private:
  std::span<std::uint8_t> m_bytes;
};

}  // namespace dovrel
