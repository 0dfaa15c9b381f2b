#include "store/registry.h"

#include "core/orvaliserror.h"

#include <QDir>
#include <QtEndian>

#include <cstring>

namespace orvalis {
namespace {

constexpr int maxKeyNameLength = 255;
constexpr int maxValueNameLength = 16383;
constexpr int maxKeyDepth = 512;

OrvalisError invalidType(const QString &name)
{
    return OrvalisError(QStringLiteral("Invalid data type for '%1'").arg(name));
}

OrvalisError failedToGet(const QString &name)
{
    return OrvalisError(QStringLiteral("Failed to get data for '%1'").arg(name));
}

OrvalisError failedToSet(const QString &name)
{
    return OrvalisError(QStringLiteral("Failed to set data for '%1'").arg(name));
}

QByteArray encodeString(const QString &text)
{
    QByteArray bytes((text.size() + 1) * 2, '\0');
    qToLittleEndian<char16_t>(text.utf16(), text.size(), bytes.data());
    return bytes;
}

// Up to the first 0, as the registry's own readers do; an odd last byte is no character.
QString decodeString(const QByteArray &bytes)
{
    const qsizetype units = bytes.size() / 2;
    QString text(units, Qt::Uninitialized);
    qFromLittleEndian<char16_t>(bytes.constData(), units, text.data());
    const qsizetype end = text.indexOf(QChar(0));
    if (end >= 0)
        text.truncate(end);
    return text;
}

TRegDataType dataType(quint32 type)
{
    switch (type) {
    case REG_SZ: return TRegDataType::rdString;
    case REG_EXPAND_SZ: return TRegDataType::rdExpandString;
    case REG_DWORD: return TRegDataType::rdInteger;
    case REG_BINARY: return TRegDataType::rdBinary;
    default: return TRegDataType::rdUnknown;
    }
}

} // namespace

Registry::Registry(HKEY root) : m_root(root), m_db(StoreDatabase::defaultPath()) {}

Registry::~Registry() = default;

QString Registry::RootKeyName(HKEY root)
{
    switch (root) {
    case HKEY_CLASSES_ROOT: return QStringLiteral("HKEY_CLASSES_ROOT");
    case HKEY_CURRENT_USER: return QStringLiteral("HKEY_CURRENT_USER");
    case HKEY_LOCAL_MACHINE: return QStringLiteral("HKEY_LOCAL_MACHINE");
    case HKEY_USERS: return QStringLiteral("HKEY_USERS");
    case HKEY_PERFORMANCE_DATA: return QStringLiteral("HKEY_PERFORMANCE_DATA");
    case HKEY_CURRENT_CONFIG: return QStringLiteral("HKEY_CURRENT_CONFIG");
    case HKEY_DYN_DATA: return QStringLiteral("HKEY_DYN_DATA");
    default: return QString();
    }
}

QString Registry::StorePath()
{
    return StoreDatabase::defaultPath();
}

QString Registry::TakeStoreProblem()
{
    return StoreDatabase::takeProblem();
}

QString Registry::StoreWriteProblem()
{
    return StoreDatabase(StoreDatabase::defaultPath()).writeProblem();
}

void Registry::SetRootKey(HKEY root)
{
    CloseKey();
    m_root = root;
}

void Registry::clearCaches()
{
    m_pathCache.clear();
    m_valuesOf = -1;
    m_values.clear();
    m_valueIndex.clear();
}

bool Registry::resolve(const QString &key, bool create, qint64 &id, QString &path)
{
    if (m_root != HKEY_CURRENT_USER)
        return false;
    const bool relative = !key.startsWith(QLatin1Char('\\'));
    qint64 base = StoreDatabase::rootId;
    QString basePath;
    if (relative && m_current >= 0) {
        base = m_current;
        basePath = m_currentPath;
    }
    const QStringList parts = key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString &part : parts)
        if (part.size() > maxKeyNameLength)
            return false;
    if ((basePath.isEmpty() ? 0 : basePath.count(QLatin1Char('\\')) + 1) + parts.size() > maxKeyDepth)
        return false;
    if (parts.isEmpty()) {
        if (base == StoreDatabase::rootId && !m_db.open(create) && create)
            return false;
        id = base;
        path = basePath;
        return true;
    }
    if (!m_db.open(create))
        return false;

