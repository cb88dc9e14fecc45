#pragma once

// The configuration image `configure` uploads: built from a settings file's [Cfg1602] or
// [Cfg2004] section by the rules the configuration windows restore their lists with.

#include <QByteArray>
#include <QString>

#include <utility>
#include <variant>
#include <vector>

#include "core/finder.h"

namespace cli {

struct Upload {
    QByteArray bytes;      // as they go on the line
    finder::Probe target;  // where the module answers once it has taken them
    int checksum = 0;
};

// model 216 or 420; sets replace stored values (KEY=VALUE, matched without regard to case).
// The reason, one line, when the file cannot be read or a list would have no selection.
std::variant<Upload, QString> uploadFromIni(int model, const QString& file,
                                            const std::vector<std::pair<QString, QString>>& sets);

}  // namespace cli
