// The settings store as the program relies on it: registry semantics, registry files written byte for
// byte and read back, the microscope library, and a store that survives damage, crashes and a second
// running copy. Every test function starts from its own empty store.
#include "../support/specialfiles.h"
#include "core/instrumentload.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "store/regexport.h"
#include "store/regimporter.h"
#include "store/registry.h"
#include "store/scopelibrary.h"

#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <csignal>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace orvalis;
using namespace orvalis::test;

namespace {

const QString kOrvalis = QStringLiteral("\\Software\\Vantrel\\Orvalis");

QByteArray exportBytes(const QString &keyPath)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("out.reg"));
    ExportKeyToRegFile(HKEY_CURRENT_USER, keyPath, file);
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QString errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const OrvalisError &e) {
        return e.text();
    }
    return QString();
}

QByteArray regFile(const QByteArray &body)
{
    return "REGEDIT4\r\n\r\n" + body;
}

// Child process modes, used by the tests of two running copies and of a crash.
int runWriter(const QString &name, int count)
{
    for (int i = 0; i < count; ++i) {
        Registry reg;
        if (!reg.OpenKey(kOrvalis + QStringLiteral("\\Load\\") + name, true))
            return 3;
        reg.WriteInteger(QStringLiteral("v%1").arg(i), i);
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
    return 0;
}

// A copy of the program that writes one library entry as soon as its standard input says go, so
// that several copies meet the store at the same moment. Exit code 0 means "reported as written".
int runLibraryWriter(const QString &model)
{
    std::printf("ready\n");
    std::fflush(stdout);
    char go[8];
    if (!std::fgets(go, sizeof go, stdin))
        return 4;
    try {
        WriteScopeEntry(QStringLiteral("Race"), model,
                        {QStringLiteral("200"), model, QString(), QString(), QString(), QString(), QString()});
    } catch (const OrvalisError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }
    return 0;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestStore : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void cleanupTestCase();

    void typedValues();
    void valueErrors_data();
    void valueErrors();
    void namesAndOrder();
    void otherRootsDoNotOpen();
    void deleteKeyRemovesTree();
    void exportExamples_data();
    void exportExamples();
    void exportRefusesUncreatableFile();
    void failedExportKeepsPreviousFile_data();
    void failedExportKeepsPreviousFile();
    void roundTrip();
    void exportImportsBack();
    void importGrammar_data();
    void importGrammar();
    void importRejectsWhole();
    void importLimits();
    void importChecksLibraryValues_data();
    void importChecksLibraryValues();
    void largeValuesStoredWhole();
    void otherFilesRefused_data();
    void otherFilesRefused();
    void deepestExportImportsBack();
    void damagedStoreSetAside_data();
    void damagedStoreSetAside();
    void storeReplacedWhileRunning();
    void copiesMeetDamagedStore();
    void setAsideWaitsForStoreLock();
    void libraryEdgeCases();
    void c5RoundTrips();
    void libraryRefusesLostNames_data();
    void libraryRefusesLostNames();
    void deletesRefuseLostNames_data();
    void deletesRefuseLostNames();
    void selectedScope_data();
    void selectedScope();
    void selectedScopeNotRead();
    void shippedList();
    void twoProcessesWriting();
    void killedWriterLeavesSoundStore();

private:
    std::unique_ptr<QTemporaryDir> m_home;
    // Rows run per data-driven test, so that a table that lost its rows fails instead of passing.
    QHash<QString, int> m_rowsRun;
    bool m_selected = false;

public:
    void setSelectedFunctions() { m_selected = true; }
};

void TestStore::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", m_home->filePath(QStringLiteral("config")).toLocal8Bit());
    if (QTest::currentDataTag())
        ++m_rowsRun[QString::fromLatin1(QTest::currentTestFunction())];
}

void TestStore::cleanupTestCase()
{
    if (m_selected)
        return;
    for (const char *table :
         {"valueErrors", "exportExamples", "importGrammar", "damagedStoreSetAside", "libraryRefusesLostNames",
          "failedExportKeepsPreviousFile", "deletesRefuseLostNames", "selectedScope", "otherFilesRefused"})
        QVERIFY2(m_rowsRun.value(QLatin1String(table)) > 0, qPrintable(QLatin1String(table) + " ran no rows"));
}

void TestStore::cleanup()
{
    m_home.reset();
}

void TestStore::typedValues()
{
    {
        Registry reg;
        QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\Default"), true));
        reg.WriteString(QStringLiteral("Text"), QStringLiteral("Grüße \\ \"x\""));
        reg.WriteExpandString(QStringLiteral("Path"), QStringLiteral("%HOME%"));
        reg.WriteInteger(QStringLiteral("Int"), -7);
        reg.WriteBool(QStringLiteral("Flag"), true);
        reg.WriteFloat(QStringLiteral("Float"), 12.5);
        reg.WriteBinaryData(QStringLiteral("Bin"), QByteArray("\x00\x01\xff", 3));
    }
    Registry reg; // a new handle reads what the first committed
    QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\Default"), false));
    QCOMPARE(reg.ReadString(QStringLiteral("Text")), QStringLiteral("Grüße \\ \"x\""));
    QCOMPARE(reg.ReadString(QStringLiteral("Path")), QStringLiteral("%HOME%"));
    QCOMPARE(reg.ReadInteger(QStringLiteral("Int")), -7);
    QVERIFY(reg.ReadBool(QStringLiteral("Flag")));
    QCOMPARE(reg.ReadFloat(QStringLiteral("Float")), 12.5);
    QCOMPARE(reg.ReadBinaryData(QStringLiteral("Bin")), QByteArray("\x00\x01\xff", 3));
    QCOMPARE(reg.GetDataType(QStringLiteral("Path")), TRegDataType::rdExpandString);
    QCOMPARE(reg.GetDataSize(QStringLiteral("Float")), 8);
    QCOMPARE(reg.GetDataSize(QStringLiteral("Missing")), -1);
    QCOMPARE(reg.ReadString(QStringLiteral("Missing")), QString());
    reg.WriteInteger(QStringLiteral("Flag"), 5);
    QVERIFY(reg.ReadBool(QStringLiteral("Flag"))); // any integer but 0 is true
}

void TestStore::valueErrors_data()
{
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("integer from text") << "integer"
                                       << "Text"
                                       << "Invalid data type for 'Text'";
    QTest::newRow("text from integer") << "string"
                                       << "Int"
                                       << "Invalid data type for 'Int'";
    QTest::newRow("float of 4 bytes") << "float"
                                      << "Short"
                                      << "Invalid data type for 'Short'";
    QTest::newRow("float from integer") << "float"
                                        << "Int"
                                        << "Invalid data type for 'Int'";
    QTest::newRow("missing integer") << "integer"
                                     << "None"
                                     << "Failed to get data for 'None'";
    QTest::newRow("missing float") << "float"
                                   << "None"
                                   << "Failed to get data for 'None'";
    QTest::newRow("missing binary") << "binary"
                                    << "None"
                                    << "Failed to get data for 'None'";
    QTest::newRow("missing bool") << "bool"
                                  << "None"
                                  << "Failed to get data for 'None'";
}

void TestStore::valueErrors()
{
    QFETCH(QString, read);
    QFETCH(QString, value);
    QFETCH(QString, message);
    Registry reg;
    QVERIFY(reg.OpenKey(kOrvalis, true));
    reg.WriteString(QStringLiteral("Text"), QStringLiteral("1"));
    reg.WriteInteger(QStringLiteral("Int"), 1);
    reg.WriteBinaryData(QStringLiteral("Short"), QByteArray(4, '\0'));
    const QString error = errorOf([&] {
        if (read == "integer")
            reg.ReadInteger(value);
        else if (read == "string")
            reg.ReadString(value);
        else if (read == "float")
            reg.ReadFloat(value);
        else if (read == "bool")
            reg.ReadBool(value);
        else
            reg.ReadBinaryData(value);
    });
    QCOMPARE(error, message);
}

void TestStore::namesAndOrder()
{
    Registry reg;
    for (const char *k : {"beta", "Alpha", "gamma", "Ärger"})
        QVERIFY(reg.CreateKey(kOrvalis + QStringLiteral("\\Keys\\") + QString::fromUtf8(k)));
    QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\KEYS"), false)); // case-insensitive path
    QCOMPARE(reg.GetKeyNames(), QStringList({"Alpha", "beta", "gamma", "Ärger"}));
    for (const char *v : {"zeta", "Alpha", "mid"})
        reg.WriteString(QString::fromLatin1(v), QStringLiteral("x"));
    reg.WriteString(QStringLiteral("ZETA"), QStringLiteral("y")); // same value, case kept as created
    QCOMPARE(reg.GetValueNames(), QStringList({"zeta", "Alpha", "mid"}));
    QCOMPARE(reg.ReadString(QStringLiteral("Zeta")), QStringLiteral("y"));
    QVERIFY(reg.ValueExists(QStringLiteral("ALPHA")));
    QVERIFY(!reg.OpenKey(kOrvalis + QStringLiteral("\\Keys\\missing"), false));
}

