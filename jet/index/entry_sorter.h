// Index entries put in order for building trees from scratch: the entries of several indexes
// (each tagged with its index's number) are gathered in a few megabytes of memory, sorted, and,
// when they outgrow that, written out in sorted runs to an unnamed temporary file in the
// database's folder and merged back. They come out ordered by index number, then as
// compareEntries orders them, so each index's entries arrive together, in the order its
// leaves hold them.
//
// Memory stays within about twice the budget whatever the number of entries: a merge reads at
// most kMergeWidth runs at once, each through a small buffer, and more runs than that are first
// merged into longer ones.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "jet/file/posix_io.h"
#include "jet/index/index_page.h"

namespace jet::index {

// One entry as the sorter hands it out; its key is valid until the next call to next().
struct SortedEntry {
    std::uint8_t index = 0;
    std::span<const std::uint8_t> key;
    std::uint32_t dataPage = 0;
    std::uint8_t dataRow = 0;
};

class EntrySorter {
public:
    // The temporary file, when one is needed, goes beside `databasePath`. `budgetBytes` bounds
    // the entries held in memory before a run is written out.
    explicit EntrySorter(std::string databasePath, std::size_t budgetBytes = kDefaultBudget);
    ~EntrySorter();
    EntrySorter(const EntrySorter&) = delete;
    EntrySorter& operator=(const EntrySorter&) = delete;

    static constexpr std::size_t kDefaultBudget = std::size_t{4} << 20;

    // REQUIRES: key shorter than 64 KiB; no add() after the first next().
    void add(std::uint8_t index, std::span<const std::uint8_t> key, std::uint32_t dataPage,
             std::uint8_t dataRow);
    // The entries in order, one per call; false after the last.
    bool next(SortedEntry& out);

    std::size_t runsWritten() const { return runsWritten_; }

private:
    struct Run {
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
    };
    class RunReader;
    class Merge;

    // Writes the entries held, sorted, as one run at the end of the temporary file.
    void spill();
    // Appends the records `nextRecord` gives, until it gives nullptr, as one run.
    Run writeRun(const std::function<const std::uint8_t*()>& nextRecord);
    void sortHeld();
    // Merges runs[from, to) into one run at the end of the temporary file.
    Run mergeRuns(std::size_t from, std::size_t to);
    void startReading();
    std::string where() const;

    std::string folder_;
    std::size_t budget_;
    // Entries held in memory: each record is [index][key length, 2 bytes][key][data page, 4][row].
    std::vector<std::uint8_t> held_;
    std::vector<std::uint32_t> order_;  // offsets of the records in held_, sorted before use
    std::size_t nextHeld_ = 0;
    // Whether every entry so far came after the one before (as a table's rows often come in
    // the order of its primary key), and the last of them written out.
    bool inOrder_ = true;
    std::vector<std::uint8_t> last_;
    file::posix::UniqueFd fd_;
    std::uint64_t fileEnd_ = 0;
    std::vector<Run> runs_;
    std::size_t runsWritten_ = 0;
    std::unique_ptr<Merge> merge_;
    bool reading_ = false;
};

}  // namespace jet::index
