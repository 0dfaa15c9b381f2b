// The main window's settings in the store, without a window: what is written, with which types and
// in which order, what is read back, and what happens with values that cannot be read or written.
#include "core/orvaliserror.h"
#include "store/registry.h"
#include "store/settingskeys.h"
#include "store/windowsettings.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <memory>

using namespace orvalis;

namespace {

WindowSettings everyValue()
{
    WindowSettings s;
    s.SaveDir = QStringLiteral("/home/ana/ctf/");
    s.ScopeManuf = QStringLiteral("Maker");
    s.ScopeModel = QStringLiteral("M 300");
    s.UpTo = 7.25;
    s.dvv = 2.5e-7;
    s.dii = 5e-7;
    s.Monochrome = true;
    s.Underfocus = 450;
    s.Overfocus = -120;
    s.a2max = 300;
    s.a3max = 12000;
    s.Uses = 49;
    s.WindowState = 0;
    s.Top = 40;
    s.Left = 30;
    s.Width = 900;
    s.Height = 650;
    for (int i = 0; i < 5; ++i)
        s.Splitter[i] = 100 + i;
    s.Bands[0] = CoolBand{QStringLiteral("ToolBar2"), 300, false, 310};
    s.Bands[1] = CoolBand{QStringLiteral("ToolBar1"), 150, true, 160};
    s.Show2d = true;
    s.Update2D = false;
    s.Combined = true;
    s.Spatial = false;
    s.Temporal = true;
    s.Show3D = true;
    s.Envelopes = false;
    s.Intensity = true;
    s.Symmetr = false;
    s.PlotMode = true;
    s.Toolbar = true;
    s.Headers = false;
    return s;
}

struct Stored {
    QString name;
    quint32 type;
    int size;
};

QVector<Stored> storedValues(const QString &subKey)
{
    Registry r;
    QVector<Stored> out;
    if (!r.OpenKey(settingsKey(subKey), false))
        return out;
    for (const QString &n : r.GetValueNames()) {
        quint32 type = 0;
        const QByteArray data = r.GetData(n, type);
        out.push_back({n, type, int(data.size())});
    }
    return out;
}

QString describe(const QVector<Stored> &values)
{
    QStringList parts;
    for (const Stored &v : values)
        parts << QStringLiteral("%1:%2:%3").arg(v.name).arg(v.type).arg(v.size);
    return parts.join(QLatin1Char(' '));
}

// Runs SQL on the store file itself, as a damaged or locked-down store would present it.
void execOnStore(const char *sql)
{
    sqlite3 *db = nullptr;
    QVERIFY(sqlite3_open(Registry::StorePath().toUtf8().constData(), &db) == SQLITE_OK);
    char *error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    const QString message = QString::fromUtf8(error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, qPrintable(message));
}

void writeRaw(const QString &subKey, const std::function<void(Registry &)> &write)
{
    Registry r;
    QVERIFY(r.OpenKey(settingsKey(subKey), true));
    write(r);
}

} // namespace

class TestWindowSettings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_home.reset(); }

    void nothingStored();
    void roundTrip();
    void storedTypesAndOrder_data();
    void storedTypesAndOrder();
    void absentValuesAreNotWritten();
    void flagAndOnOffReadDifferently();
    void coolBarOnlyWithPosition();
    void unreadableValues_data();
    void unreadableValues();
    void unreadableValuesGoAtNextWrite_data();
    void unreadableValuesGoAtNextWrite();
    void keyThatCannotBeCreated();
    void fitToAcceptedRanges_data();
    void fitToAcceptedRanges();
    void opticalValuesOnlyWhileSet();
    void opticalValuesFitted_data();
    void opticalValuesFitted();

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

void TestWindowSettings::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", m_home->filePath(QStringLiteral("config")).toLocal8Bit());
}

void TestWindowSettings::nothingStored()
{
    const WindowSettings s = ReadWindowSettings();
    QVERIFY(!s.UpTo && !s.Uses && !s.Left && !s.WindowState && !s.PlotMode && !s.Show2d);
    QVERIFY(s.Bands.isEmpty());
    QVERIFY(s.Problems.isEmpty());
    QVERIFY(!Registry().KeyExists(settingsKey(DefaultKeyName))); // reading creates nothing
}

