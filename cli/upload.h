// SPDX-License-Identifier: MIT
#pragma once

// The configuration image `configure` uploads: built from a settings file's [Cfg1602] or
// [Cfg2004] section by the rules the configuration windows restore their lists with.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>
#include <variant>
#include <vector>

#include "cli/options.h"
#include "core/finder.h"

namespace cli {

struct Upload {
    QByteArray bytes;      // as they go on the line
    finder::Probe target;  // where the module answers once it has taken them
    int checksum = 0;
    // What the user is told before the bytes go: characters of a message the module
    // cannot show, which go out as '?'.
    QStringList warnings;
};

// Why no image was built, one line, and the status the command ends with: a --set value
// that names no item or is too long is a bad option value; a file that cannot be read,
// a key the section does not have, or a list the file leaves without a selection is a
// settings file that cannot make an image.
struct Refused {
    Exit status = Exit::Configuration;
    QString why;
};

// model 216 or 420; sets replace stored values (KEY=VALUE, matched without regard to case).
std::variant<Upload, Refused> uploadFromIni(int model, const QString& file,
                                            const std::vector<std::pair<QString, QString>>& sets);

// "what: the module cannot show "Ж", "ß"; they go out as "?"" for the characters
// codepage::unshowable found.
QString unshowableWarning(const QString& what, const QString& characters);

}  // namespace cli
