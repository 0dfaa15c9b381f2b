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

void openRegularFile(QFile &file)
{
    const QString shown = QDir::toNativeSeparators(file.fileName());
    // Without O_NONBLOCK, opening a FIFO would wait for a writer; a regular file reads the same
    // either way once the flag is cleared.
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw OrvalisError(QStringLiteral("Cannot open file %1: %2").arg(shown, qt_error_string(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const mode_t mode = st.st_mode;
        ::close(fd);
        throw OrvalisError(QStringLiteral("Cannot open file %1: %2").arg(shown, notRegular(file.fileName(), mode)));
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const QString reason = qt_error_string(errno);
        ::close(fd);
        throw OrvalisError(QStringLiteral("Cannot open file %1: %2").arg(shown, reason));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw OrvalisError(QStringLiteral("Cannot open file %1: %2").arg(shown, file.errorString()));
    }
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
