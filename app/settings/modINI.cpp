#include "modINI.h"

// Placeholder until the INI engine lands.
QString AppDir() { return {}; }
QString ReadINI(const QString&, const QString&) { return {}; }
bool WriteINI(const QString&, const QString&, const QString&) { return false; }
namespace modINI {
QString iniPath() { return {}; }
void setFolder(const QString&) {}
bool takeWriteFailure() { return false; }
}  // namespace modINI
