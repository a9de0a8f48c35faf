#include "jet/sql/aggregate.h"

#include "jet/values/arithmetic.h"
#include "jet/values/conversion.h"
#include "jet/values/date_time.h"
#include "jet/values/decimal_math.h"
#include "jet/values/value_rules.h"

namespace jet::sql {

namespace {

// A value as Sum and Avg add it.
Value summand(const Value& v) {
    if (const auto* b = std::get_if<bool>(&v)) return std::int32_t{*b ? -1 : 0};
    if (const auto* x = std::get_if<std::uint8_t>(&v)) return std::int32_t{*x};
    if (const auto* x = std::get_if<std::int16_t>(&v)) return std::int32_t{*x};
    if (std::holds_alternative<std::int32_t>(v) || std::holds_alternative<std::int64_t>(v) ||
        std::holds_alternative<double>(v) || std::holds_alternative<Currency>(v) ||
        std::holds_alternative<Decimal>(v)) {
        return v;
    }
    return toDouble(v);  // Single, dates and numeric text; anything else is a type mismatch
}

Value average(const Value& total, std::int64_t count) {
    if (const auto* d = std::get_if<Decimal>(&total)) {
        return decimalDivide(*d, decimalFromInteger(count));
    }
    if (const auto* c = std::get_if<Currency>(&total)) {
        return convertToType(decimalDivide(decimalFromCurrency(*c), decimalFromInteger(count)),
                             ColumnType::Currency);
    }
    return toDouble(total) / static_cast<double>(count);
}

}  // namespace

void Accumulator::add(const Value& v) {
    if (isNull(v)) return;
    ++count_;
    switch (kind_) {
        case AggregateKind::Count:
            return;
        case AggregateKind::Sum:
        case AggregateKind::Avg:
            total_ = count_ == 1 ? summand(v) : jet::sql::add(total_, summand(v));
            return;
        case AggregateKind::Min:
            if (count_ == 1 || compareValues(v, total_) < 0) total_ = v;
            return;
        case AggregateKind::Max:
            if (count_ == 1 || compareValues(v, total_) > 0) total_ = v;
            return;
    }
}

Value Accumulator::result() const {
    if (kind_ == AggregateKind::Count) return static_cast<std::int32_t>(count_);
    if (count_ == 0) return Null{};
    if (kind_ == AggregateKind::Avg) return average(total_, count_);
    return total_;
}

Value aggregateSample(AggregateKind kind, const Value& argumentSample) {
    if (kind == AggregateKind::Count) return std::int32_t{1};
    if (isNull(argumentSample)) return Null{};
    try {
        Accumulator a(kind);
        a.add(argumentSample);
        return a.result();
    } catch (const ValueFault&) {
        return Null{};
    }
}

}  // namespace jet::sql
