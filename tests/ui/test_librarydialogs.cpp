// The library dialogs as the running program opens them from the main window: created once in
// order, applied to the active scope record, and redrawn only when something changed.
#include "formdriver.h"
#include "modalscript.h"

#include "chart/chartwidget.h"
#include "store/scopelibrary.h"
#include "ui/info/fminfo.h"
#include "ui/main/formset.h"
#include "ui/microedit/fmscopeedit.h"
#include "ui/microsetup/fmmicrosetup.h"
#include "ui/quicksetup/fmquickedit.h"

#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

using namespace orvalis;
using namespace orvalis::test;

namespace {

// Picks company/model in the setup dialog and presses OK.
std::function<void(TfmMicroSetup *)> chooseAndOk(const QString &company, const QString &model)
{
    return [company, model](TfmMicroSetup *dlg) {
        auto *tree = child<QTreeWidget>(dlg, "TreeView1");
        const auto found = tree->findItems(model, Qt::MatchExactly | Qt::MatchRecursive);
        for (QTreeWidgetItem *node : found)
            if (node->parent() && node->parent()->text(0) == company)
                tree->setCurrentItem(node);
        child<QPushButton>(dlg, "OKBtn")->click();
    };
}

void writeEntry(const QString &company, const QString &model, const QString &voltage, const QString &cs)
{
    ScopeData d = TfmScopeEdit::initialTexts();
    d.Voltage = voltage;
    d.Cs = cs;
    WriteScopeEntry(company, model, d);
}

} // namespace

class TestLibraryDialogs : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void createdOnceInOrder();
    void setupLoadsActiveRecord_data();
    void setupLoadsActiveRecord();
    void refusedInstrumentChangesNothing();
    void quickSetup_data();
    void quickSetup();
    void quickSetupC5();
    void quickSetupUnits_data();
    void quickSetupUnits();
    void infoBlocks_data();
    void infoBlocks();

private:
    TForm1 &form() { return m_forms->form(); }
    QString treeNode(int group) { return child<QTreeWidget>(&form(), "TreeView1")->topLevelItem(group)->text(0); }
    void enterPlotterWithSecondCtf()
    {
        form().views().ChangeMode();
        QTest::mouseClick(child<QToolButton>(&form(), "btn2ndCTF"), Qt::LeftButton);
        QVERIFY(form().state().SecondCTF);
    }
    std::unique_ptr<FreshSettingsFolder> m_settings;
    std::unique_ptr<FormSet> m_forms;
};

void TestLibraryDialogs::init()
{
    m_settings = std::make_unique<FreshSettingsFolder>();
    writeEntry("Corrected", "C1", "300", "-0.05"); // negative-Cs imaging
    writeEntry("Broken", "Zero volts", "0", "1.2");
    m_forms = std::make_unique<FormSet>();
    form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&form()));
}

void TestLibraryDialogs::cleanup()
{
    m_forms.reset();
    m_settings.reset();
}

void TestLibraryDialogs::createdOnceInOrder()
{
    QStringList order;
    for (QObject *o : form().children())
        if (auto *dlg = qobject_cast<QDialog *>(o);
            dlg && !qobject_cast<QFileDialog *>(o)) // the kept save dialog is the window's own
            order << dlg->metaObject()->className() + QStringLiteral(":") + dlg->windowTitle();
    QCOMPARE(order.join(" "),
             QString("orvalis::TfmMicroSetup:Microscope Setup orvalis::TfmQuickEdit:Quick Set Up "
                     "orvalis::TfmInfo:Info orvalis::TfmScopeEdit:Microscope Edit"));
    for (const char *item : {"Microscope1", "SelectMicroscope1", "QuickSetup1", "QuickSetup2", "ShowInfo1"})
        QVERIFY2(action(&form(), item)->isEnabled(), item);
    auto *popup = child<QMenu>(&form(), "popmTree");
    QCOMPARE(popup->actions().size(), 2);
    QCOMPARE(popup->actions()[0]->text(), QString("Select/Edit Microscope"));
    QCOMPARE(popup->actions()[1]->text(), QString("Quick Setup"));
    // A window alone has nothing to open: the items are greyed.
    TForm1 alone;
    QVERIFY(!action(&alone, "Microscope1")->isEnabled());
    QVERIFY(!action(&alone, "QuickSetup2")->isEnabled());
    // Each fits the smallest screen the program supports.
    for (QWidget *dlg : {static_cast<QWidget *>(m_forms->microSetup), static_cast<QWidget *>(m_forms->quickEdit),
                         static_cast<QWidget *>(m_forms->info), static_cast<QWidget *>(m_forms->scopeEdit)})
        QVERIFY2(dlg->width() <= 1366 && dlg->height() <= 740, dlg->metaObject()->className());
}

