#include "session/recentmicrographs.h"

#include "core/orvaliserror.h"
#include "store/registry.h"
#include "store/settingskeys.h"

#include <QFileInfo>

namespace orvalis {
namespace {

QString recentKey()
{
    return settingsKey(QStringLiteral("Recent Micrographs"));
}

QString valueName(int i)
{
    return QStringLiteral("File%1").arg(i + 1);
}

} // namespace

QStringList readRecentMicrographs()
{
    QStringList list;
    try {
        Registry registry;
        if (!registry.OpenKeyReadOnly(recentKey()))
            return {};
        for (int i = 0; i < kMaxRecentMicrographs; ++i) {
            if (!registry.ValueExists(valueName(i)))
                break;
            const QString path = registry.ReadString(valueName(i));
            if (!path.isEmpty() && !list.contains(path))
                list << path;
        }
    } catch (const OrvalisError &) {
        // A list that cannot be read is no list: the menu shows none and the next open writes it anew.
        return {};
    }
    return list;
}

QStringList withRecentMicrograph(const QStringList &list, const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList out{absolute};
    for (const QString &p : list)
        if (QFileInfo(p).absoluteFilePath() != absolute && out.size() < kMaxRecentMicrographs)
            out << p;
    return out;
}

QString writeRecentMicrographs(const QStringList &list)
{
    try {
        Registry registry;
        Registry::Transaction transaction(registry, true);
        if (!registry.OpenKey(recentKey(), true))
            return QStringLiteral("Cannot access registry");
        for (const QString &name : registry.GetValueNames())
            registry.DeleteValue(name);
        for (int i = 0; i < list.size() && i < kMaxRecentMicrographs; ++i)
            registry.WriteString(valueName(i), list[i]);
        registry.CloseKey();
        transaction.commit();
    } catch (const OrvalisError &e) {
        return e.text();
    }
    return {};
}

} // namespace orvalis
