#include "store/storedatabase.h"

#include "core/orvaliserror.h"
#include "core/regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sqlite3.h>

namespace orvalis {
namespace {

QMutex &problemMutex()
{
    static QMutex m;
    return m;
}

// Paths whose integrity check passed in this process; the check reads the whole file, so it runs
// once per run rather than for every registry object.
QSet<QString> &checkedPaths()
{
    static QSet<QString> s;
    return s;
}

QString &pendingProblem()
{
    static QString s;
    return s;
}

// Resets a cached statement when the operation using it ends, however it ends.
struct Use {
    explicit Use(sqlite3_stmt *s) : stmt(s) {}
    ~Use()
    {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
    }
    Use(const Use &) = delete;
    Use &operator=(const Use &) = delete;
    sqlite3_stmt *stmt;
};

void bindText(sqlite3_stmt *s, int index, const QString &text)
{
    sqlite3_bind_text16(s, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
}

QString columnText(sqlite3_stmt *s, int column)
{
    const void *p = sqlite3_column_text16(s, column);
    const int bytes = sqlite3_column_bytes16(s, column);
    if (!p || bytes <= 0)
        return QString();
    return QString::fromUtf16(static_cast<const char16_t *>(p), bytes / 2);
}

QByteArray columnBlob(sqlite3_stmt *s, int column)
{
    const void *p = sqlite3_column_blob(s, column);
    const int bytes = sqlite3_column_bytes(s, column);
    if (!p || bytes <= 0)
        return QByteArray();
    return QByteArray(static_cast<const char *>(p), bytes);
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool isDamage(int rc)
{
    return (rc & 0xff) == SQLITE_NOTADB || (rc & 0xff) == SQLITE_CORRUPT;
}

// An exclusive lock on a file beside the store, taken by every copy of the program while it checks
// the store, sets a damaged one aside and creates a fresh one. Without it, a copy that opened the
// damaged file a moment earlier would later move away the fresh store another copy has just
// written to. Held only while opening; reads and writes are guarded by SQLite's own locks.
class StoreLock {
public:
    explicit StoreLock(const QString &storePath)
    {
        m_fd = ::open(QFile::encodeName(storePath + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC,
                      0600);
        if (m_fd < 0)
            return; // a folder that cannot be written: nothing can be moved or created there anyway
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~StoreLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    StoreLock(const StoreLock &) = delete;
    StoreLock &operator=(const StoreLock &) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Renames without ever replacing an existing file, even one that appeared after it was looked for.
bool renameNoReplace(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without that flag: a hard link fails as well when the name is taken.
    if (::link(source.constData(), target.constData()) != 0)
        return false;
    ::unlink(source.constData());
    return true;
}

} // namespace

namespace {

// Every operation opens and closes its own handle. Closing the last connection to a store checkpoints
// its log and syncs the disk, which would make each read of the library as slow as a write; so one
// idle connection per store is kept for the next handle instead, and closed when the thread ends.
class IdleConnections {
public:
    ~IdleConnections()
    {
        for (auto &entry : m_idle)
            sqlite3_close(entry.second.db);
    }
    // The connection kept for `path`, if the file there is still the one it was opened on: another
    // copy of the program may have set a damaged store aside and started a fresh one meanwhile.
    sqlite3 *take(const QString &path)
    {
        const auto it = m_idle.find(path.toStdString());
        if (it == m_idle.end())
            return nullptr;
        const Idle idle = it->second;
        m_idle.erase(it);
        if (identity(path) != idle.file) {
            sqlite3_close(idle.db);
            return nullptr;
        }
        return idle.db;
    }
    void park(const QString &path, sqlite3 *db)
    {
        Idle &slot = m_idle[path.toStdString()];
        if (slot.db)
            sqlite3_close(slot.db);
        slot = Idle{db, identity(path)};
    }

private:
    using FileIdentity = std::pair<dev_t, ino_t>;
    struct Idle {
        sqlite3 *db = nullptr;
        FileIdentity file{};
    };
    static FileIdentity identity(const QString &path)
    {
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0)
            return {};
        return {st.st_dev, st.st_ino};
    }
    std::unordered_map<std::string, Idle> m_idle;
};

IdleConnections &idleConnections()
{
    thread_local IdleConnections idle;
    return idle;
}

} // namespace

StoreDatabase::StoreDatabase(QString path) : m_path(std::move(path)) {}

StoreDatabase::~StoreDatabase()
{
    if (m_db && m_depth > 0)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    if (m_db && sqlite3_get_autocommit(m_db) && QFileInfo::exists(m_path)) {
        for (auto &entry : m_statements)
            sqlite3_finalize(entry.second);
        m_statements.clear();
        idleConnections().park(m_path, m_db);
        m_db = nullptr;
        return;
    }
    close();
}

namespace {
QString &chosenPath()
{
    static QString path;
    return path;
}
} // namespace

void StoreDatabase::setDefaultPath(const QString &path)
{
    chosenPath() = path;
}

QString StoreDatabase::defaultPath()
{
    if (!chosenPath().isEmpty())
        return chosenPath();
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Vantrel/Orvalis/registry.sqlite3");
}

QString StoreDatabase::takeProblem()
{
    QMutexLocker lock(&problemMutex());
    QString text = pendingProblem();
    pendingProblem().clear();
    return text;
}

QString StoreDatabase::writeProblem()
{
    const QString store = native(m_path);
    const auto cannot = [&store](const QString &reason, const QString &remedy) {
        return QStringLiteral("The settings store %1 cannot be written: %2.\r\nOrvalis works, but nothing of this "
                              "run (window, choices, microscope library) can be saved. %3, then start Orvalis again.")
            .arg(store, reason, remedy);
    };
    const QString kind = notRegularFile(m_path);
    if (!kind.isEmpty())
        return QStringLiteral("The settings store %1 cannot be used. %2\r\nOrvalis can neither read nor save "
                              "its settings and microscope library there. Move it out of the way (Orvalis then "
                              "starts a new store), then start Orvalis again.")
            .arg(store, kind);
    const QFileInfo info(m_path);
    const QString folder = native(info.absolutePath());
    if (!info.exists()) {
        // Made at the first save, in the first folder on its way that exists.
        QString existing = info.absolutePath();
        while (!QFileInfo::exists(existing) && QFileInfo(existing).absolutePath() != existing)
            existing = QFileInfo(existing).absolutePath();
        if (!QFileInfo(existing).isDir())
            return cannot(QStringLiteral("%1 is a file where a folder is needed").arg(native(existing)),
                          QStringLiteral("Move %1 out of the way").arg(native(existing)));
        if (::access(QFile::encodeName(existing).constData(), W_OK | X_OK) != 0)
            return cannot(QStringLiteral("the folder %1 is read-only").arg(native(existing)),
                          QStringLiteral("Make the folder %1 writable for you").arg(native(existing)));
        return QString();
    }
    const QString remedy = QStringLiteral("Make %1 and its folder %2 writable for you").arg(store, folder);
    if (!open(false))
        return m_openError.isEmpty() ? QString() : cannot(m_openError, remedy);
    // Taking the write lock is what every save begins with; nothing is written before the ROLLBACK.
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return cannot(QString::fromUtf8(sqlite3_errmsg(m_db)), remedy);
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return QString();
}

void StoreDatabase::close()
{
    for (auto &entry : m_statements)
        sqlite3_finalize(entry.second);
    m_statements.clear();
    if (m_db)
        sqlite3_close(m_db);
    m_db = nullptr;
    m_depth = 0;
}

bool StoreDatabase::open(bool create)
{
    if (m_db)
        return true;
    m_openError.clear();
    const QFileInfo info(m_path);
    if (sqlite3 *idle = idleConnections().take(m_path)) {
        m_db = idle; // already checked and set up
        return true;
    }
    if (!info.exists()) {
        if (!create)
            return false;
        if (!QDir().mkpath(info.absolutePath())) {
            m_openError = QStringLiteral("the folder %1 cannot be created").arg(native(info.absolutePath()));
            return false;
        }
    }
    const StoreLock lock(m_path);
    // Whatever another copy did before the lock was ours is seen afresh from here on.
    if (!create && !QFileInfo::exists(m_path))
        return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        switch (openLocked(create, lock.held())) {
        case Opened::Yes: return true;
        case Opened::No: return false;
        case Opened::SetAside:
            if (!create)
                return false;
            break;
        }
    }
    return false;
}

StoreDatabase::Opened StoreDatabase::openLocked(bool create, bool mayMove)
{
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(QFile::encodeName(m_path).constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        m_openError = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
        close();
        return Opened::No;
    }
    sqlite3_extended_result_codes(m_db, 1);
    // Another running copy may hold the write lock for a moment; wait for it rather than fail.
    sqlite3_busy_timeout(m_db, 10000);

    int userVersion = 0;
    Health health = Health::Good;
    {
        sqlite3_stmt *s = nullptr;
        int rc = sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &s, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(s);
        if (rc == SQLITE_ROW)
            userVersion = sqlite3_column_int(s, 0);
        else if (isDamage(rc))
            health = Health::Damaged;
        else
            health = Health::Unusable;
        if (health == Health::Unusable)
            m_openError = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(s);
    }
    if (health == Health::Good)
        health = checkHealth();
    if (health == Health::Good)
        health = checkTables();

    if (health == Health::Unusable) {
        close();
        return Opened::No;
    }
    if (health == Health::Damaged) {
        close();
        // Never write into a damaged file, and never move a store without the lock: it may be
        // another copy's fresh one.
        if (!mayMove) {
            m_openError = QStringLiteral("the store is damaged, and its folder cannot be written to set it aside");
            return Opened::No;
        }
        return setAside() ? Opened::SetAside : Opened::No;
    }

    exec("PRAGMA foreign_keys=ON");
    // WAL survives a killed process without losing committed data; only a power cut can lose the
    // last commits, never consistency.
    exec("PRAGMA synchronous=NORMAL");
    if (userVersion == 0) {
        if (!create) { // an empty file: nothing stored yet
            close();
            return Opened::No;
        }
        if (!createSchema()) {
            close();
            return Opened::No;
        }
    }
    return Opened::Yes;
}

// Damaged only on evidence: a store that is busy or cannot be read at this moment is not moved away.
StoreDatabase::Health StoreDatabase::verdict(int rc)
{
    if (isDamage(rc))
        return Health::Damaged;
    m_openError = QString::fromUtf8(sqlite3_errmsg(m_db));
    return Health::Unusable;
}

StoreDatabase::Health StoreDatabase::checkTables()
{
    // A sound database that is not our store is as useless as a damaged one: every read would fail
    // or come back empty, every write fail. Only an empty file is a store not yet begun.
    int failure = SQLITE_OK;
    const auto query = [&](const char *sql, const char *parameter, const auto &row) {
        sqlite3_stmt *s = nullptr;
        int rc = sqlite3_prepare_v2(m_db, sql, -1, &s, nullptr);
        if (rc == SQLITE_OK && parameter)
            sqlite3_bind_text(s, 1, parameter, -1, SQLITE_STATIC);
        while (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW) {
            row(s);
            rc = SQLITE_OK;
        }
        if (rc != SQLITE_DONE && failure == SQLITE_OK)
            failure = rc;
        sqlite3_finalize(s);
    };
    const auto count = [&](const char *sql) {
        qint64 n = -1;
        query(sql, nullptr, [&n](sqlite3_stmt *s) { n = sqlite3_column_int64(s, 0); });
        return n;
    };
    const auto columns = [&](const char *table) {
        QSet<QString> names;
        query("SELECT name FROM pragma_table_info(?1)", table,
              [&names](sqlite3_stmt *s) { names.insert(columnText(s, 0)); });
        return names;
    };
    static const QSet<QString> keyColumns{QStringLiteral("id"), QStringLiteral("parent"), QStringLiteral("name"),
                                          QStringLiteral("fold")};
    static const QSet<QString> valueColumns{QStringLiteral("id"),   QStringLiteral("key"),  QStringLiteral("name"),
                                            QStringLiteral("fold"), QStringLiteral("type"), QStringLiteral("data")};
    bool ours = false;
    if (count("SELECT count(*) FROM sqlite_master") == 0)
        ours = count("PRAGMA page_count") == 0;
    else
        ours = columns("keys").contains(keyColumns) && columns("vals").contains(valueColumns)
            && count("SELECT count(*) FROM keys WHERE id = 1 AND parent IS NULL") == 1;
    if (failure != SQLITE_OK)
        return verdict(failure);
    return ours ? Health::Good : Health::Damaged;
}

StoreDatabase::Health StoreDatabase::checkHealth()
{
    {
        QMutexLocker lock(&problemMutex());
        if (checkedPaths().contains(m_path))
            return Health::Good;
    }
    sqlite3_stmt *s = nullptr;
    int rc = sqlite3_prepare_v2(m_db, "PRAGMA integrity_check(1)", -1, &s, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(s);
    Health health = Health::Damaged;
    if (rc == SQLITE_ROW) {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
        if (text && qstrcmp(text, "ok") == 0)
            health = Health::Good;
    } else {
        health = verdict(rc);
    }
    sqlite3_finalize(s);
    if (health == Health::Good) {
        QMutexLocker lock(&problemMutex());
        checkedPaths().insert(m_path);
    }
    return health;
}

bool StoreDatabase::setAside()
{
    // Every earlier damaged copy is kept: the file goes to the first name not taken, and a name
    // taken meanwhile is never overwritten.
    QString target = m_path + QStringLiteral(".damaged");
    bool moved = false;
    for (int n = 2; n < 10000; ++n) {
        if (!QFileInfo::exists(target) && !QFileInfo::exists(target + QStringLiteral("-wal"))) {
            if (renameNoReplace(m_path, target)) {
                moved = true;
                break;
            }
            if (errno != EEXIST)
                break;
        }
        target = m_path + QStringLiteral(".damaged.%1").arg(n);
    }
    QString text;
    if (moved) {
        // The log holds pages of the damaged file and would be replayed into the fresh one.
        if (QFileInfo::exists(m_path + QStringLiteral("-wal")))
            renameNoReplace(m_path + QStringLiteral("-wal"), target + QStringLiteral("-wal"));
        QFile::remove(m_path + QStringLiteral("-shm"));
        text = QStringLiteral("The settings store %1 is damaged. It has been moved to %2 and a new, "
                              "empty store has been started.")
                   .arg(native(m_path), native(target));
    } else {
        text = QStringLiteral("The settings store %1 is damaged and could not be moved to %2. "
                              "Settings cannot be read or saved until it is moved away.")
                   .arg(native(m_path), native(target));
        m_openError = text;
    }
    QMutexLocker lock(&problemMutex());
    pendingProblem() = text;
    return moved;
}

bool StoreDatabase::createSchema()
{
    // Two copies started together may both find the store new; switching the journal mode does not
    // wait for the other as the busy timeout does, so it is tried again for a while here.
    const auto patiently = [this](const char *sql) {
        int rc = SQLITE_BUSY;
        for (int attempt = 0; attempt < 500; ++attempt) {
            rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
            if ((rc & 0xff) != SQLITE_BUSY && (rc & 0xff) != SQLITE_LOCKED)
                break;
            sqlite3_sleep(20);
        }
        return rc;
    };
    if (patiently("PRAGMA journal_mode=WAL") != SQLITE_OK || patiently("BEGIN IMMEDIATE") != SQLITE_OK) {
        m_openError = QString::fromUtf8(sqlite3_errmsg(m_db));
        return false;
    }
    // Key and value names are compared through `fold`, their case-folded form, which SQLite's own
    // NOCASE cannot do beyond ASCII; `name` keeps the case they were created with.
    static const char schema[] = "CREATE TABLE IF NOT EXISTS keys("
                                 " id INTEGER PRIMARY KEY,"
                                 " parent INTEGER REFERENCES keys(id),"
                                 " name TEXT NOT NULL,"
                                 " fold TEXT NOT NULL);"
                                 "CREATE UNIQUE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, fold);"
                                 "CREATE TABLE IF NOT EXISTS vals("
                                 " id INTEGER PRIMARY KEY,"
                                 " key INTEGER NOT NULL REFERENCES keys(id),"
                                 " name TEXT NOT NULL,"
                                 " fold TEXT NOT NULL,"
                                 " type INTEGER NOT NULL,"
                                 " data BLOB NOT NULL);"
                                 "CREATE UNIQUE INDEX IF NOT EXISTS vals_by_key ON vals(key, fold);"
                                 // A key's values in creation order without a sort per listing.
                                 "CREATE INDEX IF NOT EXISTS vals_in_order ON vals(key, id);"
                                 "INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES(1, NULL, '', '');"
                                 "PRAGMA user_version=1;";
    if (sqlite3_exec(m_db, schema, nullptr, nullptr, nullptr) != SQLITE_OK
        || sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        m_openError = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    return true;
}

void StoreDatabase::fail(const char *what)
{
    const QString reason = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("not open");
    throw OrvalisError(QStringLiteral("The settings store %1 cannot be used (%2: %3)")
                           .arg(native(m_path), QString::fromLatin1(what), reason));
}

sqlite3_stmt *StoreDatabase::prepare(const char *sql)
{
    if (!m_db)
        fail("prepare");
    auto it = m_statements.find(sql);
    if (it != m_statements.end())
        return it->second;
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
        fail("prepare");
    m_statements.emplace(sql, s);
    return s;
}

void StoreDatabase::exec(const char *sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(sql);
}

void StoreDatabase::begin(bool write)
{
    if (m_depth == 0) {
        exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
        m_doomed = false;
    }
    ++m_depth;
}

void StoreDatabase::commit()
{
    if (m_depth <= 0)
        return;
    if (--m_depth > 0)
        return;
    if (m_doomed) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw OrvalisError(QStringLiteral("The changes to the settings store %1 were undone because "
                                          "part of them failed")
                               .arg(native(m_path)));
    }
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw OrvalisError(
            QStringLiteral("The settings store %1 cannot be used (COMMIT: %2)").arg(native(m_path), reason));
    }
}

void StoreDatabase::rollback()
{
    if (m_depth <= 0)
        return;
    if (--m_depth > 0) {
        m_doomed = true;
        return;
    }
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

qint64 StoreDatabase::findChild(qint64 parent, const QString &fold, QString *storedName)
{
    Use q(prepare("SELECT id, name FROM keys WHERE parent = ?1 AND fold = ?2"));
    sqlite3_bind_int64(q.stmt, 1, parent);
    bindText(q.stmt, 2, fold);
    const int rc = sqlite3_step(q.stmt);
    if (rc == SQLITE_ROW) {
        if (storedName)
            *storedName = columnText(q.stmt, 1);
        return sqlite3_column_int64(q.stmt, 0);
    }
    if (rc != SQLITE_DONE)
        fail("find key");
    return -1;
}

qint64 StoreDatabase::createChild(qint64 parent, const QString &name, const QString &fold)
{
    Use q(prepare("INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)"));
    sqlite3_bind_int64(q.stmt, 1, parent);
    bindText(q.stmt, 2, name);
    bindText(q.stmt, 3, fold);
    const int rc = sqlite3_step(q.stmt);
    if ((rc & 0xff) == SQLITE_CONSTRAINT)
        return -1; // the parent went away
    if (rc != SQLITE_DONE)
        fail("create key");
    return sqlite3_last_insert_rowid(m_db);
}

bool StoreDatabase::keyExists(qint64 id)
{
    Use q(prepare("SELECT 1 FROM keys WHERE id = ?1"));
    sqlite3_bind_int64(q.stmt, 1, id);
    const int rc = sqlite3_step(q.stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail("find key");
    return rc == SQLITE_ROW;
}

QStringList StoreDatabase::childNames(qint64 parent)
{
    Use q(prepare("SELECT name FROM keys WHERE parent = ?1 ORDER BY fold"));
    sqlite3_bind_int64(q.stmt, 1, parent);
    QStringList names;
    int rc;
    while ((rc = sqlite3_step(q.stmt)) == SQLITE_ROW)
        names << columnText(q.stmt, 0);
    if (rc != SQLITE_DONE)
        fail("list keys");
    return names;
}

bool StoreDatabase::hasChildren(qint64 parent)
{
    Use q(prepare("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1"));
    sqlite3_bind_int64(q.stmt, 1, parent);
    const int rc = sqlite3_step(q.stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail("list keys");
    return rc == SQLITE_ROW;
}

void StoreDatabase::deleteTree(qint64 id)
{
    // Iterative rather than cascading foreign keys, whose depth SQLite limits.
    begin(true);
    try {
        {
            Use q(prepare("WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k "
                          "JOIN sub ON k.parent = sub.id) DELETE FROM vals WHERE key IN sub"));
            sqlite3_bind_int64(q.stmt, 1, id);
            if (sqlite3_step(q.stmt) != SQLITE_DONE)
                fail("delete key");
        }
        {
            Use q(prepare("WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k "
                          "JOIN sub ON k.parent = sub.id) DELETE FROM keys WHERE id IN sub"));
            sqlite3_bind_int64(q.stmt, 1, id);
            if (sqlite3_step(q.stmt) != SQLITE_DONE)
                fail("delete key");
        }
    } catch (...) {
        rollback();
        throw;
    }
    commit();
}

QVector<StoreDatabase::Value> StoreDatabase::values(qint64 key)
{
    Use q(prepare("SELECT name, fold, type, data FROM vals WHERE key = ?1 ORDER BY id"));
    sqlite3_bind_int64(q.stmt, 1, key);
    QVector<Value> list;
    int rc;
    while ((rc = sqlite3_step(q.stmt)) == SQLITE_ROW) {
        Value v;
        v.name = columnText(q.stmt, 0);
        v.fold = columnText(q.stmt, 1);
        v.type = quint32(sqlite3_column_int64(q.stmt, 2));
        v.data = columnBlob(q.stmt, 3);
        list.push_back(std::move(v));
    }
    if (rc != SQLITE_DONE)
        fail("list values");
    return list;
}

QVector<StoreDatabase::ChildValues> StoreDatabase::childrenWithValues(qint64 parent)
{
    Use q(prepare("SELECT k.id, k.name, v.name, v.fold, v.type, v.data FROM keys k LEFT JOIN vals v ON v.key = k.id "
                  "WHERE k.parent = ?1 ORDER BY k.fold, v.id"));
    sqlite3_bind_int64(q.stmt, 1, parent);
    QVector<ChildValues> children;
    qint64 last = -1;
    int rc;
    while ((rc = sqlite3_step(q.stmt)) == SQLITE_ROW) {
        const qint64 id = sqlite3_column_int64(q.stmt, 0);
        if (id != last) {
            children.push_back(ChildValues{columnText(q.stmt, 1), {}});
            last = id;
        }
        if (sqlite3_column_type(q.stmt, 2) == SQLITE_NULL)
            continue; // a key without values
        Value v;
        v.name = columnText(q.stmt, 2);
        v.fold = columnText(q.stmt, 3);
        v.type = quint32(sqlite3_column_int64(q.stmt, 4));
        v.data = columnBlob(q.stmt, 5);
        children.back().values.push_back(std::move(v));
    }
    if (rc != SQLITE_DONE)
        fail("list keys with their values");
    return children;
}

bool StoreDatabase::readValue(qint64 key, const QString &fold, quint32 &type, QByteArray &data)
{
    Use q(prepare("SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2"));
    sqlite3_bind_int64(q.stmt, 1, key);
    bindText(q.stmt, 2, fold);
    const int rc = sqlite3_step(q.stmt);
    if (rc == SQLITE_ROW) {
        type = quint32(sqlite3_column_int64(q.stmt, 0));
        data = columnBlob(q.stmt, 1);
        return true;
    }
    if (rc != SQLITE_DONE)
        fail("read value");
    return false;
}

bool StoreDatabase::writeValue(qint64 key, const QString &name, const QString &fold, quint32 type,
                               const QByteArray &data)
{
    // SQLite builds a whole row in memory before it stores it, a copy of the value; a large one is
    // stored as zeros first and then written into its place piece by piece.
    constexpr qsizetype largeValue = 1024 * 1024;
    const bool large = data.size() > largeValue;
    // An existing value keeps its place in the enumeration and the case of its first name.
    Use q(prepare(large ? "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, zeroblob(?5)) "
                          "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data "
                          "RETURNING id"
                        : "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                          "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data"));
    sqlite3_bind_int64(q.stmt, 1, key);
    bindText(q.stmt, 2, name);
    bindText(q.stmt, 3, fold);
    sqlite3_bind_int64(q.stmt, 4, qint64(type));
    if (large)
        sqlite3_bind_int64(q.stmt, 5, data.size());
    else // the bytes outlive the statement's step: no copy
        sqlite3_bind_blob(q.stmt, 5, data.isEmpty() ? "" : data.constData(), int(data.size()), SQLITE_STATIC);
    if (!large) {
        const int rc = sqlite3_step(q.stmt);
        if ((rc & 0xff) == SQLITE_CONSTRAINT)
            return false;
        if (rc != SQLITE_DONE)
            fail("write value");
        return true;
    }
    begin(true); // the zeros never stay
    try {
        int rc = sqlite3_step(q.stmt);
        if ((rc & 0xff) == SQLITE_CONSTRAINT) {
            commit(); // nothing was written
            return false;
        }
        if (rc != SQLITE_ROW)
            fail("write value");
        const qint64 row = sqlite3_column_int64(q.stmt, 0);
        if ((rc = sqlite3_step(q.stmt)) != SQLITE_DONE)
            fail("write value");
        sqlite3_blob *blob = nullptr;
        if (sqlite3_blob_open(m_db, "main", "vals", "data", row, 1, &blob) != SQLITE_OK) {
            sqlite3_blob_close(blob);
            fail("write value");
        }
        rc = sqlite3_blob_write(blob, data.constData(), int(data.size()), 0);
        sqlite3_blob_close(blob);
        if (rc != SQLITE_OK)
            fail("write value");
    } catch (...) {
        rollback();
        throw;
    }
    commit();
    return true;
}

bool StoreDatabase::deleteValue(qint64 key, const QString &fold)
{
    Use q(prepare("DELETE FROM vals WHERE key = ?1 AND fold = ?2"));
    sqlite3_bind_int64(q.stmt, 1, key);
    bindText(q.stmt, 2, fold);
    if (sqlite3_step(q.stmt) != SQLITE_DONE)
        fail("delete value");
    return sqlite3_changes(m_db) > 0;
}

} // namespace orvalis
