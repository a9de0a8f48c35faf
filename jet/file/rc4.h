// RC4, the stream cipher that masks the database header and encodes Jet RC4 pages.
#pragma once

#include <cstdint>
#include <span>

namespace jet::file {

// XORs `data` in place with the RC4 key stream of `key`.
void rc4Apply(std::span<const std::uint8_t> key, std::span<std::uint8_t> data);

}  // namespace jet::file
