#include "store/regimporter.h"

#include "core/instrumentload.h"
#include "core/orvaliserror.h"
#include "core/regularfile.h"
#include "store/codepage1252.h"
#include "store/registry.h"
#include "store/scopelibrary.h"
#include "store/settingskeys.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringList>
#include <QtEndian>

namespace orvalis {
namespace {

constexpr int maxKeyNameLength = 255;
constexpr int maxValueNameLength = 16383;
constexpr int maxKeyDepth = 512;

enum class Encoding { Utf8, Cp1252, Utf16 };

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
    return fromWindows1252(bytes);
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

// The grammar follows what the other platform's registry editor accepts, so that files made there
// import here and ours import there. Facts beyond the obvious, checked against that editor:
// - "dword:" and "hex"/"hex(N):" are value types in lower case only; "DWORD:" or "HEX:" make the
//   line invalid (the hex digits themselves may be of either case);
// - "hex:01,02," (a trailing comma, blanks or a comment may follow) is the two bytes 01,02;
// - "hex(4):" of other than four bytes is stored as four little-endian bytes, padded or cut;
// - that editor skips an invalid line and goes on; here a file with one is refused as a whole.
struct Operation {
    enum Kind { OpenKey, DeleteKey, SetValue, DeleteValue } kind;
    int line;
    QString text; // key path (absolute, below the root) or value name
    quint32 type = 0;
    QByteArray data;
};

// A piece of the file at a time: the file itself is never in memory whole, only the line at hand.
constexpr qint64 pieceBytes = 64 * 1024;

// Appends the next piece of `device` to `into`; false at the end of the file.
bool readPiece(QIODevice &device, QByteArray &into, const QString &source)
{
    const qsizetype had = into.size();
    into.resize(had + pieceBytes);
    const qint64 got = device.read(into.data() + had, pieceBytes);
    if (got < 0)
        throw OrvalisError(QStringLiteral("Cannot read file %1: %2").arg(source, device.errorString()));
    into.resize(had + got);
    // A file that grows while it is read must not slip past the limit.
    if (device.pos() > RegImporter::maxFileSize)
        throw OrvalisError(
            QStringLiteral("%1 is larger than %2 and was not imported").arg(source, RegImporter::sizeLimitText()));
    return got > 0;
}

// Whether the bytes from the device's position on are UTF-8 text throughout.
bool isUtf8(QIODevice &device, const QString &source)
{
    QStringDecoder decoder(QStringConverter::Utf8);
    QByteArray piece;
    while (readPiece(device, piece, source)) {
        (void)QString(decoder(piece));
        if (decoder.hasError())
            return false;
        piece.clear();
    }
    // A character cut off at the end of the file shows only when something follows it.
    (void)QString(decoder(QByteArrayView("\n")));
    return !decoder.hasError();
}

bool hasUnpairedSurrogate(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return true;
    }
    return false;
}

// The lines of a registry file one at a time, each decoded as it is read: neither the file nor its
// lines ever exist as a whole in memory, only the line at hand. Line ends are CRLF, LF or a lone CR.
class LineReader {
public:
    LineReader(QIODevice &device, Encoding encoding, const QString &source)
        : m_device(device), m_encoding(encoding), m_unit(encoding == Encoding::Utf16 ? 2 : 1), m_source(source)
    {
    }