void TestStore::otherRootsDoNotOpen()
{
    Registry machine(HKEY_LOCAL_MACHINE);
    QVERIFY(!machine.OpenKey(QStringLiteral("\\Software"), true));
    QVERIFY(!machine.OpenKey(QStringLiteral("\\Software"), false));
}

void TestStore::deleteKeyRemovesTree()
{
    Registry reg;
    QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\A\\B\\C"), true));
    reg.WriteString(QStringLiteral("v"), QStringLiteral("1"));
    reg.CloseKey();
    QVERIFY(reg.DeleteKey(kOrvalis + QStringLiteral("\\A")));
    QVERIFY(!reg.KeyExists(kOrvalis + QStringLiteral("\\A\\B\\C")));
    QVERIFY(!reg.KeyExists(kOrvalis + QStringLiteral("\\A")));
    QVERIFY(!reg.DeleteKey(kOrvalis + QStringLiteral("\\A")));
}

void TestStore::exportExamples_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray key = "\r\n[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\X]\r\n";
    QTest::newRow("empty key") << "none" << QByteArray("REGEDIT4\r\n" + key);
    QTest::newRow("path doubled") << "path" << QByteArray("REGEDIT4\r\n" + key + "\"Dir\"=\"C:\\\\dir\\\\\"\r\n");
    QTest::newRow("dword") << "dword" << QByteArray("REGEDIT4\r\n" + key + "\"N\"=dword:000000FF\r\n");
    QTest::newRow("unnamed") << "unnamed" << QByteArray("REGEDIT4\r\n" + key + "@=\"v\"\r\n");
    QTest::newRow("multi-string") << "multi" << QByteArray("REGEDIT4\r\n" + key + "\"M\"=\"\"\r\n");
    QTest::newRow("expandable") << "expand" << QByteArray("REGEDIT4\r\n" + key + "\"E\"=\"%P%\"\r\n");
    QTest::newRow("quote") << "quote" << QByteArray("REGEDIT4\r\n" + key + "\"Q\\\"\"=\"a\\\"b\"\r\n");
    QByteArray bytes26 = "\"B\"=hex:";
    for (int i = 0; i < 26; ++i)
        bytes26 += QByteArray::number(i, 16).toUpper().rightJustified(2, '0') + (i < 25 ? "," : "");
    QTest::newRow("26 bytes on one line") << "bin26" << QByteArray("REGEDIT4\r\n" + key + bytes26 + "\r\n");
    QTest::newRow("27 bytes break after the 26th")
        << "bin27" << QByteArray("REGEDIT4\r\n" + key + bytes26 + ",\\\r\n1A\r\n");
    QTest::newRow("float stays on one line")
        << "float" << QByteArray("REGEDIT4\r\n" + key + "\"F\"=hex:00,00,00,00,00,00,F0,3F\r\n");
    QTest::newRow("empty binary") << "bin0" << QByteArray("REGEDIT4\r\n" + key + "\"B\"=hex:\r\n");
    // Text that a quoted string cannot hold goes as the bytes of a typed value, in the file's encoding.
    QTest::newRow("line break in a string")
        << "lines" << QByteArray("REGEDIT4\r\n" + key + "\"S\"=hex(1):61,0D,0A,62,00\r\n");
    QTest::newRow("control character in an expandable string")
        << "control" << QByteArray("REGEDIT4\r\n" + key + "\"E\"=hex(2):25,01,E4,00\r\n");
    QTest::newRow("tab stays quoted") << "tab" << QByteArray("REGEDIT4\r\n" + key + "\"T\"=\"a\tb\"\r\n");
    // The other platform's editor reads this format in its single-byte code page.
    QTest::newRow("Windows-1252 when every character has a form there")
        << "umlaut" << QByteArray("REGEDIT4\r\n" + key + "\"Uml\xE4ut\"=\"\xB5 \xC5 \xE9 \x80\"\r\n");
    QTest::newRow("UTF-8 when one character has none")
        << "omega" << QByteArray("REGEDIT4\r\n" + key + "\"Uml\xC3\xA4ut\"=\"\xCE\xA9\"\r\n");
    QTest::newRow("UTF-8 when the single bytes would read back as UTF-8")
        << "ambiguous" << QByteArray("REGEDIT4\r\n" + key + "\"A\"=\"\xC3\x83\xC2\xA4\"\r\n");
}

void TestStore::exportExamples()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, expected);
    Registry reg;
    QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\X"), true));
    if (kind == "path")
        reg.WriteString(QStringLiteral("Dir"), QStringLiteral("C:\\dir\\"));
    else if (kind == "dword")
        reg.WriteInteger(QStringLiteral("N"), 255);
    else if (kind == "unnamed")
        reg.WriteString(QString(), QStringLiteral("v"));
    else if (kind == "multi")
        reg.PutData(QStringLiteral("M"), QByteArray("a\0\0\0\0\0", 6), REG_MULTI_SZ);
    else if (kind == "expand")
        reg.WriteExpandString(QStringLiteral("E"), QStringLiteral("%P%"));
    else if (kind == "quote")
        reg.WriteString(QStringLiteral("Q\""), QStringLiteral("a\"b"));
    else if (kind.startsWith("bin")) {
        QByteArray data;
        for (int i = 0; i < kind.mid(3).toInt(); ++i)
            data += char(i);
        reg.WriteBinaryData(QStringLiteral("B"), data);
    } else if (kind == "float")
        reg.WriteFloat(QStringLiteral("F"), 1.0);
    else if (kind == "lines")
        reg.WriteString(QStringLiteral("S"), QStringLiteral("a\r\nb"));
    else if (kind == "control")
        reg.WriteExpandString(QStringLiteral("E"), QStringLiteral("%\x01ä"));
    else if (kind == "tab")
        reg.WriteString(QStringLiteral("T"), QStringLiteral("a\tb"));
    else if (kind == "umlaut")
        reg.WriteString(QStringLiteral("Umläut"), QStringLiteral("µ Å é €"));
    else if (kind == "omega")
        reg.WriteString(QStringLiteral("Umläut"), QStringLiteral("Ω"));
    else if (kind == "ambiguous")
        reg.WriteString(QStringLiteral("A"), QStringLiteral("Ã¤"));
    reg.CloseKey();
    QCOMPARE(exportBytes(QStringLiteral("Software\\Vantrel\\Orvalis\\X\\")), expected);
}

void TestStore::exportRefusesUncreatableFile()
{
    const QString error = errorOf([] {
        ExportKeyToRegFile(HKEY_CURRENT_USER, QStringLiteral("Software"), QStringLiteral("/nonexistent/dir/b.reg"));
    });
    QVERIFY2(error.startsWith(QStringLiteral("Cannot create file ")), qPrintable(error));
    QVERIFY(error.contains(QStringLiteral("/nonexistent/dir/b.reg")));
}

void TestStore::failedExportKeepsPreviousFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("32-bit number of three bytes") << "odd"
                                                  << "Invalid data type for 'odd'";
    QTest::newRow("line break in a value name")
        << "two\nlines"
        << "The value name 'two\nlines' holds a line break and cannot be written to a registry file";
}

void TestStore::failedExportKeepsPreviousFile()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    Registry reg;
    QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\Default"), true));
    reg.WriteString(QStringLiteral("first"), QStringLiteral("written before the bad value"));
    if (name == QLatin1String("odd"))
        reg.PutData(name, QByteArray("\x01\x02\x03", 3), REG_DWORD); // no 32-bit number
    else
        reg.WriteString(name, QStringLiteral("x"));
    reg.CloseKey();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("backup.reg"));
    const QByteArray previous = regFile("[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis]\r\n\"keep\"=\"me\"\r\n");
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(previous);
    }
    const QString error = errorOf(
        [&] { ExportKeyToRegFile(HKEY_CURRENT_USER, QStringLiteral("Software\\Vantrel\\Orvalis"), file); });
    QCOMPARE(error, message);
    QCOMPARE(fileBytes(file), previous);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("backup.reg")});
}

