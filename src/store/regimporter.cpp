#include "store/regimporter.h"

#include "core/orvaliserror.h"
#include "store/registry.h"
#include "store/settingskeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringList>
#include <QVector>
#include <QtEndian>

namespace orvalis {
namespace {

constexpr int maxKeyNameLength = 255;
constexpr int maxValueNameLength = 16383;
constexpr int maxKeyDepth = 512;

enum class Encoding { Utf8, Cp1252, Utf16 };

QString fromCp1252(const QByteArray &bytes)
{
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = QChar(b >= 0x80 && b < 0xA0 ? high[b - 0x80] : char16_t(b));
    }
    return text;
}

bool decodeUtf8(const QByteArray &bytes, QString &text)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    text = decoder(bytes);
    return !decoder.hasError();
}

// Bytes of a string value in a REGEDIT4 file, in the file's byte encoding.
QString decodeBytes(const QByteArray &bytes, Encoding encoding)
{
    QString text;
    if (encoding != Encoding::Cp1252 && decodeUtf8(bytes, text))
        return text;
    return fromCp1252(bytes);
}

QByteArray toUtf16Le(const QString &text)
{
    QByteArray bytes(text.size() * 2, '\0');
    qToLittleEndian<char16_t>(text.utf16(), text.size(), bytes.data());
    return bytes;
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

struct Operation {
    enum Kind { OpenKey, DeleteKey, SetValue, DeleteValue } kind;
    int line;
    QString text; // key path (absolute, below the root) or value name
    quint32 type = 0;
    QByteArray data;
};

class Parser {
public:
    Parser(const QString &sourceName, QStringList lines, bool version5, Encoding encoding)
        : m_source(sourceName), m_lines(std::move(lines)), m_version5(version5), m_encoding(encoding)
    {
    }

    QVector<Operation> run(RegImporter::Summary &summary);

private:
    enum class KeyState { None, Accepted, Skipped, Deleted };

    [[noreturn]] void fail(const QString &what) const
    {
        throw OrvalisError(QStringLiteral("%1, line %2: %3").arg(m_source).arg(m_lineNo).arg(what));
    }

    void setLine(int index)
    {
        m_index = index;
        m_lineNo = index + 1;
        m_line = m_lines[index];
        m_pos = 0;
    }
    bool atEnd() const { return m_pos >= m_line.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_line[m_pos]; }
    void skipBlanks()
    {
        while (!atEnd() && isBlank(m_line[m_pos]))
            ++m_pos;
    }
    // Only blanks and a ";" comment may follow.
    void expectEnd(const QString &what)
    {
        skipBlanks();
        if (!atEnd() && peek() != QLatin1Char(';'))
            fail(what);
    }

    void keyLine(RegImporter::Summary &summary, QVector<Operation> &ops);
    void valueLine(QVector<Operation> &ops);
    QString quotedText(const QString &missingQuote);
    QByteArray hexBytes();

    QString m_source;
    QStringList m_lines;
    bool m_version5;
    Encoding m_encoding;
    int m_index = 0;
    int m_lineNo = 0;
    QString m_line;
    qsizetype m_pos = 0;
    KeyState m_key = KeyState::None;
};

QVector<Operation> Parser::run(RegImporter::Summary &summary)
{
    QVector<Operation> ops;
    for (int i = 1; i < m_lines.size(); ++i) {
        setLine(i);
        if (m_line.contains(QChar(0)))
            fail(QStringLiteral("the line holds a NUL character"));
        skipBlanks();
        if (atEnd() || peek() == QLatin1Char(';') || peek() == QLatin1Char('#'))
            continue;
        if (peek() == QLatin1Char('['))
            keyLine(summary, ops);
        else if (peek() == QLatin1Char('@') || peek() == QLatin1Char('"'))
            valueLine(ops);
        else
            fail(QStringLiteral("this is neither a key line, a value line nor a comment"));
        i = m_index; // a hex value may have taken continuation lines
    }
    return ops;
}

void Parser::keyLine(RegImporter::Summary &summary, QVector<Operation> &ops)
{
    const qsizetype open = m_pos;
    const qsizetype close = m_line.lastIndexOf(QLatin1Char(']'));
    if (close < open)
        fail(QStringLiteral("the key line has no closing \"]\""));
    QString inner = m_line.mid(open + 1, close - open - 1);
    m_pos = close + 1;
    expectEnd(QStringLiteral("only a comment may follow the closing \"]\" of a key line"));

    const bool deletion = inner.startsWith(QLatin1Char('-'));
    if (deletion)
        inner.remove(0, 1);
    if (inner.isEmpty())
        fail(QStringLiteral("the key line names no key"));
    if (isBlank(inner[0]))
        fail(QStringLiteral("a key path may not start with a blank"));

    QStringList parts = inner.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        fail(QStringLiteral("the key line names no key"));
    static const char *const roots[] = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                        "HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
    const QString root = parts.takeFirst();
    bool known = false;
    for (const char *name : roots)
        known = known || root.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    if (!known)
        fail(QStringLiteral("\"%1\" is not a registry root key").arg(root));
    for (const QString &part : parts)
        if (part.size() > maxKeyNameLength)
            fail(QStringLiteral("a key name is longer than %1 characters").arg(maxKeyNameLength));
    if (parts.size() > maxKeyDepth)
        fail(QStringLiteral("the key lies more than %1 levels deep").arg(maxKeyDepth));

    static const QString accepted[] = {QStringLiteral("software"), QStringLiteral("vantrel"),
                                       QStringLiteral("orvalis")};
    bool inside = root.compare(QLatin1String("HKEY_CURRENT_USER"), Qt::CaseInsensitive) == 0 && parts.size() >= 3;
    for (int k = 0; inside && k < 3; ++k)
        inside = parts[k].toCaseFolded() == accepted[k];
    if (!inside) {
        ++summary.skippedKeys;
        m_key = KeyState::Skipped;
        return;
    }
    Operation op{deletion ? Operation::DeleteKey : Operation::OpenKey, m_lineNo,
                 QLatin1Char('\\') + parts.join(QLatin1Char('\\')), 0, {}};
    ops.push_back(std::move(op));
    m_key = deletion ? KeyState::Deleted : KeyState::Accepted;
}

QString Parser::quotedText(const QString &missingQuote)
{
    ++m_pos; // the opening quote
    QString text;
    while (true) {
        if (atEnd())
            fail(missingQuote);
        const QChar c = m_line[m_pos++];
        if (c == QLatin1Char('"'))
            return text;
        if (c != QLatin1Char('\\')) {
            text += c;
            continue;
        }
        if (atEnd())
            fail(missingQuote);
        const QChar next = m_line[m_pos++];
        if (next == QLatin1Char('\\') || next == QLatin1Char('"'))
            text += next;
        else if (next == QLatin1Char('0'))
            fail(QStringLiteral("\"\\0\" is not allowed in a quoted text"));
        else {
            text += c; // any other backslash stands for itself
            text += next;
        }
    }
}

QByteArray Parser::hexBytes()
{
    QByteArray bytes;
    skipBlanks();
    if (atEnd() || peek() == QLatin1Char(';'))
        return bytes; // an empty value
    while (true) {
        int digits = 0;
        int value = 0;
        while (!atEnd() && hexDigit(peek()) >= 0) {
            value = (value << 4) | hexDigit(peek());
            ++m_pos;
            if (++digits > 2)
                fail(QStringLiteral("a byte of more than two hexadecimal digits"));
        }
        if (digits == 0)
            fail(QStringLiteral("a byte of hexadecimal digits is expected here"));
        bytes += char(value);
        skipBlanks();
        if (atEnd() || peek() == QLatin1Char(';'))
            return bytes;
        if (peek() != QLatin1Char(','))
            fail(QStringLiteral("bytes must be separated by \",\""));
        ++m_pos;
        skipBlanks();
        if (peek() == QLatin1Char('\\')) {
            ++m_pos;
            expectEnd(QStringLiteral("only a comment may follow the \"\\\" that continues a hex value"));
            // The next line that is neither blank nor a comment carries on.
            int next = m_index + 1;
            for (; next < m_lines.size(); ++next) {
                const QString trimmed = m_lines[next].trimmed();
                if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1Char(';')))
                    break;
            }
            if (next >= m_lines.size())
                fail(QStringLiteral("the file ends inside a hex value"));
            setLine(next);
            if (m_line.contains(QChar(0)))
                fail(QStringLiteral("the line holds a NUL character"));
            skipBlanks();
            if (hexDigit(peek()) < 0)
                fail(QStringLiteral("a continued hex value must go on with a hexadecimal digit"));
            continue;
        }
        if (atEnd() || peek() == QLatin1Char(';'))
            fail(QStringLiteral("a byte is missing after the last \",\""));
    }
}

