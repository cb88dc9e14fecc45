// SPDX-License-Identifier: MIT
#include "settings/modINI.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <utility>

#include "core/inifile.h"
#include "settings/ansicodepage.h"
#include "settings/inilocation.h"

namespace {

using modINI::detail::Location;

constexpr auto fileName = "modlcd.ini";
constexpr qsizetype maxValueLength = 254;
// Far beyond any real settings file; anything bigger is not ours, and rewriting it whole on
// every WriteINI would stall the program. It is left alone rather than replaced.
constexpr qint64 maxFileSize = qint64{64} * 1024 * 1024;

QString overrideFolder;
std::optional<Location> chosen;

Location current() {
    if (!overrideFolder.isEmpty()) {
        return {overrideFolder, {}};
    }
    if (!chosen) {
        const QString program = AppDir();
        const bool usable =
            !modINI::detail::installed(program) && modINI::detail::folderWritable(program);
        chosen = modINI::detail::choose(program, usable, modINI::detail::userFolder());
    }
    return *chosen;
}

// The whole file; empty when there is none, nullopt when it is there but cannot be read.
std::optional<QByteArray> load(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return QByteArray();
    }
    if (!info.isFile() || info.size() > maxFileSize) {
        return std::nullopt;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return bytes;
}

bool store(const QString& folder, const QString& path, const QByteArray& bytes) {
    if (!QDir().mkpath(folder)) {
        return false;
    }
    // Written beside the old file and renamed over it, so a full disk or a crash leaves the
    // old settings whole instead of a cut-off file.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        return false;
    }
    // commit() does not see a failure of the write-back it does on closing (Qt 6.4 renames
    // the cut-off file over the old one), so the buffer is flushed and checked first. Left
    // uncommitted, the temporary file is dropped and the old file stays as it was.
    return out.write(bytes) == bytes.size() && out.flush() && out.commit();
}

}  // namespace

QString AppDir() {
    return modINI::detail::withSeparator(QCoreApplication::applicationDirPath());
}

QString ReadINI(const QString& section, const QString& key) {
    const std::optional<QByteArray> file = load(modINI::detail::readPath());
    if (!file) {
        return {};
    }
    const inifile::Encoding encoding = inifile::encodingOf(*file);
    const codepage::CodePage codePage = settings::ansiCodePage();
    const std::optional<QByteArray> value =
        inifile::read(*file, inifile::encode(section, encoding, codePage),
                      inifile::encode(key, encoding, codePage));
    if (!value) {
        return {};
    }
    QString text = inifile::decode(*value, encoding, codePage);
    if (text.size() > maxValueLength) {
        // Cut at a whole character: half of a pair would read as a broken one.
        text.truncate(text.at(maxValueLength - 1).isHighSurrogate() ? maxValueLength - 1
                                                                    : maxValueLength);
    }
    return text;
}

bool WriteINI(const QString& section, const QString& key, const QString& value) {
    modINI::Batch one;
    one.write(section, key, value);
    return one.commit();
}

namespace modINI {

QString iniPath() {
    return current().folder + fileName;
}

QString folder() {
    return current().folder;
}

void setFolder(const QString& folder) {
    overrideFolder = detail::withSeparator(folder);
}

void Batch::write(const QString& section, const QString& key, const QString& value) {
    entries_.push_back({section, key, value});
}

bool Batch::commit() {
    const std::vector<Entry> entries = std::exchange(entries_, {});
    const Location where = current();
    // A file that is there but cannot be read is never replaced by one holding a few keys.
    std::optional<QByteArray> next = load(modINI::detail::readPath());
    // One encoding for the whole file, the one it already has, so a save never mixes two.
    const inifile::Encoding encoding =
        next ? inifile::encodingOf(*next) : inifile::Encoding::CodePage;
    const codepage::CodePage codePage = settings::ansiCodePage();
    for (const Entry& e : entries) {
        if (!next) {
            break;
        }
        next = inifile::write(*next, inifile::encode(e.section, encoding, codePage),
                              inifile::encode(e.key, encoding, codePage),
                              inifile::encode(e.value, encoding, codePage));
    }
    return next && store(where.folder, where.folder + fileName, *next);
}

}  // namespace modINI

namespace modINI::detail {

QString withSeparator(const QString& folder) {
    if (folder.isEmpty() || folder.endsWith(u'/') || folder.endsWith(QDir::separator())) {
        return folder;
    }
    return folder + u'/';
}

bool folderWritable(const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        return false;
    }
    QTemporaryFile probe(folder + QStringLiteral("modlcd-XXXXXX.probe"));
    return probe.open();
}

bool installed(const QString& programFolder) {
    if (programFolder.isEmpty()) {
        return false;
    }
    const QString own = QFileInfo(programFolder).canonicalFilePath();
    if (!own.isEmpty() &&
        own == QFileInfo(QStringLiteral(TESSALINE_INSTALL_BINDIR)).canonicalFilePath()) {
        return true;
    }
    return QFileInfo::exists(withSeparator(programFolder) +
                             QStringLiteral(TESSALINE_DESKTOP_ENTRY_FROM_BINDIR));
}

QString userFolder() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base.isEmpty() ? QString() : withSeparator(base) + QStringLiteral("tessaline/");
}

Location choose(const QString& programFolder, bool programUsable, const QString& userFolder) {
    if (programUsable || userFolder.isEmpty()) {
        return {programFolder, {}};
    }
    return {userFolder, programFolder};
}

void setLocation(std::optional<Location> location) {
    chosen = std::move(location);
}

QString readPath() {
    const Location where = current();
    QString own = where.folder + fileName;
    if (!where.legacyFolder.isEmpty() && !QFileInfo::exists(own) &&
        QFileInfo::exists(where.legacyFolder + fileName)) {
        return where.legacyFolder + fileName;
    }
    return own;
}

}  // namespace modINI::detail
