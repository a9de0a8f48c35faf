#include "jet/sql/calculated_columns.h"

#include <algorithm>
#include <string>

#include "jet/base/names.h"
#include "jet/sql/parser.h"
#include "jet/store/field_codec.h"

namespace jet::sql {
namespace {

[[noreturn]] void cannotRecompute(const TableDef& table, const ColumnDef& column, ErrorCode code,
                                  const std::string& why) {
    throw Error(code, "Cannot recompute calculated field '" + column.name + "' of table '" +
                          table.name + "': " + why);
}

// One calculated column as the catalog describes it.
struct Definition {
    const ColumnDef* column = nullptr;
    ast::ExprPtr parsed;  // null when the expression is missing or does not parse
    std::string text;
    ErrorCode code = ErrorCode::Unsupported;  // why `parsed` is null
    std::string problem;
    std::vector<bool> reads;  // by column index
};

const store::Property* expressionOf(const store::PropertyMaps& properties,
                                    const ColumnDef& column) {
    const auto map = properties.find(foldName(column.name));
    if (map == properties.end()) return nullptr;
    const auto expression = map->second.find("Expression");
    return expression == map->second.end() ? nullptr : &expression->second;
}

Definition describe(const TableDef& table, const ColumnDef& column,
                    const store::PropertyMaps& properties) {
    Definition d;
    d.column = &column;
    d.reads.assign(table.columns.size(), false);
    const store::Property* expression = expressionOf(properties, column);
    if (expression == nullptr) {
        d.problem = "its expression is missing from the table's properties.";
        d.reads.assign(table.columns.size(), true);  // it may read any other field
        d.reads[column.order] = false;
        return d;
    }
    d.text = decodeUnicodeText(expression->data);
    try {
        d.parsed = parseExpression(d.text);
    } catch (const Error& e) {
        d.code = e.code();
        d.problem = e.what();
        // It reads at most the fields whose names its text contains.
        const std::string folded = foldName(d.text);
        for (const ColumnDef& c : table.columns) {
            d.reads[c.order] = &c != &column && folded.find(foldName(c.name)) != std::string::npos;
        }
        return d;
    }
    markColumnsRead(*d.parsed, table, d.reads);
    return d;
}

BoundExpression bindDefinition(const TableDef& table, const Definition& d) {
    if (d.column->fixedLength) {
        cannotRecompute(table, *d.column, ErrorCode::Unsupported,
                        "it is stored as a fixed-length field, which this engine does not write.");
    }
    if (!d.parsed) cannotRecompute(table, *d.column, d.code, d.problem);
    try {
        return sql::bind(*d.parsed, table, d.text);
    } catch (const Error& e) {
        cannotRecompute(table, *d.column, e.code(), e.what());
    }
}

std::vector<std::size_t> indexesOf(const std::vector<bool>& marked) {
    std::vector<std::size_t> out;
    for (std::size_t k = 0; k < marked.size(); ++k) {
        if (marked[k]) out.push_back(k);
    }
    return out;
}

}  // namespace

CalculatedColumns::CalculatedColumns(const TableDef& table, const store::PropertyMaps& properties,
                                     Version version, const std::vector<std::size_t>& assigned)
    : table_(table), version_(version) {
    std::vector<Definition> definitions;
    for (const ColumnDef& c : table.columns) {
        if (c.calculated) definitions.push_back(describe(table, c, properties));
    }

    // Affected: those that read an assigned column or an affected calculated column.
    std::vector<bool> changing(table.columns.size(), false);
    for (const std::size_t i : assigned) changing[i] = true;
    const auto readsAny = [](const Definition& d, const std::vector<bool>& wanted) {
        for (std::size_t k = 0; k < wanted.size(); ++k) {
            if (d.reads[k] && wanted[k]) return true;
        }
        return false;
    };
    for (bool grew = true; grew;) {
        grew = false;
        for (const Definition& d : definitions) {
            if (!changing[d.column->order] && readsAny(d, changing)) {
                changing[d.column->order] = grew = true;
            }
        }
    }

    // Each goes once every affected column it reads is in place, so what is never ready reads
    // itself, directly or through others.
    std::vector<bool> pending(table.columns.size(), false);
    for (const Definition& d : definitions) pending[d.column->order] = changing[d.column->order];
    for (bool progress = true; progress;) {
        progress = false;
        for (const Definition& d : definitions) {
            const std::size_t i = d.column->order;
            if (!pending[i] || readsAny(d, pending)) continue;
            ordered_.push_back({i, indexesOf(d.reads), bindDefinition(table, d)});
            pending[i] = false;
            progress = true;
        }
    }
    for (const Definition& d : definitions) {
        if (pending[d.column->order]) {
            cannotRecompute(table, *d.column, ErrorCode::Unsupported,
                            "its expression reads itself, directly or through other calculated "
                            "fields.");
        }
    }
}

void CalculatedColumns::recompute(std::vector<Value>& values,
                                  store::ChangedColumns& changed) const {
    for (const Calculated& c : ordered_) {
        if (std::none_of(c.reads.begin(), c.reads.end(),
                         [&](std::size_t k) { return changed.contains(k); })) {
            continue;
        }
        const ColumnDef& column = table_.columns[c.index];
        Value v;
        try {
            v = convertForColumn(c.expression.evaluate(values), column, version_);
        } catch (const Error& e) {
            cannotRecompute(table_, column, e.code(), e.what());
        }
        if (v != values[c.index]) {
            values[c.index] = std::move(v);
            changed.mark(c.index);
        }
    }
}

}  // namespace jet::sql
