// SPDX-License-Identifier: MIT
#include "widgets/textlimit.h"

#include <QLineEdit>
#include <QValidator>

#include <algorithm>

namespace ui {

namespace {

// Counts a surrogate pair as one character, and a lone surrogate as one too.
qsizetype characterCount(const QString& text) {
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        }
        ++count;
    }
    return count;
}

// UTF-16 units of the character that ends just before position end.
qsizetype lastCharacterWidth(const QString& text, qsizetype end) {
    return end >= 2 && text[end - 1].isLowSurrogate() && text[end - 2].isHighSurrogate() ? 2 : 1;
}

class CharacterLimit : public QValidator {
  public:
    CharacterLimit(int characters, QObject* parent) : QValidator(parent), characters_(characters) {}

    // Called with the cursor just behind what was inserted, so the cut starts there; text
    // set as a whole has the cursor at its end.
    State validate(QString& input, int& pos) const override {
        qsizetype excess = characterCount(input) - characters_;
        qsizetype end = pos;
        while (excess > 0 && end > 0) {
            const qsizetype width = lastCharacterWidth(input, end);
            input.remove(end - width, width);
            end -= width;
            --excess;
        }
        while (excess > 0) {
            input.chop(lastCharacterWidth(input, input.size()));
            --excess;
        }
        pos = static_cast<int>(std::min(end, input.size()));
        return Acceptable;
    }

  private:
    int characters_;
};

}  // namespace

void limitCharacters(QLineEdit* box, int characters) {
    // Room for every character to take two units, so that the plain limit never cuts first.
    box->setMaxLength(2 * characters);
    box->setValidator(new CharacterLimit(characters, box));
}

}  // namespace ui
