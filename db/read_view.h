// Where a recordset reads. Every read a recordset makes (opening its query, each further row)
// goes through its view, so that the rows a client-side cursor shows are those of one moment:
// the snapshot is taken when the view is made and entered around each read, here and nowhere
// else. Copies of a view share its snapshot, so a grid that reads the query again sees the same
// moment as the recordset it came from.
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
        : database_(std::move(database)), moment_(moment) {
        if (moment_ == Moment::Snapshot) {
            snapshot_ = translatingEngineErrors(
                [&] { return std::as_const(*database_).database().takeSnapshot(); });
        }
    }

    Moment moment() const { return moment_; }

    // Runs `read(const jet::Database&)`; engine errors become app::Failure.
    template <class Read>
    auto operator()(Read&& read) const {
        return translatingEngineErrors([&] {
            const jet::Database& database = std::as_const(*database_).database();
            if (snapshot_) {
                const auto reading = snapshot_->read();
                return read(database);
            }
            return read(database);
        });
    }

private:
    std::shared_ptr<SharedDatabase> database_;  // before snapshot_: it must outlive it
    Moment moment_;
    std::shared_ptr<jet::Snapshot> snapshot_;
};

}  // namespace db
