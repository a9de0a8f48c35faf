#include "jet/sql/fixed_field_patch.h"

#include <algorithm>
#include <utility>

#include "jet/store/data_page.h"
#include "jet/store/field_codec.h"
#include "jet/store/field_encoder.h"

namespace jet::sql {
namespace {

// The types whose value lies whole in the row's fixed part and decodes from those bytes alone.
bool storedInPlace(const ColumnDef& c) {
    if (!c.fixedLength || c.calculated) return false;
    switch (c.type) {
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::BigInt:
        case ColumnType::Currency:
        case ColumnType::Single:
        case ColumnType::Double:
        case ColumnType::Decimal:
        case ColumnType::DateTime:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::optional<FixedFieldPatch> FixedFieldPatch::plan(const TableDef& table, const ColumnDef& target,
                                                     BoundExpression value,
                                                     const std::vector<bool>& reads,
                                                     Version version) {
    if (!storedInPlace(target)) return std::nullopt;
    std::vector<std::size_t> sources;
    for (std::size_t i = 0; i < reads.size() && i < table.columns.size(); ++i) {
        if (!reads[i]) continue;
        if (!storedInPlace(table.columns[i])) return std::nullopt;
        sources.push_back(i);
    }
    return FixedFieldPatch(table, target, std::move(value), std::move(sources), version);
}

FixedFieldPatch::FixedFieldPatch(const TableDef& table, const ColumnDef& target,
                                 BoundExpression value, std::vector<std::size_t> sources,
                                 Version version)
    : table_(&table),
      target_(&target),
      value_(std::move(value)),
      sources_(std::move(sources)),
      version_(version),
      row_(table.columns.size(), Null{}) {}

const Value* FixedFieldPatch::newValue(const store::RowDecoder& decoder, ByteSpan row,
                                       std::optional<ByteSpan>& field) {
    field = decoder.fixedColumn(row, *target_);
    if (!field) return nullptr;  // Null, or not in the row: the row changes shape
    for (const std::size_t i : sources_) {
        const ColumnDef& c = table_->columns[i];
        const std::optional<ByteSpan> bytes = decoder.fixedColumn(row, c);
        row_[i] = bytes ? store::decodeFixed(c.type, *bytes, c.scale) : Value(Null{});
    }
    new_ = convertForColumn(value_.evaluate(row_), *target_, version_);
    if (isNull(new_)) return nullptr;  // the row's null mask changes
    old_ = store::decodeFixed(target_->type, *field, target_->scale);
    return &new_;
}

std::optional<std::size_t> FixedFieldPatch::rowIn(const format::Format& fmt, ByteSpan page,
                                                  std::uint16_t slot, ByteSpan row) {
    const store::Slot s = store::DataPage(fmt, page).slot(slot);
    if (s.deleted || s.forwarded ||
        !std::equal(s.bytes.begin(), s.bytes.end(), row.begin(), row.end())) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(s.bytes.data() - page.data());
}

void FixedFieldPatch::encode(const Value& value, std::span<std::uint8_t> out) const {
    store::encodeFixed(*target_, value, out);
}

}  // namespace jet::sql
