// The microscope setup and edit dialogs driven by their controls' names, with the library in the
// real settings store checked after every flow.
#include "../support/specialfiles.h"
#include "formdriver.h"
#include "modalscript.h"

#include "core/orvaliserror.h"
#include "store/registry.h"
#include "store/scopelibrary.h"
#include "ui/microedit/fmscopeedit.h"
#include "ui/microsetup/fmmicrosetup.h"
#include "ui/microsetup/librarytree.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>

#include <memory>

using namespace orvalis;
using namespace orvalis::test;

namespace {

void writeEntry(const QString &company, const QString &model, const QString &voltage = "200", const QString &cs = "1.2")
{
    ScopeData d = TfmScopeEdit::initialTexts();
    d.Voltage = voltage;
    d.Cs = cs;
    WriteScopeEntry(company, model, d);
}

// "Company: Model(Voltage Cs), ...; Company: ..." as the store holds it.
QString libraryText()
{
    QVector<ScopeCompany> library;
    ReadScopeLibrary(library);
    QStringList companies;
    for (const ScopeCompany &c : library) {
        QStringList models;
        for (const ScopeModel &m : c.Models)
            models << QStringLiteral("%1(%2 %3)").arg(m.Model, m.Data.Voltage, m.Data.Cs);
        companies << c.Company + ": " + models.join(", ");
    }
    return companies.join("; ");
}

QString selectedText(TfmMicroSetup &dlg)
{
    const QTreeWidgetItem *node = child<QTreeWidget>(&dlg, "TreeView1")->currentItem();
    return node ? node->text(0) : QString();
}

// The companies shown open, in tree order.
QStringList openCompanies(TfmMicroSetup &dlg)
{
    auto *tree = child<QTreeWidget>(&dlg, "TreeView1");
    QStringList open;
    for (int c = 0; c < tree->topLevelItemCount(); ++c)
        if (tree->topLevelItem(c)->isExpanded() && tree->topLevelItem(c)->childCount() > 0)
            open << tree->topLevelItem(c)->text(0);
    return open;
}

// "Company/Model" of the selected model, or the selected company's name.
QString selectedPlace(TfmMicroSetup &dlg)
{
    const QTreeWidgetItem *node = child<QTreeWidget>(&dlg, "TreeView1")->currentItem();
    if (!node)
        return QString();
    return node->parent() ? node->parent()->text(0) + "/" + node->text(0) : node->text(0);
}

void select(TfmMicroSetup &dlg, const QString &company, const QString &model = QString())
{
    auto *tree = child<QTreeWidget>(&dlg, "TreeView1");
    for (int c = 0; c < tree->topLevelItemCount(); ++c) {
        QTreeWidgetItem *node = tree->topLevelItem(c);
        if (node->text(0) != company)
            continue;
        if (model.isEmpty())
            return tree->setCurrentItem(node);
        for (int m = 0; m < node->childCount(); ++m)
            if (node->child(m)->text(0) == model)
                return tree->setCurrentItem(node->child(m));
    }
    QFAIL(qPrintable("no node " + company + "/" + model));
}

void click(QWidget *dlg, const char *button)
{
    child<QPushButton>(dlg, button)->click();
}

QString field(QWidget *dlg, const char *name)
{
    return child<QLineEdit>(dlg, name)->text();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class TestMicroSetup : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void treeAndFields();
    void okApplies_data();
    void okApplies();
    void keyboardAndShowings();
    void doubleClick_data();
    void doubleClick();
    void emptyTreeSaysHowToFill();
    void treeKeptAfterChanges_data();
    void treeKeptAfterChanges();
    void editFlows_data();
    void editFlows();
    void editTabOrder();
    void editRefusesValues_data();
    void editRefusesValues();
    void deleteFlows_data();
    void deleteFlows();
    void defaultList_data();
    void defaultList();
    void backupRestore();
    void backupProblems();
    void c5RoundTrip();

private:
    // The library most flows start from: two companies, the first with two models.
    void standardLibrary()
    {
        writeEntry("Alpha", "A1", "100", "0.5");
        writeEntry("Alpha", "A2", "120", "0.6");
        writeEntry("Beta", "B1", "300", "1.0");
    }
    std::unique_ptr<FreshSettingsFolder> m_settings;
    std::unique_ptr<TfmScopeEdit> m_edit;
};

void TestMicroSetup::init()
{
    m_settings = std::make_unique<FreshSettingsFolder>();
    m_edit = std::make_unique<TfmScopeEdit>();
}

void TestMicroSetup::cleanup()
{
    m_edit.reset();
    m_settings.reset();
}

void TestMicroSetup::treeAndFields()
{
    writeEntry("beta", "B1");
    writeEntry("Alpha", "A2", "120");
    writeEntry("Alpha", "a1", "100");
    {
        Registry r; // a company without models, and a model with some values missing
        QVERIFY(r.OpenKey(SettingsKeyPath + "Default Scopes\\Gamma", true));
        QVERIFY(r.OpenKey(SettingsKeyPath + "Default Scopes\\Delta\\D1", true));
        r.WriteString("Voltage", "80");
    }
    TfmMicroSetup dlg;
    QCOMPARE(dlg.windowTitle(), QString("Microscope Setup"));
    auto *tree = child<QTreeWidget>(&dlg, "TreeView1");
    QStringList shown;
    for (int c = 0; c < tree->topLevelItemCount(); ++c) {
        QStringList models;
        for (int m = 0; m < tree->topLevelItem(c)->childCount(); ++m)
            models << tree->topLevelItem(c)->child(m)->text(0);
        shown << tree->topLevelItem(c)->text(0) + "[" + models.join(",") + "]";
    }
    QCOMPARE(shown.join(" "), QString("Alpha[a1,A2] beta[B1] Delta[D1] Gamma[]"));
    QVERIFY(!tree->currentItem()); // the load selects nothing

    select(dlg, "Alpha", "A2");
    const char *names[] = {"Edit1", "Edit2", "Edit3", "Edit4", "Edit6", "Edit7", "Edit5"};
    const QStringList stored = {"120", "1.2", "1.2", "0.6", "0.25", "0.5", "0.3"};
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(field(&dlg, names[i]), stored[i]);
        QVERIFY(!child<QLineEdit>(&dlg, names[i])->isEnabled());
    }
    select(dlg, "Delta", "D1");
    QCOMPARE(field(&dlg, "Edit1"), QString("80"));
    QCOMPARE(field(&dlg, "Edit2"), QString());
    select(dlg, "Alpha");
    for (const char *name : names)
        QCOMPARE(field(&dlg, name), QString());
    // Each kind of node has its own closed and open picture.
    QVERIFY(tree->topLevelItem(0)->icon(0).cacheKey() != tree->topLevelItem(0)->child(0)->icon(0).cacheKey());
    QVERIFY(!tree->topLevelItem(0)->icon(0).pixmap(16, QIcon::Selected).toImage().isNull());
}