void TestWindowSettings::roundTrip()
{
    const WindowSettings w = everyValue();
    WriteWindowSettings(w);
    const WindowSettings r = ReadWindowSettings();
    QVERIFY2(r.Problems.isEmpty(), qPrintable(r.Problems.join(QLatin1Char('\n'))));
    QCOMPARE(r.SaveDir, w.SaveDir);
    QCOMPARE(r.ScopeManuf, w.ScopeManuf);
    QCOMPARE(r.ScopeModel, w.ScopeModel);
    QCOMPARE(r.UpTo, w.UpTo);
    QVERIFY(!r.dvv && !r.dii); // written for other readers only
    QCOMPARE(r.Monochrome, w.Monochrome);
    QCOMPARE(r.Underfocus, w.Underfocus);
    QCOMPARE(r.Overfocus, w.Overfocus);
    QCOMPARE(r.a2max, w.a2max);
    QCOMPARE(r.a3max, w.a3max);
    QCOMPARE(r.Uses, w.Uses);
    QCOMPARE(r.WindowState, w.WindowState);
    QCOMPARE(r.Top, w.Top);
    QCOMPARE(r.Left, w.Left);
    QCOMPARE(r.Width, w.Width);
    QCOMPARE(r.Height, w.Height);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(r.Splitter[i], w.Splitter[i]);
    QCOMPARE(r.Bands.keys(), w.Bands.keys());
    for (int i : w.Bands.keys()) {
        QCOMPARE(r.Bands[i].Control, w.Bands[i].Control);
        QCOMPARE(r.Bands[i].ControlWidth, w.Bands[i].ControlWidth);
        QCOMPARE(r.Bands[i].Break, w.Bands[i].Break);
        QCOMPARE(r.Bands[i].Width, w.Bands[i].Width);
    }
    for (auto field :
         {&WindowSettings::Show2d, &WindowSettings::Update2D, &WindowSettings::Combined, &WindowSettings::Spatial,
          &WindowSettings::Temporal, &WindowSettings::Show3D, &WindowSettings::Envelopes, &WindowSettings::Intensity,
          &WindowSettings::Symmetr, &WindowSettings::PlotMode, &WindowSettings::Toolbar, &WindowSettings::Headers})
        QCOMPARE(r.*field, w.*field);
}

void TestWindowSettings::storedTypesAndOrder_data()
{
    QTest::addColumn<QString>("subKey");
    QTest::addColumn<QString>("expected"); // name:type:bytes in the order listed
    // A string counts two bytes per character plus two for its end; a float is 8 bytes of binary.
    QTest::addRow("Default") << DefaultKeyName
                             << "SaveDir:1:30 Scope Manuf:1:12 Scope Model:1:12 UpTo:3:8 dvv:3:8 dii:3:8 "
                                "Monochrome:4:4 Underfocus:4:4 Overfocus:4:4 a2max:4:4 a3max:4:4 Uses:4:4";
    QTest::addRow("Position") << PositionKeyName
                              << "Window state:4:4 Top:4:4 Left:4:4 Width:4:4 Height:4:4 Splitter1:4:4 "
                                 "Splitter2:4:4 Splitter3:4:4 Splitter4:4:4 Splitter5:4:4";
    QTest::addRow("CoolBar") << CoolBarKeyName
                             << "Control0:1:18 Control Width0:4:4 Break0:4:4 Width0:4:4 "
                                "Control1:1:18 Control Width1:4:4 Break1:4:4 Width1:4:4";
    QTest::addRow("ButtonBar") << ButtonBarKeyName
                               << "Show2d:4:4 Update2D:4:4 Combined:4:4 Spatial:4:4 Temporal:4:4 Show3D:4:4 "
                                  "Envelopes:4:4 Intensity:4:4 Symmetr:4:4 Plot Mode:4:4 Toolbar:4:4 Headers:4:4";
}

