// SPDX-License-Identifier: MIT
#include "cli/upload.h"

#include <QFile>
#include <QFileInfo>

#include <functional>
#include <optional>

#include "core/image1602.h"
#include "core/image2004.h"
#include "core/inifile.h"
#include "settings/ansicodepage.h"

namespace cli {

namespace {

using Sets = std::vector<std::pair<QString, QString>>;
using Reader = std::function<QString(const QString& key)>;

// Far beyond any settings file; anything bigger is not one.
constexpr qint64 MaxFileSize = qint64{64} * 1024 * 1024;

// A window restores whatever a file holds (a value it cannot use selects the first item);
// a value typed on the command line for one unit must say exactly what it means.
template <typename Choices>
QString checkSet(const config::ListField<Choices>& f, const QString& value) {
    bool ok = false;
    const int n = value.trimmed().toInt(&ok);
    switch (f.stored) {
        case config::Stored::Position:
            ok = ok && n >= 0 && n < f.count;
            break;
        case config::Stored::PositionPlusOne:
            ok = ok && n >= 1 && n <= f.count;
            break;
        case config::Stored::LineBaud:
        case config::Stored::LineFormat: {
            const auto line = storedvalue::lineSettings(value.trimmed());
            ok = line.baud >= 0 && line.format >= 0;
            break;
        }
        case config::Stored::IoBit:
            ok = ok && n >= 0 && n <= 255;
            break;
    }
    return ok ? QString()
              : QStringLiteral("--set %1=%2 names no item of its list")
                    .arg(QLatin1String(f.key), value);
}

// Every list restored from its key, as the window does on opening.
template <typename Choices>
Choices restore(std::span<const config::ListField<Choices>> fields, const Reader& read) {
    Choices c;
    for (const auto& f : fields) {
        f.at(c) = config::restoredPosition(f, read(QLatin1String(f.key)));
    }
    return c;
}

// A text key's value longer than its box holds would be cut; textLength 0 when the
// section has no text keys.
template <typename Choices>
std::optional<Refused> checkSets(std::span<const config::ListField<Choices>> fields,
                                 const Sets& sets, const QStringList& textKeys, int textLength,
                                 const QString& section) {
    for (const auto& set : sets) {
        const QString& key = set.first;
        if (textKeys.contains(key, Qt::CaseInsensitive)) {
            if (set.second.size() > textLength) {
                return Refused{Exit::Usage,
                               QStringLiteral("--set %1 has %2 characters; at most %3 fit")
                                   .arg(key)
                                   .arg(set.second.size())
                                   .arg(textLength)};
            }
            continue;
        }
        const auto f = std::find_if(fields.begin(), fields.end(), [&key](const auto& field) {
            return key.compare(QLatin1String(field.key), Qt::CaseInsensitive) == 0;
        });
        if (f == fields.end()) {
            return Refused{
                Exit::Configuration,
                QStringLiteral("--set %1: section [%2] has no key %1").arg(key, section)};
        }
        if (QString why = checkSet(*f, set.second); !why.isEmpty()) {
            return Refused{Exit::Usage, why};
        }
    }
    return std::nullopt;
}

Refused leftUnselected(const QString& caption) {
    return {Exit::Configuration,
            QStringLiteral("the settings leave the list \"%1\" without a selection").arg(caption)};
}

}  // namespace

QString unshowableWarning(const QString& what, const QString& characters) {
    const bool one = characters.toUcs4().size() == 1;
    return QStringLiteral("%1: the module cannot show %2; %3 out as \"?\"")
        .arg(what, codepage::quoted(characters),
             one ? QStringLiteral("it goes") : QStringLiteral("they go"));
}

std::variant<Upload, Refused> uploadFromIni(int model, const QString& path, const Sets& sets) {
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || info.size() > MaxFileSize || !file.open(QIODevice::ReadOnly)) {
        return Refused{Exit::Configuration,
                       QStringLiteral("cannot read the settings file %1").arg(path)};
    }
    const QByteArray bytes = file.readAll();
    // Read as the program reads it: a file saved with a UTF-8 mark is UTF-8.
    const inifile::Encoding encoding = inifile::encodingOf(bytes);
    const codepage::CodePage codePage = settings::ansiCodePage();
    const QString section = model == 216 ? QStringLiteral("Cfg1602") : QStringLiteral("Cfg2004");
    const Reader read = [&](const QString& key) {
        // The last --set of a key wins over the file.
        std::optional<QString> given;
        for (const auto& set : sets) {
            if (set.first.compare(key, Qt::CaseInsensitive) == 0) {
                given = set.second;
            }
        }
        if (given) {
            return *given;
        }
        const auto value = inifile::read(bytes, inifile::encode(section, encoding, codePage),
                                         inifile::encode(key, encoding, codePage));
        return value ? inifile::decode(*value, encoding, codePage) : QString();
    };

    Upload out;
    if (model == 216) {
        QStringList messageKeys;
        for (int k = 0; k < image1602::MessageCount; ++k) {
            messageKeys << image1602::messageKey(k);
        }
        if (auto refused = checkSets(image1602::listFields(), sets, messageKeys,
                                     image1602::MessageLength, section)) {
            return *refused;
        }
        image1602::Choices c = restore(image1602::listFields(), read);
        for (int k = 0; k < image1602::MessageCount; ++k) {
            // The window's text box holds 16 characters, and cuts a longer stored text.
            const QString text = read(messageKeys[k]).left(image1602::MessageLength);
            c.messages[static_cast<std::size_t>(k)] = text;
            if (const QString odd = codepage::unshowable(codePage, text); !odd.isEmpty()) {
                out.warnings << unshowableWarning(messageKeys[k], odd);
            }
        }
        if (const auto caption = image1602::unselectedList(c)) {
            return leftUnselected(*caption);
        }
        const auto built = image1602::build(c, settings::ansiCodePage());
        out.bytes = QByteArray(reinterpret_cast<const char*>(built->image.data()),
                               static_cast<qsizetype>(built->image.size()));
        out.checksum = built->checksum.sum;
        out.target = finder::placeOf(c.address, c.baud, c.dataFormat);
        return out;
    }
    if (auto refused = checkSets(image2004::listFields(), sets, {}, 0, section)) {
        return *refused;
    }
    const image2004::Choices c = restore(image2004::listFields(), read);
    if (const auto caption = image2004::unselectedList(c)) {
        return leftUnselected(*caption);
    }
    const auto built = image2004::build(c);
    const image2004::Upload upload = image2004::uploadOf(*built);
    out.bytes = QByteArray(reinterpret_cast<const char*>(upload.data()),
                           static_cast<qsizetype>(upload.size()));
    out.checksum = built->checksum.sum;
    out.target = finder::placeOf(c.address, c.baud, c.dataFormat);
    return out;
}

}  // namespace cli
