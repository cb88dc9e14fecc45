#include "mscomm.h"

#include <QSerialPort>

// Placeholder until the serial layer lands.
LineSettings parseSettings(const QString&) { return {}; }
QString portDevice(int n) { return QStringLiteral("/dev/ttyUSB%1").arg(n - 1); }
MSComm::MSComm(QObject* parent) : QObject(parent) {}
MSComm::~MSComm() = default;
void MSComm::CommPort(int n) { portNumber_ = n; }
void MSComm::Settings(const QString& s) { settings_ = s; }
void MSComm::PortOpen(bool) {}
bool MSComm::PortOpen() const { return false; }
void MSComm::Output(std::span<const std::uint8_t>) {}
void MSComm::Output(const QByteArray&) {}
int MSComm::InBufferCount() { return 0; }
QByteArray MSComm::Input() { return {}; }
void MSComm::drainOutput() {}
