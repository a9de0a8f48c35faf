// Rows set aside while their table is written afresh: each row's values go, in order, to an
// unnamed temporary file in the database's folder (the file system that holds the database is
// the one sure to have room for a copy of its rows), and are read back in the same order. The
// file disappears when the spill does, even when the process dies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/base/value.h"
#include "jet/file/posix_io.h"

namespace jet::store {

class RowSpill {
public:
    // Throws Error(Io), naming the folder, when the temporary file cannot be made.
    explicit RowSpill(const std::string& databasePath);
    RowSpill(const RowSpill&) = delete;
    RowSpill& operator=(const RowSpill&) = delete;

    void add(const std::vector<Value>& row);
    std::uint64_t size() const { return rows_; }

    // Reads the rows back from the first, after the last add(). next() fills `row` and returns
    // false after the last one.
    void rewind();
    bool next(std::vector<Value>& row);

private:
    void flush();
    void fill();

    std::string folder_;
    file::posix::UniqueFd fd_;
    std::vector<std::uint8_t> buffer_;
    std::size_t at_ = 0;         // reading: the next byte of buffer_ to decode
    std::uint64_t offset_ = 0;   // where in the file the next write (or read) of buffer_ goes
    std::uint64_t written_ = 0;  // bytes in the file
    std::uint64_t rows_ = 0;
    std::uint64_t read_ = 0;  // rows read back so far
    bool reading_ = false;
};

}  // namespace jet::store
