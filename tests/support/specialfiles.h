#pragma once
// Things that may stand under a file's name without being a regular file: a FIFO, a folder, a
// device node (a twin of /dev/null, made only where the test may create one) and a link to it.
#include <QDir>
#include <QFile>
#include <QString>
#include <QtTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace orvalis::test {

enum class SpecialFile { Fifo, Folder, Device, LinkToDevice };

// Creates `kind` at `path`; false when this system does not let the test make it (a device node
// needs privileges). A link never points at a device outside the test's folder: a writer that
// followed it there would replace the system's own.
inline bool makeSpecialFile(SpecialFile kind, const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    switch (kind) {
    case SpecialFile::Fifo: return ::mkfifo(name.constData(), 0600) == 0;
    case SpecialFile::Folder: return QDir().mkdir(path);
    case SpecialFile::Device: return ::mknod(name.constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    case SpecialFile::LinkToDevice: {
        const QString device = path + QStringLiteral(".device");
        return makeSpecialFile(SpecialFile::Device, device)
            && ::symlink(QFile::encodeName(device).constData(), name.constData()) == 0;
    }
    }
    return false;
}

// Rows of a test over every kind: columns "kind" (a SpecialFile) and "what" (how messages name it).
inline void addSpecialFileRows()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("what");
    QTest::newRow("FIFO") << int(SpecialFile::Fifo) << QStringLiteral("It is a FIFO (named pipe), not a regular file.");
    QTest::newRow("folder") << int(SpecialFile::Folder) << QStringLiteral("It is a folder, not a regular file.");
    QTest::newRow("device") << int(SpecialFile::Device) << QStringLiteral("It is a device, not a regular file.");
    QTest::newRow("link to a device") << int(SpecialFile::LinkToDevice) << QStringLiteral("It is a device (");
}

// The file type bits of what stands at `path` (links followed); 0 when nothing does.
inline mode_t fileType(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

// While it lives, opens a FIFO for writing and closes it again whenever a reader waits on it: a
// reader that blocked in opening gets an empty file instead of hanging the test.
class FifoUnblocker {
public:
    explicit FifoUnblocker(const QString &fifo) : m_name(QFile::encodeName(fifo))
    {
        m_thread = std::thread([this] {
            while (!m_stop) {
                const int fd = ::open(m_name.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    ::close(fd);
                ::usleep(20000);
            }
        });
    }
    ~FifoUnblocker()
    {
        m_stop = true;
        m_thread.join();
    }
    FifoUnblocker(const FifoUnblocker &) = delete;
    FifoUnblocker &operator=(const FifoUnblocker &) = delete;

private:
    QByteArray m_name;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace orvalis::test
