// SPDX-License-Identifier: MIT
#pragma once

// The lists of a configuration window as one table: for each list its modlcd.ini key, the
// form it is stored in, the image byte it fills, its items, the code each position puts
// on the line, where the position sits in the window's choices, and whether a send needs
// a selection. Filling, restoring, saving, the no-selection check and the image all read
// the same row, so a list's size or offset is written once.

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "core/storedvalue.h"

namespace config {

enum class Stored {
    Position,         // the position; -1 for no selection
    PositionPlusOne,  // the position + 1; 0 for no selection
    LineBaud,         // the baud-rate text of a line setting (storedvalue::lineSettings)
    LineFormat,       // the data-format suffix of the same key
    IoBit,            // one bit of a byte, set when the list shows its second item
};

template <typename Choices>
struct ListField {
    const char* key;
    Stored stored;
    int offset;  // image byte
    int count;   // items
    QString (*item)(int position);
    // The byte a position puts at offset; for an IoBit list, the bit. -1 (no selection)
    // is passed only for lists that need no selection.
    std::uint8_t (*code)(int position);
    int& (*at)(Choices& c);
    // Named in the message when a send finds the list without a selection; nullptr for a
    // list whose code covers that case.
    const char* caption;
    // For a list without a caption: named when text typed into it matches no item, which
    // would otherwise go out as the code for no selection.
    const char* typedCaption = nullptr;
};

// The position of a list whose typed text matches none of its items. It never counts as a
// selection, and a send refuses it even in a list that may be left without one.
inline constexpr int TypedNoItem = -2;

// Item texts that several lists share.
QString numberFromOne(int position);
QString numberFromZero(int position);
QString baudItem(int position);    // "9600", "19200", "38400"
QString formatItem(int position);  // "8N1", "8N2", "8E1"

template <typename Choices>
QStringList itemsOf(const ListField<Choices>& f) {
    QStringList items;
    for (int p = 0; p < f.count; ++p) {
        items << f.item(p);
    }
    return items;
}

template <typename Choices>
bool hasSelection(const ListField<Choices>& f, int position) {
    return position >= 0 && position < f.count;
}

// The caption of the list, among those that need a selection, that has none, or of a list
// holding typed text that matches no item, that fills the earliest image byte: the order in
// which the image reads them.
template <typename Choices>
std::optional<QString> firstUnselected(std::span<const ListField<Choices>> fields, Choices c) {
    const ListField<Choices>* first = nullptr;
    for (const ListField<Choices>& f : fields) {
        const bool refused =
            f.caption != nullptr ? !hasSelection(f, f.at(c)) : f.at(c) == TypedNoItem;
        if (refused && (first == nullptr || f.offset < first->offset)) {
            first = &f;
        }
    }
    if (first == nullptr) {
        return std::nullopt;
    }
    const char* caption = first->caption != nullptr ? first->caption : first->typedCaption;
    return QString::fromLatin1(caption != nullptr ? caption : first->key);
}

// ORs every list's code into its byte; the bytes must start at 0. Only for choices that
// firstUnselected passes.
template <typename Choices>
void encode(std::span<const ListField<Choices>> fields, Choices c, std::span<std::uint8_t> image) {
    for (const ListField<Choices>& f : fields) {
        image[static_cast<std::size_t>(f.offset)] |= f.code(f.at(c));
    }
}

// The position a list restores from the text stored under its key.
template <typename Choices>
int restoredPosition(const ListField<Choices>& f, const QString& stored) {
    switch (f.stored) {
        case Stored::Position:
            return storedvalue::position(stored, 0, f.count);
        case Stored::PositionPlusOne:
            return storedvalue::position(stored, 1, f.count);
        case Stored::LineBaud:
            return storedvalue::lineSettings(stored).baud;
        case Stored::LineFormat:
            return storedvalue::lineSettings(stored).format;
        case Stored::IoBit: {
            // A value that is no byte reads as every pin on its first item.
            const int byte = storedvalue::position(stored, 0, 256);
            const unsigned bit = f.code(1);
            return byte > 0 && (static_cast<unsigned>(byte) & bit) == bit ? 1 : 0;
        }
    }
    return 0;
}

// What a list shows: its position and its text (a typed baud rate is stored as typed).
struct Shown {
    int position = -1;
    QString text;
};

// Each key once, at its first list, in table order, with the value that stores what the
// lists show; shown[i] belongs to fields[i].
template <typename Choices>
std::vector<std::pair<QString, QString>> storedValues(std::span<const ListField<Choices>> fields,
                                                      std::span<const Shown> shown) {
    std::vector<std::pair<QString, QString>> out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const ListField<Choices>& f = fields[i];
        const QString key = QLatin1String(f.key);
        if (std::any_of(out.begin(), out.end(), [&](const auto& kv) { return kv.first == key; })) {
            continue;
        }
        QString value;
        switch (f.stored) {
            case Stored::Position:
                value = QString::number(shown[i].position);
                break;
            case Stored::PositionPlusOne:
                value = QString::number(shown[i].position + 1);
                break;
            case Stored::LineBaud:
            case Stored::LineFormat: {
                QString baud;
                int format = -1;
                for (std::size_t j = 0; j < fields.size(); ++j) {
                    if (QLatin1String(fields[j].key) != key) {
                        continue;
                    }
                    if (fields[j].stored == Stored::LineBaud) {
                        baud = shown[j].text;
                    } else if (fields[j].stored == Stored::LineFormat) {
                        format = shown[j].position;
                    }
                }
                value = storedvalue::lineSettingsValue(baud, format);
                break;
            }
            case Stored::IoBit: {
                unsigned byte = 0;
                for (std::size_t j = 0; j < fields.size(); ++j) {
                    if (fields[j].stored == Stored::IoBit && QLatin1String(fields[j].key) == key) {
                        byte |= fields[j].code(shown[j].position);
                    }
                }
                value = QString::number(byte);
                break;
            }
        }
        out.emplace_back(key, value);
    }
    return out;
}

}  // namespace config
