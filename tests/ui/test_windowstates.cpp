// What the main window shows over a table of states - every curve value of Chart1, the pattern's and
// the defocus map's pixels, the marker, ruler and map positions, every tree and list text and every
// visible label, field and slider - written as text and compared with a committed dump. A change of
// the code's structure must leave these files as they are; ORVALIS_WRITE_GOLDEN=1 rewrites them
// (only ever from a build that is known to show the right thing).
#include "formdriver.h"

#include "chart/chartwidget.h"
#include "core/scopedata.h"
#include "store/scopelibrary.h"
#include "ui/widgets/pixelimage.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QListWidget>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <functional>
#include <memory>

using namespace orvalis;
using namespace orvalis::test;

using StateSetup = std::function<void(TForm1 &)>;
Q_DECLARE_METATYPE(StateSetup)

namespace {

const QSize windowSize(1000, 720); // px; the layout, and with it the pattern's size, depends on it

QString number(double v)
{
    return QString::asprintf("%.17g", v);
}

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// The image's pixels as 32-bit words row by row, without the padding a scan line may have.
QString imageDigest(const QImage &source)
{
    if (source.isNull())
        return QStringLiteral("none");
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    QByteArray bytes;
    for (int y = 0; y < image.height(); ++y)
        bytes.append(reinterpret_cast<const char *>(image.constScanLine(y)), image.width() * 4);
    return QStringLiteral("%1x%2 %3").arg(image.width()).arg(image.height()).arg(QString::fromLatin1(sha256(bytes)));
}

// A few pixels written out, so that a difference in the digest can be told from the dump.
QString imageSamples(const QImage &image)
{
    QStringList out;
    if (image.isNull())
        return QString();
    const int w = image.width(), h = image.height();
    for (const QPoint p : {QPoint(0, 0), QPoint(w / 2, h / 2), QPoint(w / 2 + w / 8, h / 2), QPoint(w / 4, h / 4),
                           QPoint(w - 1, h - 1), QPoint(w / 3, h / 2 + h / 5)})
        out << QStringLiteral("(%1,%2)=%3")
                   .arg(p.x())
                   .arg(p.y())
                   .arg(image.pixel(p) & 0xffffff, 6, 16, QLatin1Char('0'));
    return out.join(QLatin1Char(' '));
}

void dumpChart(QStringList &out, ChartWidget *chart)
{
    const QString name = chart->objectName();
    for (ChartWidget::Axis axis :
         {ChartWidget::Axis::Left, ChartWidget::Axis::Right, ChartWidget::Axis::Top, ChartWidget::Axis::Bottom}) {
        out << QStringLiteral("%1 axis %2: visible %3 range %4 .. %5")
                   .arg(name)
                   .arg(int(axis))
                   .arg(chart->isAxisVisible(axis))
                   .arg(number(chart->axisMinimum(axis)), number(chart->axisMaximum(axis)));
    }
    out << QStringLiteral("%1 back image: %2").arg(name, imageDigest(chart->backImage()));
    for (int s = 0; s < chart->seriesCount(); ++s) {
        const int count = chart->pointCount(s);
        out << QStringLiteral("%1 series %2 \"%3\" visible %4 colour %5 points %6")
                   .arg(name)
                   .arg(s)
                   .arg(chart->seriesTitle(s))
                   .arg(chart->isSeriesVisible(s))
                   .arg(chart->seriesColor(s).name())
                   .arg(count);
        QByteArray all;
        QStringList samples;
        for (int p = 0; p < count; ++p) {
            const QString pair = number(chart->xValue(s, p)) + QLatin1Char(' ') + number(chart->yValue(s, p));
            all += pair.toLatin1() + '\n';
            if (p % 256 == 0 || p == count - 1)
                samples << QStringLiteral("  [%1] %2").arg(p).arg(pair);
        }
        if (count > 0)
            out << QStringLiteral("  all points: %1").arg(QString::fromLatin1(sha256(all)));
        out << samples;
    }
}

void dumpTree(QStringList &out, QTreeWidgetItem *item, const QString &indent)
{
    out << indent + item->text(0);
    for (int i = 0; i < item->childCount(); ++i)
        dumpTree(out, item->child(i), indent + QStringLiteral("  "));
}

template <class W> QList<W *> namedVisible(QWidget *form)
{
    QList<W *> found;
    for (W *w : form->findChildren<W *>())
        if (!w->objectName().isEmpty() && w->isVisible())
            found << w;
    std::stable_sort(found.begin(), found.end(),
                     [](const W *a, const W *b) { return a->objectName() < b->objectName(); });
    return found;
}

QString dumpWindow(TForm1 &form)
{
    QStringList out;
    dumpChart(out, child<ChartWidget>(&form, "Chart1"));
    dumpChart(out, child<ChartWidget>(&form, "Chart2"));
    const QImage pattern = child<PixelImage>(&form, "Image1")->image();
    out << QStringLiteral("Image1: %1").arg(imageDigest(pattern)) << QStringLiteral("  %1").arg(imageSamples(pattern));
    out << QStringLiteral("defocus map: %1").arg(imageDigest(form.body().map()->image()))
        << QStringLiteral("  %1").arg(imageSamples(form.body().map()->image()));
    for (const char *name : {"Image1", "Shape1", "Shape2", "shTick1", "shTick2", "shTick3", "laTick1", "laTick2",
                             "laTick3", "pa2Dctf", "pa3dCTF"}) {
        QWidget *w = child<QWidget>(&form, name);
        out << QStringLiteral("%1: visible %2 at %3,%4 size %5x%6")
                   .arg(QLatin1String(name))
                   .arg(w->isVisible())
                   .arg(w->x())
                   .arg(w->y())
                   .arg(w->width())
                   .arg(w->height());
    }
    auto *tree = child<QTreeWidget>(&form, "TreeView1");
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        dumpTree(out, tree->topLevelItem(i), QStringLiteral("TreeView1: "));
    auto *list = child<QListWidget>(&form, "ListView1");
    for (int i = 0; i < list->count(); ++i)
        out << QStringLiteral("ListView1: ") + list->item(i)->text();
    for (QLabel *label : namedVisible<QLabel>(&form))
        out << QStringLiteral("%1: %2").arg(label->objectName(), label->text());
    for (QLineEdit *edit : namedVisible<QLineEdit>(&form))
        out << QStringLiteral("%1: %2").arg(edit->objectName(), edit->text());
    for (QScrollBar *bar : namedVisible<QScrollBar>(&form))
        out << QStringLiteral("%1: %2 in %3 .. %4")
                   .arg(bar->objectName())
                   .arg(bar->value())
                   .arg(bar->minimum())
                   .arg(bar->maximum());
    for (QToolButton *button : namedVisible<QToolButton>(&form))
        out << QStringLiteral("%1: enabled %2 checked %3")
                   .arg(button->objectName())
                   .arg(button->isEnabled())
                   .arg(button->isChecked());
    const OpticsState &s = form.state();
    out << QStringLiteral("state: Defocus %1 A2 %2 A3 %3 Direction %4 Alpha %5 Cs %6 UpTo %7")
               .arg(number(s.Defocus), number(s.A2), number(s.A3), number(s.Direction), number(s.Alpha), number(s.Cs),
                    number(s.UpTo));
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

// Answers the next save dialog with a path.
class SaveAs {
public:
    explicit SaveAs(QString path) : m_path(std::move(path))
    {
        QTimer::singleShot(0, &m_context, [this] { poll(); });
    }
    bool seen = false;

private:
    void poll()
    {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            seen = true;
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            edit->setText(m_path);
            QTest::keyClick(edit, Qt::Key_Return);
            return;
        }
        if (++m_tries < 400)
            QTimer::singleShot(5, &m_context, [this] { poll(); });
    }
    QString m_path;
    QObject m_context;
    int m_tries = 0;
};

// The text table a tool button saves, as its size and digest.
QString savedTable(TForm1 &form, const char *item)
{
    QAction *save = action(&form, item);
    if (!save->isEnabled())
        return QStringLiteral("not offered");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("table.txt"));
    SaveAs answer(path);
    save->trigger();
    QFile file(path);
    if (!answer.seen || !file.open(QIODevice::ReadOnly))
        return QStringLiteral("not saved");
    const QByteArray text = file.readAll();
    return QStringLiteral("%1 bytes %2").arg(text.size()).arg(QString::fromLatin1(sha256(text)));
}

