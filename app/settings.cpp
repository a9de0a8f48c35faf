#include "app/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <utility>

#include "core/failure.h"

namespace app {
namespace {

constexpr const char* kKeptForTheRun =
    " Quillfen keeps what you type until it ends, but cannot remember it for the next start.";

Failure cannotWrite(const QString& path, const std::string& reason) {
    return Failure(75, "The settings file " + path.toStdString() + " cannot be written: " + reason +
                           "." + kKeptForTheRun);
}

Failure cannotMakeFolder(const QString& folder, const std::string& reason) {
    return Failure(75, "The settings folder " + folder.toStdString() +
                           " cannot be made: " + reason + "." + kKeptForTheRun);
}

// The settings of one file as this run saved them. Once a save has failed, they are what the
// run reads, so that nothing typed is lost; only the first failure is told.
struct FileOfThisRun {
    std::map<std::pair<std::string, std::string>, std::string> saved;  // (section, key)
    bool saveFailed = false;
    bool failureTold = false;
};

FileOfThisRun& fileOfThisRun(const QString& path) {
    static std::map<QString, FileOfThisRun> files;
    return files[path];
}

// QSettings replaces the file through a temporary that stays private until it takes the
// existing file's permissions; a new file would get the umask's. So the file exists with mode
// 0600 before every write, and a folder we make is the owner's alone.
void makePrivate(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder)) {
        std::error_code error;
        std::filesystem::create_directories(
            QFile::encodeName(QFileInfo(folder).absolutePath()).toStdString(), error);
        if (error) throw cannotMakeFolder(folder, error.message());
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
            throw cannotMakeFolder(folder, std::strerror(errno));
        }
    }
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) throw cannotWrite(path, std::strerror(errno));
    const bool madePrivate = ::fchmod(fd, 0600) == 0;
    const int error = errno;
    ::close(fd);
    if (!madePrivate) throw cannotWrite(path, std::strerror(error));
}

void write(QSettings& settings, const std::string& section, const std::string& key,
           const std::string& value) {
    const QString path = settings.fileName();
    makePrivate(path);
    settings.beginGroup(QString::fromStdString(section));
    settings.setValue(QString::fromStdString(key), QString::fromStdString(value));
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        // The file is replaced through a new one beside it, which its folder must take.
        const QString folder = QFileInfo(path).absolutePath();
        const bool folderRefuses = ::access(QFile::encodeName(folder).constData(), W_OK) != 0;
        throw cannotWrite(path, folderRefuses ? std::strerror(errno) : "the store refused it");
    }
    // Should QSettings have written in place, the file is still the owner's alone.
    ::chmod(QFile::encodeName(path).constData(), 0600);
}

}  // namespace

std::string GetSetting(const std::string& appName, const std::string& section,
                       const std::string& key, const std::string& defaultValue) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(appName), QString::fromStdString(appName));
    const FileOfThisRun& run = fileOfThisRun(settings.fileName());
    if (run.saveFailed) {
        if (const auto found = run.saved.find({section, key}); found != run.saved.end()) {
            return found->second;
        }
    }
    settings.beginGroup(QString::fromStdString(section));
    const QVariant value = settings.value(QString::fromStdString(key));
    return value.isValid() ? value.toString().toStdString() : defaultValue;
}

void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                 const std::string& value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(appName), QString::fromStdString(appName));
    FileOfThisRun& run = fileOfThisRun(settings.fileName());
    run.saved[{section, key}] = value;
    try {
        write(settings, section, key, value);
    } catch (const Failure&) {
        run.saveFailed = true;
        if (!std::exchange(run.failureTold, true)) throw;
    }
}

}  // namespace app
