// Encoding index pages: the inverse of readIndexPage. Given the full entries of one page, in
// order, it lays out the header, stores each entry after the first without the prefix the page
// declares shared, sets the entry mask and the free-space figure, and leaves the rest zero.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/index/index_page.h"

namespace jet::index {

// The longest prefix every entry shares, over the stored form of each entry (key, row pointer
// and, on intermediate pages, child page). The entries are sorted, so the first and the last
// entry decide it.
std::size_t sharedPrefixLength(std::span<const IndexEntry> entries, bool leaf);

// The longest shared prefix the page can record: Jet 3 keeps its length in one byte.
std::size_t declarablePrefixLength(const format::Format& fmt, std::span<const IndexEntry> entries,
                                   bool leaf);

// The prefix Access declares: none while the entries fit whole, the longest shared one once
// they would not. All index pages of the fixtures but one follow this (see the tests).
std::size_t accessPrefixLength(const format::Format& fmt, std::span<const IndexEntry> entries,
                               bool leaf);

// Bytes the entries take in the entry area when all but the first leave out `prefix` bytes.
std::size_t storedEntriesSize(std::span<const IndexEntry> entries, bool leaf, std::size_t prefix);
// The bytes one entry takes on a page, with no prefix shared.
std::size_t storedEntrySize(const IndexEntry& entry, bool leaf);

// The room for entries on a page of this format: up to the page's end and within the mask.
std::size_t entryAreaCapacity(const format::Format& fmt);

// Whether the entries fit on one page with the longest declarable prefix left out.
bool entriesFit(const format::Format& fmt, std::span<const IndexEntry> entries, bool leaf);

// The page's bytes. `page.leaf`, owner, prevPage, nextPage, tailPage and entries are taken as
// given; freeSpace and entriesEnd are computed. The prefix is `prefix` when given (it must be
// shared by all entries), otherwise accessPrefixLength. Throws Error(Unsupported) when the
// entries do not fit (the caller must split first), when the prefix is not shared, or when a
// data page number needs more than the three bytes an entry gives it.
std::vector<std::uint8_t> writeIndexPage(const format::Format& fmt, const IndexPage& page,
                                         std::optional<std::size_t> prefix = std::nullopt);

}  // namespace jet::index
