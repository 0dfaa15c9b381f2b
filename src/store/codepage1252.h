#pragma once
// Windows-1252, the single-byte code page in which the other platform's registry editor reads and
// writes REGEDIT4 files. Both directions share one table, so that what one writes the other reads.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace orvalis {

// Every byte has a character (the five the code page leaves open stand for the same code points).
QString fromWindows1252(QByteArrayView bytes);

// Appends the code page's form of `text`; false when a character has none (it is written as "?").
bool appendWindows1252(QStringView text, QByteArray &out);

} // namespace orvalis
