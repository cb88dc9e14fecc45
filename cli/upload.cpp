#include "cli/upload.h"

namespace cli {

std::variant<Upload, QString> uploadFromIni(int, const QString&,
                                            const std::vector<std::pair<QString, QString>>&) {
    return QStringLiteral("not built yet");
}

}  // namespace cli
