#include "app/config/calcchecksum.h"

#include "app/modVar.h"
#include "core/checksum.h"

void CalcChecksum(std::span<const std::uint8_t> image, const std::int16_t& lastIndex) {
    const Checksum c = checksumOf(image, lastIndex);
    ChkSum = c.sum;
    ChkComp = c.complement;
}
