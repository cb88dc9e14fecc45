// SPDX-License-Identifier: MIT
#include "serial/detail/logging.h"

namespace serialdetail {

// Debug messages are off by default; information and above stay on, as for any category.
const QLoggingCategory& serialLog() {
    static const QLoggingCategory category("tessaline.serial", QtInfoMsg);
    return category;
}

const QLoggingCategory& finderLog() {
    static const QLoggingCategory category("tessaline.finder", QtInfoMsg);
    return category;
}

const QLoggingCategory& recorderLog() {
    static const QLoggingCategory category("tessaline.recorder", QtInfoMsg);
    return category;
}

}  // namespace serialdetail
