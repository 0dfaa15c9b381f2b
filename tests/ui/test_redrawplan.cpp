// What each change of the session redraws in the main window's panes: one table for every caller.
#include "formdriver.h"
#include "ui/main/form1.h"
#include "ui/main/viewpainter.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

using namespace orvalis;
using namespace orvalis::test;

class TestRedrawPlan : public QObject {
    Q_OBJECT
private slots:
    void plan_data();
    void plan();
    void directionRedrawsTheProfile();
    void oneStepOneChange_data();
    void oneStepOneChange();
};

void TestRedrawPlan::plan_data()
{
    using C = CtfSession::Change;
    using Cs = CtfSession::Changes;
    QTest::addColumn<CtfSession::Changes>("what");
    QTest::addColumn<bool>("mapVisible");
    QTest::addColumn<bool>("markerPending");
    QTest::addColumn<bool>("rangeDiffers");
    QTest::addColumn<bool>("curves");
    QTest::addColumn<bool>("series");
    QTest::addColumn<bool>("pattern");
    QTest::addColumn<bool>("marker");
    QTest::addColumn<bool>("map");
    const Cs coarse = Cs(C::Aberrations) | C::Coarse;
    const Cs defocus = coarse | C::Defocus;
    // The slider's drag and its end: the marker follows the defocus only, never an astigmatism.
    QTest::newRow("defocus dragged, map shown")
        << defocus << true << false << false << true << false << true << true << false;
    QTest::newRow("defocus dragged, map hidden")
        << defocus << false << false << false << true << false << true << false << false;
    QTest::newRow("astigmatism dragged, map shown")
        << coarse << true << false << false << true << false << true << false << false;
    QTest::newRow("drag's end") << Cs(C::Aberrations) << true << false << false << true << false << true << false
                                << false;
    // The pointer's direction turns the 1D profile only.
    QTest::newRow("direction") << Cs(C::Direction) << true << false << false << true << false << false << false
                               << false;
    // A new instrument rebuilds the map, hidden or not, once the window has been painted; a rebuilt
    // map carries its own marker.
    QTest::newRow("instrument, map shown")
        << (Cs(C::Instrument) | defocus) << true << false << false << true << false << true << false << true;
    QTest::newRow("instrument, map hidden")
        << Cs(C::Instrument) << false << false << false << true << false << true << false << true;
    QTest::newRow("instrument before the first paint")
        << (Cs(C::Instrument) | defocus) << true << true << false << true << false << true << true << false;
    QTest::newRow("specimen, map shown") << Cs(C::Specimen) << true << false << false << true << false << true << false
                                         << true;
    QTest::newRow("specimen, map hidden")
        << Cs(C::Specimen) << false << false << false << true << false << true << false << false;
    QTest::newRow("specimen and defocus, map shown") << (Cs(C::Specimen) | C::Aberrations | C::Defocus) << true << false
                                                     << false << true << false << true << false << true;
    // The map spans the defocus range, shown or not (its table reads it).
    QTest::newRow("defocus range widened")
        << Cs(C::Ranges) << false << false << true << false << false << false << false << true;
    QTest::newRow("other ranges") << Cs(C::Ranges) << true << false << false << false << false << false << false
                                  << false;
    QTest::newRow("typed defocus beyond the range") << (Cs(C::Ranges) | C::Aberrations | C::Defocus) << true << false
                                                    << true << true << false << true << false << true;
    // A micrograph's pixel size comes with its spectrum, which draws.
    QTest::newRow("micrograph") << Cs(C::Micrograph) << true << false << false << false << false << false << false
                                << false;
    // A view choice redraws the views it touches; the others (monochrome, the second CTF chosen) none.
    QTest::newRow("view") << Cs(C::View) << true << false << false << false << false << false << false << false;
    QTest::newRow("curve choice") << (Cs(C::View) | C::CurveChoice) << true << false << false << true << false << false
                                  << false << false;
    QTest::newRow("sign turned") << (Cs(C::View) | C::Series) << true << false << false << false << true << false
                                 << false << false;
    QTest::newRow("pattern choice") << (Cs(C::View) | C::PatternChoice) << true << false << false << false << false
                                    << true << false << false;
    QTest::newRow("mode") << (Cs(C::View) | C::CurveChoice | C::PatternChoice) << false << false << false << true
                          << false << true << false << false;
    QTest::newRow("map shown") << (Cs(C::View) | C::MapChoice) << true << false << false << false << false << false
                               << false << true;
    QTest::newRow("map hidden") << (Cs(C::View) | C::MapChoice) << false << false << false << false << false << false
                                << false << false;
    QTest::newRow("nothing") << Cs() << true << false << true << false << false << false << false << false;
}

