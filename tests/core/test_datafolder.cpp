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
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("build");
    QTest::addColumn<QString>("sourceData");
    QTest::addColumn<QString>("expected");

    const QString src = QStringLiteral("src/data");
    const QString build = QStringLiteral("build");
    const QString none;
    QTest::newRow("installed prefix") << QStringList{"usr/bin/orvalis", "usr/share/orvalis/sc.reg"}
                                      << QStringLiteral("usr/bin") << build << src
                                      << QStringLiteral("usr/share/orvalis");
    QTest::newRow("installed help without the list")
        << QStringList{"opt/o/bin/orvalis", "opt/o/share/orvalis/help/index.html"} << QStringLiteral("opt/o/bin")
        << none << none << QStringLiteral("opt/o/share/orvalis");
    QTest::newRow("unpacked copy beside the program wins")
        << QStringList{"p/bin/sc.reg", "p/share/orvalis/sc.reg"} << QStringLiteral("p/bin") << none << none
        << QStringLiteral("p/bin");
    QTest::newRow("run from the build folder") << QStringList{"build/src/app/orvalis", "src/data/sc.reg"}
                                               << QStringLiteral("build/src/app") << build << src << src;
    QTest::newRow("run from the build folder itself")
        << QStringList{"build/orvalis", "src/data/help/"} << build << build << src << src;
    QTest::newRow("prefix installed inside the build folder")
        << QStringList{"build/stage/bin/orvalis", "build/stage/share/orvalis/sc.reg", "src/data/sc.reg"}
        << QStringLiteral("build/stage/bin") << build << src << QStringLiteral("build/stage/share/orvalis");
    QTest::newRow("sibling folder sharing the build folder's name")
        << QStringList{"build-other/bin/orvalis", "src/data/sc.reg"} << QStringLiteral("build-other/bin") << build
        << src << QStringLiteral("build-other/share/orvalis");
    QTest::newRow("link into the build folder")
        << QStringList{"build/src/app/orvalis", "src/data/sc.reg", "home/bin -> build/src/app"}
        << QStringLiteral("home/bin") << build << src << src;
    QTest::newRow("source data missing") << QStringList{"build/src/app/orvalis", "src/data/"}
                                         << QStringLiteral("build/src/app") << build << src
                                         << QStringLiteral("build/src/share/orvalis");
    QTest::newRow("nothing anywhere names the installed place")
        << QStringList{"usr/bin/orvalis"} << QStringLiteral("usr/bin") << build << src
        << QStringLiteral("usr/share/orvalis");
    QTest::newRow("a file named help is not the help folder")
        << QStringList{"usr/bin/help", "usr/share/orvalis/sc.reg"} << QStringLiteral("usr/bin") << none << none
        << QStringLiteral("usr/share/orvalis");
    QTest::newRow("program folder reached through a trailing slash and dots")
        << QStringList{"usr/bin/orvalis", "usr/share/orvalis/sc.reg"} << QStringLiteral("usr/lib/../bin/") << none
        << none << QStringLiteral("usr/share/orvalis");
}

void TestDataFolder::locate()
{
    QFETCH(QStringList, files);
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
    QCOMPARE(locateDataFolder(abs(program), abs(build), abs(sourceData)), abs(expected));
}

void TestDataFolder::runningTestFindsTheSourceTree()
{
    // This test runs from the build folder, like a freshly built program.
    const QString folder = dataFolder();
    QVERIFY2(QFileInfo(folder + QStringLiteral("/sc.reg")).isFile(), qPrintable(folder));
    QCOMPARE(dataFilePath(QStringLiteral("sc.reg")), folder + QStringLiteral("/sc.reg"));
}

QTEST_GUILESS_MAIN(TestDataFolder)
#include "test_datafolder.moc"
