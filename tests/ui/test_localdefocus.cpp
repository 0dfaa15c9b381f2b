// The local defocus in the window: after a fit, the patches are fitted off the event loop and shown
// as a map (the patches without rings hatched grey, not coloured), a click or the arrow keys choose
// the patch whose spectrum is drawn against its model; Cancel leaves nothing; a micrograph too small
// for patches says so; a new fit makes the map stale.
#include "core/scopedata.h"
#include "session/ctfsession.h"
#include "session/fitsession.h"
#include "session/localdefocussession.h"
#include "session/micrographsession.h"
#include "ui/fitctf/localdefocusdialog.h"

#include "ctffitcase.h"
#include "syntheticmicrograph.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace orvalis;

namespace {

constexpr double None = std::numeric_limits<double>::quiet_NaN();
const FitCase kCase{"p", 300, 2.7, 0.07, 1.0, 20500, 19500, 30, None};

// The case's rings on the left half, noise of about the same spread on the right.
MicrographImage halfRings(int size)
{
    FitImageOptions o;
    o.size = size;
    o.noise = 1.0;
    MicrographImage image = fitCaseImage(kCase, o);
    SyntheticOptions n;
    n.width = n.height = size;
    const MicrographImage noise = syntheticMicrograph(n, [](double, double) { return 0.0; });
    for (int y = 0; y < size; ++y)
        for (int x = size / 2; x < size; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * size + x;
            image.data[i] = noise.data[i] * 1.4f + (100 - 100 * 1.4f);
        }
    return image;
}

struct Window {
    CtfSession session;
    MicrographSession micrograph{session};
    FitSession fit{session, micrograph};
    LocalDefocusSession local{fit, micrograph};
    QTemporaryDir dir;

    bool open(const MicrographImage &image)
    {
        TScopeData scope = defaultScope();
        scope.Voltage = kCase.voltage;
        scope.Cs = kCase.csMm * 1e6;
        session.ScopeRecord1 = scope;
        session.beginRun();
        SpecimenDetector terms = session.specimen();
        terms.amplitudeContrast = kCase.q;
        session.setSpecimen(terms);
        const QString path = dir.filePath(QStringLiteral("micrograph.mrc"));
        QString error;
        return writeMrcFloat(path, image) && micrograph.openNow(path, &error) && fit.fitNow(&error);
    }
};

QPoint centreOf(const LocalDefocusMap &map, const DefocusPatch &p, const LocalDefocus &local)
{
    const QRectF r = map.imageRect();
    const double scale = r.width() / local.imageWidth;
    return QPointF(r.left() + (p.x + 0.5) * scale, r.top() + (p.y + 0.5) * scale).toPoint();
}

} // namespace

class TestLocalDefocus : public QObject {
    Q_OBJECT
private slots:
    void mapShowsThePatches();
    void tooSmallAndCancel();
};

