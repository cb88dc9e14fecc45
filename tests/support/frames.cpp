// SPDX-License-Identifier: MIT
#include "tests/support/frames.h"

#include "core/crc16.h"

namespace testsupport {

QByteArray fromHex(const char* spaced) {
    return QByteArray::fromHex(QByteArray(spaced));
}

QByteArray withCrc(const QByteArray& frame) {
    const auto closed = crc16::closed({reinterpret_cast<const std::uint8_t*>(frame.constData()),
                                       static_cast<std::size_t>(frame.size())});
    return {reinterpret_cast<const char*>(closed.data()), static_cast<qsizetype>(closed.size())};
}

QByteArray withCrc(const char* spaced) {
    return withCrc(fromHex(spaced));
}

QString spaced(const QByteArray& bytes) {
    return hexOf(bytes) + (bytes.isEmpty() ? "" : " ");
}

QString hexOf(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

}  // namespace testsupport