    // False at the end of the file.
    bool next()
    {
        m_line.clear();
        if (m_skipLf) { // the CR that ended the last line was the last character of a piece
            if (!available(true))
                return false;
            if (unitAt(m_pos) == u'\n')
                m_pos += m_unit;
            m_skipLf = false;
        }
        if (!available(true))
            return false;
        ++m_number;
        QStringDecoder decoder(m_encoding == Encoding::Utf16 ? QStringConverter::Utf16LE : QStringConverter::Utf8,
                               QStringConverter::Flag::ConvertInitialBom);
        while (true) {
            qsizetype end = m_pos;
            while (end < m_end && !isLineEnd(end))
                end += m_unit;
            const QByteArrayView bytes = QByteArrayView(m_piece).sliced(m_pos, end - m_pos);
            if (m_encoding == Encoding::Cp1252)
                m_line += fromWindows1252(bytes);
            else
                m_line += decoder(bytes);
            if (end < m_end) {
                const bool cr = unitAt(end) == u'\r';
                m_pos = end + m_unit;
                if (cr && m_pos < m_end && unitAt(m_pos) == u'\n')
                    m_pos += m_unit;
                else if (cr && m_pos == m_end)
                    m_skipLf = true;
                break;
            }
            m_pos = end;
            if (!available(false))
                break; // the last line has no line end
        }
        if (decoder.hasError())
            fail(m_encoding == Encoding::Utf16 ? QStringLiteral("the line is not valid UTF-16 text")
                                               : QStringLiteral("the line is not valid UTF-8 text"));
        // The UTF-16 decoder lets half a surrogate pair through; stored, it would make a name that
        // reads back as another one and a key that could never be opened or deleted again.
        if (m_encoding == Encoding::Utf16 && hasUnpairedSurrogate(m_line))
            fail(QStringLiteral("the line is not valid UTF-16 text (it holds half of a surrogate pair)"));
        return true;
    }
    // The parser may rewrite the line in place, up to where it has read.
    QString &line() { return m_line; }
    const QString &line() const { return m_line; }
    int number() const { return m_number; }
    [[noreturn]] void fail(const QString &what) const
    {
        throw OrvalisError(QStringLiteral("%1, line %2: %3").arg(m_source).arg(m_number).arg(what));
    }

private:
    // Whether bytes are left at m_pos, reading the next piece when this one is used up. Before a
    // line has begun, a half character left at the end of the file is that next line's fault.
    bool available(bool beforeLine)
    {
        if (m_pos < m_end)
            return true;
        m_piece.remove(0, m_end); // what is left is at most the first byte of a UTF-16 unit
        m_pos = 0;
        const bool more = readPiece(m_device, m_piece, m_source);
        m_end = m_piece.size() - m_piece.size() % m_unit;
        if (!more && !m_piece.isEmpty()) {
            if (beforeLine)
                ++m_number;
            fail(QStringLiteral("the file ends in the middle of a UTF-16 character"));
        }
        if (m_end == 0 && more)
            return available(beforeLine); // a piece of a single byte
        return m_end > 0;
    }
    char16_t unitAt(qsizetype i) const
    {
        const auto low = static_cast<unsigned char>(m_piece[i]);
        return m_encoding == Encoding::Utf16 ? char16_t(low | static_cast<unsigned char>(m_piece[i + 1]) << 8) : low;
    }
    bool isLineEnd(qsizetype i) const
    {
        const char16_t u = unitAt(i);
        return u == u'\r' || u == u'\n';
    }

    QIODevice &m_device;
    Encoding m_encoding;
    int m_unit; // bytes per code unit
    const QString &m_source;
    QByteArray m_piece;  // the piece of the file being read
    qsizetype m_pos = 0; // next byte of m_piece to read
    qsizetype m_end = 0; // end of the whole code units in m_piece
    bool m_skipLf = false;
    int m_number = 0;
    QString m_line;
};

// Where the operations of a file go as they are read: nowhere while the whole file is checked, then
// into the store.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void apply(const Operation &op) = 0;
};

class Parser {
public:
    Parser(LineReader &reader, bool version5, Encoding encoding, Sink *sink)
        : m_reader(reader), m_version5(version5), m_encoding(encoding), m_sink(sink)
    {
    }

    // Reads every line after the header; returns how many operations there were.
    qint64 run(RegImporter::Summary &summary);

private:
    enum class KeyState { None, Accepted, Skipped, Deleted };

    [[noreturn]] void fail(const QString &what) const { m_reader.fail(what); }

    // False at the end of the file.
    bool nextLine()
    {
        if (!m_reader.next())
            return false;
        m_pos = 0;
        if (line().contains(QChar(0)))
            fail(QStringLiteral("the line holds a NUL character"));
        return true;
    }
    const QString &line() const { return m_reader.line(); }
    bool atEnd() const { return m_pos >= line().size(); }
    QChar peek() const { return atEnd() ? QChar() : line()[m_pos]; }
    void skipBlanks()
    {
        while (!atEnd() && isBlank(line()[m_pos]))
            ++m_pos;
    }
    // Only blanks and a ";" comment may follow.
    void expectEnd(const QString &what)
    {
        skipBlanks();
        if (!atEnd() && peek() != QLatin1Char(';'))
            fail(what);
    }
    void produce(Operation &&op)
    {
        ++m_operations;
        if (m_sink)
            m_sink->apply(op);
    }

