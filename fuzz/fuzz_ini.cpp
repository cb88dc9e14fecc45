// SPDX-License-Identifier: MIT
// The settings file engine over any file and any names and values. Beyond not crashing, a
// write must be read back as written, must leave every other entry as it was, and must not
// change the file when repeated. Every byte of the file also survives the trip through the
// code page to text and back, as ReadINI and WriteINI take it. Any value read back gives a
// list position within its list, or none. Half the files start with a UTF-8 byte-order
// mark: text written in the file's encoding reads back as the same text, and a write keeps
// the mark and adds no line end of another kind than the file's.

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "core/cp1252.h"
#include "core/inifile.h"
#include "core/storedvalue.h"

namespace {

QByteArray bytes(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// Names match with ASCII letters folded, nothing else: a file written on one code page
// must name the same entries when read on another.
bool sameName(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size()) {
        return false;
    }
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

constexpr QByteArrayView utf8Mark = "\xEF\xBB\xBF";

// Every line end is LF alone (and there is one), or every line end is CRLF.
bool lfOnly(QByteArrayView file) {
    return file.contains('\n') && !file.contains('\r');
}
bool crlfOnly(QByteArrayView file) {
    for (qsizetype at = file.indexOf('\n'); at >= 0; at = file.indexOf('\n', at + 1)) {
        if (at == 0 || file[at - 1] != '\r') {
            return false;
        }
    }
    return true;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_ini: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const QByteArray section = bytes(in.ConsumeRandomLengthString(40));
    const QByteArray key = bytes(in.ConsumeRandomLengthString(40));
    const QByteArray value = bytes(in.ConsumeRandomLengthString(300));
    const QByteArray otherSection = bytes(in.ConsumeRandomLengthString(40));
    const QByteArray otherKey = bytes(in.ConsumeRandomLengthString(40));
    const bool withMark = in.ConsumeBool();
    QByteArray file = bytes(in.ConsumeRemainingBytesAsString());
    if (withMark && !file.startsWith(utf8Mark)) {
        file.prepend(utf8Mark);
    }

    if (cp1252::fromUnicode(cp1252::toUnicode(file)) != file) {
        fail("a byte did not survive the code page round trip");
    }

    // Whatever a value holds, it restores a position of its list or none.
    const QString text = cp1252::toUnicode(value);
    const int count = 1 + (value.isEmpty() ? 0 : static_cast<unsigned char>(value[0]));
    const int position = storedvalue::position(text, count % 2, count);
    const int number = storedvalue::numberPosition(text, count);
    const storedvalue::LineSettings line = storedvalue::lineSettings(text);
    if (position < -1 || position >= count || number < -1 || number >= count || line.baud < -1 ||
        line.baud > 2 || line.format < -1 || line.format > 2) {
        fail("a stored value restored a position outside its list");
    }

    const std::optional<QByteArray> before = inifile::read(file, otherSection, otherKey);
    (void)inifile::read(file, section, key);

    const std::optional<QByteArray> written = inifile::write(file, section, key, value);
    const bool nameless =
        inifile::cleanSection(section).isEmpty() || inifile::cleanKey(key).isEmpty();
    if (!written) {
        if (!nameless) {
            fail("write refused a usable section and key");
        }
        return 0;
    }
    if (nameless) {
        fail("write accepted an empty section or key");
    }

    // Read back as written, less the blanks a read trims.
    const std::optional<QByteArray> back = inifile::read(*written, section, key);
    if (!back || *back != inifile::cleanValue(value).trimmed()) {
        fail("a written value did not read back");
    }

    // Every other entry keeps its value.
    const bool sameEntry =
        sameName(inifile::cleanSection(section), inifile::cleanSection(otherSection)) &&
        sameName(inifile::cleanKey(key), inifile::cleanKey(otherKey));
    if (!sameEntry && inifile::read(*written, otherSection, otherKey) != before) {
        fail("a write changed another entry");
    }

    // Line ends and the mark as the file has them.
    if (file.startsWith(utf8Mark) != written->startsWith(utf8Mark)) {
        fail("a write added or dropped the byte-order mark");
    }
    if ((lfOnly(file) && !lfOnly(*written)) || (crlfOnly(file) && !crlfOnly(*written))) {
        fail("a write added a line end of another kind");
    }

    // The value as text, the way WriteINI and ReadINI take it: read back as the same text.
    const inifile::Encoding encoding = inifile::encodingOf(file);
    const codepage::CodePage cp = codepage::windows1252();
    const QString asText = inifile::decode(value, encoding, cp);
    const QByteArray encoded = inifile::encode(asText, encoding, cp);
    if (inifile::decode(encoded, encoding, cp) != asText) {
        fail("text did not survive the file's encoding");
    }
    const std::optional<QByteArray> viaText = inifile::write(file, section, key, encoded);
    const std::optional<QByteArray> textBack =
        viaText ? inifile::read(*viaText, section, key) : std::nullopt;
    if (!textBack || inifile::decode(*textBack, encoding, cp) !=
                         inifile::decode(inifile::cleanValue(encoded).trimmed(), encoding, cp)) {
        fail("written text did not read back");
    }

    // Writing the same again changes nothing.
    const std::optional<QByteArray> again = inifile::write(*written, section, key, value);
    if (!again || *again != *written) {
        fail("a repeated write changed the file");
    }
    return 0;
}
