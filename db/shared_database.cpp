#include "db/shared_database.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

#include "db/failures.h"

namespace db {
namespace {

using FileIdentity = std::pair<dev_t, ino_t>;

struct Registry {
    std::mutex mutex;
    std::map<FileIdentity, std::weak_ptr<SharedDatabase>> open;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

std::shared_ptr<SharedDatabase> openInstance(const std::string& path, const std::string& password,
                                             bool forWriting) {
    jet::OpenOptions options;
    options.password = password;
    options.writable = forWriting;
    auto database = translatingEngineErrors([&] { return jet::Database::open(path, options); });
    return std::make_shared<SharedDatabase>(std::move(database), forWriting, password);
}

}  // namespace

SharedDatabase::SharedDatabase(std::unique_ptr<jet::Database> database, bool openedForWriting,
                               std::string password)
    : database_(std::move(database)),
      openedForWriting_(openedForWriting),
      acceptedPasswords_{std::move(password)} {}

std::shared_ptr<SharedDatabase> openSharedDatabase(const std::string& path,
                                                   const std::string& password, bool forWriting) {
    struct stat info {};
    // No identity (a missing file, say): the engine's own open says what is wrong.
    if (path.empty() || ::stat(path.c_str(), &info) != 0) {
        return openInstance(path, password, forWriting);
    }
    const FileIdentity identity{info.st_dev, info.st_ino};

    Registry& shared = registry();
    const std::lock_guard lock(shared.mutex);
    std::erase_if(shared.open, [](const auto& entry) { return entry.second.expired(); });

    if (const auto found = shared.open.find(identity); found != shared.open.end()) {
        auto instance = found->second.lock();
        if (!forWriting || instance->openedForWriting_) {
            auto& accepted = instance->acceptedPasswords_;
            if (std::find(accepted.begin(), accepted.end(), password) == accepted.end()) {
                // Opening the file once more is what checks a password; the copy goes at once.
                jet::OpenOptions check;
                check.password = password;
                check.writable = false;
                translatingEngineErrors([&] { jet::Database::open(path, check); });
                accepted.push_back(password);
            }
            return instance;
        }
    }
    auto instance = openInstance(path, password, forWriting);
    shared.open[identity] = instance;
    return instance;
}

}  // namespace db