    void keyLine(RegImporter::Summary &summary);
    void valueLine();
    void checkLibraryValue(const QString &name, QStringView text) const;
    QStringView quotedText(const QString &missingQuote);
    QByteArray storedString(QStringView text);
    QByteArray hexBytes();

    LineReader &m_reader;
    bool m_version5;
    Encoding m_encoding;
    Sink *m_sink;
    qsizetype m_pos = 0;
    KeyState m_key = KeyState::None;
    bool m_libraryModel = false; // the key is one model of the microscope library
    qint64 m_operations = 0;
};

qint64 Parser::run(RegImporter::Summary &summary)
{
    while (nextLine()) {
        skipBlanks();
        if (atEnd() || peek() == QLatin1Char(';') || peek() == QLatin1Char('#'))
            continue;
        if (peek() == QLatin1Char('['))
            keyLine(summary);
        else if (peek() == QLatin1Char('@') || peek() == QLatin1Char('"'))
            valueLine();
        else
            fail(QStringLiteral("this is neither a key line, a value line nor a comment"));
    }
    return m_operations;
}

void Parser::keyLine(RegImporter::Summary &summary)
{
    const qsizetype open = m_pos;
    const qsizetype close = line().lastIndexOf(QLatin1Char(']'));
    if (close < open)
        fail(QStringLiteral("the key line has no closing \"]\""));
    QStringView inner = QStringView(line()).mid(open + 1, close - open - 1);
    m_pos = close + 1;
    expectEnd(QStringLiteral("only a comment may follow the closing \"]\" of a key line"));

    const bool deletion = inner.startsWith(QLatin1Char('-'));
    if (deletion)
        inner = inner.mid(1);
    if (inner.isEmpty())
        fail(QStringLiteral("the key line names no key"));
    if (isBlank(inner[0]))
        fail(QStringLiteral("a key path may not start with a blank"));

    // Taken apart name by name: a line of millions of names fails at the first one too many
    // without holding them all.
    static const char *const roots[] = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",  "HKEY_USERS",
                                        "HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
    QString root;
    QStringList parts;
    for (const QStringView part : inner.tokenize(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        if (root.isEmpty()) {
            root = part.toString();
            bool known = false;
            for (const char *name : roots)
                known = known || root.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
            if (!known)
                fail(QStringLiteral("\"%1\" is not a registry root key").arg(inputExcerpt(root)));
            continue;
        }
        if (part.size() > maxKeyNameLength)
            fail(QStringLiteral("a key name is longer than %1 characters").arg(maxKeyNameLength));
        if (parts.size() == maxKeyDepth)
            fail(QStringLiteral("the key lies more than %1 levels deep").arg(maxKeyDepth));
        parts << part.toString();
    }
    if (root.isEmpty())
        fail(QStringLiteral("the key line names no key"));

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
    m_libraryModel = parts.size() == 6 && parts[3].compare(DefaultScopesKeyName, Qt::CaseInsensitive) == 0;
    produce(Operation{deletion ? Operation::DeleteKey : Operation::OpenKey,
                      m_reader.number(),
                      QLatin1Char('\\') + parts.join(QLatin1Char('\\')),
                      0,
                      {}});
    m_key = deletion ? KeyState::Deleted : KeyState::Accepted;
}

// The text between the quotes, its escapes resolved in place: the result lies in the line itself,
// where the quoted text stood, so a text as long as the file is never copied.
QStringView Parser::quotedText(const QString &missingQuote)
{
    ++m_pos; // the opening quote
    QChar *text = m_reader.line().data();
    const qsizetype start = m_pos;
    qsizetype written = start; // never beyond what has been read
    while (true) {
        if (atEnd())
            fail(missingQuote);
        const QChar c = text[m_pos++];
        if (c == QLatin1Char('"'))
            return QStringView(text + start, written - start);
        if (c != QLatin1Char('\\')) {
            text[written++] = c;
            continue;
        }
        if (atEnd())
            fail(missingQuote);
        const QChar next = text[m_pos++];
        if (next == QLatin1Char('\\') || next == QLatin1Char('"'))
            text[written++] = next;
        else if (next == QLatin1Char('0'))
            fail(QStringLiteral("\"\\0\" is not allowed in a quoted text"));
        else {
            text[written++] = c; // any other backslash stands for itself
            text[written++] = next;
        }
    }
}

// The stored form of a string value, UTF-16LE with a terminating 0. On a little-endian machine
// that is the line's own memory once the 0 is put after the text (where its closing quote was):
// the value is handed to the store without a copy, valid until the next line is read.
QByteArray Parser::storedString(QStringView text)
{
    if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
        QChar *line = m_reader.line().data();
        line[text.data() - line + text.size()] = QChar(0);
        return QByteArray::fromRawData(reinterpret_cast<const char *>(text.utf16()), (text.size() + 1) * 2);
    }
    return toUtf16Le(text.toString() + QChar(0));
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
            do {
                if (!nextLine())
                    fail(QStringLiteral("the file ends inside a hex value"));
                skipBlanks();
            } while (atEnd() || peek() == QLatin1Char(';'));
            if (hexDigit(peek()) < 0)
                fail(QStringLiteral("a continued hex value must go on with a hexadecimal digit"));
            continue;
        }
        if (atEnd() || peek() == QLatin1Char(';'))
            return bytes; // a trailing comma, as the other platform's editor allows
    }
}

