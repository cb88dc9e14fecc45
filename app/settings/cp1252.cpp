#include "cp1252.h"

// Placeholder until the real tables land.
namespace cp1252 {
QByteArray fromUnicode(QStringView text) { return text.toLatin1(); }
QString toUnicode(QByteArrayView bytes) { return QString::fromLatin1(bytes); }
}  // namespace cp1252
