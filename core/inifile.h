// SPDX-License-Identifier: MIT
#pragma once

// The INI format of modlcd.ini, as plain functions over the file's bytes: no files, no
// code page, no widgets. modINI does the file handling around it.
//
// Reading follows the Windows profile functions: a section starts at a line whose first
// non-blank character is '[' and is named by the text up to ']'; a key line is a name, '='
// and a value; names and values are trimmed of surrounding blanks; section and key names
// match without regard to ASCII letter case; the first matching key wins. Comment lines
// (';'), blank lines, lines without '=' and lines before the first section are skipped. Lines
// end in LF or CRLF.
//
// Writing keeps every line it does not need to change byte for byte. New lines end the way
// most of the file's lines do (the first line's way when there are as many LF as CRLF, and
// CRLF when the file has no line end yet); a rewritten line keeps its own line end.
//
// The file's text is in the 8-bit code page the caller passes (Windows-1252, or the ANSI
// code page on Windows), unless the file starts with a UTF-8 byte-order mark, as editors on
// Windows and Linux often save it: then it is UTF-8 throughout, and the mark stays where it
// is.
//
// A name or value must never be able to add a line of its own: a value holding a line
// break would otherwise let "x\r\n[LCD]\r\nModule=..." plant keys in another section. So
// before use, line breaks in names and values become spaces, a ']' in a section name and a
// '=' in a key name become spaces, and a key loses any leading '[' or ';' (it would read as
// a section header or a comment). Reading applies the same cleaning to the names it is
// given, so whatever name was written is found again under the same name.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include "core/codepage.h"

#include <optional>

namespace inifile {

enum class Encoding { CodePage, Utf8 };

// The encoding of the file's names and values, told by its first bytes.
Encoding encodingOf(QByteArrayView file);

// Text to bytes for the file; a character the code page has no byte for becomes '?'.
QByteArray encode(QStringView text, Encoding encoding, const codepage::CodePage& codePage);
QString decode(QByteArrayView bytes, Encoding encoding, const codepage::CodePage& codePage);

// The value under key in section, trimmed; nullopt when the section or key is missing.
std::optional<QByteArray> read(QByteArrayView file, QByteArrayView section, QByteArrayView key);

// The file with key set to value in section. An existing key is rewritten where it stands,
// keeping its stored spelling; a new key goes after the last key of its section; a new
// section goes at the end. nullopt when the section or key name is empty once cleaned.
std::optional<QByteArray> write(QByteArrayView file, QByteArrayView section, QByteArrayView key,
                                QByteArrayView value);

// The cleaning described above, exposed so callers and tests see the stored form.
QByteArray cleanSection(QByteArrayView name);
QByteArray cleanKey(QByteArrayView name);
QByteArray cleanValue(QByteArrayView value);

}  // namespace inifile