void TestStore::roundTrip()
{
    {
        WriteScopeEntry(QStringLiteral("Some Name"), QStringLiteral("Some Model"),
                        {QStringLiteral("200"), QStringLiteral("1.2"), QStringLiteral("1.2"), QStringLiteral("0.6"),
                         QStringLiteral("0.25"), QStringLiteral("0.5"), QStringLiteral("0.3")});
        Registry reg;
        QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\Default\\Sub key with spaces"), true));
        reg.WriteString(QStringLiteral("back\\slash \"quoted\""), QStringLiteral("C:\\dir\\ \"q\" ü"));
        reg.WriteString(QStringLiteral("Empty"), QString());
        reg.WriteString(QString(), QStringLiteral("unnamed"));
        reg.WriteExpandString(QStringLiteral("Expand"), QStringLiteral("%X%"));
        reg.WriteInteger(QStringLiteral("Int"), -1);
        reg.WriteFloat(QStringLiteral("Float"), 0.1);
        QByteArray big;
        for (int i = 0; i < 100; ++i)
            big += char(i * 7);
        reg.WriteBinaryData(QStringLiteral("Big"), big);
        reg.WriteBinaryData(QStringLiteral("NoBytes"), QByteArray());
        QVERIFY(reg.CreateKey(kOrvalis + QStringLiteral("\\Ünïcode")));
    }
    const QByteArray first = exportBytes(QStringLiteral("Software\\Vantrel\\Orvalis"));
    QVERIFY(first.contains("\"Voltage\"=\"200\"\r\n\"Cs\"=\"1.2\"\r\n\"Cc\"=\"1.2\"\r\n\"dE\"=\"0.6\"\r\n"
                           "\"Convergence\"=\"0.3\"\r\n\"dvv\"=\"0.25\"\r\n\"dii\"=\"0.5\"\r\n"));
    init(); // an empty store
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("tree.reg")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(first);
    f.close();
    const RegImporter::Summary summary = RegImporter::importFile(f.fileName());
    QCOMPARE(summary.skippedKeys, 0);
    QVERIFY(summary.values >= 15);
    QCOMPARE(exportBytes(QStringLiteral("Software\\Vantrel\\Orvalis")), first);
    Registry reg;
    QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\Default\\Sub key with spaces"), false));
    QCOMPARE(reg.ReadFloat(QStringLiteral("Float")), 0.1);
    QCOMPARE(reg.ReadString(QStringLiteral("back\\slash \"quoted\"")), QStringLiteral("C:\\dir\\ \"q\" ü"));
}

void TestStore::exportImportsBack()
{
    QByteArray binary;
    for (int i = 0; i < 60; ++i)
        binary += char(i * 5);
    {
        Registry reg;
        QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\Types"), true));
        reg.WriteString(QStringLiteral("plain \\ \""), QStringLiteral("C:\\dir\\ \"q\""));
        reg.WriteString(QStringLiteral("lines"), QStringLiteral("first\r\nsecond\nthird\r"));
        reg.WriteString(QStringLiteral("control"), QStringLiteral("a\x01 b\tc\x1b ü"));
        reg.WriteExpandString(QStringLiteral("expand"), QStringLiteral("%P%"));
        reg.WriteExpandString(QStringLiteral("expand lines"), QStringLiteral("%P%\n%Q%"));
        reg.WriteString(QStringLiteral("Umläut µ Å é"), QStringLiteral("Grüße"));
        reg.WriteString(QString(), QStringLiteral("unnamed"));
        reg.WriteInteger(QStringLiteral("int"), -2);
        reg.WriteFloat(QStringLiteral("float"), 0.1);
        reg.WriteBinaryData(QStringLiteral("binary"), binary);
        reg.WriteBinaryData(QStringLiteral("no bytes"), QByteArray());
        reg.PutData(QStringLiteral("multi"), QByteArray("a\0\0\0\0\0", 6), REG_MULTI_SZ);
        reg.PutData(QStringLiteral("qword"), QByteArray(8, '\x11'), REG_QWORD);
        reg.PutData(QStringLiteral("none"), QByteArray(), REG_NONE);
        QVERIFY(reg.CreateKey(kOrvalis + QStringLiteral("\\Types\\Sub ÿ")));
    }
    const QByteArray first = exportBytes(QStringLiteral("Software\\Vantrel\\Orvalis"));
    init(); // an empty store
    const QString error = errorOf([&] { RegImporter::importData(first, QStringLiteral("first.reg")); });
    QVERIFY2(error.isEmpty(), qPrintable(error));
    Registry reg;
    QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\Types"), false));
    QCOMPARE(reg.ReadString(QStringLiteral("lines")), QStringLiteral("first\r\nsecond\nthird\r"));
    QCOMPARE(reg.ReadString(QStringLiteral("control")), QStringLiteral("a\x01 b\tc\x1b ü"));
    QCOMPARE(reg.ReadString(QStringLiteral("expand lines")), QStringLiteral("%P%\n%Q%"));
    QCOMPARE(reg.GetDataType(QStringLiteral("expand lines")), TRegDataType::rdExpandString);
    QCOMPARE(reg.ReadString(QStringLiteral("Umläut µ Å é")), QStringLiteral("Grüße"));
    QCOMPARE(reg.ReadString(QStringLiteral("plain \\ \"")), QStringLiteral("C:\\dir\\ \"q\""));
    QCOMPARE(reg.ReadInteger(QStringLiteral("int")), -2);
    QCOMPARE(reg.ReadFloat(QStringLiteral("float")), 0.1);
    QCOMPARE(reg.ReadBinaryData(QStringLiteral("binary")), binary);
    QVERIFY(reg.KeyExists(kOrvalis + QStringLiteral("\\Types\\Sub ÿ")));
    reg.CloseKey();
    QCOMPARE(exportBytes(QStringLiteral("Software\\Vantrel\\Orvalis")), first);
}

