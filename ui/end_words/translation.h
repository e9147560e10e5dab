#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

// Marks a text that the form may show translated. The code sees the English
// text itself; lupdate reads the mark as QT_TRANSLATE_NOOP (the build passes
// it -tr-function-alias), so the worker needs no Qt to have its texts
// translated.
#define DOVREL_TR_NOOP(context, text) text

namespace dovrel {

// Turns a marked English text into the language of whoever shows it.
using Translate = std::function<std::string(const char* context, const char* source)>;

// The English text as it stands: for standard error, which scripts and bug
// reports match in every locale.
inline std::string Untranslated(const char* /*context*/, const char* source) { return source; }

// Puts `arguments` in place of %1, %2, ... in `text` (as QString::arg does,
// in one pass, so an argument that holds "%2" stays as it is).
inline std::string Fill(std::string_view text, std::initializer_list<std::string_view> arguments) {
  std::string filled;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] == '%' && next >= '1' && next <= '9' &&
        static_cast<std::size_t>(next - '1') < arguments.size()) {
      filled += *(arguments.begin() + (next - '1'));
      ++i;
    } else {
      filled += text[i];
    }
  }
  return filled;
}

}  // namespace dovrel
