// What each change of the session redraws in the main window's panes: one table for every caller.
#include "formdriver.h"
#include "ui/main/form1.h"
#include "ui/main/viewpainter.h"

#include <QtTest>

using namespace orvalis;
using namespace orvalis::test;

class TestRedrawPlan : public QObject {
    Q_OBJECT
private slots:
    void plan_data();
    void plan();
    void directionRedrawsTheProfile();
};

void TestRedrawPlan::plan_data()
{
    using C = CtfSession::Change;
    QTest::addColumn<CtfSession::Changes>("what");
    QTest::addColumn<bool>("defocusMoved");
    QTest::addColumn<bool>("mapVisible");
    QTest::addColumn<bool>("curves");
    QTest::addColumn<bool>("pattern");
    QTest::addColumn<bool>("marker");
    QTest::addColumn<bool>("map");
    const CtfSession::Changes coarse = CtfSession::Changes(C::Aberrations) | C::Coarse;
    // The slider's drag and its end: the marker follows the defocus only, never an astigmatism.
    QTest::newRow("defocus dragged, map shown") << coarse << true << true << true << true << true << false;
    QTest::newRow("defocus dragged, map hidden") << coarse << true << false << true << true << false << false;
    QTest::newRow("astigmatism dragged, map shown") << coarse << false << true << true << true << false << false;
    QTest::newRow("drag's end") << CtfSession::Changes(C::Aberrations) << false << true << true << true << false
                                << false;
    // The pointer's direction turns the 1D profile only.
    QTest::newRow("direction") << CtfSession::Changes(C::Direction) << false << true << true << false << false << false;
    // A new instrument rebuilds the map through its range, not here.
    QTest::newRow("instrument, map shown")
        << CtfSession::Changes(C::Instrument) << false << true << true << true << false << false;
    QTest::newRow("specimen, map shown") << CtfSession::Changes(C::Specimen) << false << true << true << true << false
                                         << true;
    QTest::newRow("specimen, map hidden")
        << CtfSession::Changes(C::Specimen) << false << false << true << true << false << false;
    // A rebuilt map carries its own marker: never a second placing in the same step.
    QTest::newRow("specimen and defocus, map shown")
        << (CtfSession::Changes(C::Specimen) | C::Aberrations) << true << true << true << true << false << true;
    QTest::newRow("micrograph") << CtfSession::Changes(C::Micrograph) << false << true << true << true << false
                                << false;
    // The view choices and the ranges are drawn by their own commands.
    QTest::newRow("view") << CtfSession::Changes(C::View) << false << true << false << false << false << false;
    QTest::newRow("ranges") << CtfSession::Changes(C::Ranges) << true << true << false << false << false << false;
    QTest::newRow("nothing") << CtfSession::Changes() << true << true << false << false << false << false;
}

void TestRedrawPlan::plan()
{
    QFETCH(CtfSession::Changes, what);
    QFETCH(bool, defocusMoved);
    QFETCH(bool, mapVisible);
    QFETCH(bool, curves);
    QFETCH(bool, pattern);
    QFETCH(bool, marker);
    QFETCH(bool, map);
    const RedrawPlan plan = redrawPlan(what, defocusMoved, mapVisible);
    QCOMPARE(plan.curves, curves);
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

QTEST_MAIN(TestRedrawPlan)
#include "test_redrawplan.moc"
