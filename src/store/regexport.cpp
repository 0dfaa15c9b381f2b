#include "store/regexport.h"

#include "core/orvaliserror.h"

#include <QDir>
#include <QSaveFile>

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

void appendHex(QByteArray &out, const QByteArray &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    out += "hex:";
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
        if (i + 1 < n) {
            out += ',';
            if (i > 0 && i % 25 == 0) {
                out += '\\';
                out += crlf;
            }
        }
    }
    out += crlf;
}

void writeAll(QIODevice &file, const QByteArray &bytes)
{
    if (file.write(bytes) != bytes.size())
        throw OrvalisError(QStringLiteral("Cannot write file %1: %2").arg(file.objectName(), file.errorString()));
}

} // namespace

QString DoubleBackslashes(const QString &text)
{
    QString out = text;
    for (qsizetype i = out.size() - 1; i >= 0; --i)
        if (out[i] == QLatin1Char('\\'))
            out.insert(i, QLatin1Char('\\'));
    return out;
}

void WriteKeyBlock(Registry &registry, QIODevice &file, const QString &keyPath)
{
    QByteArray block;
    block += crlf;
    block += '[';
    block += (Registry::RootKeyName(registry.RootKey()) + QLatin1Char('\\') + keyPath).toUtf8();
    block += ']';
    block += crlf;

    registry.CloseKey();
    registry.OpenKey(keyPath, false);
    const QStringList valueNames = registry.GetValueNames();
    const QStringList keyNames = registry.GetKeyNames();
    try {
        for (const QString &name : valueNames) {
            block += name.isEmpty() ? QByteArray("@") : quoted(name).toUtf8();
            block += '=';
            switch (registry.GetDataType(name)) {
            case TRegDataType::rdString:
            case TRegDataType::rdExpandString:
                block += quoted(registry.ReadString(name)).toUtf8();
                block += crlf;
                break;
            case TRegDataType::rdInteger:
                block += "dword:";
                block += QByteArray::number(quint32(registry.ReadInteger(name)), 16).toUpper().rightJustified(8, '0');
                block += crlf;
                break;
            case TRegDataType::rdBinary:
                appendHex(block, registry.ReadBinaryData(name));
                break;
            case TRegDataType::rdUnknown:
                block += "\"\"";
                block += crlf;
                break;
            }
        }
    } catch (...) {
        registry.CloseKey();
        writeAll(file, block); // what was read before the error stays in the file
        throw;
    }
    registry.CloseKey();
    writeAll(file, block);

    for (const QString &sub : keyNames)
        WriteKeyBlock(registry, file, keyPath + QLatin1Char('\\') + sub);
}

void ExportKeyToRegFile(HKEY root, const QString &keyPath, const QString &fileName)
{
    QString path = keyPath;
    if (path.endsWith(QLatin1Char('\\')))
        path.chop(1);

    // Written beside the target and put in its place only when complete: a failed export leaves the
    // previous file (often the only backup) as it was.
    QSaveFile file(fileName);
    file.setObjectName(QDir::toNativeSeparators(fileName));
    if (!file.open(QIODevice::WriteOnly))
        throw OrvalisError(QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(fileName)));

    writeAll(file, QByteArray("REGEDIT4") + crlf);
    Registry registry(root);
    {
        // One consistent state of the store, even while another copy of the program writes.
        Registry::Transaction snapshot(registry, false);
        WriteKeyBlock(registry, file, path);
    }
    if (!file.commit())
        throw OrvalisError(QStringLiteral("Cannot write file %1: %2")
                               .arg(QDir::toNativeSeparators(fileName), file.errorString()));
}

} // namespace orvalis
