// What the data-access tests share: the database chosen in the wizard's state, and the failure a
// call must end with.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/failure.h"
#include "core/globals.h"

namespace testsupport {

// Sets DatabasePath and DatabasePassword for the life of the object.
class ChosenDatabase {
public:
    ChosenDatabase(std::string path, std::string password = "") {
        auto& wizard = app::Globals::wizard();
        wizard.databasePathSource = [path] { return path; };
        wizard.databasePasswordSource = [password] { return password; };
    }
    ~ChosenDatabase() {
        app::Globals::wizard().databasePathSource = nullptr;
        app::Globals::wizard().databasePasswordSource = nullptr;
    }
    ChosenDatabase(const ChosenDatabase&) = delete;
    ChosenDatabase& operator=(const ChosenDatabase&) = delete;
};

template <class Call>
app::Failure failureOf(Call&& call) {
    try {
        call();
    } catch (const app::Failure& f) {
        return f;
    }
    ADD_FAILURE() << "no app::Failure was thrown";
    return app::Failure(0, "");
}

}  // namespace testsupport
