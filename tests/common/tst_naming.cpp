// SPDX-License-Identifier: GPL-3.0-or-later
// Naming rules of take files and the path helper.

#include "FileNaming.h"
#include "QPath.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

class TestNaming : public QObject
{
    Q_OBJECT

private:
    static bool touch(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write("x", 1) == 1;
    }

private slots:
    void monoTest_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("mono");
        QTest::newRow("classic two digits") << QStringLiteral("AA0001_01.WAV") << true;
        QTest::newRow("classic one char") << QStringLiteral("AA0001_1.WAV") << true;
        QTest::newRow("classic letter track") << QStringLiteral("AA0001_A.WAV") << true;
        QTest::newRow("M/S") << QStringLiteral("AA0001-1.WAV") << true;
        QTest::newRow("diese") << QStringLiteral("AA0001#1.WAV") << true;
        QTest::newRow("plus") << QStringLiteral("AA0001+1.WAV") << true;
        QTest::newRow("poly two-char tail") << QStringLiteral("AA0001PX.WAV") << false;
        QTest::newRow("bare id") << QStringLiteral("AA0001.WAV") << false;
        QTest::newRow("seven chars") << QStringLiteral("A_1.WAV") << true;
        QTest::newRow("six chars with separator") << QStringLiteral("_1.WAV") << false;
        QTest::newRow("six chars") << QStringLiteral("AB.WAV") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void monoTest()
    {
        QFETCH(QString, name);
        QFETCH(bool, mono);
        QCOMPARE(IsMonoFile(name), mono);
    }

    void racine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("racine");
        QTest::newRow("classic two digits") << QStringLiteral("AA0001_01.WAV") << QStringLiteral("AA0001");
        QTest::newRow("classic one char") << QStringLiteral("AA0001_1.WAV") << QStringLiteral("AA0001");
        QTest::newRow("M/S") << QStringLiteral("AA0001-3.WAV") << QStringLiteral("AA0001");
        QTest::newRow("poly") << QStringLiteral("AA0001PX.WAV") << QStringLiteral("AA0001");
        QTest::newRow("six chars unchanged") << QStringLiteral("AB.WAV") << QStringLiteral("AB.WAV");
        QTest::newRow("seven chars") << QStringLiteral("A_1.WAV") << QStringLiteral("A");
        QTest::newRow("path") << QStringLiteral("/x/y/AA0002_24.WAV") << QStringLiteral("/x/y/AA0002");
        QTest::newRow("ten colons") << QStringLiteral("::::::::::") << QStringLiteral("::::");
    }
    void racine()
    {
        QFETCH(QString, name);
        QFETCH(QString, racine);
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
        QFETCH(QString, nn);
        QFETCH(QString, charOld);
        QCOMPARE(TrkIndexToNN(n), nn);
        QCOMPARE(QString(TrkIndexToCharOld(n)), charOld);
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
        QTest::addColumn<QString>("held");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("fileWithExt");
        QTest::addColumn<QString>("fileNoExt");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("separator");
        QTest::newRow("trailing slash") << QStringLiteral("/a/b/") << QStringLiteral("/a/b") << QStringLiteral("/a/")
                                        << QStringLiteral("b") << QStringLiteral("b") << QString() << QStringLiteral("b")
                                        << QString();
        QTest::newRow("classic track") << QStringLiteral("/t/AA0001_01.WAV") << QStringLiteral("/t/AA0001_01.WAV")
                                       << QStringLiteral("/t/") << QStringLiteral("AA0001_01.WAV")
                                       << QStringLiteral("AA0001_01") << QStringLiteral("WAV")
                                       << QStringLiteral("AA0001") << QStringLiteral("_");
        QTest::newRow("one-char track") << QStringLiteral("/t/AA0001_1.WAV") << QStringLiteral("/t/AA0001_1.WAV")
                                        << QStringLiteral("/t/") << QStringLiteral("AA0001_1.WAV")
                                        << QStringLiteral("AA0001_1") << QStringLiteral("WAV")
                                        << QStringLiteral("AA0001") << QStringLiteral("_");
        QTest::newRow("poly") << QStringLiteral("/t/AA0001PX.WAV") << QStringLiteral("/t/AA0001PX.WAV")
                              << QStringLiteral("/t/") << QStringLiteral("AA0001PX.WAV") << QStringLiteral("AA0001PX")
                              << QStringLiteral("WAV") << QStringLiteral("AA0001PX") << QString();
        QTest::newRow("cleaned") << QStringLiteral("/t//u/./../v/AA0001+A.BWF") << QStringLiteral("/t/v/AA0001+A.BWF")
                                 << QStringLiteral("/t/v/") << QStringLiteral("AA0001+A.BWF")
                                 << QStringLiteral("AA0001+A") << QStringLiteral("BWF") << QStringLiteral("AA0001")
                                 << QStringLiteral("+");
        QTest::newRow("first separator, last root") << QStringLiteral("/t/A-B_C#01.WAV")
                                                    << QStringLiteral("/t/A-B_C#01.WAV") << QStringLiteral("/t/")
                                                    << QStringLiteral("A-B_C#01.WAV") << QStringLiteral("A-B_C#01")
                                                    << QStringLiteral("WAV") << QStringLiteral("A-B_C")
                                                    << QStringLiteral("-");
        QTest::newRow("separator too far from the end") << QStringLiteral("/t/AB_1234.WAV")
                                                        << QStringLiteral("/t/AB_1234.WAV") << QStringLiteral("/t/")
                                                        << QStringLiteral("AB_1234.WAV") << QStringLiteral("AB_1234")
                                                        << QStringLiteral("WAV") << QStringLiteral("AB_1234")
                                                        << QStringLiteral("_");
        QTest::newRow("bare name") << QStringLiteral("AA0001_01.WAV") << QStringLiteral("AA0001_01.WAV") << QString()
                                   << QString() << QString() << QStringLiteral("WAV") << QString() << QString();
    }
    void qpath()
    {
        QFETCH(QString, input);
        QFETCH(QString, held);
        QFETCH(QString, folder);
        QFETCH(QString, fileWithExt);
        QFETCH(QString, fileNoExt);
        QFETCH(QString, ext);
        QFETCH(QString, root);
        QFETCH(QString, separator);
        const QPath p(input);
        QCOMPARE(p.Path(), held);
        QCOMPARE(p.GetPath(), folder);
        QCOMPARE(p.GetFilename(true), fileWithExt);
        QCOMPARE(p.GetFilename(false), fileNoExt);
        QCOMPARE(p.GetExtension(), ext);
        QCOMPARE(p.GetRoot(), root);
        QCOMPARE(p.GetSeparator(), separator);
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
            QVERIFY(touch(d + n));
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
            QVERIFY(touch(d + QString::fromLatin1(n)));
        QCOMPARE(QAll_HowManySoundFilesInGroup(d + QStringLiteral("A[1]*?_01.WAV")), 2);
    }
};

QTEST_MAIN(TestNaming)
#include "tst_naming.moc"
