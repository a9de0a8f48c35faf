// A table definition (TDEF) as one string of bytes, and the chain of pages it lies on.
//
// The definition starts with its first page's 8-byte header (page type 0x02, 0x01, free space,
// next page) and records its whole length at offset 8. The first page holds its first
// page-size bytes; each further page repeats the header and holds the next page-size - 8 bytes.
// Access fills every page but the last to the brim, cutting through a column entry, an index
// block or a name wherever the page ends, and gives each page as free space the bytes it leaves
// unused less 8 (0 on a full page).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "jet/file/page_file.h"
#include "jet/format/format.h"

namespace jet::store {

// The pages of the definition that starts at `firstPage`, in chain order. Throws Error(Corrupt)
// when the chain loops, runs past the end of the file or reaches a page of another type.
std::vector<std::uint32_t> definitionPages(const file::PageFile& file, std::uint32_t firstPage);

// Every byte the chain holds: the first page whole, the others after their header, past the
// recorded length too. For readers that go by the structures rather than the length.
std::vector<std::uint8_t> definitionChainBytes(const file::PageFile& file, std::uint32_t firstPage);

// The definition's bytes, as many as its recorded length says, the first page's header
// included. Throws Error(Corrupt) when the length is shorter than the fixed header block or
// longer than the chain holds.
std::vector<std::uint8_t> readDefinition(const file::PageFile& file, const format::Format& fmt,
                                         std::uint32_t firstPage);

// Writes `definition` (laid out as readDefinition returns it) over the chain that starts at
// `firstPage`, setting each page's header and the recorded length; the caller's bytes 0-11 are
// not used. `firstPage` is either a table definition page, whose chain is reused from its
// start, or a page of zeros taken with appendPage for a new table. Pages the definition needs
// beyond the chain come from appendPage (marked used in the global map only: no table map lists
// definition pages); pages of the chain it no longer needs are zeroed and marked free. Every
// page taken is taken before any is written. Jet 3 pages carry "VC" where Jet 4 keeps the free
// space. Throws Error(Corrupt) when the chain or `firstPage` is not as described or `definition` is
// shorter than the fixed header block; the caller runs it inside a write, which a throw rolls back.
void writeDefinition(file::PageFile& file, const format::Format& fmt, std::uint32_t firstPage,
                     std::span<const std::uint8_t> definition);

// Where the parts of a definition (as readDefinition returns it) start, in the order they come.
struct DefinitionLayout {
    std::uint32_t realCount = 0;     // index data ("real indexes")
    std::uint32_t logicalCount = 0;  // indexes
    std::uint16_t columnCount = 0;
    std::size_t rowCounts = 0;  // one block per real index
    std::size_t columns = 0;    // the column entries
    std::size_t columnNames = 0;
    std::size_t realEntries = 0;  // right after the column names
    std::size_t logicalEntries = 0;
    std::size_t logicalNames = 0;
    std::size_t trailer = 0;  // long-value columns' usage maps, then 0xFFFF
    std::size_t end = 0;      // just past the 0xFFFF that closes the structures
};

// The bytes of the name at `at`: its length (1 byte in Jet 3, 2 in Jet 4) and its characters.
std::size_t definitionNameSize(const format::Format& fmt, std::span<const std::uint8_t> definition,
                               std::size_t at);

// Walks the definition's structures. Throws Error(Corrupt) when a name runs past its bytes;
// `end` lies past them when no 0xFFFF closes the structures, which callers check.
DefinitionLayout layoutOf(const format::Format& fmt, std::span<const std::uint8_t> definition);

}  // namespace jet::store