void TestRedrawPlan::plan()
{
    QFETCH(CtfSession::Changes, what);
    QFETCH(bool, mapVisible);
    QFETCH(bool, markerPending);
    QFETCH(bool, rangeDiffers);
    QFETCH(bool, curves);
    QFETCH(bool, series);
    QFETCH(bool, pattern);
    QFETCH(bool, marker);
    QFETCH(bool, map);
    const RedrawPlan plan = redrawPlan(what, {mapVisible, markerPending, rangeDiffers});
    QCOMPARE(plan.curves, curves);
    QCOMPARE(plan.series, series);
    QCOMPARE(plan.pattern, pattern);
    QCOMPARE(plan.marker, marker);
    QCOMPARE(plan.map, map);
}

// A direction picked on the pattern reaches the chart through the session's change alone.
void TestRedrawPlan::directionRedrawsTheProfile()
{
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    typeAndEnter(&form, "edAstigm", QStringLiteral("60"));
    const QVector<double> before = form.session().seriesY(CurveCtf);
    QWidget *image = child<QWidget>(&form, "Image1");
    form.painter().Image1MouseUp(Qt::LeftButton, image->width() - 10, image->height() - 40);
    QVERIFY(form.state().Direction != 0);
    // The profile the chart was given is the one across the new direction.
    QVERIFY(form.session().seriesY(CurveCtf) != before);
}

// A user's step that sets several values (a typed value and the slider that shows it, a dialog's
// aberrations, an instrument and the controls that show it) tells the panes once, so it is drawn
// once; a typed value the slider already shows tells nothing, as it never redrew.
void TestRedrawPlan::oneStepOneChange_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("changes");
    QTest::newRow("defocus typed") << "typed" << 1;
    QTest::newRow("defocus typed where the slider stands") << "typed here" << 0;
    QTest::newRow("astigmatism dialog") << "dialog" << 1;
    QTest::newRow("instrument applied") << "instrument" << 1;
}

void TestRedrawPlan::oneStepOneChange()
{
    QFETCH(QString, step);
    QFETCH(int, changes);
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const int at = child<QScrollBar>(&form, "ScrollBar1")->value();
    QSignalSpy told(&form.session(), &CtfSession::changed);
    if (step == "typed") {
        typeAndEnter(&form, "edDefocus", QStringLiteral("-150"));
        QCOMPARE(form.state().Defocus, -150.0);
    } else if (step == "typed here") {
        QVERIFY(form.state().Defocus != -at); // the extended Scherzer defocus, unrounded
        typeAndEnter(&form, "edDefocus", QString::number(-at));
        QCOMPARE(form.state().Defocus, double(-at)); // kept all the same
    } else if (step == "dialog") {
        form.controls().setAberrations(-120, 30, 0.5, 0.25);
        QCOMPARE(form.state().A2Azimuth, 0.5);
    } else {
        TScopeData scope = defaultScope();
        scope.Voltage = 300;
        QVERIFY(form.setup().ApplyScopeRecord(scope));
    }
    QCOMPARE(told.count(), changes);
    if (step == "instrument")
        QVERIFY(told.first().first().value<CtfSession::Changes>().testFlag(CtfSession::Change::Instrument));
}

QTEST_MAIN(TestRedrawPlan)
#include "test_redrawplan.moc"
