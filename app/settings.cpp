#include "app/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <cerrno>
#include <cstring>

#include "app/core/failure.h"

namespace app {
namespace {

Failure cannotWrite(const QString& path, const char* reason) {
    return Failure(75, "The settings file " + path.toStdString() + " cannot be written: " + reason);
}

// QSettings replaces the file through a temporary that stays private until it takes the
// existing file's permissions; a new file would get the umask's. So the file exists with mode
// 0600 before every write, and a folder we make is the owner's alone.
void makePrivate(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder)) {
        QDir().mkpath(QFileInfo(folder).absolutePath());
        ::mkdir(QFile::encodeName(folder).constData(), 0700);
    }
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) throw cannotWrite(path, std::strerror(errno));
    const bool madePrivate = ::fchmod(fd, 0600) == 0;
    const int error = errno;
    ::close(fd);
    if (!madePrivate) throw cannotWrite(path, std::strerror(error));
}

}  // namespace

std::string GetSetting(const std::string& appName, const std::string& section,
                       const std::string& key, const std::string& defaultValue) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(appName), QString::fromStdString(appName));
    settings.beginGroup(QString::fromStdString(section));
    const QVariant value = settings.value(QString::fromStdString(key));
    return value.isValid() ? value.toString().toStdString() : defaultValue;
}

void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                 const std::string& value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(appName), QString::fromStdString(appName));
    const QString path = settings.fileName();
    makePrivate(path);
    settings.beginGroup(QString::fromStdString(section));
    settings.setValue(QString::fromStdString(key), QString::fromStdString(value));
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        throw cannotWrite(path, "the store refused it");
    }
    // Should QSettings have written in place, the file is still the owner's alone.
    ::chmod(QFile::encodeName(path).constData(), 0600);
}

}  // namespace app
