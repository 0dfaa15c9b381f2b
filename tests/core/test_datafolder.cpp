// Where the shipped files are found: an installed prefix, an unpacked copy, and a run from the build
// folder, laid out for real in a temporary folder.
#include "core/datafolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace orvalis;

class TestDataFolder : public QObject {
    Q_OBJECT
private slots:
    void locate_data();
    void locate();
    void runningTestFindsTheSourceTree();
};

void TestDataFolder::locate_data()
{
    // Created below a temporary root: "a/b" a file, "a/" a folder, "a -> b" a symbolic link.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("build");
    QTest::addColumn<QString>("sourceData");
    QTest::addColumn<QString>("expected");

    const QString list = QStringLiteral("sc.reg");
    const QString index = QStringLiteral("help/index.html");
    const QString src = QStringLiteral("src/data");
    const QString build = QStringLiteral("build");
    const QString none;
    QTest::newRow("installed prefix") << QStringList{"usr/bin/orvalis", "usr/share/orvalis/sc.reg"} << list
                                      << QStringLiteral("usr/bin") << build << src
                                      << QStringLiteral("usr/share/orvalis/sc.reg");
    QTest::newRow("installed help pages")
        << QStringList{"opt/o/bin/orvalis", "opt/o/share/orvalis/help/index.html"} << index
        << QStringLiteral("opt/o/bin") << none << none << QStringLiteral("opt/o/share/orvalis/help/index.html");
    QTest::newRow("unpacked copy beside the program wins")
        << QStringList{"p/bin/sc.reg", "p/share/orvalis/sc.reg"} << list << QStringLiteral("p/bin") << none << none
        << QStringLiteral("p/bin/sc.reg");
    QTest::newRow("run from the build folder")
        << QStringList{"build/src/app/orvalis", "src/data/sc.reg"} << list << QStringLiteral("build/src/app") << build
        << src << QStringLiteral("src/data/sc.reg");
    QTest::newRow("build copies the help beside the program, the list stays in the source tree")
        << QStringList{"build/src/app/help/index.html", "src/data/sc.reg", "src/data/help/index.html"} << list
        << QStringLiteral("build/src/app") << build << src << QStringLiteral("src/data/sc.reg");
    QTest::newRow("help copied beside the program in the build folder")
        << QStringList{"build/src/app/help/index.html", "src/data/sc.reg", "src/data/help/index.html"} << index
        << QStringLiteral("build/src/app") << build << src << QStringLiteral("build/src/app/help/index.html");
    QTest::newRow("prefix installed inside the build folder")
        << QStringList{"build/stage/bin/orvalis", "build/stage/share/orvalis/sc.reg", "src/data/sc.reg"} << list
        << QStringLiteral("build/stage/bin") << build << src << QStringLiteral("build/stage/share/orvalis/sc.reg");
    QTest::newRow("sibling folder sharing the build folder's name")
        << QStringList{"build-other/bin/orvalis", "src/data/sc.reg"} << list << QStringLiteral("build-other/bin")
        << build << src << QStringLiteral("build-other/share/orvalis/sc.reg");
    QTest::newRow("link into the build folder")
        << QStringList{"build/src/app/orvalis", "src/data/sc.reg", "home/bin -> build/src/app"} << list
        << QStringLiteral("home/bin") << build << src << QStringLiteral("src/data/sc.reg");
    QTest::newRow("missing in the source tree too")
        << QStringList{"build/src/app/orvalis", "src/data/"} << list << QStringLiteral("build/src/app") << build << src
        << QStringLiteral("build/src/share/orvalis/sc.reg");
    QTest::newRow("nothing anywhere names the installed place")
        << QStringList{"usr/bin/orvalis"} << index << QStringLiteral("usr/bin") << build << src
        << QStringLiteral("usr/share/orvalis/help/index.html");
    QTest::newRow("a file named help does not hide the installed pages")
        << QStringList{"usr/bin/help", "usr/share/orvalis/help/index.html"} << index << QStringLiteral("usr/bin")
        << none << none << QStringLiteral("usr/share/orvalis/help/index.html");
    QTest::newRow("program folder given with dots and a trailing slash")
        << QStringList{"usr/bin/orvalis", "usr/share/orvalis/sc.reg"} << list << QStringLiteral("usr/lib/../bin/")
        << none << none << QStringLiteral("usr/share/orvalis/sc.reg");
}

void TestDataFolder::locate()
{
    QFETCH(QStringList, files);
    QFETCH(QString, wanted);
    QFETCH(QString, program);
    QFETCH(QString, build);
    QFETCH(QString, sourceData);
    QFETCH(QString, expected);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString base = QFileInfo(root.path()).canonicalFilePath();
    for (const QString &f : files) {
        const QString path = base + QLatin1Char('/') + f.section(QStringLiteral(" -> "), 0, 0);
        if (f.contains(QStringLiteral(" -> "))) {
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QVERIFY(QFile::link(base + QLatin1Char('/') + f.section(QStringLiteral(" -> "), 1), path));
            continue;
        }
        if (f.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir().mkpath(path));
            continue;
        }
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const auto abs = [&](const QString &rel) { return rel.isEmpty() ? rel : base + QLatin1Char('/') + rel; };
    QCOMPARE(locateDataFile(wanted, abs(program), abs(build), abs(sourceData)), abs(expected));
}

void TestDataFolder::runningTestFindsTheSourceTree()
{
    // This test runs from the build folder, like a freshly built program.
    const QString list = dataFilePath(QStringLiteral("sc.reg"));
    QVERIFY2(QFileInfo(list).isFile(), qPrintable(list));
}

QTEST_GUILESS_MAIN(TestDataFolder)
#include "test_datafolder.moc"
