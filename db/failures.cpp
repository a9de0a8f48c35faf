#include "db/failures.h"

#include <cassert>
#include <string>
#include <utility>

namespace db {

app::Failure failureOf(const jet::Error& error) {
    return app::Failure(error.number(), error.what());
}

app::Failure adoFailure(long number) {
    static const std::pair<long, const char*> texts[] = {
        {kTypeMismatch, "Type mismatch"},
        {kCannotCreateObject, "ActiveX component can't create object"},
        {kBadArguments,
         "Arguments are of the wrong type, are out of acceptable range, or are in conflict with "
         "one another."},
        {kNoCurrentRecord,
         "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
         "requires a current record."},
        {kItemNotFound,
         "Item cannot be found in the collection corresponding to the requested name or "
         "ordinal."},
        {kObjectClosed, "Operation is not allowed when the object is closed."},
        {kObjectOpen, "Operation is not allowed when the object is open."},
        {kProviderNotFound, "Provider cannot be found. It may not be properly installed."},
        {kConnectionUnusable,
         "The connection cannot be used to perform this operation. It is either closed or invalid "
         "in this context."},
    };
    for (const auto& [known, text] : texts) {
        if (known == number) return app::Failure(number, text);
    }
    assert(false && "a number without ADO's text");
    return app::Failure(number, "Unexpected failure " + std::to_string(number));
}

}  // namespace db
