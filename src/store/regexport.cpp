#include "store/regexport.h"

#include "core/orvaliserror.h"
#include "core/regularfile.h"
#include "store/codepage1252.h"

#include <QByteArrayView>
#include <QDir>

#include <algorithm>

namespace orvalis {
namespace {

const char crlf[] = "\r\n";

// Backslashes doubled, and a quote written as \" so that the closing quote stays the only bare
// one: a name or text holding a quote still reads back whole.
QString quoted(const QString &text)
{
    QString out = DoubleBackslashes(text);
    out.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

bool hasLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

// A line break ends the line in a quoted string, and the other control characters do not survive
// every editor; a tab does.
bool quotedCannotHold(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.category() == QChar::Other_Control && c != QLatin1Char('\t'); });
}

void refuseLineBreak(const QString &name, const char *what)
{
    if (hasLineBreak(name))
        throw OrvalisError(
            QStringLiteral("The %1 name '%2' holds a line break and cannot be written to a registry file")
                .arg(QLatin1String(what), name));
}

void writeValue(Registry &registry, RegFileText &out, const QString &name)
{
    refuseLineBreak(name, "value");
    if (name.isEmpty())
        out.appendAscii("@");
    else
        out.appendText(quoted(name));
    out.appendAscii("=");
    const TRegDataType type = registry.GetDataType(name);
    switch (type) {
    case TRegDataType::rdString:
    case TRegDataType::rdExpandString: {
        const QString text = registry.ReadString(name);
        if (quotedCannotHold(text)) {
            out.appendStringBytes(type == TRegDataType::rdExpandString ? REG_EXPAND_SZ : REG_SZ, text);
            return;
        }
        out.appendText(quoted(text));
        break;
    }
    case TRegDataType::rdInteger:
        out.appendAscii("dword:");
        out.appendAscii(
            QByteArray::number(quint32(registry.ReadInteger(name)), 16).toUpper().rightJustified(8, '0').constData());
        break;
    case TRegDataType::rdBinary: out.appendHex("hex:", registry.ReadBinaryData(name)); return;
    case TRegDataType::rdUnknown: out.appendAscii("\"\""); break;
    }
    out.appendAscii(crlf);
}

QByteArray exportText(Registry &registry, const QString &keyPath, RegFileText::Encoding encoding)
{
    RegFileText text(encoding);
    text.appendAscii("REGEDIT4");
    text.appendAscii(crlf);
    WriteKeyBlock(registry, text, keyPath);
    return text.readsBack() ? text.bytes() : QByteArray();
}

} // namespace

QByteArray RegFileText::encode(const QString &text)
{
    if (m_encoding == Encoding::Utf8)
        return text.toUtf8();
    QByteArray bytes;
    if (!appendWindows1252(text, bytes))
        m_unencodable = true;
    return bytes;
}

void RegFileText::appendText(const QString &text)
{
    m_bytes += encode(text);
}

void RegFileText::appendHex(const char *prefix, const QByteArray &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    m_bytes += prefix;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        m_bytes += digits[b >> 4];
        m_bytes += digits[b & 15];
        if (i + 1 < n) {
            m_bytes += ',';
            if (i > 0 && i % 25 == 0) {
                m_bytes += '\\';
                m_bytes += crlf;
            }
        }
    }
    m_bytes += crlf;
}

void RegFileText::appendStringBytes(quint32 type, const QString &text)
{
    QByteArray bytes = encode(text);
    const QByteArrayView view(bytes);
    if (view.isValidUtf8() && std::any_of(view.begin(), view.end(), [](char c) { return c & 0x80; }))
        m_hexLooksUtf8 = true;
    bytes += '\0';
    appendHex(QByteArray("hex(" + QByteArray::number(type, 16) + "):").constData(), bytes);
}

bool RegFileText::readsBack() const
{
    if (m_encoding == Encoding::Utf8)
        return true;
    if (m_unencodable)
        return false;
    // Text bytes that are valid UTF-8 make the importer read the file as UTF-8: right only when
    // they are all ASCII, and then the typed string bytes are tried as UTF-8 first as well.
    const QByteArrayView view(m_bytes);
    if (!view.isValidUtf8())
        return true;
    const bool ascii = std::none_of(view.begin(), view.end(), [](char c) { return c & 0x80; });
    return ascii && !m_hexLooksUtf8;
}

QString DoubleBackslashes(const QString &text)
{
    QString out = text;
    for (qsizetype i = out.size() - 1; i >= 0; --i)
        if (out[i] == QLatin1Char('\\'))
            out.insert(i, QLatin1Char('\\'));
    return out;
}

namespace {

// `path` grows and shrinks in place: a deep tree does not keep a copy of every level's path.
void writeTree(Registry &registry, RegFileText &file, QString &path)
{
    const QString keyName = path.mid(path.lastIndexOf(QLatin1Char('\\')) + 1);
    refuseLineBreak(keyName, "key");
    file.appendAscii(crlf);
    file.appendAscii("[");
    file.appendText(Registry::RootKeyName(registry.RootKey()) + QLatin1Char('\\') + path);
    file.appendAscii("]");
    file.appendAscii(crlf);

    registry.CloseKey();
    registry.OpenKey(path, false);
    const QStringList valueNames = registry.GetValueNames();
    const QStringList keyNames = registry.GetKeyNames();
    try {
        for (const QString &name : valueNames)
            writeValue(registry, file, name);
    } catch (...) {
        registry.CloseKey();
        throw;
    }
    registry.CloseKey();

    const qsizetype length = path.size();
    for (const QString &sub : keyNames) {
        path += QLatin1Char('\\');
        path += sub;
        writeTree(registry, file, path);
        path.truncate(length);
    }
}

} // namespace

void WriteKeyBlock(Registry &registry, RegFileText &file, const QString &keyPath)
{
    QString path = keyPath;
    writeTree(registry, file, path);
}

void ExportKeyToRegFile(HKEY root, const QString &keyPath, const QString &fileName)
{
    QString path = keyPath;
    if (path.endsWith(QLatin1Char('\\')))
        path.chop(1);

    // Written beside the target and put in its place only when complete: a failed export leaves the
    // previous file (often the only backup) as it was.
    checkSaveTarget(fileName);
    Registry registry(root);
    QByteArray bytes;
    {
        // One consistent state of the store, even while another copy of the program writes.
        Registry::Transaction snapshot(registry, false);
        // The other platform's editor reads a REGEDIT4 file in its single-byte code page, so the
        // file is written in Windows-1252 whenever that holds every character. Otherwise, or when
        // those bytes would pass for UTF-8 and our own importer would read them as such, it is
        // written as UTF-8 (the importer reads both; that editor then garbles the characters).
        bytes = exportText(registry, path, RegFileText::Encoding::Windows1252);
        if (bytes.isNull())
            bytes = exportText(registry, path, RegFileText::Encoding::Utf8);
    }
    saveWholeFile(fileName, bytes);
}

} // namespace orvalis
