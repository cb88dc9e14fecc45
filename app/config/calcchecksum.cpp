// SPDX-License-Identifier: MIT
#include "app/config/calcchecksum.h"

#include "app/modVar.h"
#include "core/checksum.h"

void CalcChecksum(std::span<const std::uint8_t> image, const std::int16_t& lastIndex) {
    const checksum::Sum c = checksum::of(image, lastIndex);
    ChkSum = c.sum;
    ChkComp = c.complement;
}
