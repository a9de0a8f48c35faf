#include "jet/sql/insert.h"

#include <algorithm>
#include <random>

#include "jet/base/error.h"
#include "jet/base/names.h"
#include "jet/index/table_indexes.h"
#include "jet/sql/calculated_columns.h"
#include "jet/sql/evaluator.h"
#include "jet/sql/parser.h"
#include "jet/sql/relationships.h"
#include "jet/sql/select.h"
#include "jet/sql/write_checks.h"
#include "jet/store/field_codec.h"
#include "jet/store/table_definition.h"
#include "jet/store/table_writer.h"
#include "jet/store/write_context.h"

namespace jet::sql {
namespace {

[[noreturn]] void refuse(const TableDef& table, const std::string& why) {
    throw Error(ErrorCode::Unsupported,
                "Cannot add records to table '" + table.name + "': " + why + ".");
}

}  // namespace

// What each field of a new row gets when the statement names no value for it.
struct RowInserter::Defaults {
    std::vector<std::optional<BoundExpression>> expressions;  // the field's DefaultValue

    Defaults(const TableDef& table, const store::PropertyMaps& properties) {
        expressions.resize(table.columns.size());
        for (const auto& c : table.columns) {
            const auto map = properties.find(foldName(c.name));
            if (map == properties.end()) continue;
            const auto found = map->second.find("DefaultValue");
            if (found == map->second.end()) continue;
            std::string text = decodeUnicodeText(found->second.data);
            if (!text.empty() && text.front() == '=') text.erase(0, 1);
            if (text.find_first_not_of(' ') == std::string::npos) continue;
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

namespace {

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

RowInserter::RowInserter(Database& db, std::shared_ptr<const TableDef> table,
                         const std::vector<std::string>& fields, const char* what, Target target)
    : db_(db),
      // Checked first: the rest reads the table's fields and properties.
      table_([&] {
          store::requireKnownColumnTypes(*table, db.path(), "add records to");
          return std::move(table);
      }()),
      properties_(propertiesOf(db, *table_)),
      defaults_(std::make_unique<Defaults>(*table_, properties_)),
      calculated_(*table_, properties_, db.version(),
                  [&] {
                      std::vector<std::size_t> plain;
                      for (const auto& c : table_->columns) {
                          if (!c.calculated) plain.push_back(c.order);
                      }
                      return plain;
                  }()),
      // The engine's own rows of a system table are not records a user saves.
      rules_(db, *table_, target == Target::Catalog ? store::PropertyMaps{} : properties_),
      relationships_(db, *table_, RelationshipGuard::Statement::Insert,
                     std::vector<bool>(table_->columns.size(), true)),
      changed_(table_->columns.size()) {
    const TableDef& t = *table_;
    if (t.tableType != 0x4e && target != Target::Catalog) {
        throw Error(ErrorCode::NotUpdatable,
                    "Cannot add records to system table '" + t.name + "'.");
    }
    if (fields.empty()) {
        for (const auto& c : t.columns) {
            if (!c.calculated) fields_.push_back(&c);
        }
    }
    for (const auto& name : fields) {
        const ColumnDef* c = t.findColumn(name);
        if (c == nullptr) {
            throw Error(ErrorCode::FieldNotFound,
                        "No field named '" + name + "' in table '" + t.name + "'.");
        }
        if (std::find(fields_.begin(), fields_.end(), c) != fields_.end()) {
            throw Error(ErrorCode::SyntaxError,
                        "Field '" + c->name + "' is named twice in the " + what + ".");
        }
        if (c->calculated) {
            throw Error(ErrorCode::NotUpdatable,
                        "Cannot set calculated field '" + c->name + "' of table '" + t.name + "'.");
        }
        fields_.push_back(c);
    }
    for (const auto& c : t.columns) {
        if (c.type == ColumnType::Complex) refuse(t, "it has attachment or multi-value fields");
    }
    const std::string index =
        index::TableIndexes::unsupportedChange(t, std::vector<bool>(t.columns.size(), true));
    if (!index.empty()) refuse(t, index);
    required_ = requiredFields(db, t);
    named_.assign(t.columns.size(), false);
    for (const ColumnDef* c : fields_) named_[c->order] = true;
    row_.resize(t.columns.size());
    none_.resize(t.columns.size());
    changed_.markAll();
    lastAutoNumber_ = t.nextAutoNumber;
}

RowInserter::~RowInserter() = default;

void RowInserter::begin(store::WriteContext& ctx, bool many) {
    // The most rows a table may hold for an import to build its indexes again: the rows already
    // there are read once more at the end.
    constexpr std::uint32_t kRebuildUpTo = 4096;
    writer_.emplace(ctx.file, ctx.format, *table_, ctx.codePage);
    if (many && !table_->indexes.empty() && !relationships_.active() &&
        table_->rowCount <= kRebuildUpTo) {
        rebuild_.emplace(ctx.file, ctx.format, *table_,
                         std::vector<bool>(table_->columns.size(), true), ctx.codePage);
        rebuild_->start();
    }
    indexes_.emplace(ctx.file, ctx.format, rebuild_ ? rebuild_->others() : *table_);
}

void RowInserter::add(const std::vector<Value>& given) {
    const TableDef& t = *table_;
    std::fill(row_.begin(), row_.end(), Value{});
    for (std::size_t i = 0; i < fields_.size(); ++i) row_[fields_[i]->order] = given[i];
    for (const auto& c : t.columns) {
        Value& v = row_[c.order];
        if (c.autoNumber && isNull(v)) {
            v = static_cast<std::int32_t>(++lastAutoNumber_);
            autoNumberMoved_ = true;
        } else if (c.autoGuid && isNull(v)) {
            v = randomGuid();
        } else if (!named_[c.order] && defaults_->expressions[c.order]) {
            v = defaults_->expressions[c.order]->evaluate(none_);
        }
        if (c.calculated) continue;
        v = convertForColumn(v, c, db_.version());
        if (c.autoNumber) {
            const std::int32_t n = std::get<std::int32_t>(v);
            if (n > 0 && static_cast<std::uint32_t>(n) > lastAutoNumber_) {
                lastAutoNumber_ = static_cast<std::uint32_t>(n);
                autoNumberMoved_ = true;
            }
        }
        if (required_[c.order] && isNull(v)) {
            throw Error(ErrorCode::NotUpdatable,
                        "You must enter a value in the '" + t.name + "." + c.name + "' field.");
        }
    }
    calculated_.recompute(row_, changed_);
    rules_.check(row_, changed_);
    const RowLocation at = writer_->insertRow(row_);
    indexes_->insertRow(at, row_);
    relationships_.rowInserted(row_);
    ++added_;
}

std::uint64_t RowInserter::finish(store::WriteContext& ctx) {
    writer_->adjustRowCount(static_cast<std::int64_t>(added_));
    if (autoNumberMoved_) writer_->setLastAutoNumber(lastAutoNumber_);
    indexes_->finish();
    if (rebuild_) rebuild_->finish();
    relationships_.finish(ctx);
    return added_;
}

std::uint64_t runInsert(Database& db, const ast::Insert& insert, std::string_view statement) {
    const auto table = db.table(insert.table.text);
    std::vector<std::string> fields;
    for (const auto& name : insert.columns) fields.push_back(name.text);
    RowInserter inserter(db, table, fields, "INSERT INTO statement");
    const std::size_t count = inserter.fields().size();

    // The source: one row of VALUES, or the rows of a SELECT.
    std::vector<BoundExpression> values;
    std::unique_ptr<ResultSet> source;
    if (insert.select) {
        source = runSelect(db, *insert.select, statement);
        if (source->columns().size() != count) {
            throw Error(ErrorCode::SyntaxError, "The INSERT INTO statement names " +
                                                    std::to_string(count) +
                                                    " fields, but its SELECT gives " +
                                                    std::to_string(source->columns().size()) + ".");
        }
    } else {
        if (insert.values.size() != count) {
            throw Error(ErrorCode::SyntaxError, "The INSERT INTO statement names " +
                                                    std::to_string(count) + " fields, but gives " +
                                                    std::to_string(insert.values.size()) +
                                                    " values.");
        }
        for (const auto& v : insert.values) values.push_back(sql::bind(*v, *table, statement));
    }
    // A SELECT from the table itself would meet the rows it adds: its rows are read first.
    std::vector<std::vector<Value>> sameTableRows;
    if (source && namesEqual(insert.select->from.text, table->name)) {
        while (source->next()) sameTableRows.push_back(source->row());
        source.reset();
    }

    std::uint64_t added = 0;
    db.write([&](store::WriteContext& ctx) {
        inserter.begin(ctx);
        if (!insert.select) {
            const std::vector<Value> none(table->columns.size());
            std::vector<Value> given;
            given.reserve(values.size());
            for (const auto& v : values) given.push_back(v.evaluate(none));
            inserter.add(given);
        } else if (source) {
            while (source->next()) inserter.add(source->row());
        } else {
            for (const auto& row : sameTableRows) inserter.add(row);
        }
        added = inserter.finish(ctx);
    });
    return added;
}

}  // namespace jet::sql
