// SPDX-License-Identifier: GPL-3.0-or-later
// Naming rules of take files and the path helper.

#include "FileNaming.h"
#include "QPath.h"
#include "SoundFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

using testsupport::writeBytes;

class TestNaming : public QObject
{
    Q_OBJECT

private:

private slots:
    void monoAndRacine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("mono");
        QTest::addColumn<QString>("racine");   // "-": not asked
        QTest::newRow("classic two digits") << "AA0001_01.WAV" << true << "AA0001";
        QTest::newRow("classic one char") << "AA0001_1.WAV" << true << "AA0001";
        QTest::newRow("classic letter track") << "AA0001_A.WAV" << true << "AA0001";
        QTest::newRow("M/S") << "AA0001-3.WAV" << true << "AA0001";
        QTest::newRow("diese") << "AA0001#1.WAV" << true << "AA0001";
        QTest::newRow("plus") << "AA0001+1.WAV" << true << "AA0001";
        QTest::newRow("poly two-char tail") << "AA0001PX.WAV" << false << "AA0001";
        QTest::newRow("bare id") << "AA0001.WAV" << false << "AA00";
        QTest::newRow("seven chars") << "A_1.WAV" << true << "A";
        QTest::newRow("six chars with separator") << "_1.WAV" << false << "_1.WAV";
        QTest::newRow("six chars unchanged") << "AB.WAV" << false << "AB.WAV";
        QTest::newRow("path") << "/x/y/AA0002_24.WAV" << true << "/x/y/AA0002";
        QTest::newRow("ten colons") << "::::::::::" << false << "::::";
        QTest::newRow("empty") << "" << false << "-";
    }
    void monoAndRacine()
    {
        QFETCH(QString, name);
        QFETCH(QString, racine);
        QTEST(IsMonoFile(name), "mono");
        if (racine != QLatin1String("-"))
            QCOMPARE(AudioPathFileShortenedToRacine(name), racine);
    }

    void trackCodes_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("nn");
        QTest::addColumn<QString>("charOld");
        QTest::newRow("0") << 0 << QStringLiteral("00") << QStringLiteral("0");
        QTest::newRow("1") << 1 << QStringLiteral("01") << QStringLiteral("1");
        QTest::newRow("9") << 9 << QStringLiteral("09") << QStringLiteral("9");
        QTest::newRow("10") << 10 << QStringLiteral("10") << QStringLiteral("A");
        QTest::newRow("24") << 24 << QStringLiteral("24") << QStringLiteral("O");
        QTest::newRow("35") << 35 << QStringLiteral("35") << QStringLiteral("Z");
        QTest::newRow("36") << 36 << QStringLiteral("36") << QStringLiteral("$");
        QTest::newRow("100 loses its last digit") << 100 << QStringLiteral("10") << QStringLiteral("$");
        QTest::newRow("negative") << -1 << QStringLiteral("-1") << QStringLiteral("$");
    }
    void trackCodes()
    {
        QFETCH(int, n);
        QTEST(TrkIndexToNN(n), "nn");
        QTEST(QString(TrkIndexToCharOld(n)), "charOld");
    }

    // The listing runs on the table's worker while the window builds track
    // names: two threads asking at once must each get their own text.
    void trackCodesOnTwoThreads()
    {
        std::atomic<int> mismatches{0};
        auto work = [&mismatches](int offset) {
            for (int round = 0; round < 20000; ++round) {
                const int n = 1 + (round + offset) % 24;
                const QString name = QStringLiteral("AA0001_") + TrkIndexToNN(n) + QStringLiteral(".WAV");
                const QString expected = QStringLiteral("AA0001_%1.WAV").arg(n, 2, 10, QLatin1Char('0'));
                if (name != expected)
                    ++mismatches;
            }
        };
        std::thread a(work, 0);
        std::thread b(work, 11);
        a.join();
        b.join();
        QCOMPARE(mismatches.load(), 0);
    }

    void qpath_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("parts");   // held path|folder|file|file without extension|extension|root|separator
        QTest::newRow("trailing slash") << "/a/b/" << "/a/b|/a/|b|b||b|";
        QTest::newRow("classic track") << "/t/AA0001_01.WAV" << "/t/AA0001_01.WAV|/t/|AA0001_01.WAV|AA0001_01|WAV|AA0001|_";
        QTest::newRow("one-char track") << "/t/AA0001_1.WAV" << "/t/AA0001_1.WAV|/t/|AA0001_1.WAV|AA0001_1|WAV|AA0001|_";
        QTest::newRow("poly") << "/t/AA0001PX.WAV" << "/t/AA0001PX.WAV|/t/|AA0001PX.WAV|AA0001PX|WAV|AA0001PX|";
        QTest::newRow("cleaned") << "/t//u/./../v/AA0001+A.BWF" << "/t/v/AA0001+A.BWF|/t/v/|AA0001+A.BWF|AA0001+A|BWF|AA0001|+";
        QTest::newRow("first separator, last root") << "/t/A-B_C#01.WAV" << "/t/A-B_C#01.WAV|/t/|A-B_C#01.WAV|A-B_C#01|WAV|A-B_C|-";
        QTest::newRow("separator too far from the end") << "/t/AB_1234.WAV" << "/t/AB_1234.WAV|/t/|AB_1234.WAV|AB_1234|WAV|AB_1234|_";
        QTest::newRow("bare name") << "AA0001_01.WAV" << "AA0001_01.WAV||||WAV||";
    }
    void qpath()
    {
        QFETCH(QString, input);
        const QPath p(input);
        QTEST(QStringList({p.Path(), p.GetPath(), p.GetFilename(true), p.GetFilename(false), p.GetExtension(), p.GetRoot(),
                           p.GetSeparator()}).join(QLatin1Char('|')), "parts");
    }

    void fileSetCount()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString d = tmp.path() + QLatin1Char('/');
        const QStringList counted = {
            QStringLiteral("AA0001_01.WAV"), QStringLiteral("AA0001_02.wav"), QStringLiteral("AA0001-3.WAV"),
            QStringLiteral("AA0001#4.BWF"),  QStringLiteral("AA0001+5.bwf"),  QStringLiteral("AA0001.WAV"),
            QStringLiteral("aa0001_06.WAV"),
        };
        const QStringList ignored = {
            QStringLiteral("AA0001X_01.WAV"), QStringLiteral("AA0001_01.DEL1"), QStringLiteral("AA0002_01.WAV"),
            QStringLiteral("AA0001PX.WAV"),   QStringLiteral("AA0001_01.WAV.bak"),
        };
        for (const QString& n : counted + ignored)
            QVERIFY(writeBytes(d + n, "x"));
        QVERIFY(QDir(d).mkdir(QStringLiteral("AA0001_09.WAV")));   // a folder is not a sound file

        QCOMPARE(QAll_HowManySoundFilesInGroup(d + QStringLiteral("AA0001_01.WAV")), counted.size());
        QCOMPARE(QAll_HowManySoundFilesInGroup(d + QStringLiteral("AA0001-3.WAV")), counted.size());
        // A poly file's root is its whole base name.
        QCOMPARE(QAll_HowManySoundFilesInGroup(d + QStringLiteral("AA0001PX.WAV")), 1);
        QCOMPARE(QAll_HowManySoundFilesInGroup(d + QStringLiteral("ZZ9999_01.WAV")), 0);
        QCOMPARE(QAll_HowManySoundFilesInGroup(d + QStringLiteral("missing/AA0001_01.WAV")), 0);
    }

    // Wildcard characters in a root are plain characters.
    void fileSetCountWithPatternCharacters()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString d = tmp.path() + QLatin1Char('/');
        for (const char* n : {"A[1]*?_01.WAV", "A[1]*?_02.WAV", "A1_01.WAV", "Ax]*?_01.WAV"})
            QVERIFY(writeBytes(d + QString::fromLatin1(n), "x"));
        QCOMPARE(QAll_HowManySoundFilesInGroup(d + QStringLiteral("A[1]*?_01.WAV")), 2);
    }
};

QTEST_MAIN(TestNaming)
#include "tst_naming.moc"
