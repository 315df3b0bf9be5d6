// SPDX-License-Identifier: GPL-3.0-or-later
// Naming rules of take files.

#include "FileNaming.h"
#include "SoundFixtures.h"

#include <QtTest>

#include <atomic>
#include <thread>

class TestNaming : public QObject
{
    Q_OBJECT
private slots:
    // name -> mono or not, and the root ("-": not asked)
    void monoAndRacine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("mono");
        QTest::addColumn<QString>("racine");
        for (const char* r : {"AA0001_01.WAV|1|AA0001", "AA0001_1.WAV|1|AA0001", "AA0001_A.WAV|1|AA0001", "AA0001-3.WAV|1|AA0001",
                              "AA0001#1.WAV|1|AA0001", "AA0001+1.WAV|1|AA0001", "AA0001PX.WAV|0|AA0001", "AA0001.WAV|0|AA00", "A_1.WAV|1|A",
                              "_1.WAV|0|_1.WAV", "AB.WAV|0|AB.WAV", "/x/y/AA0002_24.WAV|1|/x/y/AA0002", "::::::::::|0|::::", "|0|-"}) {
            const QStringList c = QString::fromLatin1(r).split(QLatin1Char('|'));
            QTest::newRow(r) << c[0] << (c[1] == QLatin1String("1")) << c[2];
        }
    }
    void monoAndRacine()
    {
        QFETCH(QString, name); QFETCH(QString, racine);
        QTEST(IsMonoFile(name), "mono");
        if (racine != QLatin1String("-"))
            QCOMPARE(AudioPathFileShortenedToRacine(name), racine);
    }

    // "n: NN C": the two-digit and the one-character track codes.
    void trackCodes()
    {
        QStringList got;
        for (int n : {0, 1, 9, 10, 24, 35, 36, 100, -1})
            got << QStringLiteral("%1: %2 %3").arg(n).arg(TrkIndexToNN(n)).arg(QString(TrkIndexToCharOld(n)));
        QCOMPARE(got.join(QLatin1String(", ")), QStringLiteral("0: 00 0, 1: 01 1, 9: 09 9, 10: 10 A, 24: 24 O, 35: 35 Z, 36: 36 $, "
                                                               "100: 10 $, -1: -1 $"));   // 100 loses its last digit
        // The listing runs on the table's worker while the window builds track names: two threads asking at once must each get
        // their own text.
        std::atomic<int> mismatches{0};
        auto work = [&mismatches](int offset) {
            for (int round = 0; round < 20000; ++round) {
                const int n = 1 + (round + offset) % 24;
                mismatches += TrkIndexToNN(n) != QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
            }
        };
        std::thread a(work, 0), b(work, 11);
        a.join();
        b.join();
        QCOMPARE(mismatches.load(), 0);
    }

    // Files of a take: any separator and case of the extension; wildcard characters in a root are plain characters.
    void fileSetCount()
    {
        QTemporaryDir tmp;
        const QString d = tmp.path() + QLatin1Char('/');
        for (const char* n : {"AA0001_01.WAV", "AA0001_02.wav", "AA0001-3.WAV", "AA0001#4.BWF", "AA0001+5.bwf", "AA0001.WAV",
                              "aa0001_06.WAV", "AA0001X_01.WAV", "AA0001_01.DEL1", "AA0002_01.WAV", "AA0001PX.WAV",
                              "AA0001_01.WAV.bak", "A[1]*?_01.WAV", "A[1]*?_02.WAV", "A1_01.WAV", "Ax]*?_01.WAV"})
            QVERIFY(testsupport::writeBytes(d + QLatin1String(n), "x"));
        QVERIFY(QDir(d).mkdir(QStringLiteral("AA0001_09.WAV")));   // a folder is not a sound file
        QStringList got;
        for (const char* n : {"AA0001_01.WAV", "AA0001-3.WAV", "AA0001PX.WAV", "ZZ9999_01.WAV", "missing/AA0001_01.WAV", "A[1]*?_01.WAV"})
            got << QString::number(QAll_HowManySoundFilesInGroup(d + QLatin1String(n)));
        QCOMPARE(got.join(QLatin1Char(' ')), QStringLiteral("7 7 1 0 0 2"));   // a poly file's root is its whole base name
    }
};

QTEST_MAIN(TestNaming)
#include "tst_naming.moc"