void TestMicroSetup::okApplies_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<double>("voltage");
    QTest::addColumn<double>("cs");
    QTest::addColumn<QString>("message");
    QTest::newRow("model") << "Alpha"
                           << "A2" << true << 120.0 << 0.6e6 << "";
    QTest::newRow("company: nothing applied") << "Alpha"
                                              << "" << false << 0.0 << 0.0 << "";
    QTest::newRow("missing values keep the record's") << "Gaps"
                                                      << "G1" << true << 80.0 << 9e6 << "";
    QTest::newRow("text that is no number: nothing applied")
        << "Broken"
        << "X1" << false << 0.0 << 0.0 << "Voltage (kV): '12kV' is not a valid floating point value";
    QTest::newRow("empty tree") << ""
                                << "" << false << 0.0 << 0.0
                                << "Use the file sc.reg /double click/\nif provided to fill-up the microscope list";
}

void TestMicroSetup::okApplies()
{
    QFETCH(QString, company);
    QFETCH(QString, model);
    QFETCH(bool, applied);
    QFETCH(double, voltage);
    QFETCH(double, cs);
    QFETCH(QString, message);
    if (!company.isEmpty()) {
        standardLibrary();
        writeEntry("Broken", "X1", "12kV");
        Registry r;
        QVERIFY(r.OpenKey(SettingsKeyPath + "Default Scopes\\Gaps\\G1", true));
        r.WriteString("Voltage", "80");
    }
    TfmMicroSetup dlg;
    TScopeData record = defaultScope();
    record.Cs = 9e6;
    record.Defocus = -42;
    dlg.setActiveRecord(record);
    dlg.show();
    if (!company.isEmpty())
        select(dlg, company, model);
    const QString libraryBefore = libraryText();
    {
        ModalScript script;
        if (!message.isEmpty())
            script.answer(QMessageBox::Ok);
        click(&dlg, "OKBtn");
        QCOMPARE(script.texts, message.isEmpty() ? QStringList() : QStringList{message});
    }
    QVERIFY(!dlg.isVisible()); // OK closes in every case
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.chosenRecord().has_value(), applied);
    QCOMPARE(libraryText(), libraryBefore);
    if (applied) {
        const TScopeData &r = *dlg.chosenRecord();
        QCOMPARE(r.Company, company);
        QCOMPARE(r.Model, model);
        QCOMPARE(r.Voltage, voltage);
        QCOMPARE(r.Cs, cs);
        QCOMPARE(r.Defocus, -42.0); // the record's own defocus stays
    }
}

