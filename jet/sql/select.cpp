#include "jet/sql/select.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jet/base/error.h"
#include "jet/base/names.h"
#include "jet/sql/aggregate.h"
#include "jet/sql/evaluator.h"
#include "jet/sql/expression_node.h"
#include "jet/values/value_rules.h"

namespace jet::sql {

namespace {

using Row = std::vector<Value>;

// One column of the result: a stored column copied as it is, or an expression.
struct OutputColumn {
    ResultColumn meta;
    std::optional<std::size_t> source;
    std::optional<BoundExpression> expression;
};

// The select list bound to the table.
class Projection {
public:
    Projection(const TableDef& table, std::string_view statement)
        : table_(table), statement_(statement) {}

    void add(const ast::SelectItem& item) {
        if (const auto* all = std::get_if<ast::AllColumns>(&item)) {
            if (all->table) checkQualifier(*all->table);
            for (std::size_t i = 0; i < table_.columns.size(); ++i) {
                columns.push_back(OutputColumn{
                    ResultColumn{table_.columns[i].name, table_.columns[i].type}, i, std::nullopt});
            }
            if (!rowReference) rowReference = "*";
            return;
        }
        const auto& chosen = std::get<ast::SelectExpr>(item);
        std::optional<std::string> outside;
        BoundExpression bound =
            bindWithAggregates(*chosen.expr, table_, statement_, aggregates, outside);
        if (outside && !rowReference) rowReference = outside;
        if (const auto index = bound.columnIndex()) {
            const ColumnDef& c = table_.columns[*index];
            columns.push_back(
                OutputColumn{ResultColumn{chosen.alias ? chosen.alias->text : c.name, c.type},
                             *index, std::nullopt});
            return;
        }
        std::string name =
            chosen.alias ? chosen.alias->text : "Expr" + std::to_string(1000 + unnamed_++);
        // An expression that is always Null has no type of its own; Text holds it.
        const ColumnType type = bound.type().value_or(ColumnType::Text);
        columns.push_back(
            OutputColumn{ResultColumn{std::move(name), type}, std::nullopt, std::move(bound)});
    }

    // In an aggregate query a field may appear only inside an aggregate.
    void checkAggregateQuery() const {
        if (aggregates.empty() || !rowReference) return;
        throw Error(ErrorCode::SyntaxError,
                    "You tried to execute a query that does not include the expression '" +
                        *rowReference + "' as part of an aggregate function.");
    }

    bool isIdentity() const {
        if (columns.size() != table_.columns.size()) return false;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (columns[i].source != i) return false;
        }
        return true;
    }

    void project(const Row& stored, Row& out) const {
        out.clear();
        for (const OutputColumn& c : columns) {
            out.push_back(c.source ? stored[*c.source] : c.expression->evaluate(stored));
        }
    }

    std::vector<ResultColumn> resultColumns() const {
        std::vector<ResultColumn> r;
        for (const OutputColumn& c : columns) r.push_back(c.meta);
        return r;
    }

    std::vector<OutputColumn> columns;
    std::vector<AggregateCall> aggregates;
    std::optional<std::string> rowReference;  // a field used outside any aggregate

private:
    // A table prefix must name the FROM table (compared as Access compares names).
    void checkQualifier(const ast::Name& qualifier) const {
        if (namesEqual(qualifier.text, table_.name)) return;
        throw Error(ErrorCode::FieldNotFound, "'" + qualifier.text + ".*' refers to table '" +
                                                  qualifier.text +
                                                  "', which is not in the FROM clause.");
    }

    const TableDef& table_;
    std::string_view statement_;
    int unnamed_ = 0;
};

// WHERE: only True passes; Null and False do not.
bool passes(const std::optional<BoundExpression>& where, const Row& row) {
    if (!where) return true;
    const Value v = where->evaluate(row);
    if (isNull(v)) return false;
    try {
        return toBoolean(v);
    } catch (const ValueFault& fault) {
        throwExpressionError(fault.code, fault.detail, where->text());
    }
}

// Reads stored rows, checking that each has a value for every column.
class StoredRows {
public:
    StoredRows(std::shared_ptr<const TableDef> table, RowCursor cursor)
        : table_(std::move(table)), cursor_(std::move(cursor)) {}