void TestLibraryDialogs::setupLoadsActiveRecord_data()
{
    QTest::addColumn<bool>("second");
    QTest::addColumn<QString>("item");
    QTest::newRow("menu, 1st CTF") << false << "Microscope1";
    QTest::newRow("tree pop-up, 2nd CTF in plotter mode") << true << "SelectMicroscope1";
}

void TestLibraryDialogs::setupLoadsActiveRecord()
{
    QFETCH(bool, second);
    QFETCH(QString, item);
    if (second)
        enterPlotterWithSecondCtf();
    const TScopeData untouched = second ? form().ScopeRecord1 : form().ScopeRecord2;
    const double defocus = form().session().activeScopeRecord().Defocus;
    {
        ModalScript script;
        script.step<TfmMicroSetup>(chooseAndOk("Corrected", "C1"));
        action(&form(), qPrintable(item))->trigger();
    }
    const TScopeData &loaded = second ? form().ScopeRecord2 : form().ScopeRecord1;
    QCOMPARE(loaded.Model, QString("C1"));
    QCOMPARE(loaded.Cs, -0.05e6);
    QCOMPARE(loaded.Defocus, defocus);
    const TScopeData &other = second ? form().ScopeRecord1 : form().ScopeRecord2;
    QCOMPARE(other.Model, untouched.Model);
    QCOMPARE(other.Cs, untouched.Cs);
    QCOMPARE(form().state().Voltage, 300.0);
    QCOMPARE(treeNode(0), QString("Microscope: Corrected/C1"));
    // The corrected instrument's Scherzer defocus is an overfocus.
    QCOMPARE(child<QTreeWidget>(&form(), "TreeView1")->topLevelItem(2)->child(0)->text(0),
             QString("Scherzer:  9.9 nm"));
}

void TestLibraryDialogs::refusedInstrumentChangesNothing()
{
    const TScopeData before = form().ScopeRecord1;
    const double wavelength = form().state().Wavelength;
    MessageBoxCatcher report;
    {
        ModalScript script;
        script.step<TfmMicroSetup>(chooseAndOk("Broken", "Zero volts"));
        action(&form(), "Microscope1")->trigger();
    }
    QTRY_VERIFY(!report.text.isEmpty());
    QVERIFY2(report.text.contains("Voltage (kV) is 0;"), qPrintable(report.text));
    QCOMPARE(form().ScopeRecord1.Model, before.Model);
    QCOMPARE(form().ScopeRecord1.Voltage, before.Voltage);
    QCOMPARE(form().state().Wavelength, wavelength);
    QCOMPARE(treeNode(0), QString("Microscope: Default/Use SetUp Menu to change"));
}

