#include "ui/locale_text.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>

#include "common/secret/secret_bytes.h"

namespace dovrel {

namespace {

// One iconv conversion descriptor, closed when done.
class Converter {
 public:
  Converter(const char* to, const char* from) : m_cd(::iconv_open(to, from)) {}
  ~Converter() {
    if (IsValid()) ::iconv_close(m_cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // iconv_open's documented failure value is (iconv_t)-1.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  [[nodiscard]] bool IsValid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in`; nothing when a character cannot be converted.
  std::optional<std::string> Convert(std::string_view in) {
    std::string out;
    // iconv wants a mutable input pointer; it never writes through it.
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char* const chunk = m_chunk.Get().data();
    for (;;) {
      char* outPtr = chunk;
      std::size_t outLeft = m_chunk.Get().size();
      const std::size_t done = ::iconv(m_cd, inLeft ? &inPtr : nullptr, &inLeft, &outPtr, &outLeft);
      out.append(chunk, static_cast<std::size_t>(outPtr - chunk));
      if (done != static_cast<std::size_t>(-1)) {
        if (inLeft == 0) break;
        continue;
      }
      if (errno != E2BIG) return std::nullopt;
    }
    // Shift sequences that return a stateful encoding to its initial state.
    char* outPtr = chunk;
    std::size_t outLeft = m_chunk.Get().size();
    ::iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(chunk, static_cast<std::size_t>(outPtr - chunk));
    return out;
  }

  iconv_t m_cd;
  // The text may be a password: the scratch space is wiped with the converter.
  WipedArray<char, 256> m_chunk;
};

}  // namespace

std::optional<std::string> ToLocaleBytes(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  const std::string_view view(utf8.constData(), static_cast<std::size_t>(utf8.size()));
  // The locale is read on the user-interface thread only.
  Converter converter(::nl_langinfo(CODESET), "UTF-8");  // NOLINT(concurrency-mt-unsafe)
  std::optional<std::string> bytes =
      converter.IsValid() ? converter.Convert(view) : std::optional<std::string>(view);
  utf8.fill('\0');
  return bytes;
}

QString FromLocaleBytes(std::string_view bytes) {
  Converter converter("UTF-8", ::nl_langinfo(CODESET));  // NOLINT(concurrency-mt-unsafe)
  if (converter.IsValid()) {
    if (const auto utf8 = converter.Convert(bytes)) {
      return QString::fromUtf8(utf8->data(), static_cast<qsizetype>(utf8->size()));
    }
  }
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace dovrel