void TestWindowSettings::storedTypesAndOrder()
{
    QFETCH(QString, subKey);
    QFETCH(QString, expected);
    WriteWindowSettings(everyValue());
    QCOMPARE(describe(storedValues(subKey)), expected);

    Registry r;
    QVERIFY(r.OpenKey(settingsKey(DefaultKeyName), false));
    QCOMPARE(r.ReadFloat(QStringLiteral("UpTo")), 7.25);
    QCOMPARE(r.ReadInteger(QStringLiteral("Overfocus")), -120);
    quint32 type = 0;
    QCOMPARE(r.GetData(QStringLiteral("UpTo"), type), QByteArray::fromHex("0000000000001d40")); // little-endian
    QVERIFY(r.OpenKey(settingsKey(ButtonBarKeyName), false));
    QCOMPARE(r.ReadInteger(QStringLiteral("Plot Mode")), 1);
    QCOMPARE(r.ReadInteger(QStringLiteral("Headers")), 0);
}

// A maximised window writes no bounds and a save dialog never used writes no folder: what an
// earlier run stored for them stays.
void TestWindowSettings::absentValuesAreNotWritten()
{
    WriteWindowSettings(everyValue());
    WindowSettings maximised = everyValue();
    maximised.WindowState = 2;
    maximised.Top = maximised.Left = maximised.Width = maximised.Height = std::nullopt;
    maximised.SaveDir = std::nullopt;
    maximised.Uses = 50;
    WriteWindowSettings(maximised);
    const WindowSettings r = ReadWindowSettings();
    QCOMPARE(r.WindowState, std::optional<int>(2));
    QCOMPARE(r.Left, std::optional<int>(30));
    QCOMPARE(r.Width, std::optional<int>(900));
    QCOMPARE(r.SaveDir, std::optional<QString>(QStringLiteral("/home/ana/ctf/")));
    QCOMPARE(r.Uses, std::optional<int>(50));
}

void TestWindowSettings::flagAndOnOffReadDifferently()
{
    WriteWindowSettings(everyValue());
    writeRaw(DefaultKeyName, [](Registry &r) { r.WriteInteger(QStringLiteral("Monochrome"), 2); });
    writeRaw(CoolBarKeyName, [](Registry &r) { r.WriteInteger(QStringLiteral("Break0"), -1); });
    writeRaw(ButtonBarKeyName, [](Registry &r) { r.WriteInteger(QStringLiteral("Show2d"), 2); });
    const WindowSettings s = ReadWindowSettings();
    QCOMPARE(s.Monochrome, std::optional<bool>(true)); // a flag is set when not 0
    QCOMPARE(s.Bands[0].Break, std::optional<bool>(true));
    QCOMPARE(s.Show2d, std::optional<bool>(false)); // a view choice is on only when exactly 1
}

void TestWindowSettings::coolBarOnlyWithPosition()
{
    WriteWindowSettings(everyValue());
    QVERIFY(Registry().DeleteKey(settingsKey(PositionKeyName)));
    const WindowSettings s = ReadWindowSettings();
    QVERIFY(s.Bands.isEmpty());
    QVERIFY(!s.Left);
    QCOMPARE(s.Uses, std::optional<int>(49));
}

void TestWindowSettings::unreadableValues_data()
{
    QTest::addColumn<QString>("subKey");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("remove"); // else rewritten as a string
    QTest::addColumn<QString>("problem");
    QTest::addRow("view choice as text") << ButtonBarKeyName << "Spatial" << false << "Invalid data type for 'Spatial'";
    QTest::addRow("view choice missing") << ButtonBarKeyName << "Headers" << true << "Failed to get data for 'Headers'";
    QTest::addRow("optional view choice missing") << ButtonBarKeyName << "Show3D" << true << "";
    QTest::addRow("range as text") << DefaultKeyName << "a3max" << false << "Invalid data type for 'a3max'";
    QTest::addRow("UpTo as text") << DefaultKeyName << "UpTo" << false << "Invalid data type for 'UpTo'";
    QTest::addRow("bound as text") << PositionKeyName << "Left" << false << "Invalid data type for 'Left'";
    QTest::addRow("band width as text") << CoolBarKeyName << "Width1" << false << "Invalid data type for 'Width1'";
}