void TestLibraryDialogs::quickSetup_data()
{
    QTest::addColumn<QStringList>("edits"); // field=text, in order
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("second");
    QTest::addColumn<bool>("reloaded");
    QTest::addColumn<double>("voltage"); // of the active record afterwards
    QTest::addColumn<double>("cs");
    QTest::addColumn<double>("upTo");
    QTest::addColumn<QString>("message");
    QTest::newRow("no change: the record takes the shown values, nothing is redrawn")
        << QStringList() << false << false << false << 200.0 << 1.2e6 << 10.0 << "";
    QTest::newRow("Up To only") << QStringList{"Edit6=12.5"} << false << false << true << 200.0 << 1.2e6 << 12.5 << "";
    QTest::newRow("bad Cs after a new voltage")
        << QStringList{"Edit1=300", "Edit2=1,5"} << false << false << false << 300.0 << 1.2e6 << 10.0
        << "Sorry,\nCs (mm): '1,5' is not a valid floating point value";
    QTest::newRow("emptied field keeps the record's")
        << QStringList{"Edit1=120", "Edit2="} << false << false << true << 120.0 << 1.2e6 << 10.0 << "";
    QTest::newRow("refused instrument: record and frequency stay")
        << QStringList{"Edit1=0", "Edit6=12"} << false << false << false << 200.0 << 1.2e6 << 10.0
        << "The microscope \"Default/Use SetUp Menu to change\" cannot be used: Voltage (kV) is 0; it must be from "
           "0.001 to 1000000.";
    QTest::newRow("convergence of 1e308 mrad: refused, nothing changes")
        << QStringList{"Edit1=300", "Edit5=1e308"} << false << false << false << 200.0 << 1.2e6 << 10.0
        << "The microscope \"Default/Use SetUp Menu to change\" cannot be used: Convergence (mrad) is 1E308; it "
           "must be from -1000000 to 1000000.";
    QTest::newRow("frequency out of range")
        << QStringList{"Edit6=1000.5"} << false << false << false << 200.0 << 1.2e6 << 10.0
        << "Sorry,\nThe highest frequency shown cannot be 1000.5 nm-1; it must be from 0 to 1000 nm-1.";
    QTest::newRow("cancelled") << QStringList{"Edit1=300"} << true << false << false << 200.0 << 1.2e6 << 10.0 << "";
    QTest::newRow("2nd CTF") << QStringList{"Edit2=0.5"} << false << true << true << 200.0 << 0.5e6 << 10.0 << "";
}

void TestLibraryDialogs::quickSetup()
{
    QFETCH(QStringList, edits);
    QFETCH(bool, cancel);
    QFETCH(bool, second);
    QFETCH(bool, reloaded);
    QFETCH(double, voltage);
    QFETCH(double, cs);
    QFETCH(double, upTo);
    QFETCH(QString, message);
    if (second)
        enterPlotterWithSecondCtf();
    typeAndEnter(&form(), "edAstigm", "50"); // a load sets the two-fold astigmatism back to 0
    QCOMPARE(form().state().A2, 50.0);
    form().session().activeScopeRecord().dvv = 0; // stands for "missing"; the optics state uses 0.25 ppm
    const TScopeData other = second ? form().ScopeRecord1 : form().ScopeRecord2;
    QString shownDvv;
    {
        ModalScript script;
        script.step<TfmQuickEdit>([&](TfmQuickEdit *dlg) {
            shownDvv = child<QLineEdit>(dlg, "Edit7")->text();
            for (const QString &edit : edits) {
                auto *field = child<QLineEdit>(dlg, qPrintable(edit.section('=', 0, 0)));
                field->selectAll();
                QTest::keyClick(field, Qt::Key_Delete);
                QTest::keyClicks(field, edit.section('=', 1));
            }
            QTest::keyClick(dlg, cancel ? Qt::Key_Escape : Qt::Key_Return);
        });
        if (!message.isEmpty())
            script.answer(QMessageBox::Ok);
        action(&form(), second ? "QuickSetup2" : "QuickSetup1")->trigger();
        QCOMPARE(script.texts, message.isEmpty() ? QStringList() : QStringList{message});
    }
    QCOMPARE(shownDvv, QString("0.25"));
    const TScopeData &active = form().session().activeScopeRecord();
    QCOMPARE(active.Voltage, voltage);
    QCOMPARE(active.Cs, cs);
    QCOMPARE(form().state().UpTo, upTo);
    QCOMPARE(form().state().A2, reloaded ? 0.0 : 50.0);
    QCOMPARE(form().state().Cs, reloaded ? cs : 1.2e6);
    if (!cancel && message.isEmpty())
        QVERIFY(qFuzzyCompare(active.dvv, 2.5e-7)); // the shown value was stored
    else
        QCOMPARE(active.dvv, 0.0); // cancelled, stopped before it, or refused
    QCOMPARE(child<ChartWidget>(&form(), "Chart1")->axisMaximum(ChartWidget::Axis::Bottom), upTo);
    const TScopeData &inactive = second ? form().ScopeRecord1 : form().ScopeRecord2;
    QCOMPARE(inactive.Cs, other.Cs);
    QCOMPARE(inactive.Voltage, other.Voltage);
}

