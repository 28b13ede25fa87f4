#include "platform/safe_files.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString notRegular()
{
    return QStringLiteral("该位置上不是普通文件");
}

bool fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

bool failErrno(QString* error)
{
    return fail(error, qt_error_string(errno));
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

} // namespace

TSafeFiles::TKind TSafeFiles::KindAt(const QString& path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return TKind::Missing;
    if (S_ISREG(st.st_mode))
        return TKind::Regular;
    if (S_ISDIR(st.st_mode))
        return TKind::Directory;
    return TKind::Other;
}

TSafeFiles::TRead TSafeFiles::ReadRegular(const QString& path, qint64 maxBytes)
{
    TRead result;
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    // A FIFO or a device is never opened: opening one may wait or act.
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return result;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result.outcome = TReadOutcome::Failed;
        result.error = qt_error_string(errno);
        return result;
    }
    // Checked again on what was opened, in case the entry changed meanwhile.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return result;
    }
    result.outcome = TReadOutcome::Read;
    char buffer[4096];
    while (result.bytes.size() < maxBytes) {
        const qint64 want = qMin<qint64>(sizeof buffer, maxBytes - result.bytes.size());
        const ssize_t n = ::read(fd, buffer, size_t(want));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.outcome = TReadOutcome::Failed;
            result.error = qt_error_string(errno);
            result.bytes.clear();
            break;
        }
        if (n == 0)
            break;
        result.bytes.append(buffer, n);
    }
    ::close(fd);
    return result;
}

std::unique_ptr<QFile> TSafeFiles::CreateNew(const QString& path, QString* error)
{
    // O_EXCL also refuses a link at the path, even one that points nowhere.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        failErrno(error);
        return nullptr;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle)) {
        fail(error, file->errorString());
        return nullptr;
    }
    return file;
}

bool TSafeFiles::Replace(const QString& path, const QByteArray& bytes, QString* error)
{
    QByteArray temp = QFile::encodeName(path) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return failErrno(error);
    bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    int reason = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        reason = errno;
    }
    if (!written) {
        ::unlink(temp.constData());
        return fail(error, qt_error_string(reason));
    }
    if (::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        const int renameError = errno;
        ::unlink(temp.constData());
        return fail(error, qt_error_string(renameError));
    }
    return true;
}

bool TSafeFiles::RenameOverRegular(const QString& from, const QString& to, QString* error)
{
    if (KindAt(from) != TKind::Regular)
        return fail(error, notRegular());
    const TKind target = KindAt(to);
    if (target != TKind::Missing && target != TKind::Regular)
        return fail(error, notRegular());
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return failErrno(error);
    return true;
}

bool TSafeFiles::Remove(const QString& path, QString* error)
{
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return true;
    return failErrno(error);
}
