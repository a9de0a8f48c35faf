// A recordset field's name as the field lists show it: through NullToDefault with "" as the
// default, so a list always gets a text.
#pragma once

#include <string>
#include <variant>

#include "db/access.h"
#include "db/recordset.h"

namespace app {

inline std::string listedFieldName(db::Recordset& recordset, int index) {
    const jet::Value name =
        db::NullToDefault(jet::Value(recordset.Fields()[index].Name()), jet::Value(std::string()));
    const auto* text = std::get_if<std::string>(&name);
    return text != nullptr ? *text : std::string();
}

}  // namespace app
