#include "jet/sql/fixed_field_patch.h"

#include <algorithm>
#include <array>
#include <utility>

#include "jet/store/data_page.h"
#include "jet/store/field_codec.h"
#include "jet/store/field_encoder.h"
#include "jet/store/table_writer.h"
#include "jet/values/arithmetic.h"

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

// The range of a whole-number type; null for the other types.
std::optional<std::pair<std::int64_t, std::int64_t>> integerRange(ColumnType type) {
    switch (type) {
        case ColumnType::Byte:
            return std::pair<std::int64_t, std::int64_t>{0, 255};
        case ColumnType::Integer:
            return std::pair<std::int64_t, std::int64_t>{INT16_MIN, INT16_MAX};
        case ColumnType::Long:
            return std::pair<std::int64_t, std::int64_t>{INT32_MIN, INT32_MAX};
        case ColumnType::BigInt:
            return std::pair<std::int64_t, std::int64_t>{INT64_MIN, INT64_MAX};
        default:
            return std::nullopt;
    }
}

// Whether the column is a whole number whose definition gives it the bytes its type takes (a
// damaged definition may say otherwise; those take the value rules' way).
bool wholeNumberColumn(const ColumnDef& c) {
    switch (c.type) {
        case ColumnType::Byte:
            return c.size == 1;
        case ColumnType::Integer:
            return c.size == 2;
        case ColumnType::Long:
            return c.size == 4;
        case ColumnType::BigInt:
            return c.size == 8;
        default:
            return false;
    }
}

// Whether the column is Currency with the eight bytes of one: a whole number of ten-thousandths.
bool currencyColumn(const ColumnDef& c) { return c.type == ColumnType::Currency && c.size == 8; }

}  // namespace

std::optional<FixedFieldPatch::IntegerArithmetic> FixedFieldPatch::integerArithmetic(
    const ast::Expr& expression, const TableDef& table, const ColumnDef& target,
    std::optional<ColumnType> type) {
    const auto* binary = std::get_if<ast::Binary>(&expression.node);
    if (binary == nullptr || !type) return std::nullopt;
    if (binary->op != ast::BinaryOp::Add && binary->op != ast::BinaryOp::Subtract &&
        binary->op != ast::BinaryOp::Multiply) {
        return std::nullopt;
    }
    // Currency on one side or both gives Currency, in ten-thousandths.
    const bool currency = *type == ColumnType::Currency;
    const auto typeRange = currency ? integerRange(ColumnType::BigInt) : integerRange(*type);
    const auto targetRange =
        currencyColumn(target) ? integerRange(ColumnType::BigInt) : integerRange(target.type);
    if (!typeRange || !targetRange || !(wholeNumberColumn(target) || currencyColumn(target))) {
        return std::nullopt;
    }
    // A whole-number or Currency column, or a whole-number literal (negated or not).
    const auto operand = [&](const ast::Expr& e) -> std::optional<IntegerOperand> {
        if (const auto* ref = std::get_if<ast::ColumnRef>(&e.node)) {
            const ColumnDef* c = table.findColumn(ref->column.text);
            if (c == nullptr) return std::nullopt;
            if (currencyColumn(*c) && currency) return IntegerOperand{c, 0, true};
            if (!wholeNumberColumn(*c)) return std::nullopt;
            return IntegerOperand{c, 0, false};
        }
        bool negate = false;
        const ast::Expr* literal = &e;
        if (const auto* unary = std::get_if<ast::Unary>(&e.node);
            unary != nullptr && unary->op == ast::UnaryOp::Negate && unary->operand) {
            negate = true;
            literal = unary->operand.get();
        }
        const auto* l = std::get_if<ast::Literal>(&literal->node);
        const auto* n = l != nullptr ? std::get_if<std::int32_t>(&l->value) : nullptr;
        if (n == nullptr) return std::nullopt;
        return IntegerOperand{nullptr, negate ? -std::int64_t{*n} : std::int64_t{*n}, false};
    };
    if (!binary->left || !binary->right) return std::nullopt;
    const auto left = operand(*binary->left);
    const auto right = operand(*binary->right);
    if (!left || !right || (!left->column && !right->column)) return std::nullopt;
    // A Currency result must come from a Currency side; anything else is the value rules' way.
    if (currency != (left->currency || right->currency)) return std::nullopt;
    return IntegerArithmetic{binary->op, *left, *right, currency, *typeRange, *targetRange};
}

std::int64_t FixedFieldPatch::readInteger(ColumnType type, ByteSpan b) {
    // Little-endian; every whole-number type but Byte is signed.
    switch (type) {
        case ColumnType::Byte:
            return b[0];
        case ColumnType::Integer:
            return static_cast<std::int16_t>(u16(b, 0, "an Integer"));
        case ColumnType::Long:
            return static_cast<std::int32_t>(u32(b, 0, "a Long"));
        default:
            return static_cast<std::int64_t>(std::uint64_t{u32(b, 0, "a BigInt")} |
                                             (std::uint64_t{u32(b, 4, "a BigInt")} << 32));
    }
}

void FixedFieldPatch::writeInteger(std::int64_t value, std::span<std::uint8_t> out) const {
    // Little-endian, two's complement, as many bytes as the field has.
    auto bits = static_cast<std::uint64_t>(value);
    for (std::uint8_t& b : out) {
        b = static_cast<std::uint8_t>(bits & 0xFF);
        bits >>= 8;
    }
}