    const Row* next() {
        if (!cursor_.next()) return nullptr;
        const Row& stored = cursor_.row();
        if (stored.size() != table_->columns.size()) {
            throw Error(ErrorCode::Corrupt, "A row of table '" + table_->name + "' holds " +
                                                std::to_string(stored.size()) + " values for its " +
                                                std::to_string(table_->columns.size()) +
                                                " columns.");
        }
        return &stored;
    }

private:
    std::shared_ptr<const TableDef> table_;
    RowCursor cursor_;
};

// Unordered rows: streamed, one stored row in memory at a time.
class StreamedRows final : public ResultSet {
public:
    StreamedRows(StoredRows rows, Projection projection, std::optional<BoundExpression> where)
        : rows_(std::move(rows)),
          projection_(std::move(projection)),
          where_(std::move(where)),
          columns_(projection_.resultColumns()),
          passThrough_(projection_.isIdentity()) {}

    const std::vector<ResultColumn>& columns() const override { return columns_; }

    bool next() override {
        current_ = nullptr;
        while (const Row* stored = rows_.next()) {
            if (!passes(where_, *stored)) continue;
            current_ = stored;
            // SELECT * is what the wizard's grid sends: hand the stored rows out without a copy.
            if (!passThrough_) projection_.project(*stored, row_);
            return true;
        }
        return false;
    }

    const Row& row() const override { return passThrough_ && current_ ? *current_ : row_; }

private:
    StoredRows rows_;
    Projection projection_;
    std::optional<BoundExpression> where_;
    std::vector<ResultColumn> columns_;
    bool passThrough_;
    const Row* current_ = nullptr;
    Row row_;
};

// One ORDER BY key: a position in the output row, or an expression over the stored row.
struct SortKey {
    std::optional<std::size_t> output;
    std::optional<BoundExpression> expression;
    bool descending = false;
};

// Ordered rows: every matching row is read and sorted at the first next().
class SortedRows final : public ResultSet {
public:
    SortedRows(StoredRows rows, Projection projection, std::optional<BoundExpression> where,
               std::vector<SortKey> keys)
        : rows_(std::move(rows)),
          projection_(std::move(projection)),
          where_(std::move(where)),
          keys_(std::move(keys)),
          columns_(projection_.resultColumns()) {}

    const std::vector<ResultColumn>& columns() const override { return columns_; }

    bool next() override {
        if (!sorted_) sort();
        if (position_ >= entries_.size()) return false;
        row_ = std::move(entries_[position_++].row);
        return true;
    }

    const Row& row() const override { return row_; }

private:
    struct Entry {
        Row row;
        Row keys;
    };

    void sort() {
        sorted_ = true;
        while (const Row* stored = rows_.next()) {
            if (!passes(where_, *stored)) continue;
            Entry e;
            projection_.project(*stored, e.row);
            for (const SortKey& k : keys_) {
                e.keys.push_back(k.output ? e.row[*k.output] : k.expression->evaluate(*stored));
            }
            entries_.push_back(std::move(e));
        }
        std::stable_sort(entries_.begin(), entries_.end(), [this](const Entry& a, const Entry& b) {
            for (std::size_t i = 0; i < keys_.size(); ++i) {
                const int c = compareForSort(a.keys[i], b.keys[i]);
                if (c != 0) return keys_[i].descending ? c > 0 : c < 0;
            }
            return false;
        });
    }

    StoredRows rows_;
    Projection projection_;
    std::optional<BoundExpression> where_;
    std::vector<SortKey> keys_;
    std::vector<ResultColumn> columns_;
    std::vector<Entry> entries_;
    std::size_t position_ = 0;
    bool sorted_ = false;
    Row row_;
};

// An aggregate query: one row, computed over the whole table at the first next().
class AggregateRow final : public ResultSet {
public:
    AggregateRow(StoredRows rows, Projection projection, std::optional<BoundExpression> where)
        : rows_(std::move(rows)),
          projection_(std::move(projection)),
          where_(std::move(where)),
          columns_(projection_.resultColumns()) {}

    const std::vector<ResultColumn>& columns() const override { return columns_; }

