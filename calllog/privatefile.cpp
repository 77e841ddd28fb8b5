#include "calllog/privatefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

bool PrivateFile::create(const QString& path, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno == EEXIST)
        return true;
    if (error)
        *error = errnoText();
    return false;
}

bool PrivateFile::restrict(const QString& path)
{
    struct stat st;
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &st) != 0)
        return errno == ENOENT;
    if ((st.st_mode & 077) == 0)
        return true;
    return ::chmod(name.constData(), st.st_mode & 07700) == 0;
}

bool PrivateFile::makeFolder(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        if (!QDir().mkpath(info.absoluteFilePath()))
            return false;
        return ::chmod(QFile::encodeName(info.absoluteFilePath()).constData(), 0700) == 0;
    }
    return restrict(path);
}

bool PrivateFile::ownerWritable(const QString& path)
{
    struct stat st;
    const QByteArray name = QFile::encodeName(path);
    return ::stat(name.constData(), &st) == 0 && (st.st_mode & S_IWUSR) && ::access(name.constData(), W_OK) == 0;
}

bool PrivateFile::write(const QString& path, const QByteArray& data, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    const QByteArray temporary = name + ".part";
    ::unlink(temporary.constData());
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error)
            *error = errnoText();
        return false;
    }
    qint64 done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? n : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    if (!ok && error)
        *error = errnoText();
    ::close(fd);
    if (ok && ::rename(temporary.constData(), name.constData()) != 0) {
        ok = false;
        if (error)
            *error = errnoText();
    }
    if (!ok)
        ::unlink(temporary.constData());
    return ok;
}

bool PrivateFile::save(const QString& path, const std::function<bool(QIODevice&)>& fill, QString* error)
{
    // Through a link to the file it names, as an editor saves.
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    // A temporary file is made 0600 whatever the umask, so nobody else can
    // open it between its creation and the first byte.
    QTemporaryFile file(
        QFileInfo(target).dir().filePath(QStringLiteral(".%1.XXXXXX").arg(QFileInfo(target).fileName())));
    if (!file.open()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (!fill(file) || !file.flush() || ::fsync(file.handle()) != 0) {
        if (error && error->isEmpty())
            *error = file.error() != QFileDevice::NoError ? file.errorString() : errnoText();
        return false;
    }
    file.close();
    file.setAutoRemove(false);
    const QByteArray temporary = QFile::encodeName(file.fileName());
    if (::rename(temporary.constData(), QFile::encodeName(target).constData()) != 0) {
        if (error)
            *error = errnoText();
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}
