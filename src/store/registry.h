#pragma once
// The per-user registry of the program: keys opened by path, each with named, typed values, kept in
// the settings store file. Only HKEY_CURRENT_USER exists here; the other roots can be named (the
// export writer prints them) but none of their keys opens.
#include "store/storedatabase.h"

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

namespace orvalis {

using HKEY = quint32;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;
constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004u;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;
constexpr HKEY HKEY_DYN_DATA = 0x80000006u;

// Type numbers of stored values, as registry files write them in "hex(N):".
constexpr quint32 REG_NONE = 0;
constexpr quint32 REG_SZ = 1;        // UTF-16LE text with its terminating 0
constexpr quint32 REG_EXPAND_SZ = 2; // as REG_SZ
constexpr quint32 REG_BINARY = 3;
constexpr quint32 REG_DWORD = 4; // 4 bytes, little-endian
constexpr quint32 REG_MULTI_SZ = 7;
constexpr quint32 REG_QWORD = 11;

enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

struct TRegDataInfo {
    TRegDataType RegData = TRegDataType::rdUnknown;
    int DataSize = 0; // bytes as stored (a string counts 2 per UTF-16 unit, plus 2 for its end)
};

class Registry {
public:
    // Opens nothing yet; the store file is opened at the first use and created at the first write.
    explicit Registry(HKEY root = HKEY_CURRENT_USER);
    ~Registry();
    Registry(const Registry &) = delete;
    Registry &operator=(const Registry &) = delete;

    // "HKEY_CURRENT_USER" and so on; empty text for a handle that is no root.
    static QString RootKeyName(HKEY root);
    // Where the store lives: $XDG_CONFIG_HOME/Vantrel/Orvalis/registry.sqlite3.
    static QString StorePath();
    // The message that a damaged store was set aside (naming both files), handed out once, so the
    // program can tell the user; empty when nothing happened.
    static QString TakeStoreProblem();
    // Why the store cannot be saved in, with its path and what to do; empty when it can be.
    static QString StoreWriteProblem();

    HKEY RootKey() const { return m_root; }
    void SetRootKey(HKEY root); // closes the current key

    // A path starting with "\" is absolute; any other is relative to the open key (or to the root
    // when none is open). Empty path parts are ignored. Returns false, changing nothing, when the
    // key does not exist and may not be created, when the root is not HKEY_CURRENT_USER, when a
    // name is longer than 255 characters, or when the store cannot be written.
    bool OpenKey(const QString &key, bool canCreate);
    bool OpenKeyReadOnly(const QString &key) { return OpenKey(key, false); }
    bool CreateKey(const QString &key);
    void CloseKey();
    bool HasCurrentKey() const { return m_current >= 0; }
    // The open key's path below the root, without a leading backslash, in the stored case.
    QString CurrentPath() const { return m_currentPath; }

    bool KeyExists(const QString &key);
    // Deletes the key and everything below it; false when there is no such key.
    bool DeleteKey(const QString &key);

    // Sub-keys in case-insensitive alphabetical order; values in the order they were created.
    QStringList GetKeyNames();
    // The sub-keys of the open key with all their values, in one read of the store.
    QVector<StoreDatabase::ChildValues> GetSubKeysWithValues();
    // The text of a value as ReadString gives it: empty when missing, "Invalid data type" when not text.
    static QString StringOf(const QVector<StoreDatabase::Value> &values, const QString &name);
    QStringList GetValueNames();
    bool HasSubKeys();

    bool ValueExists(const QString &name);
    bool DeleteValue(const QString &name);
    bool GetDataInfo(const QString &name, TRegDataInfo &info);
    TRegDataType GetDataType(const QString &name); // rdUnknown when missing
    int GetDataSize(const QString &name);          // -1 when missing

    // A missing string reads as empty text; a value of another type raises "Invalid data type".
    QString ReadString(const QString &name);
    void WriteString(const QString &name, const QString &value);
    void WriteExpandString(const QString &name, const QString &value);
    // Missing integer, float or binary values raise "Failed to get data for '%s'".
    int ReadInteger(const QString &name);
    void WriteInteger(const QString &name, int value);
    bool ReadBool(const QString &name); // true for any integer but 0
    void WriteBool(const QString &name, bool value);
    double ReadFloat(const QString &name); // 8-byte little-endian binary; any other size is the wrong type
    void WriteFloat(const QString &name, double value);
    QByteArray ReadBinaryData(const QString &name); // binary, or a type the registry does not know
    void WriteBinaryData(const QString &name, const QByteArray &data);

    // Raw access for registry files: bytes as stored, with their type number.
    QByteArray GetData(const QString &name, quint32 &type);
    void PutData(const QString &name, const QByteArray &data, quint32 type);

    // Groups operations into one SQLite transaction: a write transaction commits all or nothing;
    // a read transaction sees one consistent state of the store and lets lookups be cached.
    // Not committing (an exception) rolls everything back.
    class Transaction {
    public:
        Transaction(Registry &registry, bool write);
        ~Transaction();
        Transaction(const Transaction &) = delete;
        Transaction &operator=(const Transaction &) = delete;
        void commit();

    private:
        Registry &m_registry;
        bool m_active = false;
    };

private:
    bool resolve(const QString &key, bool create, qint64 &id, QString &path);
    bool openForRead();
    void openForWrite(const QString &valueName);
    const StoreDatabase::Value *findValue(const QString &name);
    void loadValues();
    void store(const QString &name, quint32 type, const QByteArray &data);
    void clearCaches();

    HKEY m_root;
    StoreDatabase m_db;
    qint64 m_current = -1;
    QString m_currentPath;

    // Only while a transaction is open: nothing else can change what they mirror then.
    QHash<QPair<qint64, QString>, QPair<qint64, QString>> m_pathCache; // parent, folded name -> key id, stored name
    qint64 m_valuesOf = -1;                                            // key whose values m_values holds
    QVector<StoreDatabase::Value> m_values;
    QHash<QString, int> m_valueIndex;
    StoreDatabase::Value m_scratch; // the value last read outside a transaction
};

} // namespace orvalis
