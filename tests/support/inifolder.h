// SPDX-License-Identifier: MIT
#pragma once

// Points modlcd.ini at a fresh temporary folder for the lifetime of the object.

#include <QString>
#include <QTemporaryDir>

namespace testsupport {

class IniFolder {
  public:
    IniFolder();
    ~IniFolder();
    IniFolder(const IniFolder&) = delete;
    IniFolder& operator=(const IniFolder&) = delete;

    QString path() const { return dir_.path(); }
    QString iniFile() const;
    // Replaces modlcd.ini with these bytes exactly.
    void write(const QByteArray& bytes) const;
    QByteArray read() const;

  private:
    QTemporaryDir dir_;
};

}  // namespace testsupport
