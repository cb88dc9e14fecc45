// SPDX-License-Identifier: MIT
#pragma once

// Where modlcd.ini lives. Beside the program, as it always has, for a copy that runs from a
// folder of its own (a portable copy, the build folder). An installed program (the Debian
// package, cmake --install) never writes into the system's folders, even run by root, and a
// program in a folder it cannot write would lose every setting: both keep the file in a
// per-user folder, reading the one beside the program until they have one of their own.

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

// True when the program in programFolder runs from an installation: the folder is the one
// the build installs programs to, or the desktop entry lies where an installation puts it
// beside that folder (so an install moved with --prefix is recognised too).
bool installed(const QString& programFolder);

// The per-user folder for modlcd.ini: the user's config folder + "tessaline/".
QString userFolder();

// programUsable: the program's own folder may hold modlcd.ini (writable, not installed).
Location choose(const QString& programFolder, bool programUsable, const QString& userFolder);

// Replaces the choice made on first use; nullopt makes the next use choose again.
void setLocation(std::optional<Location> location);

// The file that ReadINI reads from (the per-user one, or the old one beside the program).
QString readPath();

}  // namespace modINI::detail
