#include "jet/file/jet_rc4_codec.h"

#include "jet/file/rc4.h"

namespace jet::file {

void JetRc4Codec::decode(std::uint32_t number, std::span<std::uint8_t> page) const {
    rc4Apply(pageKey(encodingKey_, number), page);
}

}  // namespace jet::file
