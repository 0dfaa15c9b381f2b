#pragma once
// Writes a registry key with everything below it as a REGEDIT4 file, the form the importer (and
// the registry editor of the other platform) reads back: backups and the shipped microscope list.
#include "store/registry.h"

#include <QByteArray>
#include <QString>

namespace orvalis {

// `keyPath` has no leading backslash; one trailing backslash is dropped. The file is replaced only
// by a complete export: throws OrvalisError "Cannot create file <name>" when it cannot be written,
// and a registry error while reading a value propagates; either way a previous file stays as it was.
void ExportKeyToRegFile(HKEY root, const QString &keyPath, const QString &fileName);

// The bytes of a registry file as they are built, in the encoding chosen for the whole file.
class RegFileText {
public:
    enum class Encoding { Windows1252, Utf8 };
    explicit RegFileText(Encoding encoding) : m_encoding(encoding) {}

    void appendAscii(const char *text) { m_bytes += text; }
    void appendText(const QString &text);
    // "hex:" or "hex(N):" and the bytes, broken into lines as the binary values are.
    void appendHex(const char *prefix, const QByteArray &bytes);
    // A string value as "hex(N):" of its characters in the file's encoding and a terminating 0, for
    // text that a quoted string cannot hold.
    void appendStringBytes(quint32 type, const QString &text);

    // Whether the importer, which tells the two encodings apart by the bytes alone, reads back
    // every character as it was.
    bool readsBack() const;
    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray encode(const QString &text);

    Encoding m_encoding;
    QByteArray m_bytes;
    bool m_unencodable = false;
    bool m_hexLooksUtf8 = false; // typed string bytes that would decode as UTF-8 text
};

// The block of `keyPath` (relative to the registry's root) and, depth first, of every key below
// it. A key that does not open gets its key line only. A key or value name holding a line break
// cannot be written in this format and raises OrvalisError.
void WriteKeyBlock(Registry &registry, RegFileText &file, const QString &keyPath);

// Every backslash doubled.
QString DoubleBackslashes(const QString &text);

} // namespace orvalis