// One bad value costs only itself: everything else is read, and the value is named once.
void TestWindowSettings::unreadableValues()
{
    QFETCH(QString, subKey);
    QFETCH(QString, value);
    QFETCH(bool, remove);
    QFETCH(QString, problem);
    WriteWindowSettings(everyValue());
    writeRaw(subKey, [&](Registry &r) {
        if (remove)
            QVERIFY(r.DeleteValue(value));
        else
            r.WriteString(value, QStringLiteral("yes"));
    });
    const WindowSettings s = ReadWindowSettings();
    QCOMPARE(s.Problems, problem.isEmpty() ? QStringList() : QStringList{problem});
    QCOMPARE(s.Spatial, value == QLatin1String("Spatial") ? std::nullopt : std::optional<bool>(false));
    QCOMPARE(s.Headers, value == QLatin1String("Headers") ? std::nullopt : std::optional<bool>(false));
    QCOMPARE(s.Toolbar, std::optional<bool>(true));
    QCOMPARE(s.Uses, std::optional<int>(49));
    QCOMPARE(s.Top, std::optional<int>(40));
    QCOMPARE(s.Bands[1].ControlWidth, std::optional<int>(150));
}

void TestWindowSettings::unreadableValuesGoAtNextWrite_data()
{
    QTest::addColumn<QString>("subKey");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("asText");  // stored as text where a number belongs, else the other way round
    QTest::addColumn<bool>("written"); // the next write has a value of its own for it
    QTest::addRow("SaveDir as a number, nothing saved this run") << DefaultKeyName << "SaveDir" << false << false;
    QTest::addRow("bound as text, closed maximised") << PositionKeyName << "Top" << true << false;
    QTest::addRow("band beyond the tool bars") << CoolBarKeyName << "Control5" << false << false;
    QTest::addRow("range as text, written again") << DefaultKeyName << "a3max" << true << true;
}

// A value reported as unreadable must not be reported again at every start: the next write
// replaces it, or removes it when it has nothing to write for it.
void TestWindowSettings::unreadableValuesGoAtNextWrite()
{
    QFETCH(QString, subKey);
    QFETCH(QString, value);
    QFETCH(bool, asText);
    QFETCH(bool, written);
    WriteWindowSettings(everyValue());
    writeRaw(subKey, [&](Registry &r) {
        if (asText)
            r.WriteString(value, QStringLiteral("12"));
        else
            r.WriteInteger(value, 12);
    });
    const WindowSettings read = ReadWindowSettings();
    QCOMPARE(read.Problems.size(), 1);
    QCOMPARE(read.Unreadable, (QMap<QString, QStringList>{{subKey, {value}}}));

    WindowSettings next = everyValue(); // what the window has at close
    if (value == QLatin1String("SaveDir"))
        next.SaveDir.reset();
    else if (value == QLatin1String("Top"))
        next.Top.reset();
    next.Unreadable = read.Unreadable;
    WriteWindowSettings(next);
    const WindowSettings again = ReadWindowSettings();
    QCOMPARE(again.Problems, QStringList());
    Registry r;
    QVERIFY(r.OpenKey(settingsKey(subKey), false));
    QCOMPARE(r.ValueExists(value), written);
    if (written)
        QCOMPARE(again.a3max, std::optional<int>(12000));
    QCOMPARE(again.Uses, std::optional<int>(49)); // the rest as written
}

