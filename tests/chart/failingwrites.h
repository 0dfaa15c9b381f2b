#pragma once
// Makes writing files fail for as long as it lives: either the folder loses its write permission
// (which the superuser ignores), or every file is limited to a few bytes, as on a full disk (which
// holds for everyone: the writes fail with EFBIG and SIGXFSZ is ignored meanwhile).
#include <QFile>
#include <QString>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

class FailingWrites {
public:
    FailingWrites(const QString &folder, bool fullDisk) : m_folder(folder), m_fullDisk(fullDisk)
    {
        if (m_fullDisk) {
            getrlimit(RLIMIT_FSIZE, &m_limit);
            m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit small = m_limit;
            small.rlim_cur = 16;
            m_effective = setrlimit(RLIMIT_FSIZE, &small) == 0;
        } else {
            QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            m_effective = ::geteuid() != 0;
        }
    }
    ~FailingWrites()
    {
        if (m_fullDisk) {
            setrlimit(RLIMIT_FSIZE, &m_limit);
            std::signal(SIGXFSZ, m_oldHandler);
        } else {
            QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
    }
    FailingWrites(const FailingWrites &) = delete;
    FailingWrites &operator=(const FailingWrites &) = delete;

    bool effective() const { return m_effective; }

private:
    QString m_folder;
    bool m_fullDisk;
    bool m_effective = false;
    rlimit m_limit{};
    void (*m_oldHandler)(int) = nullptr;
};
