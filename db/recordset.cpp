#include "db/recordset.h"

#include "db/connection.h"
#include "db/failures.h"
#include "jet/base/names.h"
#include "jet/sql/execute.h"

namespace db {

const std::string& Field::Name() const { return recordset_->stream().columns()[index_].name; }

jet::ColumnType Field::Type() const { return recordset_->stream().columns()[index_].type; }

const jet::Value& Field::Value() const {
    const RowStream& rows = recordset_->stream();
    if (rows.atEnd()) throw adoFailure(kNoCurrentRecord);
    return rows.current()[index_];
}

int FieldCollection::Count() const {
    return static_cast<int>(recordset_->stream().columns().size());
}

Field FieldCollection::Item(int index) const {
    if (index < 0 || index >= Count()) throw adoFailure(kItemNotFound);
    return Field(*recordset_, static_cast<std::size_t>(index));
}

Field FieldCollection::Item(std::string_view name) const {
    const auto& columns = recordset_->stream().columns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        // Names compare as the engine compares them, as Access does.
        if (jet::namesEqual(columns[i].name, name)) return Field(*recordset_, i);
    }
    throw adoFailure(kItemNotFound);
}

void Recordset::Open(std::string_view source, const Connection& connection, int cursorType,
                     int lockType) {
    if (stream_) throw adoFailure(kObjectOpen);
    if (cursorType < adOpenUnspecified || cursorType > adOpenStatic ||
        lockType < adLockUnspecified || lockType == 0 || lockType > adLockBatchOptimistic) {
        throw adoFailure(kBadArguments);
    }
    if (connection.State() != adStateOpen) throw adoFailure(kConnectionUnusable);
    const bool snapshot = connection.CursorLocation() == adUseClient || cursorType == adOpenStatic;
    ReadView view(connection.database(),
                  snapshot ? ReadView::Moment::Snapshot : ReadView::Moment::Live);
    open(std::move(view), [text = std::string(source)](const jet::Database& db) {
        return jet::sql::query(db, text);
    });
}

void Recordset::open(ReadView view, RowsOpener opener) {
    stream_ = std::make_unique<RowStream>(view, opener);
    view_ = std::move(view);
    opener_ = std::move(opener);
}

bool Recordset::Eof() const { return stream().atEnd(); }

void Recordset::MoveNext() {
    RowStream& rows = stream();
    if (rows.atEnd()) throw adoFailure(kNoCurrentRecord);
    rows.advance();
}

FieldCollection Recordset::Fields() const {
    stream();
    return FieldCollection(*this);
}

std::shared_ptr<db::DataSource> Recordset::DataSource() {
    stream();
    // The grid reads from the first row whatever this recordset has walked, and independently
    // of it; through the same view it sees the same rows.
    if (!dataSource_) dataSource_ = std::make_shared<RowStream>(*view_, opener_);
    return dataSource_;
}

void Recordset::Close() {
    stream();
    stream_.reset();
    dataSource_.reset();
    opener_ = nullptr;
    view_.reset();
}

int Recordset::State() const { return stream_ ? adStateOpen : adStateClosed; }

RowStream& Recordset::stream() const {
    if (!stream_) throw adoFailure(kObjectClosed);
    return *stream_;
}

}  // namespace db
