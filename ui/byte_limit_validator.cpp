#include "ui/byte_limit_validator.h"

#include <algorithm>

#include "ui/locale_text.h"

namespace dovrel {

namespace {

// Removes the character (one or two UTF-16 units) just before `pos`.
void RemoveBefore(QString& text, int& pos) {
  int units = 1;
  if (pos >= 2 && text.at(pos - 1).isLowSurrogate() && text.at(pos - 2).isHighSurrogate()) {
    units = 2;
  }
  text.remove(pos - units, units);
  pos -= units;
}

}  // namespace

bool FitsInBytes(const QString& text, int maxBytes) {
  const auto bytes = ToLocaleBytes(text);
  return bytes && bytes->size() <= static_cast<std::size_t>(maxBytes);
}

ByteLimitValidator::ByteLimitValidator(int maxBytes, QObject* parent)
    : QValidator(parent), m_maxBytes(maxBytes) {}

QValidator::State ByteLimitValidator::validate(QString& input, int& pos) const {
  if (FitsInBytes(input, m_maxBytes)) return Acceptable;

  QString text = input;
  int cursor = static_cast<int>(std::min<qsizetype>(pos, text.size()));
  // Every character takes at least one byte and at most two UTF-16 units, so
  // a huge paste is first cut in one step to a length that might fit.
  const qsizetype excess = text.size() - 2 * static_cast<qsizetype>(m_maxBytes);
  if (excess > 0) {
    const int cut = static_cast<int>(std::min<qsizetype>(excess, cursor));
    text.remove(cursor - cut, cut);
    cursor -= cut;
    if (cursor > 0 && text.at(cursor - 1).isHighSurrogate()) RemoveBefore(text, cursor);
  }
  while (!FitsInBytes(text, m_maxBytes)) {
    if (cursor == 0) return Invalid;
    RemoveBefore(text, cursor);
  }
  input = text;
  pos = cursor;
  return Acceptable;
}

}  // namespace dovrel