// Escape cancels, Enter is OK, and the tree and its selection survive between showings.
void TestMicroSetup::keyboardAndShowings()
{
    standardLibrary();
    TfmMicroSetup dlg;
    dlg.setActiveRecord(defaultScope());
    select(dlg, "Beta", "B1");
    {
        ModalScript script;
        script.step<TfmMicroSetup>([](TfmMicroSetup *d) { QTest::keyClick(d, Qt::Key_Escape); });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
    }
    QVERIFY(!dlg.chosenRecord());
    QCOMPARE(selectedText(dlg), QString("B1"));
    {
        ModalScript script;
        script.step<TfmMicroSetup>(
            [](TfmMicroSetup *d) { QTest::keyClick(d->findChild<QTreeWidget *>("TreeView1"), Qt::Key_Return); });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    }
    QVERIFY(dlg.chosenRecord());
    QCOMPARE(dlg.chosenRecord()->Model, QString("B1"));
    QVERIFY(dlg.sizeHint().width() <= 1366 && dlg.sizeHint().height() <= 740);
}

void TestMicroSetup::doubleClick_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("model");
    QTest::newRow("a model is chosen as by OK") << "Beta"
                                                << "B1";
    QTest::newRow("a company opens, the dialog stays") << "Beta"
                                                       << "";
}

void TestMicroSetup::doubleClick()
{
    QFETCH(QString, company);
    QFETCH(QString, model);
    standardLibrary();
    TfmMicroSetup dlg;
    dlg.setActiveRecord(defaultScope());
    bool stillOpen = false, companyOpen = false;
    {
        ModalScript script;
        script.step<TfmMicroSetup>([&](TfmMicroSetup *d) {
            auto *tree = child<QTreeWidget>(d, "TreeView1");
            select(*d, company, model);
            tree->scrollToItem(tree->currentItem());
            tree->doItemsLayout();
            const QPoint at = tree->visualItemRect(tree->currentItem()).center();
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
            stillOpen = d->isVisible();
            companyOpen = tree->currentItem()->isExpanded();
            if (stillOpen)
                d->reject();
        });
        dlg.exec();
    }
    if (model.isEmpty()) {
        QVERIFY(stillOpen);
        QVERIFY(companyOpen);
        QVERIFY(!dlg.chosenRecord());
        return;
    }
    QVERIFY(!stillOpen);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(dlg.chosenRecord());
    QCOMPARE(dlg.chosenRecord()->Company + "/" + dlg.chosenRecord()->Model, company + "/" + model);
    QCOMPARE(dlg.chosenRecord()->Voltage, 300.0);
}

// At a first start the library is empty: the tree itself says which button fills it, and stops
// saying so once it holds the shipped list.
void TestMicroSetup::emptyTreeSaysHowToFill()
{
    TfmMicroSetup dlg;
    dlg.setRegFiles(QFINDTESTDATA("../../data/sc.reg"), QString());
    dlg.resize(640, 400);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto *tree = child<LibraryTree>(&dlg, "TreeView1");
    QVERIFY2(tree->hint().contains("\"Default List\""), qPrintable(tree->hint()));
    const auto inkOf = [tree] {
        const QImage shot = tree->viewport()->grab().toImage();
        const QRgb base = shot.pixel(1, 1);
        int ink = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                ink += shot.pixel(x, y) != base;
        return ink;
    };
    QVERIFY2(inkOf() > 200, "the empty tree shows nothing");
    {
        ModalScript script;
        script.answer(QMessageBox::Yes);
        click(&dlg, "btnDefault");
    }
    QVERIFY(tree->topLevelItemCount() > 0);
    QCOMPARE(tree->hint(), QString());
}

