// SPDX-License-Identifier: MIT
#pragma once

// Access to modlcd.ini: the program's own settings file, in its own folder. Its text is
// Windows-1252, or UTF-8 when the file starts with a UTF-8 byte-order mark; either way a
// save keeps the encoding and the line ends the file already has.

#include <QString>

#include <vector>

// The program's own folder, always ending in one separator.
QString AppDir();

// The value under key in section, or "" when there is none; at most 254 characters.
// Section and key are matched without regard to case.
QString ReadINI(const QString& section, const QString& key);

// Stores value under key in section, creating the file, section or key as needed, and
// replacing the file atomically. Returns false when the file could not be written.
bool WriteINI(const QString& section, const QString& key, const QString& value);

namespace modINI {

// Several WriteINI calls applied to the file in one replacement: one temporary file, one
// flush, one rename, so a window that saves a dozen keys on closing touches the disk once.
// Every property of WriteINI holds for the whole batch. A failure is told only to the
// caller of commit(), so no other window can take it for its own.
class Batch {
  public:
    void write(const QString& section, const QString& key, const QString& value);
    // Applies the writes in order and replaces the file; false, leaving the file as it
    // was, when it could not be written. The batch is empty afterwards either way.
    bool commit();

  private:
    struct Entry {
        QString section;
        QString key;
        QString value;
    };
    std::vector<Entry> entries_;
};

// Path of the settings file that WriteINI writes and ReadINI reads (ReadINI falls back to
// an older file beside the program while the per-user one does not exist yet).
QString iniPath();

// The folder modlcd.ini is written to: the program's own, or a per-user folder when the
// program's own cannot be written (chosen once, on first use).
QString folder();

// Points ReadINI and WriteINI at another folder (tests). An empty folder restores the
// choice above.
void setFolder(const QString& folder);

}  // namespace modINI
