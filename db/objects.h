// Objects made by programmatic identifier, as the windows make them: "ADODB.Connection" and
// "ADODB.Recordset" (the letter case has no effect). An identifier nobody registered fails as
// the platform does, with 429.
//
//     auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "core/failure.h"
#include "db/connection.h"
#include "db/failures.h"
#include "db/recordset.h"

namespace db {

using Object = std::variant<std::shared_ptr<Connection>, std::shared_ptr<Recordset>>;

Object CreateObject(std::string_view progId);

// The object as a T; 13 "Type mismatch" when the identifier makes something else.
template <class T>
std::shared_ptr<T> CreateObject(std::string_view progId) {
    Object object = CreateObject(progId);
    if (auto* made = std::get_if<std::shared_ptr<T>>(&object)) return *made;
    throw adoFailure(kTypeMismatch);
}

// Tests: while it lives, creating `progId` fails with `failure`, as on a machine where the
// component is missing or broken.
class ScopedCreationFailure {
public:
    ScopedCreationFailure(std::string_view progId, app::Failure failure);
    ~ScopedCreationFailure();
    ScopedCreationFailure(const ScopedCreationFailure&) = delete;
    ScopedCreationFailure& operator=(const ScopedCreationFailure&) = delete;

private:
    friend Object CreateObject(std::string_view progId);
    std::string progId_;
    app::Failure failure_;
};

}  // namespace db