void TestStore::importGrammar_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("value");  // value name to read under ...\Orvalis\K
    QTest::addColumn<QString>("expect"); // its text, "int:N", "bytes:hex", "missing" or "error:<part>"
    const QByteArray k = "[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\K]\r\n";
    QTest::newRow("header: v5") << QByteArray("Windows Registry Editor Version 5.00\r\n\r\n" + k + "\"a\"=\"x\"\r\n")
                                << "a"
                                << "x";
    QTest::newRow("header: leading blanks") << QByteArray("  REGEDIT4\n" + k + "\"a\"=\"x\"\n") << "a"
                                            << "x";
    QTest::newRow("header: wrong case") << QByteArray("regedit4\r\n" + k) << "a"
                                        << "error:registry file";
    QTest::newRow("header: none") << QByteArray("hello\r\n") << "a"
                                  << "error:registry file";
    QTest::newRow("keys: root in lower case")
        << regFile("[hkey_current_user\\Software\\Vantrel\\Orvalis\\K]\r\n\"a\"=\"x\"\r\n") << "a"
        << "x";
    QTest::newRow("keys: empty parts collapse")
        << regFile("[HKEY_CURRENT_USER\\Software\\\\Vantrel\\Orvalis\\K\\]\r\n\"a\"=\"x\"\r\n") << "a"
        << "x";
    QTest::newRow("keys: blank after bracket") << regFile("[ HKEY_CURRENT_USER\\Software]\r\n") << "a"
                                               << "error:line 3";
    QTest::newRow("strings: escapes") << regFile(k + "\"a\"=\"C:\\\\d \\\"q\\\"\"\r\n") << "a"
                                      << "C:\\d \"q\"";
    QTest::newRow("strings: blanks and comment") << regFile(k + "\"a\" = \"x\" ; note\r\n") << "a"
                                                 << "x";
    QTest::newRow("strings: no closing quote") << regFile(k + "\"a\"=\"C:\\\"\r\n") << "a"
                                               << "error:line 4";
    QTest::newRow("strings: text after quote") << regFile(k + "\"a\"=\"x\"y\r\n") << "a"
                                               << "error:line 4";
    QTest::newRow("strings: nul escape") << regFile(k + "\"a\"=\"x\\0y\"\r\n") << "a"
                                         << "error:line 4";
    QTest::newRow("strings: default value") << regFile(k + "@=\"d\"\r\n") << ""
                                            << "d";
    QTest::newRow("strings: value named @") << regFile(k + "\"@\"=\"n\"\r\n") << "@"
                                            << "n";
    QTest::newRow("dword: short") << regFile(k + "\"a\"=dword:ff\r\n") << "a"
                                  << "int:255";
    QTest::newRow("dword: full") << regFile(k + "\"a\"=dword:FFFFFFFF\r\n") << "a"
                                 << "int:-1";
    QTest::newRow("dword: 0x prefix") << regFile(k + "\"a\"=dword:0x1\r\n") << "a"
                                      << "error:line 4";
    QTest::newRow("dword: blank inside") << regFile(k + "\"a\"=dword:12 34\r\n") << "a"
                                         << "error:line 4";
    QTest::newRow("dword: nine digits") << regFile(k + "\"a\"=dword:123456789\r\n") << "a"
                                        << "error:line 4";
    QTest::newRow("hex: continued") << regFile(k + "\"a\"=hex:01,02,\\\r\n  03,\\ ; c\r\n\r\n; skipped\r\n  0a\r\n")
                                    << "a"
                                    << "bytes:0102030a";
    QTest::newRow("hex: byte split over lines") << regFile(k + "\"a\"=hex:01,0\\\r\n  2\r\n") << "a"
                                                << "error:line 4";
    QTest::newRow("hex: continuation without a byte") << regFile(k + "\"a\"=hex:01,\\\r\n\"b\"=\"x\"\r\n") << "a"
                                                      << "error:line";
    QTest::newRow("hex: typed string v5")
        << QByteArray("Windows Registry Editor Version 5.00\r\n" + k + "\"a\"=hex(1):41,00,42,00,00,00\r\n") << "a"
        << "AB";
    QTest::newRow("hex: trailing comma") << regFile(k + "\"a\"=hex:01,02,\r\n") << "a"
                                         << "bytes:0102";
    QTest::newRow("hex: trailing comma and comment") << regFile(k + "\"a\"=hex:01,02, ; c\r\n") << "a"
                                                     << "bytes:0102";
    QTest::newRow("hex: only a comma") << regFile(k + "\"a\"=hex:,\r\n") << "a"
                                       << "error:line 4";
    QTest::newRow("hex: upper case") << regFile(k + "\"a\"=HEX:01\r\n") << "a"
                                     << "error:line 4";
    QTest::newRow("hex: typed, upper case") << regFile(k + "\"a\"=HEX(3):01\r\n") << "a"
                                            << "error:line 4";
    QTest::newRow("dword: upper case") << regFile(k + "\"a\"=DWORD:00000001\r\n") << "a"
                                       << "error:line 4";
    QTest::newRow("dword: mixed case") << regFile(k + "\"a\"=Dword:00000001\r\n") << "a"
                                       << "error:line 4";
    QTest::newRow("hex: byte too big") << regFile(k + "\"a\"=hex:100\r\n") << "a"
                                       << "error:line 4";
    QTest::newRow("hex: typed string v4") << regFile(k + "\"a\"=hex(1):41,42,00\r\n") << "a"
                                          << "AB";
    QTest::newRow("hex: dword type") << regFile(k + "\"a\"=hex(4):07,00,00,00\r\n") << "a"
                                     << "int:7";
    // A 32-bit number of another size is padded or cut to its four low bytes.
    QTest::newRow("hex: dword type of one byte") << regFile(k + "\"a\"=hex(4):01\r\n") << "a"
                                                 << "int:1";
    QTest::newRow("hex: dword type without bytes") << regFile(k + "\"a\"=hex(4):\r\n") << "a"
                                                   << "int:0";
    QTest::newRow("hex: dword type of eight bytes") << regFile(k + "\"a\"=hex(4):01,02,03,04,05,06,07,08\r\n") << "a"
                                                    << "int:67305985";
    QTest::newRow("deletion: value") << regFile(k + "\"a\"=\"x\"\r\n\"a\"=-\r\n") << "a"
                                     << "missing";
    QTest::newRow("deletion: key") << regFile(
        k + "\"a\"=\"x\"\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\K]\r\n")
                                   << "a"
                                   << "missing";
    QTest::newRow("comments: hash and semicolon") << regFile("# c\r\n; c\r\n" + k + "\"a\"=\"x\"\r\n") << "a"
                                                  << "x";
    QTest::newRow("encodings: lone CR") << QByteArray("REGEDIT4\r" + k.chopped(2) + "\r\"a\"=\"x\"\r") << "a"
                                        << "x";
    QTest::newRow("encodings: UTF-8 BOM")
        << QByteArray("\xEF\xBB\xBFREGEDIT4\r\n" + k + "\"a\"=\"\xC3\xBC\"\r\n") << "a"
        << "ü";
    QTest::newRow("encodings: Windows-1252") << regFile(k + "\"a\"=\"\xFC\x80\"\r\n") << "a"
                                             << "ü€";
    const QString v5 = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                      "[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\K]\r\n\"a\"=\"Grüße\"\r\n");
    const auto asUtf16 = [](const QString &text) {
        QByteArray bytes("\xFF\xFE");
        for (QChar c : text)
            bytes += char(c.unicode() & 0xff), bytes += char(c.unicode() >> 8);
        return bytes;
    };
    const QByteArray utf16 = asUtf16(v5);
    QTest::newRow("encodings: UTF-16LE") << utf16 << "a"
                                         << "Grüße";
    QTest::newRow("encodings: UTF-16LE ending in half a character") << QByteArray(utf16 + "A") << "a"
                                                                    << "error:line 5";
    // The file is read in pieces of 64 KiB (after a byte order mark); nothing may change where one
    // ends. `across` places a text so that its first `split` bytes end the first piece.
    constexpr int piece = 64 * 1024;
    const auto across = [&k](const QByteArray &head, const QByteArray &text, int split, const QByteArray &tail) {
        const QByteArray start = head + k + "\"a\"=\"";
        return start + QByteArray(piece - start.size() - split, 'x') + text + tail;
    };
    const QString filler(piece - (10 + k.size() + 5) - 1, u'x');
    QTest::newRow("pieces: a UTF-8 character across two")
        << across("REGEDIT4\r\n", "\xC3\xBC", 1, "\"\r\n") << "a" << filler + u'ü';
    QTest::newRow("pieces: CR LF across two") << across("REGEDIT4\r\n", "\"\r\n", 2, "\"b\"=\"y\"\r\n") << "b"
                                              << "y";
    QTest::newRow("pieces: a lone CR at the end of one") << across("REGEDIT4\r\n", "\"\r", 2, "\"b\"=\"y\"\r\n") << "b"
                                                         << "y";
    QTest::newRow("pieces: lines counted across two")
        << across("REGEDIT4\r\n", "\"\r\n", 2, "\"b\"=\"y\"\r\nbad\r\n") << "b"
        << "error:line 5";
    QByteArray escapes;
    for (int i = 0; i < 3 * piece / 8; ++i)
        escapes += "C:\\\\d\\\"";
    QTest::newRow("pieces: escapes in a value of several")
        << regFile(k + "\"a\"=\"" + escapes + "\"\r\n") << "a" << QString(3 * piece / 8, u'x').replace(u'x', "C:\\d\"");
    const QString pair = QStringLiteral("\U0001F600");
    const QString ws(piece / 2 - 1 - (v5.size() - 3), u'w'); // the pair's first unit ends the first piece
    QString wide = v5;
    wide.insert(v5.size() - 3, ws + pair);
    QTest::newRow("pieces: a UTF-16 surrogate pair across two")
        << asUtf16(wide) << "a" << QStringLiteral("Grüße") + ws + pair;
    // Half a surrogate pair, alone or before another character, in a key name and in a value.
    const QString v5Header = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n");
    const QString kText = QString::fromLatin1(k);
    QTest::newRow("encodings: UTF-16 high surrogate alone in a key name")
        << asUtf16(v5Header + kText.left(kText.size() - 3) + QChar(0xD800) + QStringLiteral("]\r\n\"a\"=\"x\"\r\n"))
        << "a"
        << "error:line 3: the line is not valid UTF-16 text";
    QTest::newRow("encodings: UTF-16 low surrogate alone in a value")
        << asUtf16(v5Header + kText + QStringLiteral("\"a\"=\"Comp") + QChar(0xDC00) + QStringLiteral("\"\r\n")) << "a"
        << "error:line 4: the line is not valid UTF-16 text";
    QTest::newRow("encodings: UTF-16 high surrogate before a letter")
        << asUtf16(v5Header + kText + QStringLiteral("\"a\"=\"") + QChar(0xD83D) + QStringLiteral("x\"\r\n")) << "a"
        << "error:line 4: the line is not valid UTF-16 text";
    QTest::newRow("encodings: UTF-16 pair whole")
        << asUtf16(v5Header + kText + QStringLiteral("\"a\"=\"\U0001F600\"\r\n")) << "a"
        << QStringLiteral("\U0001F600");
    QTest::newRow("encodings: bad UTF-8 after a BOM names its line")
        << QByteArray("\xEF\xBB\xBFREGEDIT4\r\n" + k + "\"a\"=\"x\"\r\n\"b\"=\"\xC3\"\r\n") << "a"
        << "error:line 4";
}

void TestStore::importGrammar()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, value);
    QFETCH(QString, expect);
    QString error;
    try {
        RegImporter::importData(file, QStringLiteral("test.reg"));
    } catch (const OrvalisError &e) {
        error = e.text();
    }
    if (expect.startsWith("error:")) {
        QVERIFY2(error.contains(expect.mid(6)), qPrintable(error));
        QVERIFY(error.contains(QStringLiteral("test.reg")));
        QVERIFY(!Registry().KeyExists(kOrvalis + QStringLiteral("\\K")));
        return;
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));
    Registry reg;
    const bool opened = reg.OpenKey(kOrvalis + QStringLiteral("\\K"), false);
    if (expect == "missing") {
        QVERIFY(!opened || !reg.ValueExists(value));
        return;
    }
    QVERIFY(opened);
    if (expect.startsWith("int:"))
        QCOMPARE(reg.ReadInteger(value), expect.mid(4).toInt());
    else if (expect.startsWith("bytes:"))
        QCOMPARE(reg.ReadBinaryData(value).toHex(), expect.mid(6).toLatin1());
    else
        QCOMPARE(reg.ReadString(value), expect);
}

void TestStore::importRejectsWhole()
{
    const QByteArray file = regFile("[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\Good]\r\n\"a\"=\"1\"\r\n"
                                    "\"b\"=dword:nothex\r\n");
    const QString error = errorOf([&] { RegImporter::importData(file, QStringLiteral("bad.reg")); });
    QVERIFY2(error.contains(QStringLiteral("bad.reg")) && error.contains(QStringLiteral("line 5")), qPrintable(error));
    QVERIFY(!Registry().KeyExists(kOrvalis + QStringLiteral("\\Good"))); // the good lines before it are not kept
}

