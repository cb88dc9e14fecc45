// SPDX-License-Identifier: MIT
#pragma once

// The 8-bit code page in which text leaves the program: the values of a settings file
// without a UTF-8 mark, and the characters sent to the display. On Windows that is the
// system's ANSI code page, as the Windows profile functions use; elsewhere Windows-1252.
// The core never asks the system: whoever calls it passes the code page in.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace codepage {

struct CodePage {
    // The Windows code page number, for messages (1252, 1251, 65001, ...).
    unsigned number = 0;
    // Text to bytes; a character the code page has no bytes for becomes '?'.
    QByteArray (*fromUnicode)(QStringView text) = nullptr;
    QString (*toUnicode)(QByteArrayView bytes) = nullptr;
};

// Windows-1252, whose table the core carries, so it converts the same on every system.
CodePage windows1252();

// The characters of text that codePage has no bytes for, each once, in the order they
// first appear: what goes out as '?' in their place. Empty when everything converts.
QString unshowable(const CodePage& codePage, QStringView text);

// Those characters for a message: "\"Ж\", \"у\", \"к\"".
QString quoted(QStringView characters);

}  // namespace codepage
