// SPDX-License-Identifier: GPL-3.0-or-later
// The frame rate a take's files carry, from each of the three places, and
// no rate at all rather than an assumed one.

#include "TakeFrameRate.h"

#include <QtTest>

#include <optional>

Q_DECLARE_METATYPE(std::optional<double>)

namespace {
const std::optional<double> kNone;
std::optional<double> rate(double r) { return r; }
constexpr double kNtsc24 = 24000.0 / 1001.0;
constexpr double kNtsc30 = 30000.0 / 1001.0;
} // namespace

class TestFrameRate : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<int>("source");   // 0 film code, 1 bext speed, 2 iXML rate
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<double>>("expected");
        QTest::newRow("film 25.00") << 0 << "25.00" << rate(25);
        QTest::newRow("film 29.97 is 30000/1001") << 0 << "29.97" << rate(kNtsc30);
        QTest::newRow("film 24.DRIF2") << 0 << "24.DRIF2" << rate(kNtsc24);
        QTest::newRow("film 30.DRIFT") << 0 << "30.DRIFT" << rate(kNtsc30);
        QTest::newRow("film 23.976") << 0 << "23.976" << rate(kNtsc24);
        QTest::newRow("film 48.00") << 0 << "48.00" << rate(48);
        QTest::newRow("film empty") << 0 << "" << kNone;
        QTest::newRow("film garbage") << 0 << "AB.CD" << kNone;
        QTest::newRow("speed 025.000-ND") << 1 << "025.000-ND" << rate(25);
        QTest::newRow("speed 023.976-ND") << 1 << "023.976-ND" << rate(kNtsc24);
        QTest::newRow("speed 029.970-DF") << 1 << "029.970-DF" << rate(kNtsc30);
        QTest::newRow("speed 000.000-ND") << 1 << "000.000-ND" << kNone;
        QTest::newRow("speed missing") << 1 << "" << kNone;
        QTest::newRow("iXML 25/1") << 2 << "25/1" << rate(25);
        QTest::newRow("iXML 30000/1001") << 2 << " 30000/1001 " << rate(kNtsc30);
        QTest::newRow("iXML Unknown") << 2 << "Unknown" << kNone;
        QTest::newRow("iXML 25/0") << 2 << "25/0" << kNone;
        QTest::newRow("iXML 25") << 2 << "25" << kNone;
    }

    void parse()
    {
        QFETCH(int, source);
        QFETCH(QString, text);
        QFETCH(std::optional<double>, expected);
        const std::optional<double> got = source == 0   ? FrameRateOfFilmCode(text.toLatin1())
                                          : source == 1 ? FrameRateOfSpeedLine(text)
                                                        : FrameRateOfIxmlRate(text);
        QCOMPARE(bool(got), bool(expected));
        if (expected)
            QVERIFY2(qAbs(*got - *expected) < 1e-9, qPrintable(QString::number(*got, 'g', 12)));
    }
};

QTEST_GUILESS_MAIN(TestFrameRate)
#include "tst_framerate.moc"
