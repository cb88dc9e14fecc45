#include "tests/support/frames.h"

#include "core/crc16.h"

QByteArray fromHex(const char* spaced) {
    return QByteArray::fromHex(QByteArray(spaced));
}

QByteArray withCrc(QByteArray frame) {
    const std::uint16_t crc =
        crc16::modbus({reinterpret_cast<const std::uint8_t*>(frame.constData()),
                       static_cast<std::size_t>(frame.size())});
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
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
