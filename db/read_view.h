// Where a recordset reads. Every read a recordset makes (opening its query, each further row)
// goes through its view, so that the rows a client-side cursor shows are those of one moment:
// the snapshot is taken when the view is made and entered around each read, here and nowhere
// else. Until the engine can take snapshots, a view reads the database as it is.
#pragma once

#include <memory>
#include <utility>

#include "db/failures.h"
#include "db/shared_database.h"

namespace db {

class ReadView {
public:
    enum class Moment { Live, Snapshot };

    ReadView(std::shared_ptr<SharedDatabase> database, Moment moment)
        : database_(std::move(database)), moment_(moment) {}

    Moment moment() const { return moment_; }

    // Runs `read(const jet::Database&)`; engine errors become app::Failure.
    template <class Read>
    auto operator()(Read&& read) const {
        return translatingEngineErrors([&] { return read(std::as_const(*database_).database()); });
    }

private:
    std::shared_ptr<SharedDatabase> database_;
    Moment moment_;
};

}  // namespace db
