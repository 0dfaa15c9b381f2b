// The parts of the main window that are not panels, each on a bare window: the tool-bar row and the
// body's splitters, stored and read back through the settings structure.
#include "store/windowsettings.h"
#include "ui/main/mainbody.h"
#include "ui/main/mappane.h"
#include "ui/main/patternpane.h"
#include "ui/main/toolbarrow.h"
#include "ui/widgets/bandtoolbar.h"

#include <QMainWindow>
#include <QSplitter>
#include <QtTest>

using namespace orvalis;

namespace {

QStringList names(const QList<BandToolBar *> &bands)
{
    QStringList out;
    for (const BandToolBar *band : bands)
        out << band->objectName();
    return out;
}

} // namespace

class TestWindowParts : public QObject {
    Q_OBJECT
private slots:
    void storedBandOrder_data();
    void storedBandOrder();
    void mapPaneKeepsItsHeight();
};

void TestWindowParts::storedBandOrder_data()
{
    QTest::addColumn<QStringList>("stored"); // band names by position; "" leaves the position out
    QTest::addColumn<int>("breakAt");        // the position whose band starts a new row, or -1
    QTest::addColumn<QStringList>("order");
    QTest::newRow("nothing stored") << QStringList{} << -1 << QStringList{"A", "B", "C"};
    QTest::newRow("reversed") << QStringList{"C", "B", "A"} << -1 << QStringList{"C", "B", "A"};
    QTest::newRow("first two swapped, a gap") << QStringList{"B", "A", ""} << -1 << QStringList{"B", "A", "C"};
    QTest::newRow("a band no longer there") << QStringList{"Gone", "C"} << -1 << QStringList{"A", "C", "B"};
    QTest::newRow("second row") << QStringList{"A", "C", "B"} << 2 << QStringList{"A", "C", "B"};
}

// The row comes back in the stored order, and what it captures is what it was given.
void TestWindowParts::storedBandOrder()
{
    QFETCH(QStringList, stored);
    QFETCH(int, breakAt);
    QFETCH(QStringList, order);
    QMainWindow window;
    window.resize(800, 400);
    ToolBarRow row(&window);
    QList<BandToolBar *> bands;
    for (const char *name : {"A", "B", "C"}) {
        auto *band = new BandToolBar(QString::fromLatin1(name), &window);
        band->setObjectName(QString::fromLatin1(name));
        band->addAction(QString::fromLatin1(name));
        bands << band;
    }
    row.place(bands, {false, false, false}, true);
    WindowSettings s;
    for (int i = 0; i < stored.size(); ++i)
        if (!stored[i].isEmpty()) {
            s.Bands[i].Control = stored[i];
            s.Bands[i].Break = i == breakAt;
        }
    row.applyStored(s, true);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(names(row.bands()), order);

    WindowSettings captured;
    row.capture(captured);
    QCOMPARE(captured.Bands.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(captured.Bands[i].Control, std::optional<QString>(order[i]));
        QCOMPARE(captured.Bands[i].Break, std::optional<bool>(i == breakAt && breakAt > 0));
    }
}

// Hidden, the map's pane keeps the height stored or last shown; shown, it takes that height again.
void TestWindowParts::mapPaneKeepsItsHeight()
{
    QMainWindow window;
    window.resize(900, 700);
    MainBody body(&window);
    body.map()->hide();
    body.pattern()->hide();
    WindowSettings stored;
    stored.Splitter[0] = 210;
    stored.Splitter[1] = 230;
    body.applyStored(stored);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    body.applySplitters();

    WindowSettings s;
    body.capture(s);
    QCOMPARE(s.Splitter[0], std::optional<int>(210)); // hidden: as stored
    QCOMPARE(s.Splitter[1], std::optional<int>(230)); // the pattern's pane was never shown
    body.showMap(true);
    QCoreApplication::processEvents();
    QCOMPARE(body.map()->height(), 210);
    auto *splitter = window.findChild<QSplitter *>(QStringLiteral("Splitter1"));
    splitter->setSizes({splitter->sizes()[0] + splitter->sizes()[1] - 150, 150});
    body.showMap(false);
    body.capture(s);
    QCOMPARE(s.Splitter[0], std::optional<int>(150)); // the height it had when hidden
}

QTEST_MAIN(TestWindowParts)
#include "test_windowparts.moc"