std::optional<std::int64_t> FixedFieldPatch::integerValue(const store::RowDecoder& decoder,
                                                          ByteSpan row, std::int64_t old) const {
    const auto value = [&](const IntegerOperand& o) -> std::optional<std::int64_t> {
        if (o.column == nullptr) return o.constant;
        if (o.column == target_) return old;
        const std::optional<ByteSpan> bytes = decoder.fixedColumn(row, *o.column);
        if (!bytes) return std::nullopt;  // Null: the value rules say what that gives
        return readInteger(o.column->type, *bytes);
    };
    auto a = value(integer_->left);
    auto b = value(integer_->right);
    if (!a || !b) return std::nullopt;
    const IntegerArithmetic& e = *integer_;
    std::int64_t r = 0;
    bool overflow = false;
    if (e.op == ast::BinaryOp::Multiply && e.left.currency && e.right.currency) {
        const std::optional<std::int64_t> product = values::currencyProduct(*a, *b);
        if (!product) return std::nullopt;
        r = *product;
    } else {
        if (e.currency && e.op != ast::BinaryOp::Multiply) {
            // A sum or difference in ten-thousandths.
            if (!e.left.currency && __builtin_mul_overflow(*a, 10000, &*a)) return std::nullopt;
            if (!e.right.currency && __builtin_mul_overflow(*b, 10000, &*b)) return std::nullopt;
        }
        switch (e.op) {
            case ast::BinaryOp::Add:
                overflow = __builtin_add_overflow(*a, *b, &r);
                break;
            case ast::BinaryOp::Subtract:
                overflow = __builtin_sub_overflow(*a, *b, &r);
                break;
            default:
                overflow = __builtin_mul_overflow(*a, *b, &r);
                break;
        }
        if (overflow) return std::nullopt;
    }
    if (r < e.range.first || r > e.range.second) return std::nullopt;
    // In the field's own units: ten-thousandths for Currency, else a whole number.
    if (currencyColumn(*target_)) {
        if (!e.currency && __builtin_mul_overflow(r, 10000, &r)) return std::nullopt;
    } else if (e.currency) {
        r = values::currencyToWhole(r);
    }
    if (r < e.targetRange.first || r > e.targetRange.second) return std::nullopt;
    return r;
}

std::optional<FixedFieldPatch> FixedFieldPatch::plan(const TableDef& table, const ColumnDef& target,
                                                     BoundExpression value,
                                                     const ast::Expr& expression,
                                                     const std::vector<bool>& reads,
                                                     Version version) {
    if (!storedInPlace(target)) return std::nullopt;
    std::vector<std::size_t> sources;
    for (std::size_t i = 0; i < reads.size() && i < table.columns.size(); ++i) {
        if (!reads[i]) continue;
        if (!storedInPlace(table.columns[i])) return std::nullopt;
        sources.push_back(i);
    }
    const auto integer = integerArithmetic(expression, table, target, value.type());
    FixedFieldPatch patch(table, target, std::move(value), std::move(sources), version);
    patch.integer_ = integer;
    return patch;
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

const Value* FixedFieldPatch::newValue(const store::RowDecoder& decoder, ByteSpan row) {
    for (const std::size_t i : sources_) {
        const ColumnDef& c = table_->columns[i];
        const std::optional<ByteSpan> bytes = decoder.fixedColumn(row, c);
        row_[i] = bytes ? store::decodeFixed(c.type, *bytes, c.scale) : Value(Null{});
    }
    new_ = convertForColumn(value_.evaluate(row_), *target_, version_);
    if (isNull(new_)) return nullptr;
    return &new_;
}

FixedFieldPatch::Outcome FixedFieldPatch::rewrite(const store::RowDecoder& decoder,
                                                  const store::RowEncoder& encoder, ByteSpan row,
                                                  std::vector<std::uint8_t>& out) {
    // A Null that stays Null, or a required field left Null, is the general way's to judge.
    std::array<std::uint8_t, 32> buffer{};
    if (target_->size > buffer.size()) return Outcome::Elsewhere;
    const std::span<std::uint8_t> bytes(buffer.data(), target_->size);
    std::optional<std::int64_t> n;
    if (integer_ && integer_->left.column != target_ && integer_->right.column != target_) {
        n = integerValue(decoder, row, 0);
    }
    if (n) {
        writeInteger(*n, bytes);
    } else if (const Value* value = newValue(decoder, row)) {
        encode(*value, bytes);
    } else {
        return Outcome::Elsewhere;
    }
    [[maybe_unused]] const std::size_t start = out.size();
    if (!encoder.encodeKeepingAllBut(row, *target_, bytes, store::TableWriter::kMinRowSize, out)) {
        return Outcome::Elsewhere;
    }
#ifndef NDEBUG
    {
        // The bytes are those the general way encodes from the row's values.
        std::vector<Value> values;
        decoder.decode(row, values);
        values[target_->order] = store::decodeFixed(target_->type, bytes, target_->scale);
        std::vector<std::optional<ByteSpan>> keep;
        decoder.locate(row, keep);
        keep[target_->order].reset();
        const auto general = encoder.encode(values, keep, store::TableWriter::kMinRowSize,
                                            store::longValuePlaceholder);
        assert(std::equal(general.begin(), general.end(),
                          out.begin() + static_cast<std::ptrdiff_t>(start), out.end()) &&
               "a row rewritten on its bytes as the general way writes it");
    }
#endif
    return Outcome::Rewritten;
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
