// Damaging a copy of a fixture where one structure lives, for the checker's tests: the
// structures are found with the engine's own readers, the bytes are changed on disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/check/check.h"
#include "jet/check/table_layout.h"
#include "jet/format/format.h"
#include "support/fixtures.h"

namespace checktest {

class DamagedCopy {
public:
    explicit DamagedCopy(const std::string& fixture);

    const std::string& path() const { return path_; }
    std::uint32_t pageSize() const { return pageSize_; }
    std::uint32_t pageCount() const;
    const jet::format::Format& format() const { return *jet::format::forVersionByte(version_); }

    std::vector<std::uint8_t> page(std::uint32_t number) const;
    void writePage(std::uint32_t number, const std::vector<std::uint8_t>& bytes);
    std::uint16_t u16(std::uint32_t page, std::size_t offset) const;
    void putU16(std::uint32_t page, std::size_t offset, std::uint16_t value);
    void putU32(std::uint32_t page, std::size_t offset, std::uint32_t value);

    std::uint32_t definitionPage(const std::string& table) const;
    jet::check::TableLayout layout(const std::string& table) const;
    // The root page of the table's index of that (logical) name.
    std::uint32_t indexRoot(const std::string& table, const std::string& index) const;
    std::vector<std::uint32_t> dataPages(const std::string& table) const;
    // Sets or clears the bit for `page` in the inline (type 0) usage map at `rowPointer`.
    void setMapBit(std::uint32_t rowPointer, std::uint32_t page, bool on);
    // Where row `slot` of data page `page` starts, from its slot directory.
    std::size_t rowStart(std::uint32_t page, std::uint16_t slot) const;
    std::size_t slotOffset(std::uint16_t slot) const;  // of the slot's entry in the directory

    // The long-value references in the live rows of `table`, row by row: where each lies (its
    // data page, its offset there), and its first four bytes (length and kind) and row pointer.
    struct LongValueField {
        std::uint32_t page = 0;
        std::size_t offset = 0;
        std::uint32_t header = 0;
        jet::RowPointer first;
    };
    std::vector<LongValueField> longValueFields(const std::string& table) const;

    // The first row of a long value that one of `tables` stores as a chain of rows.
    struct ChainStart {
        std::string table;
        std::uint32_t page = 0;
        std::uint16_t slot = 0;
        std::size_t linkOffset = 0;  // of the row's link to the next, within the page
    };
    std::optional<ChainStart> firstChainedLongValue(const std::vector<std::string>& tables) const;

    std::vector<jet::check::Fault> check() const;

private:
    testsupport::TempDir dir_;
    std::string path_;
    std::uint32_t pageSize_ = 4096;
    std::uint8_t version_ = 0;
};

// Whether some fault (not warning) of `kind` mentions every one of `parts`.
bool hasFault(const std::vector<jet::check::Fault>& found, jet::check::FaultKind kind,
              const std::vector<std::string>& parts);
std::size_t countFaults(const std::vector<jet::check::Fault>& found);
// All faults and warnings, one per line, for failure messages.
std::string describe(const std::vector<jet::check::Fault>& found);

}  // namespace checktest