void showPatternAndMap(TForm1 &form)
{
    action(&form, "Show2DCTF1")->trigger();
    action(&form, "N3D1")->trigger();
    child<ChartWidget>(&form, "Chart2")->redraw();
}

// A library entry as the dialogs hand it to the window.
TScopeData libraryScope()
{
    ScopeData data;
    data.Voltage = QStringLiteral("300");
    data.Cs = QStringLiteral("2.7");
    data.Cc = QStringLiteral("2.7");
    data.dE = QStringLiteral("0.8");
    data.dvv = QStringLiteral("0.06");
    data.dii = QStringLiteral("0.1");
    data.Convergence = QStringLiteral("0.2");
    return ScopeRecordFromData(QStringLiteral("Acme Optics"), QStringLiteral("Cryo 300"), data);
}

void load(TForm1 &form, const TScopeData &scope)
{
    if (!form.setup().ApplyScopeRecord(scope))
        qFatal("the window refused the instrument %s", qPrintable(scope.Model));
}

} // namespace

class TestWindowStates : public QObject {
    Q_OBJECT
private slots:
    void sameAsDump_data();
    void sameAsDump();
};

void TestWindowStates::sameAsDump_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<StateSetup>("setup");
    QTest::newRow("start-up") << "startup" << StateSetup([](TForm1 &) {});
    QTest::newRow("pattern and map") << "patternmap" << StateSetup(showPatternAndMap);
    QTest::newRow("astigmatism with a direction") << "astigmatism" << StateSetup([](TForm1 &form) {
        showPatternAndMap(form);
        typeAndEnter(&form, "edAstigm", QStringLiteral("60"));
        typeAndEnter(&form, "edAstigm3", QStringLiteral("1500"));
        QTest::mouseClick(child<QWidget>(&form, "Image1"), Qt::LeftButton, {}, QPoint(154, 64));
    });
    QTest::newRow("view choices") << "viewchoices" << StateSetup([](TForm1 &form) {
        action(&form, "Intensity1")->trigger();
        action(&form, "Symmetr1")->trigger();
        action(&form, "Spatial1")->trigger();
        action(&form, "Show2DCTF1")->trigger();
        child<QScrollBar>(&form, "ScrollBar1")->setValue(240);
    });
    QTest::newRow("plotter, two instruments") << "plotter" << StateSetup([](TForm1 &form) {
        action(&form, "N1DCTFPlotMode1")->trigger();
        QTest::mouseClick(child<QToolButton>(&form, "btn2ndCTF"), Qt::LeftButton);
        load(form, libraryScope());
        child<QScrollBar>(&form, "ScrollBar1")->setValue(150);
        QTest::mouseClick(child<QToolButton>(&form, "btn1stCTF"), Qt::LeftButton);
        QTest::mouseClick(child<QToolButton>(&form, "btnEnvelopes"), Qt::LeftButton);
    });
    QTest::newRow("library instrument") << "library" << StateSetup([](TForm1 &form) {
        load(form, libraryScope());
        showPatternAndMap(form);
        child<QScrollBar>(&form, "ScrollBar4")->setValue(30);
        typeAndEnter(&form, "edDefocus", QStringLiteral("-310"));
    });
    QTest::newRow("negative Cs (overfocus)") << "overfocus" << StateSetup([](TForm1 &form) {
        TScopeData scope = defaultScope();
        scope.Cs = -1.2e6;
        load(form, scope);
        showPatternAndMap(form);
        typeAndEnter(&form, "edDefocus", QStringLiteral("80"));
        typeAndEnter(&form, "edAstigm", QStringLiteral("25"));
    });
}

