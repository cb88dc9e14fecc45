#pragma once

// Where modlcd.ini lives. Beside the program, as it always has; but a program installed in a
// folder it cannot write (say /usr/bin) would lose every setting, so it then keeps the file
// in a per-user folder, reading the old file beside the program until it has one of its own.

#include <QString>

#include <optional>

namespace modINI::detail {

struct Location {
    QString folder;        // modlcd.ini is written here; ends in one '/'
    QString legacyFolder;  // read while folder has no modlcd.ini yet; empty when none
};

// folder with exactly one '/' at its end; "" stays "".
QString withSeparator(const QString& folder);

// True when a file can really be created in folder (not just what its mode bits say).
bool folderWritable(const QString& folder);

// The per-user folder for modlcd.ini: the user's config folder + "tessaline/".
QString userFolder();

Location choose(const QString& programFolder, bool programWritable, const QString& userFolder);

// Replaces the choice made on first use; nullopt makes the next use choose again.
void setLocation(std::optional<Location> location);

// The file that ReadINI reads from (the per-user one, or the old one beside the program).
QString readPath();

}  // namespace modINI::detail
