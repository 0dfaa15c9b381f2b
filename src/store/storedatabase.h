#pragma once
// The SQLite file behind the registry: a tree of keys, each with typed values kept as raw bytes.
// One instance is one connection; the registry object owns one and speaks to the tables only
// through the operations below.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace orvalis {

class StoreDatabase {
public:
    explicit StoreDatabase(QString path);
    ~StoreDatabase();
    StoreDatabase(const StoreDatabase &) = delete;
    StoreDatabase &operator=(const StoreDatabase &) = delete;

    // $XDG_CONFIG_HOME/Vantrel/Orvalis/registry.sqlite3 (default ~/.config/...).
    static QString defaultPath();
    // Makes defaultPath() this file for the rest of the process (a program told which store to use);
    // an empty path goes back to the per-user one.
    static void setDefaultPath(const QString &path);

    // The message about a damaged store that was set aside, once; empty when there is none.
    static QString takeProblem();

    // Why nothing could be saved in the store, with its path and what the user can do about it;
    // empty when a write could begin. Writes nothing and creates nothing: a store that does not
    // exist yet is judged by the folder it would be made in.
    QString writeProblem();

    const QString &path() const { return m_path; }

    // Opens the store. Without `create` a missing file is not made and the call returns false, so
    // reading an absent store sees an empty tree. A damaged file (or a database that is not a store
    // of ours) is set aside before anything else, under an exclusive lock on "<store>.lock" that
    // every copy of the program takes while it opens the store.
    bool open(bool create);
    bool isOpen() const { return m_db != nullptr; }
    // Why the last open(true) failed, for the error the caller raises.
    const QString &openError() const { return m_openError; }

    // Nested transactions: only the outermost one talks to SQLite. A write transaction takes the
    // write lock at once, so a second process waits (busy timeout) instead of failing half-way.
    void begin(bool write);
    void commit();
    void rollback();
    int transactionDepth() const { return m_depth; }

    static constexpr qint64 rootId = 1; // HKEY_CURRENT_USER

    // -1 when the key has no such child. `fold` is the case-folded name.
    qint64 findChild(qint64 parent, const QString &fold, QString *storedName = nullptr);
    qint64 createChild(qint64 parent, const QString &name, const QString &fold);
    bool keyExists(qint64 id);
    QStringList childNames(qint64 parent);
    bool hasChildren(qint64 parent);
    void deleteTree(qint64 id);

    struct Value {
        QString name;
        QString fold;
        quint32 type = 0;
        QByteArray data;
    };
    QVector<Value> values(qint64 key);
    // Every child of `parent` in name order, each with its values in creation order, in one query.
    struct ChildValues {
        QString name;
        QVector<Value> values;
    };
    QVector<ChildValues> childrenWithValues(qint64 parent);
    bool readValue(qint64 key, const QString &fold, quint32 &type, QByteArray &data);
    // False when the key no longer exists.
    bool writeValue(qint64 key, const QString &name, const QString &fold, quint32 type, const QByteArray &data);
    bool deleteValue(qint64 key, const QString &fold);

private:
    sqlite3_stmt *prepare(const char *sql);
    void exec(const char *sql);
    [[noreturn]] void fail(const char *what);
    enum class Opened { Yes, No, SetAside };
    enum class Health { Good, Damaged, Unusable };
    Opened openLocked(bool create, bool mayMove);
    Health checkHealth();
    Health checkTables();
    Health verdict(int rc);
    bool setAside();
    bool createSchema();
    void close();

    QString m_path;
    sqlite3 *m_db = nullptr;
    std::unordered_map<const char *, sqlite3_stmt *> m_statements;
    QString m_openError;
    int m_depth = 0;
    bool m_doomed = false;
};

} // namespace orvalis