void Parser::valueLine()
{
    const int lineNo = m_reader.number();
    QString name;
    if (peek() == QLatin1Char('@')) {
        ++m_pos;
    } else {
        const QStringView quoted = quotedText(QStringLiteral("the value name has no closing quote"));
        if (quoted.size() > maxValueNameLength)
            fail(QStringLiteral("a value name is longer than %1 characters").arg(maxValueNameLength));
        name = quoted.toString();
    }
    skipBlanks();
    if (peek() != QLatin1Char('='))
        fail(QStringLiteral("\"=\" is expected after the value name"));
    ++m_pos;
    skipBlanks();
    if (m_key == KeyState::None)
        fail(QStringLiteral("a value line comes before the first key line"));
    if (m_key == KeyState::Deleted)
        fail(QStringLiteral("a value line follows a key deletion line"));

    Operation op{Operation::SetValue, lineNo, name, 0, {}};
    const QStringView rest = QStringView(line()).mid(m_pos);
    if (peek() == QLatin1Char('"')) {
        const QStringView text = quotedText(QStringLiteral("the string has no closing quote"));
        expectEnd(QStringLiteral("only a comment may follow the closing quote"));
        if (m_key == KeyState::Accepted && m_libraryModel)
            checkLibraryValue(name, text);
        op.type = REG_SZ;
        op.data = storedString(text);
    } else if (peek() == QLatin1Char('-')) {
        ++m_pos;
        expectEnd(QStringLiteral("only a comment may follow \"-\""));
        op.kind = Operation::DeleteValue;
    } else if (rest.startsWith(QLatin1String("dword:"))) {
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
    } else if (rest.startsWith(QLatin1String("hex"))) {
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
        if (op.type == REG_DWORD) // as the other platform's editor: padded or cut to four little-endian bytes
            op.data = op.data.leftJustified(4, '\0', true);
        const bool text = op.type == REG_SZ || op.type == REG_EXPAND_SZ || op.type == REG_MULTI_SZ;
        if (text && !m_version5) {   // the store keeps every text as UTF-16LE
            m_reader.line().clear(); // read to its end; the memory goes to the converted text
            op.data = toUtf16Le(decodeBytes(op.data, m_encoding));
        }
    } else {
        fail(QStringLiteral("the value data is neither a quoted string, \"-\", \"dword:\" nor \"hex:\""));
    }
    if (m_key == KeyState::Accepted)
        produce(std::move(op));
}

// A microscope's value the program could not load would fail only when the microscope is chosen.
void Parser::checkLibraryValue(const QString &name, QStringView text) const
{
    if (name.compare(c5ValueName(), Qt::CaseInsensitive) == 0) {
        try {
            c5FromText(text.toString());
        } catch (const OrvalisError &e) {
            fail(e.text());
        }
        return;
    }
    for (ScopeValue v : AllScopeValues) {
        if (name.compare(ScopeValueName(v), Qt::CaseInsensitive) != 0)
            continue;
        const QString value = text.toString();
        QString rule;
        try {
            rule = scopeValueRule(v, scopeValueFromText(v, value));
        } catch (const OrvalisError &e) {
            fail(e.text());
        }
        if (!rule.isEmpty())
            fail(QStringLiteral("%1: '%2' cannot be used; %3").arg(scopeValueLabel(v), inputExcerpt(value), rule));
    }
}

