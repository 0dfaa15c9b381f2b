#pragma once
// Writes a registry key with everything below it as a REGEDIT4 file, the form the importer (and
// the registry editor of the other platform) reads back: backups and the shipped microscope list.
#include "store/registry.h"

#include <QIODevice>
#include <QString>

namespace orvalis {

// `keyPath` has no leading backslash; one trailing backslash is dropped. The file is replaced only
// by a complete export: throws OrvalisError "Cannot create file <name>" when it cannot be written,
// and a registry error while reading a value propagates; either way a previous file stays as it was.
void ExportKeyToRegFile(HKEY root, const QString &keyPath, const QString &fileName);

// The block of `keyPath` (relative to the registry's root) and, depth first, of every key below
// it. A key that does not open gets its key line only.
void WriteKeyBlock(Registry &registry, QIODevice &file, const QString &keyPath);

// Every backslash doubled.
QString DoubleBackslashes(const QString &text);

} // namespace orvalis
