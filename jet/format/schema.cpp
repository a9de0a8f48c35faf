#include "jet/format/schema.h"

#include "jet/base/names.h"

namespace jet {

const char* versionName(Version v) {
    switch (v) {
        case Version::Jet3:
            return "Jet 3";
        case Version::Jet4:
            return "Jet 4";
        case Version::Ace12:
            return "ACE 12";
        case Version::Ace14:
            return "ACE 14";
        case Version::Ace16:
            return "ACE 16";
        case Version::Ace17:
            return "ACE 17";
    }
    return "unknown";
}

const ColumnDef* TableDef::findColumn(std::string_view wanted) const {
    const std::string folded = foldName(wanted);
    for (const auto& c : columns) {
        if (foldName(c.name) == folded) return &c;
    }
    return nullptr;
}

}  // namespace jet
