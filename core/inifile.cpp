// SPDX-License-Identifier: MIT
#include "core/inifile.h"

namespace {

constexpr QByteArrayView crlf = "\r\n";
constexpr QByteArrayView lf = "\n";
constexpr QByteArrayView utf8Mark = "\xEF\xBB\xBF";

// One line of the file: its text without the line end, and where the next line starts.
struct Line {
    qsizetype begin = 0;
    QByteArrayView text;
    qsizetype next = 0;
};

enum class Kind { Other, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    QByteArrayView name;
    QByteArrayView value;
};

// A UTF-8 mark left by an editor would otherwise hide the first section header.
qsizetype firstLineStart(QByteArrayView file) {
    return file.startsWith(utf8Mark) ? utf8Mark.size() : 0;
}

// The line end most of the file's lines use, the first line's when there are as many of
// each, and CRLF for a file without any. A file edited on Linux stays LF throughout instead
// of gaining CRLF on the lines we write, and a note another program put at the top in LF
// does not turn a Windows file's new lines into LF.
QByteArrayView lineEndOf(QByteArrayView file) {
    const qsizetype first = file.indexOf('\n');
    if (first < 0) {
        return crlf;
    }
    qsizetype crlfEnds = 0;
    qsizetype lfEnds = 0;
    for (qsizetype at = first; at >= 0; at = file.indexOf('\n', at + 1)) {
        ++(at > 0 && file[at - 1] == '\r' ? crlfEnds : lfEnds);
    }
    if (crlfEnds != lfEnds) {
        return crlfEnds > lfEnds ? crlf : lf;
    }
    return first > 0 && file[first - 1] == '\r' ? crlf : lf;
}

Line lineAt(QByteArrayView file, qsizetype begin) {
    const qsizetype lf = file.indexOf('\n', begin);
    const qsizetype end = lf < 0 ? file.size() : lf;
    qsizetype textEnd = end;
    if (textEnd > begin && file[textEnd - 1] == '\r') {
        --textEnd;
    }
    return {begin, file.sliced(begin, textEnd - begin), lf < 0 ? file.size() : lf + 1};
}

Parsed parse(QByteArrayView line) {
    const QByteArrayView t = line.trimmed();
    if (t.isEmpty() || t.front() == ';') {
        return {};
    }
    if (t.front() == '[') {
        const qsizetype close = t.indexOf(']');
        const QByteArrayView name = close < 0 ? t.sliced(1) : t.sliced(1, close - 1);
        return {Kind::Section, name.trimmed(), {}};
    }
    const qsizetype eq = t.indexOf('=');
    if (eq < 0) {
        return {};
    }
    return {Kind::Key, t.first(eq).trimmed(), t.sliced(eq + 1).trimmed()};
}

bool sameName(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size()) {
        return false;
    }
    const auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

// Line breaks, and the one delimiter that would end the name early, become spaces.
QByteArray blanked(QByteArrayView text, char delimiter) {
    QByteArray out = text.toByteArray();
    for (char& c : out) {
        if (c == delimiter || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return out;
}

// Where a key is, or where it would go.
struct Place {
    std::optional<Line> key;         // the line holding the key
    std::optional<qsizetype> after;  // end of the first matching section's last key line
};

Place locate(QByteArrayView file, QByteArrayView section, QByteArrayView key) {
    Place place;
    bool inSection = false;
    bool firstSection = false;
    for (qsizetype at = firstLineStart(file); at < file.size();) {
        const Line line = lineAt(file, at);
        const Parsed p = parse(line.text);
        if (p.kind == Kind::Section) {
            inSection = sameName(p.name, section);
            firstSection = inSection && !place.after;
            if (firstSection) {
                place.after = line.next;
            }
        } else if (p.kind == Kind::Key && inSection) {
            if (sameName(p.name, key)) {
                place.key = line;
                return place;
            }
            if (firstSection) {
                place.after = line.next;
            }
        }
        at = line.next;
    }
    return place;
}

}  // namespace

namespace inifile {

Encoding encodingOf(QByteArrayView file) {
    return file.startsWith(utf8Mark) ? Encoding::Utf8 : Encoding::CodePage;
}

QByteArray encode(QStringView text, Encoding encoding, const codepage::CodePage& codePage) {
    return encoding == Encoding::Utf8 ? text.toUtf8() : codePage.fromUnicode(text);
}

QString decode(QByteArrayView bytes, Encoding encoding, const codepage::CodePage& codePage) {
    return encoding == Encoding::Utf8 ? QString::fromUtf8(bytes) : codePage.toUnicode(bytes);
}

QByteArray cleanSection(QByteArrayView name) {
    return blanked(name, ']').trimmed();
}

QByteArray cleanKey(QByteArrayView name) {
    QByteArray key = blanked(name, '=').trimmed();
    // Every blank that trimming removes counts here too: a form feed between two '[' would
    // otherwise be trimmed away after the loop and leave the key starting with '['.
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
    };
    qsizetype lead = 0;
    while (lead < key.size() && (key[lead] == '[' || key[lead] == ';' || blank(key[lead]))) {
        ++lead;
    }
    return key.sliced(lead);
}

QByteArray cleanValue(QByteArrayView value) {
    return blanked(value, '\n');
}

std::optional<QByteArray> read(QByteArrayView file, QByteArrayView section, QByteArrayView key) {
    const QByteArray s = cleanSection(section);
    const QByteArray k = cleanKey(key);
    if (s.isEmpty() || k.isEmpty()) {
        return std::nullopt;
    }
    const Place place = locate(file, s, k);
    if (!place.key) {
        return std::nullopt;
    }
    return parse(place.key->text).value.toByteArray();
}

std::optional<QByteArray> write(QByteArrayView file, QByteArrayView section, QByteArrayView key,
                                QByteArrayView value) {
    const QByteArray s = cleanSection(section);
    const QByteArray k = cleanKey(key);
    if (s.isEmpty() || k.isEmpty()) {
        return std::nullopt;
    }
    const QByteArray v = cleanValue(value);
    const Place place = locate(file, s, k);
    const QByteArrayView end = lineEndOf(file);

    QByteArray out;
    out.reserve(file.size() + s.size() + k.size() + v.size() + 8);
    if (place.key) {
        const Line& line = *place.key;
        // The rewritten line keeps its own line end, so not even a mixed file changes
        // anywhere but in the value.
        const qsizetype textEnd = line.begin + line.text.size();
        const QByteArrayView ownEnd = file.sliced(textEnd, line.next - textEnd);
        out.append(file.first(line.begin));
        out.append(parse(line.text).name).append('=').append(v);
        out.append(ownEnd.endsWith('\n') ? ownEnd : end);
        out.append(file.sliced(line.next));
        return out;
    }
    const qsizetype at = place.after.value_or(file.size());
    out.append(file.first(at));
    if (at > firstLineStart(file) && file[at - 1] != '\n') {
        out.append(end);  // the line before had no line end of its own
    }
    if (!place.after) {
        out.append('[').append(s).append(']').append(end);
    }
    out.append(k).append('=').append(v).append(end);
    out.append(file.sliced(at));
    return out;
}

}  // namespace inifile
