// SPDX-License-Identifier: MIT
#include "settings/ansicodepage.h"

#ifdef Q_OS_WIN
#include <windows.h>

#include <climits>
#endif

namespace settings {

#ifdef Q_OS_WIN
namespace {

// Whole strings at a time: a double-byte code page (Japanese, Chinese, Korean) has
// characters of two bytes.
QByteArray fromAnsi(QStringView given) {
    if (given.isEmpty() || given.size() > INT_MAX / 4) {
        return {};
    }
    const UINT page = GetACP();
    // A character beyond the 16-bit range (an emoji) is one '?', as it is in Windows-1252,
    // not one for each half of its UTF-16 pair.
    QString text = given.toString();
    if (page != CP_UTF8) {
        for (qsizetype i = 0; i + 1 < text.size(); ++i) {
            if (text.at(i).isHighSurrogate() && text.at(i + 1).isLowSurrogate()) {
                text.replace(i, 2, u'?');
            }
        }
    }
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int length = static_cast<int>(text.size());
    // No best fit: a character the code page lacks becomes '?', as with Windows-1252
    // elsewhere, rather than a look-alike the technician did not type. UTF-8 takes neither
    // the flag nor a replacement character.
    const bool utf8 = page == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* replacement = utf8 ? nullptr : "?";
    const int size =
        WideCharToMultiByte(CP_ACP, flags, wide, length, nullptr, 0, replacement, nullptr);
    QByteArray out(size, Qt::Uninitialized);
    WideCharToMultiByte(CP_ACP, flags, wide, length, out.data(), size, replacement, nullptr);
    return out;
}

QString toAnsi(QByteArrayView bytes) {
    if (bytes.isEmpty() || bytes.size() > INT_MAX) {
        return {};
    }
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    QString out(size, Qt::Uninitialized);
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(out.data()),
                        size);
    return out;
}

}  // namespace

codepage::CodePage ansiCodePage() {
    const UINT page = GetACP();
    // The core's own table keeps the five unassigned bytes through a round trip.
    if (page == 1252) {
        return codepage::windows1252();
    }
    return {page, fromAnsi, toAnsi};
}

#else

codepage::CodePage ansiCodePage() {
    return codepage::windows1252();
}

#endif

}  // namespace settings