void TestMicroSetup::treeKeptAfterChanges_data()
{
    QTest::addColumn<QString>("action"); // edit: then the edit dialog's names, or "cancel"
    QTest::addColumn<QString>("names");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QStringList>("open");
    QTest::newRow("edit") << "edit"
                          << "Beta/B1"
                          << "Beta/B1" << QStringList{"Alpha", "Beta"};
    QTest::newRow("edit under a new model name") << "edit"
                                                 << "Beta/B2"
                                                 << "Beta/B2" << QStringList{"Alpha", "Beta"};
    QTest::newRow("edit into a new company") << "edit"
                                             << "Gamma/G1"
                                             << "Gamma/G1" << QStringList{"Alpha", "Beta", "Gamma"};
    QTest::newRow("edit cancelled") << "edit"
                                    << "cancel"
                                    << "Beta/B1" << QStringList{"Alpha", "Beta"};
    QTest::newRow("delete") << "delete"
                            << ""
                            << "Beta" << QStringList{"Alpha"};
    QTest::newRow("restore") << "restore"
                             << ""
                             << "Beta/B1" << QStringList{"Alpha", "Beta"};
}

// Edit, Delete and Restore rebuild the tree: the companies the user opened stay open, and the
// selection is the entry just edited (or the row above the one deleted), not the first model.
void TestMicroSetup::treeKeptAfterChanges()
{
    QFETCH(QString, action);
    QFETCH(QString, names);
    QFETCH(QString, selected);
    QFETCH(QStringList, open);
    standardLibrary();
    writeEntry("Delta", "D1");
    TfmMicroSetup dlg;
    dlg.setEditDialog(m_edit.get());
    QTemporaryDir dir;
    dlg.setRegFiles(QString(), dir.filePath("backup.reg"));
    dlg.show();
    auto *tree = child<QTreeWidget>(&dlg, "TreeView1");
    tree->topLevelItem(0)->setExpanded(true); // Alpha and Beta open, Delta closed
    tree->topLevelItem(1)->setExpanded(true);
    select(dlg, "Beta", "B1");
    ModalScript script;
    if (action == "edit") {
        script.step<TfmScopeEdit>([&](TfmScopeEdit *edit) {
            if (names == "cancel")
                return click(edit, "CancelBtn");
            child<QLineEdit>(edit, "Edit8")->setText(names.section('/', 0, 0));
            child<QLineEdit>(edit, "Edit9")->setText(names.section('/', 1, 1));
            click(edit, "OKBtn");
        });
        click(&dlg, "btnEdit");
    } else if (action == "delete") {
        script.answer(QMessageBox::Yes);
        click(&dlg, "btnDelete");
    } else {
        script.answer(QMessageBox::Ok).answer(QMessageBox::Ok);
        click(&dlg, "btnBackup");
        DeleteScopeEntry("Alpha", "A2");
        click(&dlg, "btnRetore");
        QCOMPARE(tree->topLevelItem(0)->childCount(), 2); // the restored entry is back
    }
    QVERIFY(script.finished());
    QCOMPARE(selectedPlace(dlg), selected);
    QCOMPARE(openCompanies(dlg), open);
}

void TestMicroSetup::editFlows_data()
{
    QTest::addColumn<QString>("selectCompany");
    QTest::addColumn<QString>("selectModel");
    QTest::addColumn<QString>("newCompany");
    QTest::addColumn<QString>("newModel");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("selected"); // after the rebuild: the entry just edited
    QTest::addColumn<QString>("voltage");  // its field
    const QString before = "Alpha: A1(100 0.5), A2(120 0.6); Beta: B1(300 1.0)";
    QTest::newRow("same names overwrite") << "Beta"
                                          << "B1"
                                          << ""
                                          << "" << true << "Alpha: A1(100 0.5), A2(120 0.6); Beta: B1(333 1.0)"
                                          << "Beta/B1"
                                          << "333";
    QTest::newRow("new model adds an entry")
        << "Beta"
        << "B1"
        << ""
        << "B2" << true << "Alpha: A1(100 0.5), A2(120 0.6); Beta: B1(300 1.0), B2(333 1.0)"
        << "Beta/B2"
        << "333";
    QTest::newRow("new company adds a company") << "Beta"
                                                << "B1"
                                                << "Gamma"
                                                << "" << true << before + "; Gamma: B1(333 1.0)"
                                                << "Gamma/B1"
                                                << "333";
    QTest::newRow("names typed in other case overwrite")
        << "Beta"
        << "B1"
        << "BETA"
        << "b1" << true << "Alpha: A1(100 0.5), A2(120 0.6); Beta: B1(333 1.0)"
        << "Beta/B1"
        << "333";
    QTest::newRow("cancel writes nothing") << "Beta"
                                           << "B1"
                                           << ""
                                           << "" << false << before << "Beta/B1"
                                           << "300";
    QTest::newRow("on a company: the first model of the first company")
        << "Beta"
        << ""
        << ""
        << "" << true << "Alpha: A1(333 0.5), A2(120 0.6); Beta: B1(300 1.0)"
        << "Alpha/A1"
        << "333";
}

