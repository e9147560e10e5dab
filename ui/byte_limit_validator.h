#pragma once

#include <QValidator>

namespace dovrel {

// Keeps a line edit's text within a number of bytes in the locale's encoding
// (a character may take several). What was just typed or pasted is cut back
// from the cursor until the text fits, so a 21st byte is refused and an
// overlong paste keeps only its head. Characters the locale cannot encode are
// refused the same way.
class ByteLimitValidator : public QValidator {
  Q_OBJECT
 public:
  ByteLimitValidator(int maxBytes, QObject* parent);

  State validate(QString& input, int& pos) const override;

 private:
  int m_maxBytes;
};

// True when `text` is encodable in the locale and at most `maxBytes` long.
bool FitsInBytes(const QString& text, int maxBytes);

}  // namespace dovrel