void TestStore::importChecksLibraryValues_data()
{
    QTest::addColumn<QByteArray>("body"); // the lines after "REGEDIT4" and a blank line
    QTest::addColumn<QString>("error");   // what the message says, with the line; empty: imported
    const QByteArray model = "[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\Default Scopes\\Co\\Mo]\r\n";
    const QByteArray good = "\"Voltage\"=\"300\"\r\n\"Cs\"=\"-0.03\"\r\n\"dvv\"=\"0\"\r\n";
    QTest::newRow("a sound entry") << model + good << "";
    QTest::newRow("letters for the voltage") << model + good + "\"Voltage\"=\"abc\"\r\n"
                                             << "line 7: Voltage (kV): 'abc' is not a valid floating point value";
    QTest::newRow("empty Cc") << model + "\"Cc\"=\"\"\r\n"
                              << "line 4: Cc (mm): '' is not a valid floating point value";
    QTest::newRow("convergence 1e308 mrad")
        << model + "\"Convergence\"=\"1e308\"\r\n"
        << "line 4: Convergence (mrad): '1e308' cannot be used; it must be from -1000000 to 1000000";
    QTest::newRow("name in capitals") << model + "\"VOLTAGE\"=\"0\"\r\n"
                                      << "line 4: Voltage (kV): '0' cannot be used; it must be from 0.001";
    QTest::newRow("a C5") << model + good + "\"C5\"=\"-12.5\"\r\n"
                          << "";
    QTest::newRow("letters for C5") << model + "\"C5\"=\"x\"\r\n"
                                    << "line 4: C5 (mm): 'x' is not a valid floating point value";
    QTest::newRow("C5 1e9 mm") << model + "\"c5\"=\"1e9\"\r\n"
                               << "line 4: C5 (mm): '1e9' cannot be used; it must be from -1000000 to 1000000";
    QTest::newRow("a value of its own") << model + "\"Notes\"=\"abc\"\r\n"
                                        << "";
    QTest::newRow("a company's value is none of a microscope")
        << QByteArray("[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\Default Scopes\\Co]\r\n\"Voltage\"=\"x\"\r\n")
        << "";
    QTest::newRow("outside the program's key")
        << QByteArray("[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\Default]\r\n"
                      "[HKEY_CURRENT_USER\\Software\\Other\\Default Scopes\\Co\\Mo]\r\n\"Voltage\"=\"x\"\r\n")
        << "";
}

// A microscope that could never be loaded is refused when its file is imported, with the line named.
void TestStore::importChecksLibraryValues()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, error);
    const QString got = errorOf([&] { RegImporter::importData(regFile(body), QStringLiteral("list.reg")); });
    if (error.isEmpty()) {
        QVERIFY2(got.isEmpty(), qPrintable(got));
        return;
    }
    QVERIFY2(got.startsWith(QStringLiteral("list.reg, ") + error), qPrintable(got));
    QVERIFY(!Registry().KeyExists(kOrvalis + QStringLiteral("\\Default Scopes\\Co"))); // nothing of the file
}

void TestStore::importLimits()
{
    const QByteArray foreign = regFile("[HKEY_LOCAL_MACHINE\\Software\\Evil]\r\n\"a\"=\"1\"\r\n\r\n"
                                       "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"a\"=\"1\"\r\n\r\n"
                                       "[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\Mine]\r\n\"a\"=\"1\"\r\n");
    const RegImporter::Summary s = RegImporter::importData(foreign, QStringLiteral("f.reg"));
    QCOMPARE(s.skippedKeys, 2);
    QCOMPARE(s.values, 1);
    QVERIFY(!Registry().KeyExists(QStringLiteral("\\Software\\Other")));
    QVERIFY(Registry().KeyExists(kOrvalis + QStringLiteral("\\Mine")));
    // Keys all outside: nothing to import, and the user is told rather than shown a success.
    const QByteArray onlyForeign = regFile("[HKEY_LOCAL_MACHINE\\Software\\Evil]\r\n\"a\"=\"1\"\r\n\r\n"
                                           "[HKEY_CURRENT_USER\\Software\\Vantrel\\Other]\r\n\"a\"=\"1\"\r\n");
    QCOMPARE(errorOf([&] { RegImporter::importData(onlyForeign, QStringLiteral("o.reg")); }),
             QStringLiteral("Nothing was imported from o.reg: it holds no key under "
                            "HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis, and all its 2 keys were skipped."));
    QCOMPARE(errorOf([&] { RegImporter::importData(regFile("[HKEY_USERS\\x]\r\n"), QStringLiteral("u.reg")); }),
             QStringLiteral("Nothing was imported from u.reg: it holds no key under "
                            "HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis, and its one key was skipped."));
    QCOMPARE(errorOf([&] { RegImporter::importData("REGEDIT4\r\n", QStringLiteral("e.reg")); }), QString());

    QTemporaryDir dir;
    QFile big(dir.filePath(QStringLiteral("big.reg")));
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write("REGEDIT4\r\n");
    big.resize(RegImporter::maxFileSize + 1);
    big.close();
    QVERIFY(errorOf([&] { RegImporter::importFile(big.fileName()); }).contains(QStringLiteral("larger than 64 MiB")));
}

// Values of more than a mebibyte go into the store in pieces; each must come back byte for byte,
// in its place among the key's values, also when it replaces a value.
void TestStore::largeValuesStoredWhole()
{
    QString text;
    QByteArray quoted;
    for (int i = 0; i < 200'000; ++i) {
        const QString n = QString::number(i);
        text += n + QStringLiteral("\\\"");
        quoted += n.toLatin1() + "\\\\\\\"";
    }
    QByteArray bytes(1'500'000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 + i / 251);
    QByteArray hex = bytes.toHex(',').toUpper();
    const QByteArray k = "[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\Big]\r\n";
    RegImporter::importData(regFile(k + "\"s\"=\"small\"\r\n\"t\"=\"" + quoted + "\"\r\n\"b\"=hex:" + hex + "\r\n"),
                            QStringLiteral("big.reg"));
    Registry reg;
    QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\Big"), false));
    QCOMPARE(reg.GetValueNames(), (QStringList{"s", "t", "b"}));
    QVERIFY(reg.ReadString(QStringLiteral("t")) == text);
    QVERIFY(reg.ReadBinaryData(QStringLiteral("b")) == bytes);

    // A small value becomes large and a large one small, each keeping its place.
    RegImporter::importData(regFile(k + "\"s\"=\"" + quoted + "\"\r\n\"t\"=\"small\"\r\n"),
                            QStringLiteral("again.reg"));
    QCOMPARE(reg.GetValueNames(), (QStringList{"s", "t", "b"}));
    QVERIFY(reg.ReadString(QStringLiteral("s")) == text);
    QCOMPARE(reg.ReadString(QStringLiteral("t")), QStringLiteral("small"));
    reg.WriteBinaryData(QStringLiteral("b"), bytes.left(1'200'000));
    QVERIFY(reg.ReadBinaryData(QStringLiteral("b")) == bytes.left(1'200'000));
}

void TestStore::otherFilesRefused_data()
{
    addSpecialFileRows();
}

// A restore from a FIFO must not wait for a writer, and a backup must not replace what stands there.
void TestStore::otherFilesRefused()
{
    QFETCH(int, kind);
    QFETCH(QString, what);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("backup.reg"));
    if (!makeSpecialFile(SpecialFile(kind), path))
        QSKIP("this system does not let the test make a device node");
    const mode_t type = fileType(path);
    Registry().CreateKey(kOrvalis + QStringLiteral("\\K"));
    QString error;
    {
        std::optional<FifoUnblocker> unblocker;
        if (SpecialFile(kind) == SpecialFile::Fifo)
            unblocker.emplace(path);
        error = errorOf([&] { RegImporter::importFile(path); });
    }
    QVERIFY2(error.startsWith(QStringLiteral("Cannot open file ") + QDir::toNativeSeparators(path))
                 && error.contains(what),
             qPrintable(error));
    error = errorOf([&] { ExportKeyToRegFile(HKEY_CURRENT_USER, QStringLiteral("Software\\Vantrel\\Orvalis"), path); });
    QVERIFY2(error.startsWith(QStringLiteral("Cannot create file ") + QDir::toNativeSeparators(path))
                 && error.contains(what),
             qPrintable(error));
    QCOMPARE(fileType(path), type);
}

void TestStore::deepestExportImportsBack()
{
    // The deepest tree the store holds, with the longest names, exports to far more than the file
    // it was imported from; the importer's limit still admits that export.
    QByteArray line = "[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis";
    for (int depth = 3; depth < 512; ++depth)
        line += '\\' + QByteArray(255, char('a' + depth % 26));
    RegImporter::importData(regFile(line + "]\r\n\"v\"=dword:00000001\r\n"), QStringLiteral("deep.reg"));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("deep.reg"));
    ExportKeyToRegFile(HKEY_CURRENT_USER, QStringLiteral("Software\\Vantrel\\Orvalis"), file);
    const qint64 size = QFileInfo(file).size();
    QVERIFY2(size > 30'000'000 && size <= RegImporter::maxFileSize, qPrintable(QString::number(size)));
    init(); // an empty store
    const RegImporter::Summary summary = RegImporter::importFile(file);
    QCOMPARE(summary.keys, 510);
    QCOMPARE(summary.values, 1);
}