// A key the store refuses to create stops the save there: the groups before it stay written, the
// ones after it are not written at all.
void TestWindowSettings::keyThatCannotBeCreated()
{
    WindowSettings first;
    first.Uses = 1;
    WriteWindowSettings(first);
    QVERIFY(!Registry().KeyExists(settingsKey(PositionKeyName))); // nothing to write, no key
    execOnStore("CREATE TRIGGER refuse_position BEFORE INSERT ON keys WHEN NEW.name = 'Position' "
                "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    QString error;
    try {
        WriteWindowSettings(everyValue());
    } catch (const OrvalisError &e) {
        error = e.text();
    }
    QCOMPARE(error, QStringLiteral("Cannot access registry"));
    const WindowSettings s = ReadWindowSettings();
    QCOMPARE(s.Uses, std::optional<int>(49));
    QVERIFY(!Registry().KeyExists(settingsKey(PositionKeyName)));
    QVERIFY(!Registry().KeyExists(settingsKey(CoolBarKeyName)));
    QVERIFY(!Registry().KeyExists(settingsKey(ButtonBarKeyName)));
}

void TestWindowSettings::fitToAcceptedRanges_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<double>("stored");
    QTest::addColumn<double>("used");
    QTest::addColumn<QString>("line"); // empty: kept as it is
    const double intMin = std::numeric_limits<int>::min();
    const double intMax = std::numeric_limits<int>::max();
    QTest::newRow("UpTo within") << "UpTo" << 12.5 << 12.5 << "";
    QTest::newRow("UpTo at the limit") << "UpTo" << 1000.0 << 1000.0 << "";
    QTest::newRow("UpTo 1e9") << "UpTo" << 1e9 << 1000.0 << "'UpTo' (1000000000): 1000 is used";
    QTest::newRow("UpTo 0") << "UpTo" << 0.0 << 10.0 << "'UpTo' (0): 10 is used";
    QTest::newRow("UpTo NaN") << "UpTo" << std::numeric_limits<double>::quiet_NaN() << 10.0
                              << "'UpTo' (NAN): 10 is used";
    QTest::newRow("Overfocus at the limit") << "Overfocus" << -1e9 << -1e9 << "";
    QTest::newRow("Overfocus lowest") << "Overfocus" << intMin << -1e9
                                      << "'Overfocus' (-2147483648): -1000000000 is used";
    QTest::newRow("Underfocus highest") << "Underfocus" << intMax << 1e9
                                        << "'Underfocus' (2147483647): 1000000000 is used";
    QTest::newRow("Underfocus lowest") << "Underfocus" << intMin << -1e9
                                       << "'Underfocus' (-2147483648): -1000000000 is used";
    QTest::newRow("a2max negative") << "a2max" << -5.0 << 0.0 << "'a2max' (-5): 0 is used";
    QTest::newRow("a3max highest") << "a3max" << intMax << 1e9 << "'a3max' (2147483647): 1000000000 is used";
    QTest::newRow("Uses negative") << "Uses" << -1.0 << 0.0 << "'Uses' (-1): 0 is used";
    QTest::newRow("Uses highest") << "Uses" << intMax << intMax << "";
}

// What the window takes over as it stands comes back within what its dialogs accept.
void TestWindowSettings::fitToAcceptedRanges()
{
    QFETCH(QString, value);
    QFETCH(double, stored);
    QFETCH(double, used);
    QFETCH(QString, line);
    WindowSettings s;
    s.Top = std::numeric_limits<int>::min(); // placement is the window's business: never touched here
    std::optional<int> *integer = value == "Overfocus" ? &s.Overfocus
        : value == "Underfocus"                        ? &s.Underfocus
        : value == "a2max"                             ? &s.a2max
        : value == "a3max"                             ? &s.a3max
        : value == "Uses"                              ? &s.Uses
                                                       : nullptr;
    if (integer)
        *integer = static_cast<int>(stored);
    else
        s.UpTo = stored;
    const QStringList lines = FitToAcceptedRanges(s);
    QCOMPARE(lines, line.isEmpty() ? QStringList() : QStringList{line});
    QCOMPARE(integer ? double(**integer) : *s.UpTo, used);
    QCOMPARE(s.Top, std::optional<int>(std::numeric_limits<int>::min()));
    WindowSettings none;
    QVERIFY(FitToAcceptedRanges(none).isEmpty());
    QVERIFY(!none.UpTo && !none.Overfocus && !none.Uses);
}

