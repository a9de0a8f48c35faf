#include "db/objects.h"

#include <functional>
#include <map>
#include <vector>

#include "db/ascii.h"

namespace db {
namespace {

const std::map<std::string, std::function<Object()>, std::less<>>& factories() {
    static const std::map<std::string, std::function<Object()>, std::less<>> registered{
        {"adodb.connection", [] { return Object(std::make_shared<Connection>()); }},
        {"adodb.recordset", [] { return Object(std::make_shared<Recordset>()); }},
    };
    return registered;
}

// The failures tests have asked for, newest last.
std::vector<const ScopedCreationFailure*>& injectedFailures() {
    static std::vector<const ScopedCreationFailure*> active;
    return active;
}

}  // namespace

Object CreateObject(std::string_view progId) {
    const std::string key = lowerAscii(progId);
    const auto& injected = injectedFailures();
    for (auto it = injected.rbegin(); it != injected.rend(); ++it) {
        if ((*it)->progId_ == key) throw(*it)->failure_;
    }
    const auto found = factories().find(key);
    if (found == factories().end()) throw adoFailure(kCannotCreateObject);
    return found->second();
}

ScopedCreationFailure::ScopedCreationFailure(std::string_view progId, app::Failure failure)
    : progId_(lowerAscii(progId)), failure_(std::move(failure)) {
    injectedFailures().push_back(this);
}

ScopedCreationFailure::~ScopedCreationFailure() { std::erase(injectedFailures(), this); }

}  // namespace db