void TestStore::damagedStoreSetAside_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("not a database") << "junk";
    QTest::newRow("pages overwritten") << "pages";
    QTest::newRow("an earlier damaged copy is kept") << "again";
    // Sound databases, but not a store of ours: nothing could be read or written in them.
    QTest::newRow("a database without tables") << "CREATE TABLE x(a); DROP TABLE x;";
    QTest::newRow("a foreign table named keys") << "CREATE TABLE keys(a TEXT); INSERT INTO keys VALUES('x');";
    QTest::newRow("our version number, no tables") << "PRAGMA user_version=1;";
    QTest::newRow("our tables without a column")
        << "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER, name TEXT, fold TEXT);"
           "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER, name TEXT, fold TEXT, data BLOB);"
           "INSERT INTO keys VALUES(1, NULL, '', ''); PRAGMA user_version=1;";
}

void TestStore::damagedStoreSetAside()
{
    QFETCH(QString, damage);
    const QString path = Registry::StorePath();
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    if (damage == QLatin1String("pages")) {
        // A real database whose table pages no longer make sense: it opens, but fails the check.
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db,
                              "CREATE TABLE t(a TEXT); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                              "FROM n WHERE i < 2000) INSERT INTO t SELECT printf('%0100d', i) FROM n;",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.size() > 4 * 4096);
        file.seek(2 * 4096);
        file.write(QByteArray(2 * 4096, '\x5a'));
    } else if (damage.contains(QLatin1Char(';'))) {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, damage.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    } else {
        if (damage == QLatin1String("again")) {
            QFile earlier(path + QStringLiteral(".damaged"));
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("earlier");
        }
        QFile junk(path);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(8192, 'x'));
    }
    const QByteArray before = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    Registry reg;
    QVERIFY(reg.OpenKey(kOrvalis, true));
    reg.WriteString(QStringLiteral("a"), QStringLiteral("b"));
    QCOMPARE(reg.ReadString(QStringLiteral("a")), QStringLiteral("b"));
    const QString aside = path
        + (damage == QLatin1String("again") ? QStringLiteral(".damaged.2") : QStringLiteral(".damaged"));
    QFile kept(aside);
    QVERIFY2(kept.open(QIODevice::ReadOnly), qPrintable(aside));
    QCOMPARE(kept.readAll(), before); // set aside, never deleted
    if (damage == QLatin1String("again")) {
        QFile earlier(path + QStringLiteral(".damaged"));
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier"));
    }
    const QString problem = Registry::TakeStoreProblem();
    QVERIFY2(problem.contains(path) && problem.contains(aside), qPrintable(problem));
    QVERIFY(Registry::TakeStoreProblem().isEmpty()); // told once
}

void TestStore::storeReplacedWhileRunning()
{
    {
        Registry reg;
        QVERIFY(reg.OpenKey(kOrvalis, true));
        reg.WriteString(QStringLiteral("before"), QStringLiteral("1"));
    }
    // Another copy of the program sets the store aside and starts a fresh one while this one runs.
    const QString path = Registry::StorePath();
    QVERIFY(QFile::rename(path, path + QStringLiteral(".moved")));
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    QProcess other;
    other.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--writer"), QStringLiteral("F"), QStringLiteral("1")});
    QVERIFY(other.waitForFinished(30000));
    QCOMPARE(other.exitCode(), 0);
    Registry reg; // must not go on with the handle it kept on the moved file
    QVERIFY(reg.KeyExists(kOrvalis + QStringLiteral("\\Load\\F")));
    QVERIFY(reg.OpenKey(kOrvalis, false));
    QVERIFY(!reg.ValueExists(QStringLiteral("before")));
}

void TestStore::copiesMeetDamagedStore()
{
    // scripts/stress-damaged-store.sh runs this with many more rounds and copies.
    const int rounds = qMax(1,
                            qEnvironmentVariableIntValue("ORVALIS_STRESS_ROUNDS")
                                ? qEnvironmentVariableIntValue("ORVALIS_STRESS_ROUNDS")
                                : 8);
    const int copies = qMax(2,
                            qEnvironmentVariableIntValue("ORVALIS_STRESS_COPIES")
                                ? qEnvironmentVariableIntValue("ORVALIS_STRESS_COPIES")
                                : 3);
    QStringList faults;
    int writes = 0;
    const QByteArray damagedDatabase = [] {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("pages.sqlite3"));
        sqlite3 *db = nullptr;
        sqlite3_open(file.toUtf8().constData(), &db);
        sqlite3_exec(db,
                     "CREATE TABLE t(a TEXT); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                     "WHERE i < 30000) INSERT INTO t SELECT printf('%0100d', i) FROM n; CREATE INDEX ti ON t(a);",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        // One row changed under its index entry: found only by comparing the two, the slowest part.
        QByteArray bytes = fileBytes(file);
        const qsizetype row = bytes.indexOf(QByteArray::number(15000).rightJustified(100, '0'));
        if (row >= 0)
            bytes[row + 99] = 'x';
        return bytes;
    }();
    QVERIFY(damagedDatabase.size() > 16 * 4096);
    int failedRounds = 0;
    for (int round = 0; round < rounds; ++round) {
        const qsizetype faultsBefore = faults.size();
        init(); // a store folder of its own
        const QString path = Registry::StorePath();
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        // Random bytes fail at the first read; a database with overwritten pages only when its
        // pages are checked, which keeps each copy busy with it for longer.
        QByteArray junk = round % 3 == 2 ? damagedDatabase : QByteArray(300000, Qt::Uninitialized);
        if (round % 3 != 2) {
            QRandomGenerator generator(quint32(round + 1));
            generator.fillRange(reinterpret_cast<quint32 *>(junk.data()), junk.size() / 4);
        }
        const bool earlierCopy = round % 2 == 1;
        if (earlierCopy) {
            QFile earlier(path + QStringLiteral(".damaged"));
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("earlier");
        }
        {
            QFile damaged(path);
            QVERIFY(damaged.open(QIODevice::WriteOnly));
            damaged.write(junk);
        }
        std::vector<std::unique_ptr<QProcess>> processes;
        for (int c = 0; c < copies; ++c) {
            processes.push_back(std::make_unique<QProcess>());
            processes.back()->start(QCoreApplication::applicationFilePath(),
                                    {QStringLiteral("--library-writer"), QStringLiteral("M%1").arg(c)});
        }
        for (auto &p : processes) // loaded and waiting, so that they start together
            QVERIFY(p->waitForReadyRead(30000));
        for (auto &p : processes) {
            p->write("go\n");
            p->waitForBytesWritten(); // now, not when this process next waits for that copy
        }
        QVector<int> reported;
        for (int c = 0; c < copies; ++c) {
            QProcess &p = *processes[size_t(c)];
            QVERIFY(p.waitForFinished(60000));
            if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
                reported << c;
            else
                faults << QStringLiteral("round %1, copy %2 failed: %3")
                              .arg(round)
                              .arg(c)
                              .arg(QString::fromLocal8Bit(p.readAllStandardError()).trimmed());
        }
        // The damaged original is kept once, whole, under a name of its own, before this process
        // looks at the store itself.
        const QDir folder(QFileInfo(path).path());
        int originals = 0;
        for (const QString &name : folder.entryList({QStringLiteral("registry.sqlite3.damaged*")}, QDir::Files)) {
            const QByteArray bytes = fileBytes(folder.filePath(name));
            if (bytes == junk)
                ++originals;
            else if (!(earlierCopy && bytes == "earlier") && !name.endsWith(QLatin1String("-wal")))
                faults << QStringLiteral(
                              "round %1: %2 holds neither the damaged original nor an earlier copy (%3 bytes)")
                              .arg(round)
                              .arg(name)
                              .arg(bytes.size());
        }
        if (originals != 1)
            faults << QStringLiteral("round %1: the damaged original is kept %2 times").arg(round).arg(originals);
        if (earlierCopy && fileBytes(path + QStringLiteral(".damaged")) != "earlier")
            faults << QStringLiteral("round %1: the earlier damaged copy is gone").arg(round);
        Registry reg;
        for (int c : reported) {
            if (!reg.OpenKey(SettingsKeyPath + QStringLiteral("Default Scopes\\Race\\M%1").arg(c), false)
                || reg.ReadString(QStringLiteral("Cs")) != QStringLiteral("M%1").arg(c))
                faults << QStringLiteral("round %1: copy %2 reported its entry written, but it is missing")
                              .arg(round)
                              .arg(c);
            else
                ++writes;
        }
        Registry::TakeStoreProblem();
        if (faults.size() > faultsBefore)
            ++failedRounds;
    }
    qInfo("%d rounds of %d copies: %d writes reported and found, %d faults in %d rounds", rounds, copies, writes,
          int(faults.size()), failedRounds);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestStore::setAsideWaitsForStoreLock()
{
    // The lock beside the store is what keeps two copies from both setting it aside: while one
    // holds it, another touches nothing.
    const QString path = Registry::StorePath();
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    const QByteArray junk(20000, 'j');
    {
        QFile damaged(path);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(junk);
    }
    const int lock = ::open(QFile::encodeName(path + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC,
                            0600);
    QVERIFY(lock >= 0);
    QCOMPARE(::flock(lock, LOCK_EX), 0);
    QProcess other;
    other.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--library-writer"), QStringLiteral("W")});
    QVERIFY(other.waitForReadyRead(30000));
    other.write("go\n");
    other.closeWriteChannel();
    const bool finishedEarly = other.waitForFinished(400);
    const QByteArray during = fileBytes(path);
    ::close(lock);
    QVERIFY2(!finishedEarly, "the other copy did not wait for the store lock");
    QCOMPARE(during, junk);
    QVERIFY(other.waitForFinished(30000));
    QCOMPARE(other.exitCode(), 0);
    QCOMPARE(fileBytes(path + QStringLiteral(".damaged")), junk);
}

void TestStore::libraryEdgeCases()
{
    QVector<ScopeCompany> library;
    ReadScopeLibrary(library);
    QVERIFY(library.isEmpty()); // no store at all

    const ScopeData initial{QStringLiteral("200"),  QStringLiteral("1.2"), QStringLiteral("1.2"), QStringLiteral("0.6"),
                            QStringLiteral("0.25"), QStringLiteral("0.5"), QStringLiteral("0.3")};
    WriteScopeEntry(QStringLiteral("Some Name"), QStringLiteral("Some Model"), initial);
    QCOMPARE(
        exportBytes(QStringLiteral("Software\\Vantrel\\Orvalis\\Default Scopes\\Some Name\\Some Model")),
        QByteArray(
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\Default Scopes\\Some Name\\Some Model]\r\n"
            "\"Voltage\"=\"200\"\r\n\"Cs\"=\"1.2\"\r\n\"Cc\"=\"1.2\"\r\n\"dE\"=\"0.6\"\r\n"
            "\"Convergence\"=\"0.3\"\r\n\"dvv\"=\"0.25\"\r\n\"dii\"=\"0.5\"\r\n"));
    ScopeData changed = initial;
    changed.Voltage = QStringLiteral("300");
    WriteScopeEntry(QStringLiteral("Some Name"), QStringLiteral("Some Model"), changed);  // overwrites
    WriteScopeEntry(QStringLiteral("Some Name"), QStringLiteral("Other Model"), initial); // a new entry beside it
    Registry().CreateKey(SettingsKeyPath + QStringLiteral("Default Scopes\\Lonely Company"));
    {
        Registry reg;
        QVERIFY(reg.OpenKey(SettingsKeyPath + QStringLiteral("Default Scopes\\Sparse\\Half"), true));
        reg.WriteString(QStringLiteral("Voltage"), QStringLiteral("80"));
    }
    ReadScopeLibrary(library);
    QCOMPARE(library.size(), 3);
    QCOMPARE(library[0].Company, QStringLiteral("Lonely Company"));
    QVERIFY(library[0].Models.isEmpty());
    QCOMPARE(library[1].Company, QStringLiteral("Some Name"));
    QCOMPARE(library[1].Models.size(), 2);
    QCOMPARE(library[1].Models[0].Model, QStringLiteral("Other Model"));
    QCOMPARE(library[1].Models[1].Data.Voltage, QStringLiteral("300"));
    QCOMPARE(library[2].Models[0].Data.Voltage, QStringLiteral("80"));
    QVERIFY(library[2].Models[0].Data.Cs.isEmpty()); // missing values read as empty text

    DeleteScopeEntry(QStringLiteral("Some Name"), QStringLiteral("Other Model"));
    DeleteScopeCompany(QStringLiteral("Lonely Company"));
    library.clear();
    ReadScopeLibrary(library);
    QCOMPARE(library.size(), 2);
    QCOMPARE(library[0].Models.size(), 1);

    // A value that is not text stops the read; what came before it stays.
    {
        Registry reg;
        QVERIFY(reg.OpenKey(SettingsKeyPath + QStringLiteral("Default Scopes\\Sparse\\Half"), false));
        reg.WriteInteger(QStringLiteral("Cs"), 1);
    }
    library.clear();
    QCOMPARE(errorOf([&] { ReadScopeLibrary(library); }), QStringLiteral("Invalid data type for 'Cs'"));
    QCOMPARE(library.size(), 2);
    QCOMPARE(library[0].Models.size(), 1);
}

