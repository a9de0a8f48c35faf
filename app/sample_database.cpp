#include "app/sample_database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "app/data_folders.h"
#include "core/failure.h"
#include "core/files.h"

namespace app {
namespace {

constexpr long kFileAccessError = 75;

std::string folderOf(const std::string& path) {
    return std::filesystem::path(path).parent_path().string();
}

bool mayWrite(const std::string& path) {
    struct stat info {};
    return ::access(path.c_str(), W_OK) == 0 && ::stat(path.c_str(), &info) == 0 &&
           (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

// The engine writes the database, and beside it a rollback journal and Access's lock file, so
// the folder must take new files too. The superuser passes every access test; a file or folder
// that no one's permissions let write is meant to stay as it is, for the superuser as well.
bool writableInPlace(const std::string& database) {
    return mayWrite(database) && mayWrite(folderOf(database));
}

Failure cannotCopy(const std::string& copy, const std::string& reason) {
    return Failure(kFileAccessError, "Your copy of the sample database, " + copy +
                                         ", cannot be made: " + reason + ".");
}

Failure cannotRead(const std::string& sample, int error) {
    return Failure(kFileAccessError, "The sample database " + sample +
                                         " cannot be read: " + std::strerror(error) + ".");
}

// An open file, closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // False (with errno) when what was written did not reach the file.
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

// The copy while it is written, under a temporary name; removed unless it got through.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string pattern) : path_(std::move(pattern)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (made_) ::unlink(path_.c_str());
    }
    // mkostemp: a new name of its own, never a file or link that was there.
    int make() {
        const int fd = ::mkostemp(path_.data(), O_CLOEXEC);
        made_ = fd >= 0;
        return fd;
    }
    const std::string& path() const { return path_; }
    void keep() { made_ = false; }

private:
    std::string path_;
    bool made_ = false;
};

void copyBytes(int from, const std::string& source, int to, const std::string& copy) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw cannotRead(source, errno);
        if (got == 0) return;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer + done, got - done);
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) throw cannotCopy(copy, std::strerror(errno));
            done += put;
        }
    }
}

// Puts the finished temporary file at `copy` unless something already stands there (another
// instance of the wizard may have made the copy meanwhile, and the user may have begun to
// change it). Filesystems that cannot refuse to replace in a rename take a hard link instead.
void placeWithoutReplacing(TemporaryFile& temporary, const std::string& copy) {
    if (::renameat2(AT_FDCWD, temporary.path().c_str(), AT_FDCWD, copy.c_str(), RENAME_NOREPLACE) ==
        0) {
        temporary.keep();
        return;
    }
    if (errno == EEXIST) return;
    if (errno != EINVAL && errno != ENOSYS) throw cannotCopy(copy, std::strerror(errno));
    if (::link(temporary.path().c_str(), copy.c_str()) != 0 && errno != EEXIST) {
        throw cannotCopy(copy, std::strerror(errno));
    }
}

void copySample(const std::string& source, const std::string& copy) {
    std::error_code error;
    std::filesystem::create_directories(folderOf(copy), error);
    if (error) throw cannotCopy(copy, "its folder cannot be made: " + error.message());

    const Descriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (from.get() < 0) throw cannotRead(source, errno);
    // A temporary name in the same folder, so that the copy appears whole, in one rename.
    TemporaryFile temporary(copy + ".XXXXXX");
    Descriptor to(temporary.make());
    if (to.get() < 0) throw cannotCopy(copy, std::strerror(errno));
    copyBytes(from.get(), source, to.get(), copy);
    if (::fsync(to.get()) != 0 || !to.close()) throw cannotCopy(copy, std::strerror(errno));
    placeWithoutReplacing(temporary, copy);
}

}  // namespace

std::string SampleDatabase() {
    std::string own = DataFolder() + kSampleDatabase;
    if (!FileExists(own) || writableInPlace(own)) return own;
    std::string copy = UserDataFolder() + kSampleDatabase;
    struct stat info {};
    if (::lstat(copy.c_str(), &info) != 0) copySample(own, copy);
    return copy;
}

}  // namespace app
