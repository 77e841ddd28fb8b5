#include "calllog/privatefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
