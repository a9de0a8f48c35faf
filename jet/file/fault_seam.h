// Faults on purpose: the write layer calls a FaultSeam before every page write to the database
// file and before every fsync, so that tests can stop the process (or throw) at any moment of a
// write and prove that reopening gives the before or the after state. Production code sets none.
#pragma once

#include <cstdint>

namespace jet::file {

enum class SyncPoint {
    Journal,           // the rollback journal's records, before the pages they protect are written
    JournalDirectory,  // the folder, once the journal has been created
    Database,          // the database file, at commit or at the end of a rollback
    Directory,         // the folder, once the journal has been removed
};
inline const char* syncPointName(SyncPoint point) {
    switch (point) {
        case SyncPoint::Journal:
            return "journal";
        case SyncPoint::JournalDirectory:
            return "journal directory";
        case SyncPoint::Database:
            return "database";
        case SyncPoint::Directory:
            return "directory";
    }
    return "?";
}

class FaultSeam {
public:
    virtual ~FaultSeam() = default;
    // `count` runs from 1 over the life of the PageFile the seam is set on; rollbacks count too.
    // Cutting the file short at commit counts as a write, of the first page it cuts.
    virtual void beforePageWrite(std::uint64_t count, std::uint32_t pageNumber) = 0;
    virtual void beforeSync(std::uint64_t count, SyncPoint point) = 0;
};

// The running counts; a null seam costs one branch.
class FaultCounter {
public:
    void set(FaultSeam* seam) {
        seam_ = seam;
        writes_ = 0;
        syncs_ = 0;
    }
    void beforePageWrite(std::uint32_t pageNumber) {
        if (seam_ != nullptr) seam_->beforePageWrite(++writes_, pageNumber);
    }
    void beforeSync(SyncPoint point) {
        if (seam_ != nullptr) seam_->beforeSync(++syncs_, point);
    }

private:
    FaultSeam* seam_ = nullptr;
    std::uint64_t writes_ = 0;
    std::uint64_t syncs_ = 0;
};

}  // namespace jet::file
