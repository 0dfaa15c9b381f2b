// Tick texts of the frequency, distance and defocus axes.
#include "core/axislabels.h"

#include <QtTest>

using namespace orvalis;

class TestAxisLabels : public QObject {
    Q_OBJECT
private slots:
    void labels_data();
    void labels();
};

void TestAxisLabels::labels_data()
{
    QTest::addColumn<QString>("axis");
    QTest::addColumn<QString>("tick");
    QTest::addColumn<QString>("shown");
    QTest::newRow("distance origin") << "distance"
                                     << "0"
                                     << "d,(nm)";
    QTest::newRow("distance at 2.5") << "distance"
                                     << "2.5"
                                     << "0.400";
    QTest::newRow("distance at 2") << "distance"
                                   << "2"
                                   << "0.500";
    QTest::newRow("distance at 3") << "distance"
                                   << "3"
                                   << "0.333";
    QTest::newRow("distance not a number") << "distance"
                                           << "x"
                                           << "x";
    QTest::newRow("frequency origin") << "frequency"
                                      << "0"
                                      << "k,(nm-1)";
    QTest::newRow("frequency other") << "frequency"
                                     << "2.5"
                                     << "2.5";
    QTest::newRow("defocus top") << "defocus"
                                 << "-50"
                                 << "50";
    QTest::newRow("defocus bottom") << "defocus"
                                    << "200"
                                    << "-200";
    QTest::newRow("defocus zero") << "defocus"
                                  << "0"
                                  << "0";
}

void TestAxisLabels::labels()
{
    QFETCH(QString, axis);
    QFETCH(QString, tick);
    QFETCH(QString, shown);
    const QString text = axis == "distance" ? distanceAxisLabel(tick)
        : axis == "frequency"               ? frequencyAxisLabel(tick)
                                            : defocusAxisLabel(tick);
    QCOMPARE(text, shown);
}

QTEST_APPLESS_MAIN(TestAxisLabels)
#include "test_axislabels.moc"
