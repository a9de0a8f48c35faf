// The statements the windows send for a constant and for field by field, UPDATE [T] SET [F] =
// [F] + 10 and UPDATE [T] SET [F] = [F] * [G], on number fields: each row's new value is worked
// out from the stored bytes of the fields the expression reads, under the same value rules as
// any UPDATE's (the bound expression, then the conversion for the field), and its bytes replace
// the old ones where they stand. Nothing else of the row is decoded or written.
//
// It is planned only where nothing else must see the new value: the field is in no index, no
// calculated field reads it, no relationship holds it, and a change of it has no validation rule
// or AllowZeroLength to pass (plan() leaves those to the general way). A row that holds the
// field as Null, or was written before the field was added (the new-field window's case), is
// encoded anew from its stored bytes, grown by the field's. A row whose new value is Null, and
// a forwarded row, are handed back to the general way, row by row, in the same scan.
#pragma once

#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/base/value.h"
#include "jet/format/format.h"
#include "jet/sql/ast.h"
#include "jet/sql/evaluator.h"
#include "jet/store/field_codec.h"
#include "jet/store/row_codec.h"
#include "jet/store/row_encoder.h"

namespace jet::sql {

class FixedFieldPatch {
public:
    // Whether the field is a number stored at a fixed place in the row and the expression
    // reads only such fields (`reads`, one flag per column in the table's order). The caller
    // has made sure of the index, relationship, rule and calculated-field conditions above.
    // `expression` is the one `value` was bound from: `[F] + 10`, `[F] * [G]` and the like on
    // whole-number and Currency fields are worked out on 64-bit integers, without values.
    static std::optional<FixedFieldPatch> plan(const TableDef& table, const ColumnDef& target,
                                               BoundExpression value, const ast::Expr& expression,
                                               const std::vector<bool>& reads, Version version);

    // Rows changed on their stored bytes since the program started (by every statement that
    // took this way), for tests and measurements to tell which way a statement went.
    static std::uint64_t rowsPatched() { return rowsPatched_.load(std::memory_order_relaxed); }
    static void countPatched(std::uint64_t rows) {
        rowsPatched_.fetch_add(rows, std::memory_order_relaxed);
    }

    enum class Outcome { Unchanged, Patched, Rewritten, Elsewhere };
    // For the row whose stored bytes are `row`, in slot `slot` of a data page:
    // - Patched after the new value's bytes went into the row where the page, as edit() gives
    //   it, holds it now;
    // - Rewritten for a row that holds the field as Null or was written before the field was
    //   added: the row's new stored bytes, which are longer, were appended to `rewritten`, for
    //   the caller to lay out with the other changed rows of its page;
    // - Unchanged when the value stays as it was;
    // - Elsewhere for a row the general way must change.
    // Throws the value rules' errors, as the general way would for the same row.
    // `offset` is where the row begins in that page when the caller knows nothing has
    // rearranged it since `row` was read from it (only patches have written it); otherwise the
    // general way may have moved rows within the page, and the row is looked for anew.
    template <typename EditPage>
    Outcome apply(const store::RowDecoder& decoder, const store::RowEncoder& encoder,
                  const format::Format& fmt, ByteSpan row, std::uint16_t slot,
                  std::optional<std::size_t> offset, EditPage edit,
                  std::vector<std::uint8_t>& rewritten) {
        const std::optional<ByteSpan> field = decoder.fixedColumn(row, *target_);
        if (!field) return rewrite(decoder, encoder, row, rewritten);
        const auto patch = [&](auto write) {
            const std::span<std::uint8_t> page = edit();
            const std::optional<std::size_t> at = offset ? offset : rowIn(fmt, page, slot, row);
            if (!at) return Outcome::Elsewhere;
            assert(rowIn(fmt, page, slot, row) == at && "the page is laid out as it was read");
            write(page.subspan(*at + static_cast<std::size_t>(field->data() - row.data()),
                               field->size()));
            return Outcome::Patched;
        };
        if (integer_) {
            const std::int64_t old = readInteger(target_->type, *field);
            if (const std::optional<std::int64_t> n = integerValue(decoder, row, old)) {
                if (*n == old) return Outcome::Unchanged;
                return patch([&](std::span<std::uint8_t> out) { writeInteger(*n, out); });
            }
        }
        const Value* value = newValue(decoder, row);
        if (value == nullptr) return Outcome::Elsewhere;  // the row's null mask changes
        if (*value == store::decodeFixed(target_->type, *field, target_->scale)) {
            return Outcome::Unchanged;
        }
        return patch([&](std::span<std::uint8_t> out) { encode(*value, out); });
    }

private:
    // `[F] op [G]` or `[F] op constant` on whole numbers and Currency: each side a column or a
    // constant.
    struct IntegerOperand {
        const ColumnDef* column = nullptr;  // null for the constant
        std::int64_t constant = 0;
        bool currency = false;  // a Currency column, read in ten-thousandths
    };
    struct IntegerArithmetic {
        ast::BinaryOp op;
        IntegerOperand left, right;
        bool currency;  // the result is Currency, in ten-thousandths
        // What the value rules give exactly the integers' result within: the range of the
        // expression's type, then of the field's, in its own units. Outside them they may
        // widen, round or refuse.
        std::pair<std::int64_t, std::int64_t> range, targetRange;
    };
    static std::optional<IntegerArithmetic> integerArithmetic(const ast::Expr& expression,
                                                              const TableDef& table,
                                                              const ColumnDef& target,
                                                              std::optional<ColumnType> type);
    // A whole-number or Currency field's stored bytes (as many as its type takes) as an
    // integer, Currency in ten-thousandths.
    static std::int64_t readInteger(ColumnType type, ByteSpan bytes);
    void writeInteger(std::int64_t value, std::span<std::uint8_t> out) const;
    // The row's new value worked out on integers, in the field's units; null when a field is
    // Null or the result lies outside what the integers give exactly, for the value rules to
    // work out.
    // `old` is the target's value in the row, read once by the caller.
    std::optional<std::int64_t> integerValue(const store::RowDecoder& decoder, ByteSpan row,
                                             std::int64_t old) const;

    FixedFieldPatch(const TableDef& table, const ColumnDef& target, BoundExpression value,
                    std::vector<std::size_t> sources, Version version);
    // The row's new value; null when it is Null, which changes the row's null mask.
    const Value* newValue(const store::RowDecoder& decoder, ByteSpan row);
    // apply() for a row without the field's value: the row, grown by the field's bytes, is
    // encoded anew from its stored bytes.
    Outcome rewrite(const store::RowDecoder& decoder, const store::RowEncoder& encoder,
                    ByteSpan row, std::vector<std::uint8_t>& out);
    void encode(const Value& value, std::span<std::uint8_t> out) const;
    // Where in `page` slot `slot` holds the same bytes as `row`; null when it does not.
    static std::optional<std::size_t> rowIn(const format::Format& fmt, ByteSpan page,
                                            std::uint16_t slot, ByteSpan row);

    const TableDef* table_;
    const ColumnDef* target_;
    BoundExpression value_;
    std::vector<std::size_t> sources_;  // columns the expression reads, by order
    Version version_;
    std::vector<Value> row_;  // the values read, in the table's column order; the rest Null
    Value new_;
    std::optional<IntegerArithmetic> integer_;
    inline static std::atomic<std::uint64_t> rowsPatched_{0};
};

}  // namespace jet::sql
