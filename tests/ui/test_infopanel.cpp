// The information panel on its own: the tree's groups, the list that shows the chosen group, a line
// written while its group is or is not the one shown, and the pop-up menu's two commands.
#include "core/instrumentload.h"
#include "ui/main/infopanel.h"

#include <QAction>
#include <QListWidget>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

using namespace orvalis;

namespace {

ScopeTreeTexts texts(const QString &tag)
{
    ScopeTreeTexts t;
    t.microscope = tag + QStringLiteral(" scope");
    t.resolution = tag + QStringLiteral(" resolution");
    t.defocus = tag + QStringLiteral(" defocus");
    for (int i = 0; i < 9; ++i)
        t.microscopeChildren << QStringLiteral("%1 m%2").arg(tag).arg(i);
    for (int i = 0; i < 2; ++i)
        t.resolutionChildren << QStringLiteral("%1 r%2").arg(tag).arg(i);
    for (int i = 0; i < 4; ++i)
        t.defocusChildren << QStringLiteral("%1 d%2").arg(tag).arg(i);
    return t;
}

QStringList listed(const InfoPanel &panel)
{
    QStringList lines;
    auto *list = panel.findChild<QListWidget *>(QStringLiteral("ListView1"));
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

const QStringList &childrenOf(const ScopeTreeTexts &t, int group)
{
    return group == 0 ? t.microscopeChildren : group == 1 ? t.resolutionChildren : t.defocusChildren;
}

} // namespace

class TestInfoPanel : public QObject {
    Q_OBJECT
private slots:
    void chosenGroupSurvivesNewTexts_data();
    void chosenGroupSurvivesNewTexts();
    void lineWrittenWhereItIsShown_data();
    void lineWrittenWhereItIsShown();
    void popupCommandsWaitForTheirDialogs();
};

void TestInfoPanel::chosenGroupSurvivesNewTexts_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("child"); // -1: the group's own node is clicked
    QTest::newRow("microscope") << 0 << -1;
    QTest::newRow("resolution line") << 1 << 1;
    QTest::newRow("defocus") << 2 << -1;
    QTest::newRow("defocus line") << 2 << 3;
}

void TestInfoPanel::chosenGroupSurvivesNewTexts()
{
    QFETCH(int, group);
    QFETCH(int, child);
    InfoPanel panel;
    panel.buildNodes();
    panel.setTexts(texts(QStringLiteral("old")));
    QCOMPARE(listed(panel), texts(QStringLiteral("old")).microscopeChildren); // the first group at first
    auto *tree = panel.findChild<QTreeWidget *>(QStringLiteral("TreeView1"));
    QCOMPARE(tree->topLevelItemCount(), 3);
    QTreeWidgetItem *node = tree->topLevelItem(group);
    tree->setCurrentItem(child < 0 ? node : node->child(child)); // as a click does
    QCOMPARE(panel.selectedGroup(), group);
    QCOMPARE(listed(panel), childrenOf(texts(QStringLiteral("old")), group));

    // A newly loaded instrument rewrites every line; the list goes on showing the chosen group.
    panel.setTexts(texts(QStringLiteral("new")));
    QCOMPARE(panel.selectedGroup(), group);
    QCOMPARE(listed(panel), childrenOf(texts(QStringLiteral("new")), group));
    QCOMPARE(tree->topLevelItem(group)->text(0), QStringList({"new scope", "new resolution", "new defocus"})[group]);
}

void TestInfoPanel::lineWrittenWhereItIsShown_data()
{
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("line");
    QTest::addColumn<bool>("inTree"); // the line exists
    QTest::newRow("shown group") << 1 << 1 << 0 << true;
    QTest::newRow("other group") << 0 << 1 << 1 << true;
    QTest::newRow("last line") << 0 << 0 << 8 << true;
    QTest::newRow("past the last line") << 1 << 1 << 2 << false;
    QTest::newRow("no such group") << 0 << 3 << 0 << false;
}

void TestInfoPanel::lineWrittenWhereItIsShown()
{
    QFETCH(int, shown);
    QFETCH(int, group);
    QFETCH(int, line);
    QFETCH(bool, inTree);
    InfoPanel panel;
    panel.buildNodes();
    const ScopeTreeTexts before = texts(QStringLiteral("t"));
    panel.setTexts(before);
    auto *tree = panel.findChild<QTreeWidget *>(QStringLiteral("TreeView1"));
    tree->setCurrentItem(tree->topLevelItem(shown));
    panel.writeLine(group, line, QStringLiteral("written"));
    if (inTree) {
        QCOMPARE(tree->topLevelItem(group)->child(line)->text(0), QStringLiteral("written"));
        QCOMPARE(tree->topLevelItem(group)->child(line)->toolTip(0), QStringLiteral("written"));
    }
    // A line cut off in a narrow tree is read whole in its tooltip.
    QCOMPARE(tree->topLevelItem(0)->toolTip(0), before.microscope);
    QCOMPARE(tree->topLevelItem(0)->child(0)->toolTip(0), before.microscopeChildren[0]);
    QStringList expected = childrenOf(before, shown);
    if (inTree && group == shown)
        expected[line] = QStringLiteral("written");
    QCOMPARE(listed(panel), expected);
}

void TestInfoPanel::popupCommandsWaitForTheirDialogs()
{
    InfoPanel panel;
    auto *microscope = panel.findChild<QAction *>(QStringLiteral("SelectMicroscope1"));
    auto *quick = panel.findChild<QAction *>(QStringLiteral("QuickSetup2"));
    QVERIFY(microscope && quick);
    QCOMPARE(microscope->text(), QStringLiteral("Select/Edit Microscope"));
    QCOMPARE(quick->text(), QStringLiteral("Quick Setup"));
    QVERIFY(!microscope->isEnabled());
    QVERIFY(!quick->isEnabled());
    panel.setDialogsAvailable(true, false);
    QVERIFY(microscope->isEnabled());
    QVERIFY(!quick->isEnabled());
    QSignalSpy microscopeAsked(&panel, &InfoPanel::microscopeRequested);
    QSignalSpy quickAsked(&panel, &InfoPanel::quickSetupRequested);
    microscope->trigger();
    panel.setDialogsAvailable(true, true);
    quick->trigger();
    QCOMPARE(microscopeAsked.count(), 1);
    QCOMPARE(quickAsked.count(), 1);
}

QTEST_MAIN(TestInfoPanel)
#include "test_infopanel.moc"
