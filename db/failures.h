// The component's failures: every engine error reaches the windows as an app::Failure with the
// engine's number and its clear description.
#pragma once

#include <functional>

#include "app/core/failure.h"
#include "jet/error.h"

namespace db {

app::Failure failureOf(const jet::Error& error);

// Runs `work`, turning an engine error into the failure the windows see.
template <class Work>
auto translatingEngineErrors(Work&& work) -> decltype(work()) {
    try {
        return work();
    } catch (const jet::Error& e) {
        throw failureOf(e);
    }
}

}  // namespace db
