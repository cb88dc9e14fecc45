// SPDX-License-Identifier: MIT
#pragma once

// Worked examples of frames in words, one place for every test that checks what the
// traffic log says: the decoder's table and the log window's rows.

#include <QByteArray>
#include <QString>

#include <vector>

#include "core/framewords.h"

namespace testsupport {

struct WordedFrame {
    const char* name;
    framewords::Line line;
    framewords::Direction direction;
    QByteArray bytes;
    QString words;
};

const std::vector<WordedFrame>& wordedFrames();

// The example of that name; the test fails loudly on a misspelt name.
const WordedFrame& wordedFrame(const char* name);

}  // namespace testsupport
