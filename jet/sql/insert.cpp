#include "jet/sql/insert.h"

#include <algorithm>
#include <random>

#include "jet/error.h"
#include "jet/index/table_indexes.h"
#include "jet/sql/calculated_columns.h"
#include "jet/sql/evaluator.h"
#include "jet/sql/parser.h"
#include "jet/sql/relationships.h"
#include "jet/sql/select.h"
#include "jet/sql/write_checks.h"
#include "jet/store/field_codec.h"
#include "jet/store/names.h"
#include "jet/store/table_writer.h"
#include "jet/store/write_context.h"

namespace jet::sql {
namespace {

[[noreturn]] void refuse(const TableDef& table, const std::string& why) {
    throw Error(ErrorCode::Unsupported,
                "Cannot add records to table '" + table.name + "': " + why + ".");
}

// What each field of a new row gets when the statement names no value for it.
struct Defaults {
    std::vector<std::optional<BoundExpression>> expressions;  // the field's DefaultValue

    Defaults(const TableDef& table, const store::PropertyMaps& properties) {
        expressions.resize(table.columns.size());
        for (const auto& c : table.columns) {
            const auto map = properties.find(store::foldName(c.name));
            if (map == properties.end()) continue;
            const auto found = map->second.find("DefaultValue");
            if (found == map->second.end()) continue;
            std::string text = store::decodeUnicodeText(found->second.data);
            if (!text.empty() && text.front() == '=') text.erase(0, 1);
            if (text.find_first_not_of(" ") == std::string::npos) continue;
            try {
                const ast::ExprPtr parsed = parseExpression(text);
                expressions[c.order] = sql::bind(*parsed, table, text);
            } catch (const Error& e) {
                throw Error(ErrorCode::Unsupported, "Cannot use the default value " + text +
                                                        " of field '" + c.name + "' in table '" +
                                                        table.name + "': " + e.what());
            }
        }
    }
};

Guid randomGuid() {
    static std::mt19937_64 random{std::random_device{}()};
    Guid g;
    for (std::size_t i = 0; i < 16; i += 8) {
        const std::uint64_t bits = random();
        for (std::size_t k = 0; k < 8; ++k)
            g.bytes[i + k] = static_cast<std::uint8_t>(bits >> (8 * k));
    }
    g.bytes[7] = static_cast<std::uint8_t>((g.bytes[7] & 0x0F) | 0x40);  // version 4
    g.bytes[8] = static_cast<std::uint8_t>((g.bytes[8] & 0x3F) | 0x80);
    return g;
}

}  // namespace

std::uint64_t runInsert(Database& db, const ast::Insert& insert, std::string_view statement) {
    const auto table = db.table(insert.table.text);
    if (table->tableType != 0x4e) {
        throw Error(ErrorCode::NotUpdatable,
                    "Cannot add records to system table '" + table->name + "'.");
    }
    // The fields the statement gives values to, in its order.
    std::vector<const ColumnDef*> targets;
    if (insert.columns.empty()) {
        for (const auto& c : table->columns) {
            if (!c.calculated) targets.push_back(&c);
        }
    } else {
        for (const auto& name : insert.columns) {
            const ColumnDef* c = table->findColumn(name.text);
            if (c == nullptr) {
                throw Error(ErrorCode::FieldNotFound,
                            "No field named '" + name.text + "' in table '" + table->name + "'.");
            }
            if (std::find(targets.begin(), targets.end(), c) != targets.end()) {
                throw Error(ErrorCode::SyntaxError,
                            "Field '" + c->name + "' is named twice in the INSERT INTO statement.");
            }
            targets.push_back(c);
        }
    }
    for (const auto& c : table->columns) {
        if (c.type == ColumnType::Complex)
            refuse(*table, "it has attachment or multi-value fields");
    }
    for (const ColumnDef* c : targets) {
        if (c->calculated) {
            throw Error(ErrorCode::NotUpdatable, "Cannot set calculated field '" + c->name +
                                                     "' of table '" + table->name + "'.");
        }
    }
    std::vector<bool> all(table->columns.size(), true);
    const std::string index = index::TableIndexes::unsupportedChange(*table, all);
    if (!index.empty()) refuse(*table, index);

    // The source: one row of VALUES, or the rows of a SELECT.
    const std::size_t given = insert.select ? 0 : insert.values.size();
    std::vector<BoundExpression> values;
    std::unique_ptr<ResultSet> source;
    if (insert.select) {
        source = runSelect(db, *insert.select, statement);
        if (source->columns().size() != targets.size()) {
            throw Error(ErrorCode::SyntaxError, "The INSERT INTO statement names " +
                                                    std::to_string(targets.size()) +
                                                    " fields, but its SELECT gives " +
                                                    std::to_string(source->columns().size()) + ".");
        }
    } else {
        if (given != targets.size()) {
            throw Error(ErrorCode::SyntaxError,
                        "The INSERT INTO statement names " + std::to_string(targets.size()) +
                            " fields, but gives " + std::to_string(given) + " values.");
        }
        for (const auto& v : insert.values) values.push_back(sql::bind(*v, *table, statement));
    }
    // A SELECT from the table itself would meet the rows it adds: its rows are read first.
    std::vector<std::vector<Value>> sameTableRows;
    if (source && store::namesEqual(insert.select->from.text, table->name)) {
        while (source->next()) sameTableRows.push_back(source->row());
        source.reset();
    }

    const auto properties = propertiesOf(db, *table);
    const Defaults defaults(*table, properties);
    std::vector<std::size_t> plain;
    for (const auto& c : table->columns) {
        if (!c.calculated) plain.push_back(c.order);
    }
    const CalculatedColumns calculated(*table, properties, db.version(), plain);
    RelationshipGuard relationships(db, *table, RelationshipGuard::Statement::Insert, all);
    std::vector<bool> required(table->columns.size());
    for (const auto& c : table->columns) required[c.order] = isRequired(db, *table, c);
    std::vector<bool> named(table->columns.size(), false);
    for (const ColumnDef* c : targets) named[c->order] = true;

    std::uint64_t added = 0;
    const std::vector<Value> empty(table->columns.size());
    db.write([&](store::WriteContext& ctx) {
        store::TableWriter writer(ctx.file, ctx.format, *table, ctx.codePage);
        index::TableIndexes indexes(ctx.file, ctx.format, *table);
        std::uint32_t lastAutoNumber = table->nextAutoNumber;
        bool autoNumberMoved = false;
        std::vector<Value> row(table->columns.size());
        std::vector<bool> changed(table->columns.size(), true);
        std::size_t sameTableAt = 0;
        const auto nextSourceRow = [&]() -> const std::vector<Value>* {
            if (!sameTableRows.empty() || (insert.select && !source)) {
                return sameTableAt < sameTableRows.size() ? &sameTableRows[sameTableAt++] : nullptr;
            }
            if (source) return source->next() ? &source->row() : nullptr;
            return added == 0 ? &empty : nullptr;
        };
        while (const std::vector<Value>* from = nextSourceRow()) {
            std::fill(row.begin(), row.end(), Value{});
            for (std::size_t i = 0; i < targets.size(); ++i) {
                row[targets[i]->order] = insert.select ? (*from)[i] : values[i].evaluate(empty);
            }
            for (const auto& c : table->columns) {
                Value& v = row[c.order];
                if (c.autoNumber && isNull(v)) {
                    v = static_cast<std::int32_t>(++lastAutoNumber);
                    autoNumberMoved = true;
                } else if (c.autoGuid && isNull(v)) {
                    v = randomGuid();
                } else if (!named[c.order] && defaults.expressions[c.order]) {
                    v = defaults.expressions[c.order]->evaluate(empty);
                }
                if (c.calculated) continue;
                v = convertForColumn(v, c, db.version());
                if (c.autoNumber) {
                    const std::int32_t n = std::get<std::int32_t>(v);
                    if (n > 0 && static_cast<std::uint32_t>(n) > lastAutoNumber) {
                        lastAutoNumber = static_cast<std::uint32_t>(n);
                        autoNumberMoved = true;
                    }
                }
                if (required[c.order] && isNull(v)) {
                    throw Error(ErrorCode::NotUpdatable, "You must enter a value in the '" +
                                                             table->name + "." + c.name +
                                                             "' field.");
                }
            }
            calculated.recompute(row, changed);
            const RowLocation at = writer.insertRow(row);
            indexes.insertRow(at, row);
            relationships.rowInserted(row);
            ++added;
        }
        writer.adjustRowCount(static_cast<std::int64_t>(added));
        if (autoNumberMoved) writer.setLastAutoNumber(lastAutoNumber);
        indexes.finish();
        relationships.finish(ctx);
    });
    return added;
}

}  // namespace jet::sql
