// What a statement's write works with: the page file inside its write transaction, the format
// and the text code page.
#pragma once

#include <cstdint>

#include "jet/file/page_file.h"
#include "jet/format/format.h"

namespace jet::store {

struct WriteContext {
    file::PageFile& file;
    const format::Format& format;
    std::uint16_t codePage;
    bool catalogChanged = false;  // set by work that changes MSysObjects, to read it again
};

}  // namespace jet::store