void TestStore::libraryRefusesLostNames_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("model");
    QTest::newRow("empty company") << ""
                                   << "M";
    QTest::newRow("empty model") << "C"
                                 << "";
    QTest::newRow("backslash in company") << "A\\B"
                                          << "M";
    QTest::newRow("backslash in model") << "C"
                                        << "M\\N";
}

void TestStore::libraryRefusesLostNames()
{
    QFETCH(QString, company);
    QFETCH(QString, model);
    const QString error = errorOf([&] { WriteScopeEntry(company, model, ScopeData{}); });
    QVERIFY2(error.contains(QStringLiteral("not stored")), qPrintable(error));
    if (company.contains('\\') || model.contains('\\'))
        QVERIFY(error.contains(company.contains('\\') ? company : model));
    QVERIFY(!Registry().KeyExists(SettingsKeyPath + QStringLiteral("Default Scopes")));
}

void TestStore::deletesRefuseLostNames_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("model"); // "-" deletes the company
    QTest::newRow("entry of an empty model") << "C"
                                             << "";
    QTest::newRow("entry of an empty company") << ""
                                               << "M";
    QTest::newRow("empty company") << ""
                                   << "-";
    QTest::newRow("entry with a backslash") << "C"
                                            << "M\\..";
    QTest::newRow("company with a backslash") << "C\\M"
                                              << "-";
    QTest::newRow("company name too long") << QString(256, QLatin1Char('C')) << "-";
}

void TestStore::deletesRefuseLostNames()
{
    QFETCH(QString, company);
    QFETCH(QString, model);
    const ScopeData data{QStringLiteral("200"), {}, {}, {}, {}, {}, {}};
    WriteScopeEntry(QStringLiteral("C"), QStringLiteral("M"), data);
    WriteScopeEntry(QStringLiteral("Other"), QStringLiteral("M"), data);
    const QString error = errorOf([&] {
        if (model == QLatin1String("-"))
            DeleteScopeCompany(company);
        else
            DeleteScopeEntry(company, model);
    });
    QVERIFY2(error.contains(QStringLiteral("is not stored: a name must not be empty")), qPrintable(error));
    QVector<ScopeCompany> library;
    ReadScopeLibrary(library);
    QCOMPARE(library.size(), 2); // nothing deleted
    QCOMPARE(library[0].Models.size(), 1);
}

void TestStore::selectedScope_data()
{
    QTest::addColumn<QStringList>("texts");    // Voltage, Cs, Cc, dE, dvv, dii, Convergence; "-" not stored
    QTest::addColumn<QVector<double>>("read"); // Voltage, Cs, Cc, dE, Convergence, dvv, dii of the record
    QTest::addColumn<QStringList>("builtIn");
    QTest::newRow("all seven") << QStringList{"300", "1.2", "1.4", "0.7", "0.5", "0.1", "0.2"}
                               << QVector<double>{300, 1.2e6, 1.4e6, 0.7, 0.2e-3, 0.5e-6, 0.1e-6} << QStringList{};
    QTest::newRow("ripple and instability missing") << QStringList{"300", "1.2", "1.4", "0.7", "-", "-", "0.2"}
                                                    << QVector<double>{300, 1.2e6, 1.4e6, 0.7, 0.2e-3, 2.5e-7, 5e-7}
                                                    << QStringList{"HT Ripple 0.25 ppm", "Obj Lens Instab. 0.5 ppm"};
    QTest::newRow("Cc and convergence empty") << QStringList{"300", "1.2", "", "0.7", "0.5", "0.1", ""}
                                              << QVector<double>{300, 1.2e6, 1.2e6, 0.7, 3e-4, 0.5e-6, 0.1e-6}
                                              << QStringList{"Cc 1.2 mm", "Convergence 0.3 mrad"};
}

