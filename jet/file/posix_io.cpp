#include "jet/file/posix_io.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "jet/base/error.h"

namespace jet::file::posix {

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

namespace {

// Clears O_NONBLOCK, which only served to open without waiting.
bool blocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool sameFile(const struct stat& a, const std::string& path) {
    struct stat b {};
    return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

UniqueFd openWritable(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return {};
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 ||
        !blocking(fd.get())) {
        return {};
    }
    const std::string folder = directoryOf(canonicalPathOf(fd.get(), path));
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) != 0) return {};
    return fd;
}

int openForReading(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 && !blocking(fd)) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

std::string canonicalPathOf(int fd, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return path;
    char link[PATH_MAX + 1];
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(proc.c_str(), link, PATH_MAX);
    if (n > 0) {
        std::string resolved(link, static_cast<std::size_t>(n));
        if (sameFile(st, resolved)) return resolved;
    }
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        std::string resolved(real);
        std::free(real);
        if (sameFile(st, resolved)) return resolved;
    }
    return path;
}

void throwIo(const std::string& what, const std::string& path, int err) {
    // A full disk is the failure a user can do something about, so it gets its own words.
    const std::string reason = err == ENOSPC ? "the disk is full" : std::strerror(err);
    throw Error(ErrorCode::Io, "Cannot " + what + " '" + path + "': " + reason + ".");
}

void writeAll(int fd, const void* data, std::size_t length, std::uint64_t offset,
              const std::string& path) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pwrite(fd, bytes + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throwIo("write", path, errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

void writeAllGathered(int fd, std::span<const std::span<const std::uint8_t>> pieces,
                      std::uint64_t offset, const std::string& path) {
    constexpr std::size_t kMostPieces = 64;
    std::array<iovec, kMostPieces> vector{};
    std::size_t next = 0;        // the first piece not yet written whole
    std::size_t doneInNext = 0;  // of which this much is written
    while (next < pieces.size()) {
        std::size_t count = 0;
        for (std::size_t i = next; i < pieces.size() && count < kMostPieces; ++i, ++count) {
            const std::size_t skip = i == next ? doneInNext : 0;
            vector[count].iov_base = const_cast<std::uint8_t*>(pieces[i].data() + skip);
            vector[count].iov_len = pieces[i].size() - skip;
        }
        const ssize_t n =
            ::pwritev(fd, vector.data(), static_cast<int>(count), static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            throwIo("write", path, errno);
        }
        if (n == 0 && count > 0 && vector[0].iov_len > 0) throwIo("write", path, EIO);
        auto written = static_cast<std::size_t>(n);
        offset += written;
        // Past the pieces written whole (empty ones too), into the one written in part.
        while (next < pieces.size() && written >= pieces[next].size() - doneInNext) {
            written -= pieces[next].size() - doneInNext;
            ++next;
            doneInNext = 0;
        }
        doneInNext += written;
    }
}

std::size_t readUpTo(int fd, void* data, std::size_t length, std::uint64_t offset,
                     const std::string& path) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(fd, bytes + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throwIo("read", path, errno);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void syncFile(int fd, const std::string& path) {
    while (::fsync(fd) != 0) {
        if (errno != EINTR) throwIo("flush to disk", path, errno);
    }
}

void truncateTo(int fd, std::uint64_t size, const std::string& path) {
    while (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        if (errno != EINTR) throwIo("resize", path, errno);
    }
}

UniqueFd anonymousFileIn(const std::string& folder, const std::string& prefix) {
    int fd = -1;
#ifdef O_TMPFILE
    fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (fd < 0) {
        // Without O_TMPFILE (or where the file system lacks it), a named file removed at once.
        std::string name = folder + "/" + prefix + "-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) ::unlink(name.c_str());
    }
    if (fd < 0) throwIo("create a temporary file in", folder, errno);
    return UniqueFd(fd);
}

std::string directoryOf(const std::string& filePath) {
    const auto slash = filePath.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return filePath.substr(0, slash);
}

void syncDirectoryOf(const std::string& filePath) {
    const std::string dir = directoryOf(filePath);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throwIo("open the folder", dir, errno);
    const int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    // Some file systems cannot sync a folder; their entries are durable by other means.
    if (rc != 0 && err != EINVAL && err != EROFS) throwIo("flush to disk the folder", dir, err);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace jet::file::posix