    const bool cache = m_db.transactionDepth() > 0;
    if (create)
        m_db.begin(true);
    try {
        qint64 current = base;
        QString currentPath = basePath;
        for (const QString &part : parts) {
            const QString fold = part.toCaseFolded();
            QString stored;
            qint64 child = -1;
            // Keyed by parent and name rather than by whole path, so that a path of 512 parts costs
            // 512 lookups, not the square of its length.
            const QPair<qint64, QString> cacheKey(current, fold);
            if (cache) {
                const auto hit = m_pathCache.constFind(cacheKey);
                if (hit != m_pathCache.cend()) {
                    child = hit->first;
                    stored = hit->second;
                }
            }
            if (child < 0) {
                child = m_db.findChild(current, fold, &stored);
                if (child < 0) {
                    if (!create || (child = m_db.createChild(current, part, fold)) < 0) {
                        if (create)
                            m_db.rollback();
                        return false;
                    }
                    stored = part;
                }
                if (cache)
                    m_pathCache.insert(cacheKey, qMakePair(child, stored));
            }
            current = child;
            if (!currentPath.isEmpty())
                currentPath += QLatin1Char('\\');
            currentPath += stored;
        }
        if (create)
            m_db.commit();
        id = current;
        path = currentPath;
        return true;
    } catch (...) {
        if (create)
            m_db.rollback();
        throw;
    }
}

bool Registry::OpenKey(const QString &key, bool canCreate)
{
    qint64 id = -1;
    QString path;
    if (!resolve(key, canCreate, id, path))
        return false;
    m_current = id;
    m_currentPath = path;
    return true;
}

bool Registry::CreateKey(const QString &key)
{
    qint64 id = -1;
    QString path;
    return resolve(key, true, id, path);
}

void Registry::CloseKey()
{
    m_current = -1;
    m_currentPath.clear();
}

bool Registry::KeyExists(const QString &key)
{
    qint64 id = -1;
    QString path;
    return resolve(key, false, id, path);
}

bool Registry::DeleteKey(const QString &key)
{
    qint64 id = -1;
    QString path;
    if (!resolve(key, false, id, path) || id == StoreDatabase::rootId || !m_db.isOpen())
        return false;
    m_db.deleteTree(id);
    clearCaches();
    return true;
}

bool Registry::openForRead()
{
    return m_current >= 0 && m_db.open(false);
}

QStringList Registry::GetKeyNames()
{
    return openForRead() ? m_db.childNames(m_current) : QStringList();
}

bool Registry::HasSubKeys()
{
    return openForRead() && m_db.hasChildren(m_current);
}

QStringList Registry::GetValueNames()
{
    if (!openForRead())
        return {};
    QStringList names;
    if (m_db.transactionDepth() > 0) {
        loadValues();
        for (const auto &v : m_values)
            names << v.name;
    } else {
        for (const auto &v : m_db.values(m_current))
            names << v.name;
    }
    return names;
}

void Registry::loadValues()
{
    if (m_valuesOf == m_current)
        return;
    m_values = m_db.values(m_current);
    m_valueIndex.clear();
    for (int i = 0; i < m_values.size(); ++i)
        m_valueIndex.insert(m_values[i].fold, i);
    m_valuesOf = m_current;
}

const StoreDatabase::Value *Registry::findValue(const QString &name)
{
    if (!openForRead())
        return nullptr;
    const QString fold = name.toCaseFolded();
    if (m_db.transactionDepth() > 0) {
        loadValues();
        const auto it = m_valueIndex.constFind(fold);
        return it == m_valueIndex.cend() ? nullptr : &m_values[*it];
    }
    m_scratch.name = name;
    m_scratch.fold = fold;
    return m_db.readValue(m_current, fold, m_scratch.type, m_scratch.data) ? &m_scratch : nullptr;
}

void Registry::store(const QString &name, quint32 type, const QByteArray &data)
{
    if (m_current < 0 || name.size() > maxValueNameLength || !m_db.open(true))
        throw failedToSet(name);
    m_valuesOf = -1;
    if (!m_db.writeValue(m_current, name, name.toCaseFolded(), type, data))
        throw failedToSet(name); // the key was deleted while open
}

bool Registry::ValueExists(const QString &name)
{
    return findValue(name) != nullptr;
}

bool Registry::DeleteValue(const QString &name)
{
    if (!openForRead())
        return false;
    m_valuesOf = -1;
    return m_db.deleteValue(m_current, name.toCaseFolded());
}