    bool next() override {
        if (done_) return false;
        done_ = true;
        std::vector<AggregateCall>& calls = projection_.aggregates;
        std::vector<Accumulator> accumulators;
        accumulators.reserve(calls.size());
        for (const AggregateCall& call : calls) accumulators.emplace_back(call.kind);
        while (const Row* stored = rows_.next()) {
            if (!passes(where_, *stored)) continue;
            for (std::size_t i = 0; i < calls.size(); ++i) {
                const Value v =
                    calls[i].argument ? calls[i].argument->evaluate(*stored) : Value{true};
                guard(calls[i], [&] { accumulators[i].add(v); });
            }
        }
        for (std::size_t i = 0; i < calls.size(); ++i) {
            guard(calls[i], [&] { *calls[i].result = accumulators[i].result(); });
        }
        // No field appears outside an aggregate, so the expressions need no stored row.
        projection_.project(Row{}, row_);
        return true;
    }

    const Row& row() const override { return row_; }

private:
    template <typename F>
    static void guard(const AggregateCall& call, F&& f) {
        try {
            f();
        } catch (const ValueFault& fault) {
            throwExpressionError(fault.code, fault.detail, call.text);
        }
    }

    StoredRows rows_;
    Projection projection_;
    std::optional<BoundExpression> where_;
    std::vector<ResultColumn> columns_;
    bool done_ = false;
    Row row_;
};

// An ORDER BY key as a position in the select list: a whole-number literal, or an unqualified
// name that is no field of the table but an alias of the select list.
std::optional<std::size_t> outputPosition(const ast::Expr& key, const Projection& projection,
                                          const TableDef& table, std::string_view statement) {
    if (const auto* literal = std::get_if<ast::Literal>(&key.node)) {
        const auto* position = std::get_if<std::int32_t>(&literal->value);
        if (position == nullptr) return std::nullopt;
        if (*position < 1 || static_cast<std::size_t>(*position) > projection.columns.size()) {
            throw Error(ErrorCode::SyntaxError,
                        "ORDER BY " + std::string(statement.substr(key.offset, key.length)) +
                            " is not a position in the select list, which has " +
                            std::to_string(projection.columns.size()) + " columns.");
        }
        return static_cast<std::size_t>(*position - 1);
    }
    const auto* ref = std::get_if<ast::ColumnRef>(&key.node);
    if (ref == nullptr || ref->table || table.findColumn(ref->column.text) != nullptr) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < projection.columns.size(); ++i) {
        if (namesEqual(projection.columns[i].meta.name, ref->column.text)) return i;
    }
    return std::nullopt;
}

}  // namespace

std::unique_ptr<ResultSet> runSelect(const Database& db, const ast::Select& select,
                                     std::string_view statement) {
    std::shared_ptr<const TableDef> table = db.table(select.from.text);
    Projection projection(*table, statement);
    for (const ast::SelectItem& item : select.items) projection.add(item);

    std::optional<BoundExpression> where;
    if (select.where) where = sql::bind(*select.where, *table, statement);

    const bool aggregateQuery = !projection.aggregates.empty();
    std::vector<SortKey> keys;
    for (const ast::OrderKey& key : select.orderBy) {
        SortKey k;
        k.descending = key.descending;
        k.output = outputPosition(*key.expr, projection, *table, statement);
        if (!k.output && aggregateQuery) {
            // One row needs no sorting, but the key must still be a valid aggregate expression.
            std::optional<std::string> outside;
            bindWithAggregates(*key.expr, *table, statement, projection.aggregates, outside);
            if (outside && !projection.rowReference) projection.rowReference = outside;
        } else if (!k.output) {
            k.expression = sql::bind(*key.expr, *table, statement);
        }
        keys.push_back(std::move(k));
    }
    projection.checkAggregateQuery();

    StoredRows rows(table, db.scan(table));
    if (aggregateQuery) {
        return std::make_unique<AggregateRow>(std::move(rows), std::move(projection),
                                              std::move(where));
    }
    if (!keys.empty()) {
        return std::make_unique<SortedRows>(std::move(rows), std::move(projection),
                                            std::move(where), std::move(keys));
    }
    return std::make_unique<StreamedRows>(std::move(rows), std::move(projection), std::move(where));
}

}  // namespace jet::sql
