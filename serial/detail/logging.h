// SPDX-License-Identifier: MIT
#pragma once

// The serial layer's traces, off unless asked for: QT_LOGGING_RULES="tessaline.*.debug=true"
// (or one of the names below) in the environment of the program.
//   tessaline.serial    a port opened, closed, set, failed; bytes out and in
//   tessaline.finder    each probe sent and what answered it
//   tessaline.recorder  rows recorded and bytes dropped for a full receive buffer

#include <QLoggingCategory>

namespace serialdetail {

const QLoggingCategory& serialLog();
const QLoggingCategory& finderLog();
const QLoggingCategory& recorderLog();

}  // namespace serialdetail