bool Registry::GetDataInfo(const QString &name, TRegDataInfo &info)
{
    const auto *v = findValue(name);
    if (!v) {
        info = TRegDataInfo();
        return false;
    }
    info.RegData = dataType(v->type);
    info.DataSize = int(v->data.size());
    return true;
}

TRegDataType Registry::GetDataType(const QString &name)
{
    TRegDataInfo info;
    GetDataInfo(name, info);
    return info.RegData;
}

int Registry::GetDataSize(const QString &name)
{
    TRegDataInfo info;
    return GetDataInfo(name, info) ? info.DataSize : -1;
}

QVector<StoreDatabase::ChildValues> Registry::GetSubKeysWithValues()
{
    if (m_current < 0 || !openForRead())
        return {};
    return m_db.childrenWithValues(m_current);
}

namespace {

// A missing string reads as empty text; a value of another type is an error.
QString stringValue(const StoreDatabase::Value *v, const QString &name)
{
    if (!v)
        return QString();
    if (v->type != REG_SZ && v->type != REG_EXPAND_SZ)
        throw invalidType(name);
    return decodeString(v->data);
}

} // namespace

QString Registry::StringOf(const QVector<StoreDatabase::Value> &values, const QString &name)
{
    const QString fold = name.toCaseFolded();
    for (const StoreDatabase::Value &v : values)
        if (v.fold == fold)
            return stringValue(&v, name);
    return QString();
}

QString Registry::ReadString(const QString &name)
{
    return stringValue(findValue(name), name);
}

void Registry::WriteString(const QString &name, const QString &value)
{
    store(name, REG_SZ, encodeString(value));
}

void Registry::WriteExpandString(const QString &name, const QString &value)
{
    store(name, REG_EXPAND_SZ, encodeString(value));
}

int Registry::ReadInteger(const QString &name)
{
    const auto *v = findValue(name);
    if (!v)
        throw failedToGet(name);
    if (v->type != REG_DWORD || v->data.size() != 4)
        throw invalidType(name);
    return qFromLittleEndian<qint32>(v->data.constData());
}

void Registry::WriteInteger(const QString &name, int value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian<qint32>(value, bytes.data());
    store(name, REG_DWORD, bytes);
}

bool Registry::ReadBool(const QString &name)
{
    return ReadInteger(name) != 0;
}

void Registry::WriteBool(const QString &name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

double Registry::ReadFloat(const QString &name)
{
    const auto *v = findValue(name);
    if (!v)
        throw failedToGet(name);
    if (v->type != REG_BINARY || v->data.size() != 8)
        throw invalidType(name);
    const quint64 bits = qFromLittleEndian<quint64>(v->data.constData());
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void Registry::WriteFloat(const QString &name, double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray bytes(8, '\0');
    qToLittleEndian<quint64>(bits, bytes.data());
    store(name, REG_BINARY, bytes);
}

QByteArray Registry::ReadBinaryData(const QString &name)
{
    const auto *v = findValue(name);
    if (!v)
        throw failedToGet(name);
    const TRegDataType type = dataType(v->type);
    if (type != TRegDataType::rdBinary && type != TRegDataType::rdUnknown)
        throw invalidType(name);
    return v->data;
}

void Registry::WriteBinaryData(const QString &name, const QByteArray &data)
{
    store(name, REG_BINARY, data);
}

QByteArray Registry::GetData(const QString &name, quint32 &type)
{
    const auto *v = findValue(name);
    if (!v)
        throw failedToGet(name);
    type = v->type;
    return v->data;
}

void Registry::PutData(const QString &name, const QByteArray &data, quint32 type)
{
    store(name, type, data);
}

Registry::Transaction::Transaction(Registry &registry, bool write) : m_registry(registry)
{
    StoreDatabase &db = registry.m_db;
    if (!db.open(write)) {
        if (write)
            throw OrvalisError(QStringLiteral("Cannot access registry (%1: %2)")
                                   .arg(QDir::toNativeSeparators(db.path()), db.openError()));
        return; // nothing stored yet: there is nothing to keep consistent
    }
    db.begin(write);
    registry.clearCaches();
    m_active = true;
}

Registry::Transaction::~Transaction()
{
    if (!m_active)
        return;
    m_registry.m_db.rollback();
    m_registry.clearCaches();
}

void Registry::Transaction::commit()
{
    if (!m_active)
        return;
    m_active = false;
    m_registry.clearCaches();
    m_registry.m_db.commit();
}

} // namespace orvalis
