// Access's lock file: how Jet and ACE tell one another who is in a database, read so that this
// engine never writes while Access is in the file, and written so that Access sees it writing.
//
// Beside NAME.mdb Jet keeps NAME.ldb, and ACE keeps NAME.laccdb beside NAME.accdb: an array of
// up to 255 slots of 64 bytes, the user's computer name in the first 32 and the security name
// ("Admin" without user-level security) in the other 32, NUL-padded code-page text.
//
//   offset 0          32         64         128                 254*64     255*64
//          | computer | security | slot 1 ... |                  | slot 254 |
//
// The bytes carry no state of their own. Whether slot k belongs to someone still in the
// database is told by a one-byte lock on the lock file, far beyond its end, at 0x10000001 + k:
// the user lock, held for as long as the user has the database open. The byte at 0x10000000
// belongs to a user who has the database to themselves. A slot whose lock nobody holds was left
// by a user who is gone: the kernel, or the file server, drops a dead holder's locks. Jet keeps
// its page and table locks further on in the same file (0x20000000 and up).
//
// The locks are POSIX byte-range locks, which a Samba server maps to and from the byte-range
// locks of its Windows clients and which a CIFS mount passes on to the server; open file
// description locks, like the database's own (file_lock.h), so that two connections of one
// process see each other as two processes do.
//
// While this engine writes, it is one of these users: it takes the first free user lock and
// writes its slot (the host name, "Admin"), then holds every other user lock and the exclusive
// byte too, so that a Jet opening the database meanwhile finds it taken, as by an exclusive
// user, rather than sharing it. Only then does it look: a user lock that it could not take, or
// any other lock that someone else holds on the file, is a user in the database, and the write
// is refused before anything is changed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/file/posix_io.h"

namespace jet::file {

// One user in the database, as the lock file names them.
struct AccessUser {
    std::string computer;  // empty when the slot holds no name (yet)
    std::string user;
};

// Who else is in the database, as far as the lock file tells.
struct AccessUsers {
    std::vector<AccessUser> users;  // the holders of user locks, in slot order
    bool exclusive = false;         // someone holds the database to themselves
    bool unnamed = false;           // locks held that no user lock explains
    bool any() const { return exclusive || unnamed || !users.empty(); }
};

class AccessLockFile {
public:
    // The lock file of the database at `databasePath`, which should be the database's real path
    // (symbolic links resolved), as Access names it from there.
    explicit AccessLockFile(const std::string& databasePath);

    // NAME.laccdb for NAME.accdb (and the other ACE extensions), NAME.ldb for any other file.
    static std::string pathFor(const std::string& databasePath);
    const std::string& path() const { return path_; }

    // Who holds the database now, by looking only; a lock file that is missing, unreadable or
    // not a plain file names nobody. Never throws for the lock file's sake.
    AccessUsers look() const;

    // "The database 'PATH' is open in Access on COMPUTER (user NAME); close it there, then try
    // again.", naming at most three users.
    static std::string inUseMessage(const std::string& databasePath, const AccessUsers& others);

    // This engine as a user of the database, from enter() until it goes out of scope: its slot
    // and its locks, and the lock file itself when it made it and nobody else is left.
    class Registration {
    public:
        Registration() = default;
        Registration(Registration&& other) noexcept = default;
        Registration& operator=(Registration&& other) noexcept;
        ~Registration() { leave(); }
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

        bool active() const { return fd_.get() >= 0; }
        // The slot taken, from 0.
        int slot() const { return slot_; }

    private:
        friend class AccessLockFile;
        void leave() noexcept;

        posix::UniqueFd fd_;
        std::string path_;
        bool created_ = false;
        int slot_ = -1;
    };

    // Registers, then looks. Throws Error(Locked) naming the users found (and holds nothing
    // then), or Error(ReadOnly) when the lock file cannot be made or written, since Access
    // could not see the write. `databasePath` is the path to name in messages.
    Registration enter(const std::string& databasePath) const;

    // The name written into this engine's slot: the host name, as Jet writes the computer's.
    static std::string computerName();

private:
    std::string databasePath_;
    std::string path_;
};

}  // namespace jet::file