class StoreWriter : public Sink {
public:
    StoreWriter(const QString &source, RegImporter::Summary &summary)
        : m_source(source), m_summary(summary), m_transaction(m_registry, true)
    {
    }
    void apply(const Operation &op) override
    {
        switch (op.kind) {
        case Operation::OpenKey:
            if (!m_registry.OpenKey(op.text, true))
                throw OrvalisError(QStringLiteral("%1, line %2: the key cannot be created in the settings store")
                                       .arg(m_source)
                                       .arg(op.line));
            ++m_summary.keys;
            break;
        case Operation::DeleteKey:
            m_registry.CloseKey();
            m_registry.DeleteKey(op.text);
            ++m_summary.deletedKeys;
            break;
        case Operation::SetValue:
            m_registry.PutData(op.text, op.data, op.type);
            ++m_summary.values;
            break;
        case Operation::DeleteValue:
            m_registry.DeleteValue(op.text);
            ++m_summary.deletedValues;
            break;
        }
    }
    void commit() { m_transaction.commit(); }

private:
    const QString &m_source;
    RegImporter::Summary &m_summary;
    Registry m_registry;
    Registry::Transaction m_transaction;
};

RegImporter::Summary importFrom(QIODevice &device, const QString &source)
{
    const QByteArray head = device.peek(3);
    Encoding encoding = Encoding::Utf8;
    qint64 start = 0;
    if (head.startsWith("\xFF\xFE")) {
        encoding = Encoding::Utf16;
        start = 2;
    } else if (head.startsWith("\xEF\xBB\xBF")) {
        start = 3;
    } else if (!isUtf8(device, source)) {
        encoding = Encoding::Cp1252;
    }

    // Read twice: once to find any invalid line before the store is touched, once to write.
    const auto parse = [&](Sink *sink, RegImporter::Summary &summary) {
        if (!device.seek(start))
            throw OrvalisError(QStringLiteral("Cannot read file %1: %2").arg(source, device.errorString()));
        LineReader reader(device, encoding, source);
        QStringView first = reader.next() ? QStringView(reader.line()) : QStringView();
        while (!first.isEmpty() && isBlank(first.front()))
            first = first.mid(1);
        const bool version5 = first == QLatin1String("Windows Registry Editor Version 5.00");
        if (!version5 && first != QLatin1String("REGEDIT4"))
            throw OrvalisError(QStringLiteral("%1, line 1: not a registry file (the first line must be "
                                              "\"REGEDIT4\" or \"Windows Registry Editor Version 5.00\")")
                                   .arg(source));
        Parser parser(reader, version5, encoding, sink);
        return parser.run(summary);
    };
    RegImporter::Summary checkedSummary;
    if (parse(nullptr, checkedSummary) == 0) {
        // A file of nothing but foreign keys is most likely the wrong file: saying nothing would
        // pass it off as imported.
        const int skipped = checkedSummary.skippedKeys;
        if (skipped > 0)
            throw OrvalisError(QStringLiteral("Nothing was imported from %1: it holds no key under %2, %3.")
                                   .arg(source, RegImporter::acceptedKey(),
                                        skipped == 1
                                            ? QStringLiteral("and its one key was skipped")
                                            : QStringLiteral("and all its %1 keys were skipped").arg(skipped)));
        return checkedSummary; // nothing to write; a store need not be created for it
    }

    RegImporter::Summary summary;
    StoreWriter writer(source, summary);
    parse(&writer, summary);
    writer.commit();
    return summary;
}

} // namespace

QString RegImporter::acceptedKey()
{
    return settingsKeyFullName();
}

QString RegImporter::sizeLimitText()
{
    return QStringLiteral("%1 MiB").arg(maxFileSize / (1024 * 1024));
}

RegImporter::Summary RegImporter::importFile(const QString &fileName)
{
    const QString shown = QDir::toNativeSeparators(fileName);
    QFile file(fileName);
    openRegularFile(file);
    if (file.size() > maxFileSize)
        throw OrvalisError(QStringLiteral("%1 is larger than %2 and was not imported").arg(shown, sizeLimitText()));
    return importFrom(file, shown);
}

RegImporter::Summary RegImporter::importData(const QByteArray &data, const QString &sourceName)
{
    if (data.size() > maxFileSize)
        throw OrvalisError(
            QStringLiteral("%1 is larger than %2 and was not imported").arg(sourceName, sizeLimitText()));
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return importFrom(buffer, sourceName);
}

} // namespace orvalis
