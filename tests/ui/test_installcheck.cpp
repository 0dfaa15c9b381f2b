// --check-installation: it must pass on a complete data folder and fail, naming what is wrong, on
// every folder a broken package could leave behind, so that the CI step cannot pass on nothing.
#include "store/scopelibrary.h"
#include "ui/main/programstart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace orvalis;

class TestInstallCheck : public QObject {
    Q_OBJECT
private slots:
    void init();
    void check_data();
    void check();
    void showsNoWindow();
};

namespace {

// Counts the windows shown while it lives.
class ShownWindows : public QObject {
public:
    ShownWindows() { qApp->installEventFilter(this); }
    ~ShownWindows() override { qApp->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow())
            ++count;
        return false;
    }
};

} // namespace

void TestInstallCheck::init()
{
    // Every row starts from an empty library, as a first run does.
    QVector<ScopeCompany> library;
    ReadScopeLibrary(library);
    for (const ScopeCompany &company : library)
        DeleteScopeCompany(company.Company);
}

void TestInstallCheck::check_data()
{
    // Files of the data folder, name -> content; "@shipped" stands for the repository's own sc.reg.
    QTest::addColumn<QVariantMap>("files");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("lines"); // each must be part of one line of the report

    const QString shipped = QStringLiteral("@shipped");
    const QString index = QStringLiteral("<html><head><title>Orvalis help</title></head><body>Contents</body></html>");
    const QString header = QStringLiteral("REGEDIT4\r\n\r\n");
    QTest::newRow("shipped list and help")
        << QVariantMap{{"sc.reg", shipped}, {"help/index.html", index}} << 0
        << QStringList{"ok: start-up loads the built-in instrument (Default, 200 kV)", "ok: default list",
                       "ok: help index", "opens (\"Orvalis help\")"};
    QTest::newRow("no help pages installed")
        << QVariantMap{{"sc.reg", shipped}} << 0 << QStringList{"ok: default list", "skipped: no help pages in"};
    QTest::newRow("list missing") << QVariantMap{{"help/index.html", index}} << 1
                                  << QStringList{"FAILED: default list", "ok: help index"};
    QTest::newRow("list with a bad line")
        << QVariantMap{{"sc.reg",
                        header
                            + "[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis\\Default Scopes\\A\\B]\r\n"
                              "\"Voltage\"=\"200\r\n"}}
        << 1 << QStringList{"FAILED: default list", "line 4", "skipped: no help pages in"};
    QTest::newRow("list without microscopes")
        << QVariantMap{{"sc.reg", header}} << 1 << QStringList{"FAILED: default list"};
    QTest::newRow("help folder without index")
        << QVariantMap{{"sc.reg", shipped}, {"help/other.html", index}} << 1 << QStringList{"FAILED: help index"};
    QTest::newRow("empty index page") << QVariantMap{{"sc.reg", shipped}, {"help/index.html", QString()}} << 1
                                      << QStringList{"FAILED: help index"};
}

void TestInstallCheck::check()
{
    QFETCH(QVariantMap, files);
    QFETCH(int, status);
    QFETCH(QStringList, lines);
    QVERIFY(!lines.isEmpty());

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString path = folder.filePath(it.key());
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        if (it.value().toString() == QLatin1String("@shipped")) {
            QVERIFY(QFile::copy(QStringLiteral(ORVALIS_SOURCE_DIR "/data/sc.reg"), path));
            continue;
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(it.value().toString().toUtf8());
    }

    QString text;
    QTextStream out(&text);
    const int result = checkInstallation(out, folder.filePath(QStringLiteral("sc.reg")),
                                         folder.filePath(QStringLiteral("help/index.html")));
    const QStringList report = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const bool found = std::any_of(report.cbegin(), report.cend(),
                                       [&](const QString &l) { return l.contains(line); });
        QVERIFY2(found, qPrintable(QStringLiteral("no line \"%1\" in:\n%2").arg(line, text)));
    }
    QCOMPARE(result, status);
}

// The check runs where no display may be: it starts the program's model, never a window.
void TestInstallCheck::showsNoWindow()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QVERIFY(QFile::copy(QStringLiteral(ORVALIS_SOURCE_DIR "/data/sc.reg"), folder.filePath(QStringLiteral("sc.reg"))));
    ShownWindows shown;
    QString text;
    QTextStream out(&text);
    QCOMPARE(checkInstallation(out, folder.filePath(QStringLiteral("sc.reg")),
                               folder.filePath(QStringLiteral("help/index.html"))),
             0);
    QVERIFY2(text.contains(QLatin1String("ok: start-up loads the built-in instrument (Default, 200 kV)")),
             qPrintable(text));
    QCOMPARE(shown.count, 0);
}

QTEST_MAIN(TestInstallCheck)
#include "test_installcheck.moc"