void Parser::valueLine(QVector<Operation> &ops)
{
    const int line = m_lineNo;
    QString name;
    if (peek() == QLatin1Char('@'))
        ++m_pos;
    else
        name = quotedText(QStringLiteral("the value name has no closing quote"));
    if (name.size() > maxValueNameLength)
        fail(QStringLiteral("a value name is longer than %1 characters").arg(maxValueNameLength));
    skipBlanks();
    if (peek() != QLatin1Char('='))
        fail(QStringLiteral("\"=\" is expected after the value name"));
    ++m_pos;
    skipBlanks();
    if (m_key == KeyState::None)
        fail(QStringLiteral("a value line comes before the first key line"));
    if (m_key == KeyState::Deleted)
        fail(QStringLiteral("a value line follows a key deletion line"));

    Operation op{Operation::SetValue, line, name, 0, {}};
    const QString rest = m_line.mid(m_pos);
    if (peek() == QLatin1Char('"')) {
        const QString text = quotedText(QStringLiteral("the string has no closing quote"));
        expectEnd(QStringLiteral("only a comment may follow the closing quote"));
        op.type = REG_SZ;
        op.data = toUtf16Le(text + QChar(0));
    } else if (peek() == QLatin1Char('-')) {
        ++m_pos;
        expectEnd(QStringLiteral("only a comment may follow \"-\""));
        op.kind = Operation::DeleteValue;
    } else if (rest.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
        m_pos += 6;
        quint32 value = 0;
        int digits = 0;
        while (!atEnd() && hexDigit(peek()) >= 0) {
            value = (value << 4) | quint32(hexDigit(peek()));
            ++m_pos;
            ++digits;
        }
        if (digits < 1 || digits > 8)
            fail(QStringLiteral("\"dword:\" needs 1 to 8 hexadecimal digits"));
        expectEnd(QStringLiteral("\"dword:\" needs 1 to 8 hexadecimal digits"));
        op.type = REG_DWORD;
        op.data = QByteArray(4, '\0');
        qToLittleEndian<quint32>(value, op.data.data());
    } else if (rest.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
        m_pos += 3;
        op.type = REG_BINARY;
        if (peek() == QLatin1Char('(')) {
            ++m_pos;
            quint32 type = 0;
            int digits = 0;
            while (!atEnd() && hexDigit(peek()) >= 0) {
                type = (type << 4) | quint32(hexDigit(peek()));
                ++m_pos;
                ++digits;
            }
            if (digits < 1 || digits > 8 || peek() != QLatin1Char(')'))
                fail(QStringLiteral("\"hex(\" needs a type number of 1 to 8 hexadecimal digits and \")\""));
            ++m_pos;
            op.type = type;
        }
        if (peek() != QLatin1Char(':'))
            fail(QStringLiteral("\":\" is expected after \"hex\""));
        ++m_pos;
        op.data = hexBytes();
        const bool text = op.type == REG_SZ || op.type == REG_EXPAND_SZ || op.type == REG_MULTI_SZ;
        if (text && !m_version5) // the store keeps every text as UTF-16LE
            op.data = toUtf16Le(decodeBytes(op.data, m_encoding));
    } else {
        fail(QStringLiteral("the value data is neither a quoted string, \"-\", \"dword:\" nor \"hex:\""));
    }
    if (m_key == KeyState::Accepted)
        ops.push_back(std::move(op));
}

QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines << text.mid(start);
    return lines;
}

} // namespace

QString RegImporter::acceptedKey()
{
    return settingsKeyFullName();
}

RegImporter::Summary RegImporter::importFile(const QString &fileName)
{
    const QString shown = QDir::toNativeSeparators(fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw OrvalisError(QStringLiteral("Cannot open file %1: %2").arg(shown, file.errorString()));
    if (file.size() > maxFileSize)
        throw OrvalisError(QStringLiteral("%1 is larger than 16 MiB and was not imported").arg(shown));
    const QByteArray data = file.read(maxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw OrvalisError(QStringLiteral("Cannot read file %1: %2").arg(shown, file.errorString()));
    return importData(data, shown);
}

RegImporter::Summary RegImporter::importData(const QByteArray &data, const QString &sourceName)
{
    if (data.size() > maxFileSize)
        throw OrvalisError(QStringLiteral("%1 is larger than 16 MiB and was not imported").arg(sourceName));

    QString text;
    Encoding encoding = Encoding::Utf8;
    const auto invalidText = [&](const char *what) {
        return OrvalisError(QStringLiteral("%1: %2").arg(sourceName, QLatin1String(what)));
    };
    if (data.startsWith("\xFF\xFE")) {
        encoding = Encoding::Utf16;
        QStringDecoder decoder(QStringConverter::Utf16LE, QStringConverter::Flag::ConvertInitialBom);
        text = decoder(QByteArrayView(data).sliced(2));
        if (decoder.hasError() || data.size() % 2 != 0)
            throw invalidText("the file is not valid UTF-16 text");
    } else if (data.startsWith("\xEF\xBB\xBF")) {
        if (!decodeUtf8(data.mid(3), text))
            throw invalidText("the file is not valid UTF-8 text");
    } else if (!decodeUtf8(data, text)) {
        encoding = Encoding::Cp1252;
        text = fromCp1252(data);
    }

    const QStringList lines = splitLines(text);
    const QString header = lines.isEmpty() ? QString() : lines.first();
    qsizetype lead = 0;
    while (lead < header.size() && isBlank(header[lead]))
        ++lead;
    const QString first = header.mid(lead);
    const bool version5 = first == QLatin1String("Windows Registry Editor Version 5.00");
    if (!version5 && first != QLatin1String("REGEDIT4"))
        throw OrvalisError(QStringLiteral("%1, line 1: not a registry file (the first line must be "
                                          "\"REGEDIT4\" or \"Windows Registry Editor Version 5.00\")")
                               .arg(sourceName));

    Summary summary;
    Parser parser(sourceName, lines, version5, encoding);
    const QVector<Operation> ops = parser.run(summary);
    if (ops.isEmpty())
        return summary; // nothing to write; a store need not be created for it

    Registry registry;
    Registry::Transaction transaction(registry, true);
    for (const Operation &op : ops) {
        switch (op.kind) {
        case Operation::OpenKey:
            if (!registry.OpenKey(op.text, true))
                throw OrvalisError(QStringLiteral("%1, line %2: the key cannot be created in the settings store")
                                       .arg(sourceName).arg(op.line));
            ++summary.keys;
            break;
        case Operation::DeleteKey:
            registry.CloseKey();
            registry.DeleteKey(op.text);
            ++summary.deletedKeys;
            break;
        case Operation::SetValue:
            registry.PutData(op.text, op.data, op.type);
            ++summary.values;
            break;
        case Operation::DeleteValue:
            registry.DeleteValue(op.text);
            ++summary.deletedValues;
            break;
        }
    }
    transaction.commit();
    return summary;
}

} // namespace orvalis
