#include "db/failures.h"

namespace db {

app::Failure failureOf(const jet::Error& error) {
    return app::Failure(error.number(), error.what());
}

}  // namespace db