void TestStore::selectedScope()
{
    QFETCH(QStringList, texts);
    QFETCH(QVector<double>, read);
    QFETCH(QStringList, builtIn);
    WriteScopeEntry(QStringLiteral("Class"), QStringLiteral("300 kV"),
                    {texts[0], texts[1], texts[2], texts[3], texts[4], texts[5], texts[6]});
    {
        Registry reg;
        QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\Default Scopes\\Class\\300 kV"), false));
        const char *names[] = {"Voltage", "Cs", "Cc", "dE", "dvv", "dii", "Convergence"};
        for (int i = 0; i < 7; ++i)
            if (texts[i] == QLatin1String("-"))
                QVERIFY(reg.DeleteValue(QString::fromLatin1(names[i])));
    }
    TScopeData record;
    QStringList lacking{QStringLiteral("left from before")};
    QVERIFY(ReadSelectedScope(QStringLiteral("Class"), QStringLiteral("300 kV"), record, &lacking));
    QCOMPARE(record.Company, QStringLiteral("Class"));
    QCOMPARE(record.Model, QStringLiteral("300 kV"));
    const QVector<double> got{record.Voltage,     record.Cs,  record.Cc, record.dE,
                              record.Convergence, record.dvv, record.dii};
    QCOMPARE(got, read);
    QCOMPARE(lacking, builtIn);
}

void TestStore::selectedScopeNotRead()
{
    WriteScopeEntry(QStringLiteral("Class"), QStringLiteral("300 kV"),
                    {QStringLiteral("300"), QStringLiteral("1.2"), QStringLiteral("1.4"), QStringLiteral("0.7"),
                     QStringLiteral("0.1"), QStringLiteral("0.1"), QStringLiteral("0.2")});
    TScopeData untouched;
    QVERIFY(!ReadSelectedScope(QString(), QStringLiteral("x"), untouched));
    QVERIFY(!ReadSelectedScope(QStringLiteral("Default"), QStringLiteral("x"), untouched));
    QVERIFY(!ReadSelectedScope(QStringLiteral("Class"), QStringLiteral("gone"), untouched));
    QVERIFY(untouched.Company.isEmpty());
    ScopeData bad;
    bad.Voltage = QStringLiteral("2OO");
    TScopeData target;
    QCOMPARE(errorOf([&] { ApplyScopeData(bad, target); }),
             QStringLiteral("Voltage (kV): '2OO' is not a valid floating point value"));
}

// C5 is stored only for an entry that has it: it goes through the library, the selected scope, an
// export and its import; an entry without it (as every file of older versions) stays without it.
void TestStore::c5RoundTrips()
{
    ScopeData data = ScopeDataFromRecord(defaultScope());
    QVERIFY(data.C5.isEmpty());
    data.C5 = QStringLiteral("3.5");
    WriteScopeEntry(QStringLiteral("Co"), QStringLiteral("Corrected"), data);
    data.C5.clear();
    WriteScopeEntry(QStringLiteral("Co"), QStringLiteral("Plain"), data);
    const QString scopes = kOrvalis + QStringLiteral("\\Default Scopes");
    const QByteArray exported = exportBytes(scopes.mid(1));
    QCOMPARE(exported.count("\"C5\"=\"3.5\""), 1);
    QCOMPARE(exported.count("C5"), 1);

    Registry().DeleteKey(scopes);
    RegImporter::importData(exported, QStringLiteral("back.reg"));
    QVector<ScopeCompany> library;
    ReadScopeLibrary(library);
    QCOMPARE(library.size(), 1);
    QCOMPARE(library[0].Models.size(), 2);
    for (const ScopeModel &m : library[0].Models) {
        const bool corrected = m.Model == QLatin1String("Corrected");
        QCOMPARE(m.Data.C5, corrected ? QStringLiteral("3.5") : QString());
        QCOMPARE(ScopeRecordFromData(QStringLiteral("Co"), m.Model, m.Data).C5, corrected ? 3.5e6 : 0.0);
        TScopeData selected;
        QVERIFY(ReadSelectedScope(QStringLiteral("Co"), m.Model, selected));
        QCOMPARE(selected.C5, corrected ? 3.5e6 : 0.0);
        QCOMPARE(ScopeDataFromRecord(selected).C5, m.Data.C5);
    }
    // Taken off again, the value leaves the store.
    WriteScopeEntry(QStringLiteral("Co"), QStringLiteral("Corrected"), data);
    QVERIFY(!exportBytes(scopes.mid(1)).contains("C5"));
}

void TestStore::shippedList()
{
    const QString file = QFINDTESTDATA("../../data/sc.reg");
    QVERIFY(!file.isEmpty());
    const RegImporter::Summary s = RegImporter::importFile(file);
    QCOMPARE(s.skippedKeys, 0);
    QVector<ScopeCompany> library;
    ReadScopeLibrary(library);
    int models = 0;
    int corrected = 0;
    QStringList cryoEm; // the entries a cryo-EM user starts with: 300 and 200 kV with Cs 2.7 mm
    for (const ScopeCompany &c : library) {
        for (const ScopeModel &m : c.Models) {
            ++models;
            TScopeData record;
            ApplyScopeData(m.Data, record); // every text is a number
            if ((record.Voltage == 300 || record.Voltage == 200) && record.Cs == 2.7e6)
                cryoEm << formatGeneral(record.Voltage);
            QVERIFY(record.Voltage >= 60 && record.Voltage <= 300);
            QVERIFY(record.Cc > 0 && record.dE > 0 && record.Convergence > 0);
            const QByteArray name = (c.Company + QLatin1Char('/') + m.Model).toUtf8();
            if (!c.Company.startsWith(QStringLiteral("Aberration-Corrected"))) {
                QVERIFY2(record.Cs > 0, name);
                continue;
            }
            // Tuned for negative-Cs imaging, as the README says: Cs = -(64/27) / (lambda^3 g^4) for the
            // instrument's own information limit 1/g, to the micrometre.
            ++corrected;
            OpticsState optics;
            loadInstrument(optics, record);
            const double g = 1 / optics.InfoLimitTheory;
            const double lambda = optics.Wavelength;
            const double optimum = -(64.0 / 27) / (lambda * lambda * lambda * g * g * g * g);
            QVERIFY2(std::fabs(record.Cs - optimum) <= 500,
                     name + ": Cs " + QByteArray::number(record.Cs) + " nm, optimum " + QByteArray::number(optimum));
        }
    }
    // Two more since the cryo-EM entries came: a deliberate change of the shipped list.
    QCOMPARE(models, 10);
    QCOMPARE(corrected, 3);
    cryoEm.sort();
    QCOMPARE(cryoEm, QStringList({QStringLiteral("200"), QStringLiteral("300")}));
    // The shipped file is what our own writer makes of it, byte for byte.
    QFile shipped(file);
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QCOMPARE(exportBytes(QStringLiteral("Software\\Vantrel\\Orvalis\\Default Scopes")), shipped.readAll());
}

void TestStore::twoProcessesWriting()
{
    QProcess a;
    QProcess b;
    const QString self = QCoreApplication::applicationFilePath();
    a.start(self, {QStringLiteral("--writer"), QStringLiteral("A"), QStringLiteral("400")});
    b.start(self, {QStringLiteral("--writer"), QStringLiteral("B"), QStringLiteral("400")});
    QVERIFY(a.waitForFinished(60000));
    QVERIFY(b.waitForFinished(60000));
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);
    Registry reg;
    for (const char *name : {"A", "B"}) {
        QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\Load\\") + QLatin1String(name), false));
        QCOMPARE(reg.GetValueNames().size(), 400);
        QCOMPARE(reg.ReadInteger(QStringLiteral("v399")), 399);
    }
}

void TestStore::killedWriterLeavesSoundStore()
{
    QProcess writer;
    writer.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--writer"), QStringLiteral("K"), QStringLiteral("100000")});
    QVERIFY(writer.waitForStarted());
    int committed = -1;
    while (committed < 200 && writer.waitForReadyRead(20000))
        while (writer.canReadLine())
            committed = writer.readLine().trimmed().toInt();
    QVERIFY(committed >= 200);
    ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
    QVERIFY(writer.waitForFinished(10000));

    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open_v2(Registry::StorePath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr),
             SQLITE_OK);
    sqlite3_stmt *check = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
    QCOMPARE(sqlite3_step(check), SQLITE_ROW);
    const QString verdict = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)));
    sqlite3_finalize(check);
    sqlite3_close(db);
    QCOMPARE(verdict, QStringLiteral("ok"));
    Registry reg;
    QVERIFY(reg.OpenKey(kOrvalis + QStringLiteral("\\Load\\K"), false));
    for (int i = 0; i <= committed; ++i) // every write reported as done is there
        QCOMPARE(reg.ReadInteger(QStringLiteral("v%1").arg(i)), i);
}

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--writer") == 0) {
        QCoreApplication app(argc, argv);
        return runWriter(QString::fromLatin1(argv[2]), QByteArray(argv[3]).toInt());
    }
    if (argc == 3 && qstrcmp(argv[1], "--library-writer") == 0) {
        QCoreApplication app(argc, argv);
        return runLibraryWriter(QString::fromLatin1(argv[2]));
    }
    QCoreApplication app(argc, argv);
    TestStore test;
    // Only a run of every function can tell an emptied table from one that was not asked for.
    for (int i = 1; i < argc; ++i) {
        const QByteArray name = QByteArray(argv[i]).split(':').first();
        if (TestStore::staticMetaObject.indexOfMethod(name + "()") >= 0)
            test.setSelectedFunctions();
    }
    return QTest::qExec(&test, argc, argv);
}

#include "test_store.moc"