void TestMicroSetup::editFlows()
{
    QFETCH(QString, selectCompany);
    QFETCH(QString, selectModel);
    QFETCH(QString, newCompany);
    QFETCH(QString, newModel);
    QFETCH(bool, ok);
    QFETCH(QString, library);
    QFETCH(QString, selected);
    QFETCH(QString, voltage);
    standardLibrary();
    TfmMicroSetup dlg;
    dlg.setEditDialog(m_edit.get());
    dlg.show();
    select(dlg, selectCompany, selectModel);
    QString opened;
    {
        ModalScript script;
        script.step<TfmScopeEdit>([&](TfmScopeEdit *edit) {
            opened = field(edit, "Edit8") + "/" + field(edit, "Edit9") + " " + field(edit, "Edit1");
            child<QLineEdit>(edit, "Edit1")->setText("333");
            if (!newCompany.isEmpty())
                child<QLineEdit>(edit, "Edit8")->setText(newCompany);
            if (!newModel.isEmpty())
                child<QLineEdit>(edit, "Edit9")->setText(newModel);
            click(edit, ok ? "OKBtn" : "CancelBtn");
        });
        click(&dlg, "btnEdit");
    }
    QCOMPARE(opened, selectModel.isEmpty() ? QString("Alpha/A1 100") : selectCompany + "/" + selectModel + " 300");
    QCOMPARE(libraryText(), library);
    QCOMPARE(selectedPlace(dlg), selected); // rebuilt either way
    QCOMPARE(field(&dlg, "Edit1"), voltage);
}

void TestMicroSetup::editTabOrder()
{
    standardLibrary();
    TfmMicroSetup dlg;
    dlg.setEditDialog(m_edit.get());
    dlg.show();
    select(dlg, "Beta", "B1");
    QStringList order;
    QString refused;
    {
        ModalScript script;
        script.step<TfmScopeEdit>([&](TfmScopeEdit *edit) {
            QWidget *w = child<QWidget>(edit, "OKBtn");
            for (int i = 0; i < 12; ++i, w = w->nextInFocusChain()) {
                while (!(w->focusPolicy() & Qt::TabFocus))
                    w = w->nextInFocusChain();
                order << w->objectName();
            }
            child<QLineEdit>(edit, "Edit9")->setText("Bad\\Name");
            child<QLineEdit>(edit, "Edit1")->setText("250");
            click(edit, "OKBtn");
        });
        script.answer(QMessageBox::Ok);
        script.step<TfmScopeEdit>([&](TfmScopeEdit *edit) {
            // Refused: still open with everything typed.
            refused = field(edit, "Edit9") + " " + field(edit, "Edit1");
            click(edit, "CancelBtn");
        });
        click(&dlg, "btnEdit");
        QCOMPARE(script.texts.size(), 1);
        QVERIFY2(script.texts[0].contains("backslash"), qPrintable(script.texts[0]));
    }
    QCOMPARE(order.join(" "), QString("OKBtn CancelBtn Edit1 Edit2 Edit3 Edit4 Edit6 Edit7 Edit5 edC5 Edit8 Edit9"));
    QCOMPARE(refused, QString("Bad\\Name 250"));
    QCOMPARE(libraryText(), QString("Alpha: A1(100 0.5), A2(120 0.6); Beta: B1(300 1.0)"));
}

void TestMicroSetup::editRefusesValues_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    const QString loads = "The microscope \"Beta/B1\" cannot be used: ";
    QTest::newRow("letters for the voltage") << "Edit1"
                                             << "abc"
                                             << "Voltage (kV): 'abc' is not a valid floating point value";
    QTest::newRow("decimal comma in Cs") << "Edit2"
                                         << "1,2"
                                         << "Cs (mm): '1,2' is not a valid floating point value";
    QTest::newRow("empty voltage") << "Edit1"
                                   << ""
                                   << "Voltage (kV): '' is not a valid floating point value";
    QTest::newRow("empty lens instability") << "Edit7"
                                            << ""
                                            << "Obj Lens Instab. (ppm): '' is not a valid floating point value";
    QTest::newRow("nan energy spread") << "Edit4"
                                       << "nan"
                                       << "Energy Spread (eV): 'nan' is not a valid floating point value";
    QTest::newRow("zero voltage") << "Edit1"
                                  << "0" << loads + "Voltage (kV) is 0; it must be from 0.001 to 1000000.";
    QTest::newRow("negative Cc") << "Edit3"
                                 << "-1" << loads + "Cc (mm) is -1; it must be from 0 to 1000000.";
    QTest::newRow("convergence 1e308 mrad")
        << "Edit5"
        << "1e308" << loads + "Convergence (mrad) is 1E308; it must be from -1000000 to 1000000.";
    QTest::newRow("32767 characters") << "Edit6" << QString(32767, u'7')
                                      << "HT Ripple (ppm): '" + QString(20, u'7') + QChar(0x2026) + QString(19, u'7')
            + "' is not a valid floating point value";
}

