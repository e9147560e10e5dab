#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace dovrel {

// Conversions between Qt's text and bytes in the locale's character encoding
// (LC_CTYPE). Qt's own toLocal8Bit() always gives UTF-8, which is wrong under
// an EUC-JP or Latin-1 locale, so these go through iconv.

// Nothing when `text` holds a character the locale cannot encode.
std::optional<std::string> ToLocaleBytes(const QString& text);

// Undecodable bytes come out as replacement characters.
QString FromLocaleBytes(std::string_view bytes);

}  // namespace dovrel
