// The few POSIX calls the write layer makes, with EINTR and short transfers handled and every
// failure turned into an Error(Io) that names the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace jet::file::posix {

// Owns a file descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// Opens `path` for reading and writing, unless it is read-only on disk: then an empty UniqueFd.
// A file without any write permission bit counts as read-only even for a user who could write
// it anyway (root), as Access honours the read-only attribute; so does a folder that cannot
// take the rollback journal (the folder of the file itself, where a symbolic link leads).
// Anything but a regular file gives an empty UniqueFd too, without waiting (a named pipe).
UniqueFd openWritable(const std::string& path);

// Opens `path` for reading. Does not wait on a named pipe or a device: the caller checks that
// it is a regular file. -1 and errno as open(2).
int openForReading(const std::string& path);

// The path of the file open on `fd` with every symbolic link, "." and ".." resolved, so that
// every path to one file gives the same name; `path` itself when that cannot be told (no /proc
// and no realpath of it that leads to the same file).
std::string canonicalPathOf(int fd, const std::string& path);

// Writes all of `data` at `offset`.
void writeAll(int fd, const void* data, std::size_t length, std::uint64_t offset,
              const std::string& path);
// Writes the pieces one after another from `offset` on, in as few calls as the system allows.
void writeAllGathered(int fd, std::span<const std::span<const std::uint8_t>> pieces,
                      std::uint64_t offset, const std::string& path);
// Reads up to `length` bytes at `offset`; fewer only at the end of the file.
std::size_t readUpTo(int fd, void* data, std::size_t length, std::uint64_t offset,
                     const std::string& path);
void syncFile(int fd, const std::string& path);
void truncateTo(int fd, std::uint64_t size, const std::string& path);
// A new file in `folder` that has no name, so that it goes when closed, whatever ends the
// process; `prefix` names it for the moment it needs a name where the file system cannot make
// one without. Throws Error(Io) naming the folder.
UniqueFd anonymousFileIn(const std::string& folder, const std::string& prefix);
// Makes a file's creation or removal in `filePath`'s folder durable.
void syncDirectoryOf(const std::string& filePath);
std::string directoryOf(const std::string& filePath);
bool exists(const std::string& path);

[[noreturn]] void throwIo(const std::string& what, const std::string& path, int err);

}  // namespace jet::file::posix
