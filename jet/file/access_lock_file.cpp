#include "jet/file/access_lock_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstring>

#include "jet/base/error.h"
#include "jet/base/text_codec.h"

namespace jet::file {
namespace {

constexpr off_t kExclusiveByte = 0x10000000;
constexpr off_t kFirstUserLock = 0x10000001;
constexpr int kSlots = 255;
constexpr std::size_t kSlotSize = 64;
constexpr std::size_t kNameSize = 32;
// The largest lock file Jet writes: every slot taken.
constexpr off_t kLargestLockFile = static_cast<off_t>(kSlots * kSlotSize);
constexpr std::size_t kUsersNamed = 3;

// The byte-range lock calls, on one open file description. False when someone else holds a
// byte of the range; a file system that keeps no locks is an error, as nobody could be seen.
struct flock writeLockOf(off_t start, off_t length) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = length;
    return fl;
}

bool lockRange(int fd, off_t start, off_t length, const std::string& path) {
    struct flock fl = writeLockOf(start, length);
    while (::fcntl(fd, F_OFD_SETLK, &fl) != 0) {
        if (errno == EAGAIN || errno == EACCES) return false;
        if (errno != EINTR) posix::throwIo("lock", path, errno);
    }
    return true;
}

// Whether someone else (another process, or another open of the file in this one) holds a lock
// on any byte of the range.
bool heldByOthers(int fd, off_t start, off_t length) {
    struct flock fl = writeLockOf(start, length);
    while (::fcntl(fd, F_OFD_GETLK, &fl) != 0) {
        if (errno != EINTR) return false;
    }
    return fl.l_type != F_UNLCK;
}

std::string lowerExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// A name as the slot holds it: code-page text up to its first NUL, without trailing blanks.
std::string slotName(const std::uint8_t* bytes) {
    std::size_t n = 0;
    while (n < kNameSize && bytes[n] != 0) ++n;
    while (n > 0 && (bytes[n - 1] == ' ' || bytes[n - 1] < 0x20)) --n;
    std::string name = decodeCodePageText(ByteSpan(bytes, n), 1252);
    // A control character has no business in a message box.
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    return name;
}

// The users whose user locks someone else holds, and whether the exclusive byte is held.
// `held` tells for one lock byte.
template <typename Held>
AccessUsers usersHolding(int fd, Held held) {
    AccessUsers found;
    found.exclusive = held(kExclusiveByte);
    std::array<std::uint8_t, kSlots * kSlotSize> names{};
    std::size_t have = 0;
    bool read = false;
    for (int k = 0; k < kSlots; ++k) {
        if (!held(kFirstUserLock + k)) continue;
        if (!read) {
            read = true;
            try {
                have = posix::readUpTo(fd, names.data(), names.size(), 0, "lock file");
            } catch (const Error&) {
                have = 0;
            }
        }
        AccessUser user;
        const std::size_t at = static_cast<std::size_t>(k) * kSlotSize;
        if (at + kSlotSize <= have) {
            user.computer = slotName(names.data() + at);
            user.user = slotName(names.data() + at + kNameSize);
        }
        found.users.push_back(std::move(user));
    }
    // A slot without names is someone between taking a user lock and writing their names, or
    // a user lock held only to keep others out (this engine's writers hold them all): worth
    // naming only when nobody named is there.
    const auto named = [](const AccessUser& u) { return !u.computer.empty() || !u.user.empty(); };
    if (std::any_of(found.users.begin(), found.users.end(), named)) {
        std::erase_if(found.users, [&](const AccessUser& u) { return !named(u); });
    }
    return found;
}

// Locks held on the file beyond the user locks and the exclusive byte.
bool otherLocksHeld(int fd) {
    return heldByOthers(fd, 0, kExclusiveByte) ||
           heldByOthers(fd, kFirstUserLock + kSlots, 0);  // to the end of all offsets
}

std::string describe(const AccessUser& user) {
    return "on " +
           (user.computer.empty() ? std::string("a computer that gave no name") : user.computer) +
           " (user " + (user.user.empty() ? std::string("unknown") : user.user) + ")";
}

// Why a lock file cannot be used for a registration, or empty when it can: anything but a plain
// file that Jet could have written is left alone, as writing a slot into it would change some
// other file.
std::string unfitLockFile(const struct stat& st) {
    if (!S_ISREG(st.st_mode)) return "it is not a plain file";
    if (st.st_nlink > 1) return "it is linked to another name";
    if (st.st_size > kLargestLockFile || st.st_size % static_cast<off_t>(kSlotSize) != 0) {
        return "it is not an Access lock file (" + std::to_string(st.st_size) + " bytes)";
    }
    return {};
}

[[noreturn]] void cannotRegister(const std::string& databasePath, const std::string& lockPath,
                                 const std::string& why) {
    throw Error(ErrorCode::ReadOnly,
                "Cannot change '" + databasePath + "': its lock file '" + lockPath +
                    "' cannot be used (" + why +
                    "), and without it Access users could not see the change. Nothing was "
                    "changed. If nobody has the database open, delete the lock file and try "
                    "again.")
        .about(databasePath);
}

}  // namespace

AccessLockFile::AccessLockFile(const std::string& databasePath)
    : databasePath_(databasePath), path_(pathFor(databasePath)) {}

std::string AccessLockFile::pathFor(const std::string& databasePath) {
    const std::string ext = lowerExtension(databasePath);
    const bool ace = ext == ".accdb" || ext == ".accde" || ext == ".accdr" || ext == ".accdt";
    const std::string stem = databasePath.substr(0, databasePath.size() - ext.size());
    return stem + (ace ? ".laccdb" : ".ldb");
}