// Refused before anything is stored, with the field named: the dialog stays open with what was typed.
void TestMicroSetup::editRefusesValues()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    standardLibrary();
    const QString before = libraryText();
    ScopeData entry = TfmScopeEdit::initialTexts();
    entry.Voltage = "300";
    m_edit->FormActivate("Beta", "B1", entry);
    m_edit->show();
    auto *edit = child<QLineEdit>(m_edit.get(), qPrintable(field));
    edit->setText(typed);
    QString shown;
    QString cutOff;
    {
        ModalScript script;
        script.step<QMessageBox>([&](QMessageBox *box) {
            shown = box->text();
            // Every word of the message fits the box's line: nothing is cut off at the screen's edge.
            const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
            for (const QString &word : shown.split(QRegularExpression(QStringLiteral("\\s+"))))
                if (label->fontMetrics().horizontalAdvance(word) > label->width())
                    cutOff = word.left(30);
            box->accept();
        });
        click(m_edit.get(), "OKBtn");
    }
    QCOMPARE(shown, message);
    QVERIFY2(cutOff.isEmpty(), qPrintable(cutOff));
    QVERIFY(m_edit->isVisible());
    QCOMPARE(edit->text(), typed);
    QCOMPARE(field == "Edit1" ? QString() : child<QLineEdit>(m_edit.get(), "Edit1")->text(),
             field == "Edit1" ? QString() : QString("300"));
    QCOMPARE(libraryText(), before);
    m_edit->reject();
}

void TestMicroSetup::deleteFlows_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("selected");
    const QString model = "Do you really want to delete this microscope?";
    const QString before = "Alpha: A1(100 0.5), A2(120 0.6); Beta: B1(300 1.0); Empty: ";
    QTest::newRow("first of two models: its company is selected")
        << "Alpha"
        << "A1" << QMessageBox::Yes << model << "Alpha: A2(120 0.6); Beta: B1(300 1.0); Empty: "
        << "Alpha";
    QTest::newRow("second model: the model above it")
        << "Alpha"
        << "A2" << QMessageBox::Yes << model << "Alpha: A1(100 0.5); Beta: B1(300 1.0); Empty: "
        << "A1";
    QTest::newRow("last model: the company stays, selected")
        << "Beta"
        << "B1" << QMessageBox::Yes << model << "Alpha: A1(100 0.5), A2(120 0.6); Beta: ; Empty: "
        << "Beta";
    QTest::newRow("cancelled") << "Beta"
                               << "B1" << QMessageBox::Cancel << model << before << "B1";
    QTest::newRow("company with models is refused")
        << "Alpha"
        << "" << QMessageBox::Ok << "First delete microscope(s) and then you can delete company" << before << "Alpha";
    QTest::newRow("company without models: the row above")
        << "Empty"
        << "" << QMessageBox::Yes << "Do you really want to delete this company?"
        << "Alpha: A1(100 0.5), A2(120 0.6); Beta: B1(300 1.0)"
        << "Beta";
}

void TestMicroSetup::deleteFlows()
{
    QFETCH(QString, company);
    QFETCH(QString, model);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(QString, message);
    QFETCH(QString, library);
    QFETCH(QString, selected);
    standardLibrary();
    {
        Registry r;
        QVERIFY(r.OpenKey(SettingsKeyPath + "Default Scopes\\Empty", true));
    }
    TfmMicroSetup dlg;
    dlg.show();
    select(dlg, company, model);
    {
        ModalScript script;
        script.answer(answer);
        click(&dlg, "btnDelete");
        QCOMPARE(script.texts, QStringList{message});
    }
    QCOMPARE(libraryText(), library);
    QCOMPARE(selectedText(dlg), selected);
    if (selected == "Alpha" || selected == "Beta")
        QCOMPARE(field(&dlg, "Edit1"), QString()); // a company shows no values
}

