// The component's failures: every engine error reaches the windows as an app::Failure with the
// engine's number and its clear description; the component's own refusals carry the numbers and
// texts ADO gives them, since the windows were written against those.
#pragma once

#include <functional>

#include "core/failure.h"
#include "jet/base/error.h"

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

inline constexpr long kTypeMismatch = 13;
inline constexpr long kCannotCreateObject = 429;
inline constexpr long kBadArguments = 3001;
inline constexpr long kNoCurrentRecord = 3021;
inline constexpr long kFeatureNotAvailable = 3251;
inline constexpr long kItemNotFound = 3265;
inline constexpr long kObjectClosed = 3704;
inline constexpr long kObjectOpen = 3705;
inline constexpr long kProviderNotFound = 3706;
inline constexpr long kConnectionUnusable = 3709;
// ADO's number for a connection string it cannot read.
inline constexpr long kBadConnectionString = -2147217805;

// The failure with one of the numbers above and ADO's text for it; the schema and connection
// string failures say more, with texts of their own.
app::Failure adoFailure(long number);

}  // namespace db