// The specimen's terms and the optical choices are written while set and removed once back at their
// defaults: a run that never used them, or reset them, leaves the store of before.
void TestWindowSettings::opticalValuesOnlyWhileSet()
{
    WriteWindowSettings(everyValue());
    const QString before = describe(storedValues(DefaultKeyName)) + " / " + describe(storedValues(ButtonBarKeyName));
    WindowSettings set = everyValue();
    set.AmplitudeContrast = 0.07;
    set.PhaseShift = 90;
    set.BFactor = 50;
    set.PixelSize = 1.2;
    set.FineDefocus = true;
    set.RelionSign = true;
    set.Sampled2D = true;
    WriteWindowSettings(set);
    QVERIFY(describe(storedValues(DefaultKeyName))
                .endsWith("Uses:4:4 Amplitude Contrast:3:8 Phase Shift:3:8 B-Factor:3:8 Pixel Size:3:8 "
                          "Fine Defocus:4:4"));
    QVERIFY(describe(storedValues(ButtonBarKeyName)).endsWith("Headers:4:4 RELION Sign:4:4 Sampled 2D:4:4"));
    const WindowSettings r = ReadWindowSettings();
    QCOMPARE(r.AmplitudeContrast, std::optional<double>(0.07));
    QCOMPARE(r.PhaseShift, std::optional<double>(90));
    QCOMPARE(r.BFactor, std::optional<double>(50));
    QCOMPARE(r.PixelSize, std::optional<double>(1.2));
    QCOMPARE(r.FineDefocus, std::optional<bool>(true));
    QCOMPARE(r.RelionSign, std::optional<bool>(true));
    QCOMPARE(r.Sampled2D, std::optional<bool>(true));

    WriteWindowSettings(everyValue());
    QCOMPARE(describe(storedValues(DefaultKeyName)) + " / " + describe(storedValues(ButtonBarKeyName)), before);
    const WindowSettings again = ReadWindowSettings();
    QVERIFY(!again.AmplitudeContrast && !again.PixelSize && !again.FineDefocus && !again.RelionSign);
}

void TestWindowSettings::opticalValuesFitted_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("line"); // empty: kept
    QTest::newRow("Q within") << "Amplitude Contrast" << 0.1 << "";
    QTest::newRow("Q of 1") << "Amplitude Contrast" << 1.0 << "'Amplitude Contrast' (1): 0 is used";
    QTest::newRow("negative pixel") << "Pixel Size" << -1.0 << "'Pixel Size' (-1): 0 is used";
    QTest::newRow("pixel NaN") << "Pixel Size" << std::numeric_limits<double>::quiet_NaN()
                               << "'Pixel Size' (NAN): 0 is used";
    QTest::newRow("B beyond") << "B-Factor" << 1e5 << "'B-Factor' (100000): 0 is used";
    QTest::newRow("phase beyond") << "Phase Shift" << 400.0 << "'Phase Shift' (400): 0 is used";
    QTest::newRow("fine within") << "Fine Defocus" << 100000000.0 << "";
    QTest::newRow("fine beyond") << "Fine Defocus" << 100000001.0 << "'Fine Defocus' (1): 0 is used";
}

// A stored value the program would refuse where the user sets it leaves its term out.
void TestWindowSettings::opticalValuesFitted()
{
    QFETCH(QString, value);
    QFETCH(double, stored);
    QFETCH(QString, line);
    WindowSettings s;
    std::optional<double> *term = value == "Amplitude Contrast" ? &s.AmplitudeContrast
        : value == "Pixel Size"                                 ? &s.PixelSize
        : value == "B-Factor"                                   ? &s.BFactor
        : value == "Phase Shift"                                ? &s.PhaseShift
                                                                : nullptr;
    if (term) {
        *term = stored;
    } else {
        s.FineDefocus = true; // with the defocus range reaching `stored`
        s.Underfocus = static_cast<int>(stored);
    }
    QCOMPARE(FitToAcceptedRanges(s), line.isEmpty() ? QStringList() : QStringList{line});
    QCOMPARE(term ? bool(*term) : bool(s.FineDefocus), line.isEmpty());
}

QTEST_GUILESS_MAIN(TestWindowSettings)
#include "test_windowsettings.moc"
