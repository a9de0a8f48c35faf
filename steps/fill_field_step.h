// What the table step's "Next >" and the math option step's "< Back" both do to the field step:
// show it, refill its available list from the table, bind its grid to the whole table, set its
// buttons, and take out of the available list the fields already chosen. Both handlers label
// these statements alike, from `first` (showing the window) in steps of 2, with the same gaps.
#pragma once

#include <memory>
#include <string>

#include "core/error_trap.h"
#include "db/connection.h"
#include "db/recordset.h"

namespace app {

class Form3;

void FillFieldStep(Trap& trap, int first, Form3& form3, const std::shared_ptr<db::Connection>& cn,
                   const std::shared_ptr<db::Recordset>& rs, const std::string& table);

}  // namespace app
