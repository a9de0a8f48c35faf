#include "jet/sql/select.h"

#include <string>
#include <utility>
#include <vector>

#include "jet/error.h"
#include "jet/store/names.h"

namespace jet::sql {

namespace {

// The rows of one table, each cut down to the chosen columns.
class TableRows final : public ResultSet {
public:
    TableRows(std::shared_ptr<const TableDef> table, RowCursor cursor,
              std::vector<ResultColumn> columns, std::vector<std::size_t> sources)
        : table_(std::move(table)),
          cursor_(std::move(cursor)),
          columns_(std::move(columns)),
          sources_(std::move(sources)) {
        // SELECT * is what the wizard's grid sends: hand the stored rows out without a copy.
        passThrough_ = sources_.size() == table_->columns.size();
        for (std::size_t i = 0; passThrough_ && i < sources_.size(); ++i) {
            passThrough_ = sources_[i] == i;
        }
    }

    const std::vector<ResultColumn>& columns() const override { return columns_; }

    bool next() override {
        onRow_ = cursor_.next();
        if (!onRow_) return false;
        const std::vector<Value>& stored = cursor_.row();
        if (stored.size() != table_->columns.size()) {
            throw Error(ErrorCode::Corrupt, "A row of table '" + table_->name + "' holds " +
                                                std::to_string(stored.size()) + " values for its " +
                                                std::to_string(table_->columns.size()) +
                                                " columns.");
        }
        if (!passThrough_) {
            row_.clear();
            for (const std::size_t source : sources_) row_.push_back(stored[source]);
        }
        return true;
    }

    const std::vector<Value>& row() const override {
        return passThrough_ && onRow_ ? cursor_.row() : row_;
    }

private:
    std::shared_ptr<const TableDef> table_;
    RowCursor cursor_;
    std::vector<ResultColumn> columns_;
    std::vector<std::size_t> sources_;  // for each result column, its index in the stored row
    std::vector<Value> row_;
    bool passThrough_ = false;
    bool onRow_ = false;
};

// Builds the result columns and where each one comes from in the stored row.
class Projection {
public:
    Projection(const TableDef& table, std::string_view statement)
        : table_(table), statement_(statement) {}

    void add(const ast::SelectItem& item) {
        if (const auto* all = std::get_if<ast::AllColumns>(&item)) {
            if (all->table) checkQualifier(*all->table, all->table->text + ".*");
            for (std::size_t i = 0; i < table_.columns.size(); ++i) {
                take(i, table_.columns[i].name);
            }
            return;
        }
        const auto& chosen = std::get<ast::SelectExpr>(item);
        const auto* ref = std::get_if<ast::ColumnRef>(&chosen.expr->node);
        if (ref == nullptr) {
            throw Error(
                ErrorCode::Unsupported,
                "Computed columns in a SELECT are not supported: '" +
                    std::string(statement_.substr(chosen.expr->offset, chosen.expr->length)) +
                    "'.");
        }
        if (ref->table) checkQualifier(*ref->table, ref->table->text + "." + ref->column.text);
        const ColumnDef* column = table_.findColumn(ref->column.text);
        if (column == nullptr) {
            throw Error(ErrorCode::FieldNotFound, "No field named '" + ref->column.text +
                                                      "' in table '" + table_.name + "'.");
        }
        const auto index = static_cast<std::size_t>(column - table_.columns.data());
        take(index, chosen.alias ? chosen.alias->text : column->name);
    }

    std::vector<ResultColumn> columns;
    std::vector<std::size_t> sources;

private:
    void take(std::size_t index, const std::string& name) {
        columns.push_back(ResultColumn{name, table_.columns[index].type});
        sources.push_back(index);
    }

    // A table prefix must name the FROM table (compared as Access compares names).
    void checkQualifier(const ast::Name& qualifier, const std::string& written) const {
        if (store::namesEqual(qualifier.text, table_.name)) return;
        throw Error(ErrorCode::FieldNotFound, "'" + written + "' refers to table '" +
                                                  qualifier.text +
                                                  "', which is not in the FROM clause.");
    }

    const TableDef& table_;
    std::string_view statement_;
};

}  // namespace

std::unique_ptr<ResultSet> runSelect(const Database& db, const ast::Select& select,
                                     std::string_view statement) {
    std::shared_ptr<const TableDef> table = db.table(select.from.text);
    Projection projection(*table, statement);
    for (const ast::SelectItem& item : select.items) projection.add(item);
    RowCursor cursor = db.scan(table);
    return std::make_unique<TableRows>(std::move(table), std::move(cursor),
                                       std::move(projection.columns),
                                       std::move(projection.sources));
}

}  // namespace jet::sql
