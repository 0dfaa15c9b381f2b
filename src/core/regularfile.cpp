#include "regularfile.h"

#include "core/orvaliserror.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvalis {
namespace {

// "It is a FIFO (named pipe), not a regular file", naming what a link leads to.
QString notRegular(const QString &path, mode_t mode)
{
    const char *kind = S_ISDIR(mode)     ? "a folder"
        : S_ISFIFO(mode)                 ? "a FIFO (named pipe)"
        : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
        : S_ISSOCK(mode)                 ? "a socket"
                                         : "something other than a file";
    const QFileInfo info(path);
    const QString target = info.isSymLink()
        ? QStringLiteral(" (%1)").arg(QDir::toNativeSeparators(info.canonicalFilePath()))
        : QString();
    return QStringLiteral("It is %1%2, not a regular file.").arg(QLatin1String(kind), target);
}

} // namespace

QString openIfRegular(QFile &file)
{
    // A device is not even opened: opening some (tapes, serial lines) does something. Without
    // O_NONBLOCK, opening a FIFO would wait for a writer; a regular file reads the same either way
    // once the flag is cleared. The type is asked again of what was opened, so that nothing put
    // under the name between the look and the opening slips through.
    const QByteArray name = QFile::encodeName(file.fileName());
    struct stat seen {};
    if (::stat(name.constData(), &seen) == 0 && !S_ISREG(seen.st_mode))
        return notRegular(file.fileName(), seen.st_mode);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return qt_error_string(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const mode_t mode = st.st_mode;
        ::close(fd);
        return notRegular(file.fileName(), mode);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const QString reason = qt_error_string(errno);
        ::close(fd);
        return reason;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return file.errorString();
    }
    return QString();
}

void openRegularFile(QFile &file)
{
    const QString why = openIfRegular(file);
    if (!why.isEmpty())
        throw OrvalisError(
            QStringLiteral("Cannot open file %1: %2").arg(QDir::toNativeSeparators(file.fileName()), why));
}

QString notRegularFile(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return QString(); // a new name, or one whose trouble the reading or writing itself reports
    return notRegular(path, st.st_mode);
}

void checkSaveTarget(const QString &path)
{
    const QString what = notRegularFile(path);
    if (!what.isEmpty())
        throw OrvalisError(QStringLiteral("Cannot create file %1\r\n%2 It was left as it is.")
                               .arg(QDir::toNativeSeparators(path), what));
}

void saveWholeFile(const QString &path, const QByteArray &bytes)
{
    checkSaveTarget(path);
    const auto cannotCreate = [&path](const QString &reason) {
        throw OrvalisError(QStringLiteral("Cannot create file %1\r\n%2").arg(QDir::toNativeSeparators(path), reason));
    };
    QSaveFile file(path);
    // Unbuffered: a buffered QSaveFile flushes inside commit(), which drops the flush's error and
    // puts the empty or cut-off file in place of the old one (Qt 6.4 on a full disk). Each write
    // here goes to the system at once and tells how much it took.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        cannotCreate(file.errorString());
    qint64 written = 0;
    while (written < bytes.size()) {
        // A short write is the disk filling up; the next one says why (ENOSPC, EFBIG).
        const qint64 n = file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0)
            break;
        written += n;
    }
    if (written != bytes.size() || file.size() != bytes.size()) {
        const QString reason = file.error() != QFileDevice::NoError
            ? file.errorString()
            : QStringLiteral("Only %1 of %2 bytes could be written (is the disk full?)").arg(written).arg(bytes.size());
        file.cancelWriting();
        cannotCreate(reason);
    }
    if (!file.commit())
        cannotCreate(file.errorString());
}

} // namespace orvalis
