// The rows of one query, with the members of ADO's Recordset that the windows use: walk them
// (Eof, MoveNext, Fields) or hand them to a grid (DataSource).
//
//     auto rs = db::CreateObject<db::Recordset>("ADODB.RecordSet");
//     rs->Open("SELECT * FROM [Orders];", *cn, db::adOpenStatic, db::adLockOptimistic);
//     for (int i = 0; i < rs->Fields().Count(); ++i) names.push_back(rs->Fields()[i].Name());
//     grid.bind(rs->DataSource());
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "db/data_source.h"
#include "db/read_view.h"
#include "db/row_stream.h"
#include "jet/base/value.h"

namespace db {

class Connection;
class Recordset;

inline constexpr int adOpenUnspecified = -1;
inline constexpr int adOpenForwardOnly = 0;
inline constexpr int adOpenKeyset = 1;
inline constexpr int adOpenDynamic = 2;
inline constexpr int adOpenStatic = 3;

inline constexpr int adLockUnspecified = -1;
inline constexpr int adLockReadOnly = 1;
inline constexpr int adLockPessimistic = 2;
inline constexpr int adLockOptimistic = 3;
inline constexpr int adLockBatchOptimistic = 4;

// One column of the recordset; its value is that of the current row. Valid while its recordset
// is.
class Field {
public:
    const std::string& Name() const;
    jet::ColumnType Type() const;
    // 3021 when the recordset is at its end, 3704 when it is closed.
    const jet::Value& Value() const;

private:
    friend class FieldCollection;
    Field(const Recordset& recordset, std::size_t index) : recordset_(&recordset), index_(index) {}
    const Recordset* recordset_;
    std::size_t index_;
};

class FieldCollection {
public:
    int Count() const;
    // By position from 0, or by name without regard to case; 3265 when there is no such field.
    Field Item(int index) const;
    Field Item(std::string_view name) const;
    Field operator[](int index) const { return Item(index); }
    Field operator[](std::string_view name) const { return Item(name); }

private:
    friend class Recordset;
    explicit FieldCollection(const Recordset& recordset) : recordset_(&recordset) {}
    const Recordset* recordset_;
};

class Recordset final {
public:
    // Its fields refer to it: it stays where it was made.
    Recordset() = default;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Opens the query `source`, as it is, on an open connection. On a connection with client-side
    // cursors, and for a static cursor, the recordset is a snapshot: it shows the rows as they
    // were when it opened. Rows are read as they are asked for, so a large table opens at once.
    void Open(std::string_view source, const Connection& connection,
              int cursorType = adOpenUnspecified, int lockType = adLockUnspecified);

    // ADO's EOF; the name is a macro of the C library.
    bool Eof() const;
    // 3021 at the end.
    void MoveNext();
    FieldCollection Fields() const;

    // The rows from the first, for a grid. The same object each time; it outlives the recordset
    // and its connection, and keeps its rows readable.
    std::shared_ptr<db::DataSource> DataSource();

    void Close();
    int State() const;

private:
    friend class Connection;
    friend class Field;
    friend class FieldCollection;

    void open(ReadView view, RowsOpener opener);
    // The rows; 3704 when the recordset is closed.
    RowStream& stream() const;

    std::optional<ReadView> view_;
    RowsOpener opener_;
    std::unique_ptr<RowStream> stream_;
    std::shared_ptr<RowStream> dataSource_;
};

}  // namespace db