void TestLibraryDialogs::quickSetupUnits_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("unit");
    QTest::newRow("Voltage") << "Edit1"
                             << "kV";
    QTest::newRow("Cs") << "Edit2"
                        << "mm";
    QTest::newRow("Cc") << "Edit3"
                        << "mm";
    QTest::newRow("Energy Spread") << "Edit4"
                                   << "eV";
    QTest::newRow("dV/V") << "Edit7"
                          << "ppm";
    QTest::newRow("dI/I") << "Edit8"
                          << "ppm";
    QTest::newRow("Convergence") << "Edit5"
                                 << "mrad";
    QTest::newRow("Up To") << "Edit6" << QString::fromUtf8("nm\u207B\u00B9");
}

// The fields take numbers in the units the library uses; each says its unit right beside it, whole.
void TestLibraryDialogs::quickSetupUnits()
{
    QFETCH(QString, field);
    QFETCH(QString, unit);
    TfmQuickEdit *dlg = m_forms->quickEdit;
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg));
    auto *edit = child<QLineEdit>(dlg, qPrintable(field));
    auto *label = child<QLabel>(dlg, qPrintable("laUnit" + field));
    QCOMPARE(label->text(), unit);
    QVERIFY(label->isVisible());
    const QRect e(edit->mapTo(dlg, QPoint(0, 0)), edit->size());
    const QRect l(label->mapTo(dlg, QPoint(0, 0)), label->size());
    QVERIFY2(l.left() > e.right() && l.left() - e.right() <= 12,
             qPrintable(QStringLiteral("unit at %1, field ends at %2").arg(l.left()).arg(e.right())));
    QVERIFY(std::abs(l.center().y() - e.center().y()) <= 3);
    QVERIFY(l.width() >= label->sizeHint().width() && dlg->rect().contains(l));
    dlg->hide();
}

void TestLibraryDialogs::infoBlocks_data()
{
    QTest::addColumn<bool>("plotter");
    QTest::addColumn<int>("lines");
    QTest::newRow("analysis mode: record 1") << false << 11;
    QTest::newRow("plotter mode: both records") << true << 22;
}

void TestLibraryDialogs::infoBlocks()
{
    QFETCH(bool, plotter);
    QFETCH(int, lines);
    if (plotter)
        form().views().ChangeMode();
    QString text;
    Qt::TextInteractionFlags flags;
    {
        ModalScript script;
        script.step<TfmInfo>([&](TfmInfo *dlg) {
            auto *memo = child<QPlainTextEdit>(dlg, "Memo");
            text = memo->toPlainText();
            flags = memo->textInteractionFlags();
            QCOMPARE(memo->textCursor().position(), 0);
            QTest::keyClick(dlg, Qt::Key_Escape);
        });
        action(&form(), "ShowInfo1")->trigger();
    }
    QCOMPARE(text.split('\n').size(), lines);
    QVERIFY(text.startsWith("------------ Microscope 1\nManufacturer: \tDefault\n"));
    QCOMPARE(text.contains("------------ Microscope 2"), plotter);
    QVERIFY(flags & Qt::TextSelectableByMouse);
}

// C5 is the instrument's, for this run: typed in mm it reaches the active record and the optics;
// emptied it stays as it was.
void TestLibraryDialogs::quickSetupC5()
{
    QStringList shown;
    const auto run = [&](const QString &typed) {
        ModalScript script;
        script.step<TfmQuickEdit>([&](TfmQuickEdit *dlg) {
            auto *field = child<QLineEdit>(dlg, "edC5");
            shown << field->text();
            field->selectAll();
            QTest::keyClick(field, Qt::Key_Delete);
            QTest::keyClicks(field, typed);
            QTest::keyClick(dlg, Qt::Key_Return);
        });
        action(&form(), "QuickSetup1")->trigger();
    };
    run("3.5");
    QCOMPARE(form().session().activeScopeRecord().C5, 3.5e6);
    QCOMPARE(form().state().C5, 3.5e6);
    run("");
    QCOMPARE(form().state().C5, 3.5e6);
    QCOMPARE(shown, QStringList({"0", "3.5"}));
}

ORVALIS_UI_TEST_MAIN(TestLibraryDialogs)
#include "test_librarydialogs.moc"
