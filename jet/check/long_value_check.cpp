#include "jet/check/long_value_check.h"

#include <optional>
#include <set>

#include "jet/store/data_page.h"
#include "jet/store/long_value.h"

namespace jet::check {
namespace {

constexpr std::size_t kLinkSize = 4;

std::string rowName(RowPointer p) {
    return "row " + std::to_string(p.slot) + " of page " + std::to_string(p.page);
}

// The bytes of the long-value row `p`, or nothing after reporting why it cannot serve.
std::optional<ByteSpan> valueRow(CheckContext& ctx, RowPointer p, const std::string& where,
                                 const std::string& claimant, const PageSet* columnPages,
                                 file::PageRef& holder) {
    const auto slots = longValuePage(ctx, p.page, where, claimant);
    if (!slots) return std::nullopt;
    if (columnPages != nullptr && !columnPages->contains(p.page)) {
        ctx.faults.add(FaultKind::UsageMap, where,
                       where + ": its value uses page " + std::to_string(p.page) +
                           ", which the column's usage map does not list");
    }
    if (p.slot >= slots->size()) {
        ctx.faults.add(FaultKind::LongValue, where,
                       where + ": its value points to " + rowName(p) + ", but that page has " +
                           std::to_string(slots->size()) + " rows");
        return std::nullopt;
    }
    const SlotInfo& s = (*slots)[p.slot];
    if (!s.sound) return std::nullopt;  // its bounds were reported with the page
    if (s.state != SlotState::Live) {
        ctx.faults.add(
            FaultKind::LongValue, where,
            where + ": its value points to " + rowName(p) + ", which is deleted or forwarded");
        return std::nullopt;
    }
    if (!ctx.longValueRowsUsed.insert(p.page, p.slot)) {
        ctx.faults.add(FaultKind::LongValue, where,
                       where + ": its value uses " + rowName(p) + ", which another value uses too");
    }
    holder = ctx.file.page(p.page);
    return ByteSpan(*holder).subspan(s.start, s.end - s.start);
}

}  // namespace

std::optional<std::vector<SlotInfo>> longValuePage(CheckContext& ctx, std::uint32_t page,
                                                   const std::string& where,
                                                   const std::string& claimant) {
    if (ctx.longValuePages.contains(page)) {
        FaultList reportedBefore;
        return checkSlotDirectory(ctx.fmt, *ctx.file.page(page), page, {}, reportedBefore);
    }
    if (page == 0 || page >= ctx.file.pageCount()) {
        ctx.faults.add(
            FaultKind::LongValue, where,
            where + ": its value points to page " + std::to_string(page) + ", outside the file");
        return std::nullopt;
    }
    const auto bytes = ctx.file.page(page);
    const std::uint32_t owner = u32(*bytes, 4);
    if ((*bytes)[0] != store::kDataPageType || owner != kLongValueOwner) {
        ctx.faults.add(FaultKind::LongValue, where,
                       where + ": its value points to page " + std::to_string(page) +
                           ", which is not a long-value page (type " + std::to_string((*bytes)[0]) +
                           ", owner " + std::to_string(owner) + ")");
        return std::nullopt;
    }
    ctx.claims.claim(page, "the long values of " + claimant, ctx.faults);
    ctx.longValuePages.insert(page);
    return checkSlotDirectory(ctx.fmt, *bytes, page, "long values of " + claimant, ctx.faults);
}

void checkLongValue(CheckContext& ctx, ByteSpan field, const std::string& where,
                    const std::string& claimant, const PageSet* columnPages) {
    if (field.size() < store::kLongValueReferenceSize) {
        ctx.faults.add(FaultKind::LongValue, where,
                       where + ": its long-value field has " + std::to_string(field.size()) +
                           " bytes, fewer than the 12 of a reference");
        return;
    }
    const std::uint32_t header = u32(field, 0);
    const std::size_t length = header & store::kLongValueLengthMask;
    const RowPointer first = RowPointer::from(u32(field, 4));
    file::PageRef holder;
    switch (header & store::kLongValueKindMask) {
        case store::kLongValueInline:
            if (length != field.size() - store::kLongValueReferenceSize) {
                ctx.faults.add(FaultKind::LongValue, where,
                               where + ": its inline value claims " + std::to_string(length) +
                                   " bytes, but its field holds " +
                                   std::to_string(field.size() - store::kLongValueReferenceSize));
            }
            return;
        case store::kLongValueSingleRow: {
            const auto row = valueRow(ctx, first, where, claimant, columnPages, holder);
            if (row && row->size() != length) {
                ctx.faults.add(FaultKind::LongValue, where,
                               where + ": its value claims " + std::to_string(length) +
                                   " bytes, but " + rowName(first) + " holds " +
                                   std::to_string(row->size()));
            }
            return;
        }
        case store::kLongValueChain: {
            std::set<std::uint32_t> visited;
            std::size_t total = 0;
            for (RowPointer at = first;;) {
                if (at.page == 0) {
                    if (total != length) {
                        ctx.faults.add(FaultKind::LongValue, where,
                                       where + ": its value claims " + std::to_string(length) +
                                           " bytes, but its chain ends after " +
                                           std::to_string(total));
                    }
                    return;
                }
                if (!visited.insert(packRow(at.page, at.slot)).second) {
                    ctx.faults.add(
                        FaultKind::LongValue, where,
                        where + ": its chain of long-value rows loops back to " + rowName(at));
                    return;
                }
                const auto row = valueRow(ctx, at, where, claimant, columnPages, holder);
                if (!row) return;
                if (row->size() < kLinkSize) {
                    ctx.faults.add(FaultKind::LongValue, where,
                                   where + ": " + rowName(at) + " of its chain is too short to " +
                                       "hold the link to the next");
                    return;
                }
                total += row->size() - kLinkSize;
                at = RowPointer::from(u32(*row, 0));
            }
        }
        default:
            ctx.faults.add(FaultKind::LongValue, where,
                           where + ": its long-value reference has an unknown kind (" +
                               std::to_string(header >> 30) + ")");
    }
}

}  // namespace jet::check
