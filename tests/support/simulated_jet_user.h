// A Jet user in another process, as Access on a Windows client shows on the Samba server that
// shares the database: its slot written into the lock file and its user lock (or any other byte)
// held with a plain POSIX lock, the kind smbd holds for its clients. The process stays in until
// leave() or the object goes; crash() kills it, which leaves the slot behind with no lock.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

class SimulatedJetUser {
public:
    static constexpr off_t kExclusiveByte = 0x10000000;
    static off_t userLock(int slot) { return 0x10000001 + slot; }

    struct Options {
        int slot = 0;
        std::string computer = "OFFICE-PC";
        std::string user = "Admin";
        bool writeSlot = true;
        std::vector<off_t> lockedBytes;  // the user lock of `slot` when empty
    };
    // A user in `slot`, with their names.
    static Options inSlot(int slot, std::string computer = "OFFICE-PC",
                          std::string user = "Admin") {
        Options o;
        o.slot = slot;
        o.computer = std::move(computer);
        o.user = std::move(user);
        return o;
    }
    // A user who has taken the lock of `slot` and not yet written their names.
    static Options nameless(int slot) {
        Options o = inSlot(slot);
        o.writeSlot = false;
        return o;
    }
    // Locks on these bytes only, no slot written.
    static Options holding(std::vector<off_t> bytes) {
        Options o = nameless(0);
        o.lockedBytes = std::move(bytes);
        return o;
    }

    SimulatedJetUser(const std::string& lockFilePath, const Options& options) {
        int ready[2];
        int stay[2];
        if (::pipe(ready) != 0 || ::pipe(stay) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork");
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(stay[1]);
            const char answer = play(lockFilePath, options) ? 'y' : 'n';
            (void)!::write(ready[1], &answer, 1);
            char none;
            (void)!::read(stay[0], &none, 1);  // until the parent lets go or dies
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(stay[0]);
        stay_ = stay[1];
        char answer = 'n';
        const bool heard = ::read(ready[0], &answer, 1) == 1;
        ::close(ready[0]);
        locked_ = heard && answer == 'y';
    }
    ~SimulatedJetUser() { crash(); }
    SimulatedJetUser(const SimulatedJetUser&) = delete;
    SimulatedJetUser& operator=(const SimulatedJetUser&) = delete;

    // Whether it got every lock it asked for: false when someone else held one.
    bool gotItsLocks() const { return locked_; }

    // Closes the database as Access does: its locks go, its slot stays as it was written.
    void leave() { end(false); }
    // The process dies: the same, seen from outside.
    void crash() { end(true); }

private:
    static bool play(const std::string& path, const Options& o) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0666);
        if (fd < 0) return false;
        if (o.writeSlot) {
            char slot[64] = {};
            std::strncpy(slot, o.computer.c_str(), 31);
            std::strncpy(slot + 32, o.user.c_str(), 31);
            if (::pwrite(fd, slot, sizeof slot, static_cast<off_t>(o.slot) * 64) != 64) {
                return false;
            }
        }
        std::vector<off_t> bytes = o.lockedBytes;
        if (bytes.empty()) bytes.push_back(userLock(o.slot));
        for (const off_t at : bytes) {
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            fl.l_start = at;
            fl.l_len = 1;
            if (::fcntl(fd, F_SETLK, &fl) != 0) return false;
        }
        return true;  // the descriptor stays open, and with it the locks
    }

    void end(bool kill) {
        if (pid_ <= 0) return;
        // A byte, not the end of the pipe: other children forked since hold copies of its end.
        if (kill) {
            ::kill(pid_, SIGKILL);
        } else {
            (void)!::write(stay_, "x", 1);
        }
        ::close(stay_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    pid_t pid_ = -1;
    int stay_ = -1;
    bool locked_ = false;
};

}  // namespace testsupport