void TestWindowStates::sameAsDump()
{
    QFETCH(QString, file);
    QFETCH(StateSetup, setup);
    FreshSettingsFolder settings;
    auto form = std::make_unique<TForm1>();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->resize(windowSize);
    QTest::qWait(20);
    QCOMPARE(form->size(), windowSize);
    setup(*form);
    QCoreApplication::processEvents();
    QString dump = dumpWindow(*form);
    dump += QStringLiteral("saved 1D table: %1\n").arg(savedTable(*form, "Save1D"));
    dump += QStringLiteral("saved defocus map table: %1\n").arg(savedTable(*form, "SaveDefocusMap1"));

    const QString golden = QStringLiteral(ORVALIS_SOURCE_DIR "/tests/ui/windowstates/%1.txt").arg(file);
    if (qEnvironmentVariableIntValue("ORVALIS_WRITE_GOLDEN") == 1) {
        QFile out(golden);
        QVERIFY2(out.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(golden));
        out.write(dump.toUtf8());
        return;
    }
    QFile in(golden);
    QVERIFY2(in.open(QIODevice::ReadOnly), qPrintable(golden));
    const QStringList expected = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'));
    const QStringList actual = dump.split(QLatin1Char('\n'));
    QFile written(QDir::current().filePath(file + QStringLiteral(".actual.txt")));
    for (int i = 0; i < std::max(expected.size(), actual.size()); ++i) {
        const QString e = expected.value(i, QStringLiteral("(end)")), a = actual.value(i, QStringLiteral("(end)"));
        if (e != a) {
            if (written.open(QIODevice::WriteOnly | QIODevice::Truncate))
                written.write(dump.toUtf8());
            QFAIL(qPrintable(QStringLiteral("line %1 differs (all of it in %2):\n  expected: %3\n  actual:   %4")
                                 .arg(i + 1)
                                 .arg(written.fileName(), e, a)));
        }
    }
}

ORVALIS_UI_TEST_MAIN(TestWindowStates)
#include "test_windowstates.moc"