void TestLocalDefocus::mapShowsThePatches()
{
    Window w;
    QVERIFY(w.open(halfRings(2048)));
    LocalDefocusDialog dialog(w.local, w.micrograph);
    dialog.show();
    QSignalSpy finished(&w.local, &LocalDefocusSession::finished);
    dialog.startOrShow();
    QVERIFY(dialog.pbPatches->isVisible() || !finished.isEmpty());
    QVERIFY(!finished.isEmpty() || finished.wait(60000));
    QVERIFY(!dialog.pbPatches->isVisible());
    const LocalDefocus &local = *w.local.result();
    QCOMPARE(local.patches.size(), std::size_t(4));
    QVERIFY2(dialog.laStatus->text().startsWith(QLatin1String("2 x 2 patches of 1024 px")),
             qPrintable(dialog.laStatus->text()));
    QVERIFY(dialog.laStatus->text().contains(QLatin1String("2 of 4 with a significant fit")));
    // Two significant patches lie on one line: no plane, and the window says so.
    QVERIFY(!local.plane);
    QVERIFY(dialog.laPlane->text().contains(QLatin1String("no plane is drawn")));

    // The left patches in the scale's colours, the right ones grey: no colour invented for them.
    dialog.resize(900, 600);
    QApplication::processEvents();
    LocalDefocusMap &map = *dialog.map;
    const QImage shot = map.grab().toImage();
    const auto [low, high] = map.scale();
    for (const DefocusPatch &p : local.patches) {
        const QColor seen = shot.pixelColor(centreOf(map, p, local) + QPoint(3, 9));
        if (p.significant()) {
            const QColor scale = LocalDefocusMap::colourOf(p.meanDefocus(), low, high);
            // 150 of 255 of the colour over the grey thumbnail
            QVERIFY2(std::abs(seen.blue() - seen.red()) > 20 || std::abs(seen.green() - seen.red()) > 20,
                     qPrintable(seen.name()));
            QVERIFY(std::abs(seen.green() - scale.green()) < 110);
        } else {
            QVERIFY2(std::abs(seen.red() - seen.green()) < 12 && std::abs(seen.green() - seen.blue()) < 12,
                     qPrintable(seen.name()));
        }
    }

    // A click on the lower right patch, then the arrow keys.
    QTest::mouseClick(&map, Qt::LeftButton, {}, centreOf(map, local.at(1, 1), local));
    QCOMPARE(map.current(), 3);
    QVERIFY2(dialog.laPatch->text().contains(QLatin1String("column 2, row 2")), qPrintable(dialog.laPatch->text()));
    QVERIFY(dialog.laPatch->text().contains(QLatin1String("no significant fit")));
    QVERIFY(!dialog.spectrum->picture().isNull()); // the spectrum alone
    QTest::keyClick(&map, Qt::Key_Left);
    QCOMPARE(map.current(), 2);
    QVERIFY2(dialog.laPatch->text().contains(QLatin1String("defocus U ")), qPrintable(dialog.laPatch->text()));
    QTest::keyClick(&map, Qt::Key_Up);
    QCOMPARE(map.current(), 0);
    QTest::keyClick(&map, Qt::Key_Up); // stays at the edge
    QCOMPARE(map.current(), 0);
    const QImage model = dialog.spectrum->picture();
    QCOMPARE(model.width(), model.height());

    // A new fit: the map goes.
    QSignalSpy cleared(&w.local, &LocalDefocusSession::cleared);
    QVERIFY(w.fit.fitNow());
    QCOMPARE(cleared.size(), 1);
    QVERIFY(!w.local.result());
    QVERIFY(dialog.laStatus->text().contains(QLatin1String("fit the patches again")));
}

void TestLocalDefocus::tooSmallAndCancel()
{
    Window small;
    FitImageOptions o;
    o.size = 1536;
    QVERIFY(small.open(fitCaseImage(kCase, o)));
    LocalDefocusDialog dialog(small.local, small.micrograph);
    QSignalSpy failed(&small.local, &LocalDefocusSession::failed);
    dialog.startOrShow();
    QVERIFY(failed.wait(60000));
    QVERIFY2(dialog.laStatus->text().startsWith(
                 QLatin1String("The micrograph, 1536 x 1536 pixels, is too small for its local defocus")),
             qPrintable(dialog.laStatus->text()));
    QVERIFY(!small.local.result());

    Window w;
    QVERIFY(w.open(halfRings(2048)));
    LocalDefocusDialog running(w.local, w.micrograph);
    QSignalSpy cancelled(&w.local, &LocalDefocusSession::cancelled);
    running.startOrShow();
    QTest::mouseClick(running.CancelBtn, Qt::LeftButton);
    QVERIFY(cancelled.wait(60000));
    QVERIFY(!w.local.result());
    QCOMPARE(running.laStatus->text(), QStringLiteral("The patches were cancelled."));
    QVERIFY(running.RecomputeBtn->isEnabled());
}

QTEST_MAIN(TestLocalDefocus)
#include "test_localdefocus.moc"