void TestMicroSetup::defaultList_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("shipped list") << "good"
                                  << "";
    QTest::newRow("missing file") << "missing"
                                  << "Cannot open file";
    QTest::newRow("malformed file") << "malformed"
                                    << "line 4";
    QTest::newRow("cancelled") << "cancel"
                               << "";
}

void TestMicroSetup::defaultList()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    writeEntry("Mine", "M1");
    QTemporaryDir dir;
    QString file = dir.filePath("sc.reg");
    if (kind == "good" || kind == "cancel")
        file = QFINDTESTDATA("../../data/sc.reg");
    else if (kind == "malformed")
        writeFile(file,
                  "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\Default Scopes\\New\\N1]\r\n"
                  "\"Voltage\"=200\r\n");
    TfmMicroSetup dlg;
    dlg.setRegFiles(file, dir.filePath("backup.reg"));
    dlg.show();
    {
        ModalScript script;
        script.answer(kind == "cancel" ? QMessageBox::Cancel : QMessageBox::Yes);
        if (!message.isEmpty())
            script.answer(QMessageBox::Ok);
        click(&dlg, "btnDefault");
        QCOMPARE(script.texts.value(0), QString("Are you sure? This restores default settings form sc.reg file."));
        QVERIFY2(script.texts.value(1).contains(message), qPrintable(script.texts.value(1)));
    }
    const QString library = libraryText();
    auto *tree = child<QTreeWidget>(&dlg, "TreeView1");
    if (kind == "good") {
        QVERIFY2(library.contains("Conventional TEM: 120 kV LaB6(120") && library.contains("Mine: M1(200"),
                 qPrintable(library));
        // Rebuilt once the import has finished: the shipped four companies (the cryo-EM one among them) and Mine.
        QCOMPARE(tree->topLevelItemCount(), 5);
        QCOMPARE(selectedText(dlg), QString("Mine")); // the focus made it current; it stays so
    } else {
        QCOMPARE(library, QString("Mine: M1(200 1.2)"));
        QCOMPARE(tree->topLevelItemCount(), 1);
    }
}

// Backup writes the whole settings key; Restore brings back a deleted entry and the window's
// settings, and keeps what was added since.
void TestMicroSetup::backupRestore()
{
    standardLibrary();
    {
        Registry r;
        QVERIFY(r.OpenKey(settingsKey(DefaultKeyName), true));
        r.WriteFloat("UpTo", 12.5);
    }
    TfmMicroSetup dlg;
    QSignalSpy status(&dlg, &TfmMicroSetup::statusMessage);
    dlg.show();
    {
        ModalScript script;
        script.answer(QMessageBox::Ok);
        click(&dlg, "btnBackup");
        QCOMPARE(script.texts, QStringList{"This backs-up your custom settings"});
    }
    const QString backup = QDir(m_settings->path()).filePath("data/Vantrel/Orvalis/backup.reg");
    QVERIFY(QFileInfo::exists(backup));
    QCOMPARE(status.size(), 1);
    QVERIFY2(status[0][0].toString().contains(backup), qPrintable(status[0][0].toString()));

    DeleteScopeEntry("Alpha", "A2");
    writeEntry("Zeta", "Z1");
    {
        Registry r;
        QVERIFY(r.OpenKey(settingsKey(DefaultKeyName), false));
        r.WriteFloat("UpTo", 3);
    }
    {
        ModalScript script;
        script.answer(QMessageBox::Ok);
        click(&dlg, "btnRetore");
        QCOMPARE(script.texts, QStringList{"This restores backed-up settings"});
    }
    QCOMPARE(libraryText(), QString("Alpha: A1(100 0.5), A2(120 0.6); Beta: B1(300 1.0); Zeta: Z1(200 1.2)"));
    Registry r;
    QVERIFY(r.OpenKey(settingsKey(DefaultKeyName), false));
    QCOMPARE(r.ReadFloat("UpTo"), 12.5);
    QCOMPARE(child<QTreeWidget>(&dlg, "TreeView1")->topLevelItemCount(), 3);
}

