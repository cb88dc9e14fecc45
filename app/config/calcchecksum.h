// SPDX-License-Identifier: MIT
#pragma once

// The configuration checksum as the windows keep it: in the shared ChkSum and ChkComp.

#include <cstdint>
#include <span>

// Computes over image[0 .. lastIndex] and leaves the result in ChkSum and ChkComp.
void CalcChecksum(std::span<const std::uint8_t> image, const std::int16_t& lastIndex);
