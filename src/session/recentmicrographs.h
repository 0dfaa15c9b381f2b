#pragma once
// The micrographs opened last, newest first, kept in the settings store under "Recent Micrographs"
// as "File1", "File2", ...
#include <QString>
#include <QStringList>

namespace orvalis {

inline constexpr int kMaxRecentMicrographs = 8;

// The stored list; empty when there is none or the store cannot be read.
QStringList readRecentMicrographs();

// `list` with `path` put first (once, compared as absolute paths) and cut to kMaxRecentMicrographs.
QStringList withRecentMicrograph(const QStringList &list, const QString &path);

// Replaces the stored list; the text of what went wrong, or an empty text.
QString writeRecentMicrographs(const QStringList &list);

} // namespace orvalis