AccessUsers AccessLockFile::look() const {
    posix::UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return {};
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    const int file = fd.get();
    const bool someone = heldByOthers(file, kExclusiveByte, kSlots + 1);
    AccessUsers found =
        someone ? usersHolding(file, [file](off_t at) { return heldByOthers(file, at, 1); })
                : AccessUsers{};
    found.unnamed = otherLocksHeld(file);
    return found;
}

std::string AccessLockFile::inUseMessage(const std::string& databasePath,
                                         const AccessUsers& others) {
    std::string where;
    for (std::size_t i = 0; i < others.users.size() && i < kUsersNamed; ++i) {
        if (i > 0) where += ", ";
        where += describe(others.users[i]);
    }
    if (others.users.size() > kUsersNamed) {
        where += " and " + std::to_string(others.users.size() - kUsersNamed) + " more";
    }
    if (others.exclusive) {
        return "The database '" + databasePath + "' is open exclusively in Access " +
               (where.empty() ? std::string("on another computer") : where) +
               "; close it there, then try again.";
    }
    if (!others.users.empty()) {
        return "The database '" + databasePath + "' is open in Access " + where +
               "; close it there, then try again.";
    }
    return "The database '" + databasePath +
           "' is open in Access (another program holds locks on its lock file '" +
           pathFor(databasePath) + "'); close it there, then try again.";
}

std::string AccessLockFile::computerName() {
    std::array<char, HOST_NAME_MAX + 1> host{};
    if (::gethostname(host.data(), host.size() - 1) != 0 || host[0] == 0) return "LINUX";
    std::string name(host.data());
    // The slot holds 31 bytes and a NUL; Jet's computer names are plain ASCII.
    if (name.size() > kNameSize - 1) name.resize(kNameSize - 1);
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E) c = '_';
    }
    return name;
}

AccessLockFile::Registration AccessLockFile::enter(const std::string& databasePath) const {
    // Access names the lock file of a database called NAME.ldb after the database itself.
    if (path_ == databasePath_) cannotRegister(databasePath, path_, "it is the database itself");
    Registration r;
    r.path_ = path_;
    // Make it if there is none; never through a symbolic link, which could lead anywhere.
    r.fd_.reset(::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    r.created_ = r.fd_.get() >= 0;
    if (!r.created_) {
        if (errno != EEXIST) cannotRegister(databasePath, path_, std::strerror(errno));
        r.fd_.reset(::open(path_.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (r.fd_.get() < 0) {
            cannotRegister(databasePath, path_,
                           errno == ELOOP ? "it is a symbolic link" : std::strerror(errno));
        }
        struct stat st {};
        if (::fstat(r.fd_.get(), &st) != 0) {
            cannotRegister(databasePath, path_, std::strerror(errno));
        }
        if (const std::string why = unfitLockFile(st); !why.empty()) {
            r.fd_.reset();
            cannotRegister(databasePath, path_, why);
        }
    }
    const int fd = r.fd_.get();

    // Register: the first user lock free, as Jet takes it, and the slot that goes with it.
    for (int k = 0; k < kSlots && r.slot_ < 0; ++k) {
        if (lockRange(fd, kFirstUserLock + k, 1, path_)) r.slot_ = k;
    }
    if (r.slot_ >= 0) {
        std::array<std::uint8_t, kSlotSize> slot{};
        const std::string computer = computerName();
        std::memcpy(slot.data(), computer.data(), computer.size());
        std::memcpy(slot.data() + kNameSize, "Admin", 5);
        try {
            posix::writeAll(fd, slot.data(), slot.size(),
                            static_cast<std::uint64_t>(r.slot_) * kSlotSize, path_);
        } catch (const Error& e) {
            cannotRegister(databasePath, path_, e.what());
        }
    }

    // Keep everyone else out while this write lasts: every user lock, and the exclusive byte.
    // What cannot be taken is held by someone in the database.
    AccessUsers others;
    if (!lockRange(fd, kExclusiveByte, kSlots + 1, path_)) {
        others = usersHolding(fd, [&](off_t at) { return !lockRange(fd, at, 1, path_); });
    }
    // Then look for the rest: locks of a Jet whose user lock lies elsewhere.
    others.unnamed = otherLocksHeld(fd);
    if (r.slot_ < 0 || others.any()) {
        throw Error(ErrorCode::Locked, inUseMessage(databasePath, others)).about(databasePath);
    }
    return r;
}

AccessLockFile::Registration& AccessLockFile::Registration::operator=(
    Registration&& other) noexcept {
    if (this != &other) {
        leave();
        fd_ = std::move(other.fd_);
        path_ = std::move(other.path_);
        created_ = other.created_;
        slot_ = other.slot_;
        other.created_ = false;
        other.slot_ = -1;
    }
    return *this;
}

void AccessLockFile::Registration::leave() noexcept {
    if (fd_.get() < 0) return;
    // The last one out removes the lock file, as Jet does, but only one this engine made: a
    // lock file found here may be what Access left to say who was in a damaged database. While
    // the user locks are still held nobody can come in; a name that now leads to some other
    // file is left alone.
    if (created_ && !heldByOthers(fd_.get(), 0, 0)) {
        struct stat mine {};
        struct stat named {};
        if (::fstat(fd_.get(), &mine) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
            mine.st_dev == named.st_dev && mine.st_ino == named.st_ino) {
            ::unlink(path_.c_str());
        }
    }
    fd_.reset();  // closing it lets every lock go
    created_ = false;
    slot_ = -1;
}

}  // namespace jet::file