void TestMicroSetup::backupProblems()
{
    standardLibrary();
    TfmMicroSetup dlg;
    QTemporaryDir dir;
    const QString missing = dir.filePath("backup.reg");
    writeFile(dir.filePath("file"), "x");
    const QString unwritable = dir.filePath("file/backup.reg"); // its folder is a file
    dlg.setRegFiles(dir.filePath("sc.reg"), missing);
    dlg.show();
    {
        ModalScript script;
        script.answer(QMessageBox::Ok).answer(QMessageBox::Ok);
        click(&dlg, "btnRetore");
        QCOMPARE(script.texts.value(1), "No backup exists at " + QDir::toNativeSeparators(missing));
    }
    // A FIFO in the backup's place: Restore says so at once instead of waiting for a writer.
    const QString fifo = dir.filePath("fifo.reg");
    QVERIFY(makeSpecialFile(SpecialFile::Fifo, fifo));
    dlg.setRegFiles(dir.filePath("sc.reg"), fifo);
    {
        const FifoUnblocker unblocker(fifo);
        ModalScript script;
        script.answer(QMessageBox::Ok).answer(QMessageBox::Ok);
        click(&dlg, "btnRetore");
        QVERIFY2(script.texts.value(1).contains("Cannot open file " + QDir::toNativeSeparators(fifo)
                                                + ": It is a FIFO (named pipe), not a regular file."),
                 qPrintable(script.texts.value(1)));
    }
    dlg.setRegFiles(dir.filePath("sc.reg"), unwritable);
    QSignalSpy status(&dlg, &TfmMicroSetup::statusMessage);
    {
        ModalScript script;
        script.answer(QMessageBox::Ok).answer(QMessageBox::Ok);
        click(&dlg, "btnBackup");
        // The reason follows on a line of its own.
        QVERIFY2(script.texts.value(1).startsWith("Cannot create file " + QDir::toNativeSeparators(unwritable) + "\n"),
                 qPrintable(script.texts.value(1)));
    }
    QCOMPARE(status.size(), 0);
    {
        ModalScript script; // cancelled: nothing written
        script.answer(QMessageBox::Cancel);
        dlg.setRegFiles(dir.filePath("sc.reg"), missing);
        click(&dlg, "btnBackup");
    }
    QVERIFY(!QFileInfo::exists(missing));
    QCOMPARE(libraryText(), QString("Alpha: A1(100 0.5), A2(120 0.6); Beta: B1(300 1.0)"));
}

// C5 typed in the edit dialog is stored, shown, exported and imported back, and reaches the chosen
// record; an entry without C5 gives the record none, whatever the instrument had before.
void TestMicroSetup::c5RoundTrip()
{
    standardLibrary();
    TfmMicroSetup dlg;
    dlg.setEditDialog(m_edit.get());
    dlg.show();
    select(dlg, "Beta", "B1");
    QCOMPARE(field(&dlg, "edC5"), QString());
    {
        ModalScript script;
        script.step<TfmScopeEdit>([&](TfmScopeEdit *edit) {
            QCOMPARE(field(edit, "edC5"), QString());
            child<QLineEdit>(edit, "edC5")->setText(" 4.5 ");
            click(edit, "OKBtn");
        });
        click(&dlg, "btnEdit");
    }
    QCOMPARE(field(&dlg, "edC5"), QString("4.5"));
    // Opened again, OK without a change keeps it: the dialog hands the entry's C5 on.
    {
        ModalScript script;
        script.step<TfmScopeEdit>([&](TfmScopeEdit *edit) { click(edit, "OKBtn"); });
        click(&dlg, "btnEdit");
    }
    {
        ModalScript script;
        script.answer(QMessageBox::Ok);
        click(&dlg, "btnBackup");
    }
    QFile backup(QDir(m_settings->path()).filePath("data/Vantrel/Orvalis/backup.reg"));
    QVERIFY(backup.open(QIODevice::ReadOnly));
    const QByteArray exported = backup.readAll();
    QCOMPARE(exported.count("\"C5\"=\"4.5\""), 1);
    QCOMPARE(exported.count("C5"), 1); // the entries without it stay without it
    backup.close();

    DeleteScopeEntry("Beta", "B1");
    {
        ModalScript script;
        script.answer(QMessageBox::Ok);
        click(&dlg, "btnRetore");
    }
    TScopeData corrected = defaultScope();
    corrected.C5 = 9e6; // the instrument before: its C5 must not survive an entry without one
    for (const auto &[company, model, c5] : {std::tuple{"Beta", "B1", 4.5e6}, std::tuple{"Alpha", "A1", 0.0}}) {
        dlg.setActiveRecord(corrected);
        dlg.show();
        select(dlg, company, model);
        click(&dlg, "OKBtn");
        QVERIFY(dlg.chosenRecord());
        QCOMPARE(dlg.chosenRecord()->C5, c5);
    }
}

ORVALIS_UI_TEST_MAIN(TestMicroSetup)
#include "test_microsetup.moc"
