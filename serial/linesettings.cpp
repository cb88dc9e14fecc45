// SPDX-License-Identifier: MIT
#include "serial/detail/linesettings.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace serialdetail {

void fail(const QString& reason) {
    throw serial::CommError(reason.toStdString());
}

int wireTimeMs(qint64 characters, const serial::LineSettings& line) {
    const double stop = line.stopBits == 3 ? 1.5 : line.stopBits;
    const double bits = 1.0 + line.dataBits + (line.parity == 'n' ? 0 : 1) + stop;
    const double ms = std::ceil(static_cast<double>(characters) * bits * 1000.0 / line.baud);
    return static_cast<int>(std::min(ms, 3'600'000.0));
}

}  // namespace serialdetail

using serialdetail::fail;

namespace serial {

serial::LineSettings parseSettings(const QString& settings) {
    const QStringList fields = settings.split(u',');
    if (fields.size() != 4) {
        fail(QStringLiteral("Settings \"%1\" are not baud,parity,data bits,stop bits as in "
                            "\"9600,n,8,1\"")
                 .arg(settings));
    }
    serial::LineSettings line;

    const QString baud = fields[0].trimmed();
    if (baud.isEmpty()) {
        fail(QStringLiteral("Settings \"%1\" name no baud rate").arg(settings));
    }
    bool ok = false;
    line.baud = baud.toInt(&ok);
    if (!ok || line.baud <= 0) {
        fail(QStringLiteral("Settings \"%1\": baud rate \"%2\" is not a positive whole number")
                 .arg(settings, baud));
    }

    const QString parity = fields[1].trimmed().toLower();
    if (parity.size() != 1 || !QStringLiteral("neoms").contains(parity)) {
        fail(QStringLiteral("Settings \"%1\": parity \"%2\" is not one of n, e, o, m, s")
                 .arg(settings, fields[1].trimmed()));
    }
    line.parity = static_cast<char>(parity.at(0).unicode());

    const QString data = fields[2].trimmed();
    line.dataBits = data.toInt(&ok);
    if (!ok || line.dataBits < 5 || line.dataBits > 8) {
        fail(QStringLiteral("Settings \"%1\": data bits \"%2\" are not 5, 6, 7 or 8")
                 .arg(settings, data));
    }

    const QString stop = fields[3].trimmed();
    if (stop == u"1") {
        line.stopBits = 1;
    } else if (stop == u"1.5") {
        line.stopBits = 3;
    } else if (stop == u"2") {
        line.stopBits = 2;
    } else {
        fail(QStringLiteral("Settings \"%1\": stop bits \"%2\" are not 1, 1.5 or 2")
                 .arg(settings, stop));
    }
    return line;
}

}  // namespace serial

QString MSComm::portLabel() const {
    return openLabel(device_);
}

QString MSComm::openLabel(const QString& shown) const {
    if (!path_.isEmpty()) {
        return QStringLiteral("Port %1").arg(shown);
    }
    return QStringLiteral("Port %1 (%2)").arg(portNumber_).arg(shown);
}
