// SPDX-License-Identifier: GPL-3.0-or-later
// Filtered, sorted folder listing and its lookup.

#include "MyFileInfoList.h"
#include "SoundFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using testsupport::writeBytes;

class TestListing : public QObject
{
    Q_OBJECT

private:

    static QStringList names(const MyFileInfoList& list)
    {
        QStringList out;
        for (int i = 0; i < list.count(); ++i)
            out << list.GetFileName(i);
        return out;
    }

    // The search the lookup used to do: case-insensitive over entries in byte order.
    static int naiveLookup(const MyFileInfoList& list, const QString& path)
    {
        int low = 0;
        int high = list.count() - 1;
        while (low <= high) {
            const int mid = (low + high) / 2;
            const int c = path.compare(list.GetAbsoluteFilePath(mid), Qt::CaseInsensitive);
            if (c == 0)
                return mid;
            if (c < 0)
                high = mid - 1;
            else
                low = mid + 1;
        }
        return -1;
    }

private slots:
    void suffixRules_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QStringList>("suffixes");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<int>("result");

        const QStringList files = {QStringLiteral("AA0001PX.WAV"), QStringLiteral("AA0001PX.wav"),
                                   QStringLiteral("AA0001_01.DEL2"), QStringLiteral("AA0002_01.WAV"),
                                   QStringLiteral("A.WAV")};
        QTest::newRow("upper-case suffix only, exact case")
            << files << QStringList{QStringLiteral("X.WAV"), QStringLiteral("AA0003_01.WAV")}
            << QStringList{QStringLiteral(".WAV")}
            << QStringList{QStringLiteral("A.WAV"), QStringLiteral("AA0001PX.WAV"), QStringLiteral("AA0002_01.WAV")}
            << 0;
        QTest::newRow("name equal to the suffix is not kept")
            << files << QStringList() << QStringList{QStringLiteral("A.WAV")} << QStringList() << 1;
        QTest::newRow("kept once when two suffixes match")
            << files << QStringList() << QStringList{QStringLiteral(".WAV"), QStringLiteral("PX.WAV")}
            << QStringList{QStringLiteral("A.WAV"), QStringLiteral("AA0001PX.WAV"), QStringLiteral("AA0002_01.WAV")}
            << 0;
        QTest::newRow("both cases when both are asked")
            << files << QStringList() << QStringList{QStringLiteral(".WAV"), QStringLiteral(".wav")}
            << QStringList{QStringLiteral("A.WAV"), QStringLiteral("AA0001PX.WAV"), QStringLiteral("AA0001PX.wav"),
                           QStringLiteral("AA0002_01.WAV")}
            << 0;
        QTest::newRow("no suffix keeps every file")
            << files << QStringList{QStringLiteral("sub")} << QStringList()
            << QStringList{QStringLiteral("A.WAV"), QStringLiteral("AA0001PX.WAV"), QStringLiteral("AA0001PX.wav"),
                           QStringLiteral("AA0001_01.DEL2"), QStringLiteral("AA0002_01.WAV")}
            << 0;
        QTest::newRow("hidden files are not listed")
            << QStringList{QStringLiteral(".AA0001_01.WAV")} << QStringList() << QStringList{QStringLiteral(".WAV")}
            << QStringList() << 1;
    }
    void suffixRules()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, folders);
        QFETCH(QStringList, suffixes);
        QFETCH(QStringList, kept);
        QTemporaryDir tmp;
        for (const QString& f : files)
            QVERIFY(writeBytes(tmp.filePath(f), "x"));
        for (const QString& f : folders)
            QVERIFY(QDir(tmp.path()).mkdir(f));
        MyFileInfoList list;
        QTEST(list.LoadEntryInfoList(tmp.path(), suffixes), "result");
        QCOMPARE(names(list), kept);
        QCOMPARE(list.count(), kept.size());
    }

    void entryFields()
    {
        QTemporaryDir tmp;
        QVERIFY(writeBytes(tmp.filePath(QStringLiteral("AA0001_01.WAV")), "x"));
        QVERIFY(writeBytes(tmp.filePath(QStringLiteral("x.tar.WAV")), "x"));
        MyFileInfoList list;
        // A trailing "/" and a "." segment in the folder do not change the paths.
        QCOMPARE(list.LoadEntryInfoList(tmp.path() + QStringLiteral("/./"), {QStringLiteral(".WAV")}), 0);
        QCOMPARE(list.count(), 2);
        QCOMPARE(QDir::cleanPath(list.GetAbsolutePath(0)), QDir::cleanPath(tmp.path()));
        QCOMPARE(list.GetAbsoluteFilePath(0), QDir::cleanPath(tmp.path()) + QStringLiteral("/AA0001_01.WAV"));
        QCOMPARE(list.GetBaseName(0), QStringLiteral("AA0001_01"));
        QCOMPARE(list.Getsuffix(0), QStringLiteral("WAV"));
        QCOMPARE(list.GetBaseName(1), QStringLiteral("x.tar"));
        // Out of range: null texts.
        QVERIFY(list.GetFileName(2).isNull() && list.GetFileName(-1).isNull() && list.GetAbsoluteFilePath(5).isNull()
                && list.Getsuffix(2).isNull() && list.GetBaseName(2).isNull() && list.GetAbsolutePath(2).isNull());

        // Loading again discards the previous entries.
        QTemporaryDir other;
        QCOMPARE(list.LoadEntryInfoList(other.path(), {QStringLiteral(".WAV")}), 1);
        QCOMPARE(list.count(), 0);
        QCOMPARE(list.indexOfBoosted(tmp.filePath(QStringLiteral("AA0001_01.WAV"))), -1);
    }

    void missingAndEmptyFolders()
    {
        QTemporaryDir tmp;
        MyFileInfoList list;
        for (const QString& folder : {tmp.path(), tmp.filePath(QStringLiteral("missing")), QString()}) {
            QCOMPARE(list.LoadEntryInfoList(folder, {QStringLiteral(".WAV")}), 1);
            QCOMPARE(list.count(), 0);
        }
    }

    // Entries are in byte order of their names: upper case, then "_", then lower case.
    void byteOrder()
    {
        QTemporaryDir tmp;
        for (const char* n : {"aa.WAV", "ABa.WAV", "AB_1.WAV", "ABC.WAV", "AB1.WAV", "AA0001_01.WAV", "AA0001PX.WAV"})
            QVERIFY(writeBytes(tmp.filePath(QString::fromLatin1(n)), "x"));
        MyFileInfoList list;
        QCOMPARE(list.LoadEntryInfoList(tmp.path(), {QStringLiteral(".WAV")}), 0);
        const QStringList expected = {QStringLiteral("AA0001PX.WAV"), QStringLiteral("AA0001_01.WAV"),
                                      QStringLiteral("AB1.WAV"),      QStringLiteral("ABC.WAV"),
                                      QStringLiteral("AB_1.WAV"),     QStringLiteral("ABa.WAV"),
                                      QStringLiteral("aa.WAV")};
        QCOMPARE(names(list), expected);
    }

    // Every listed file is found by its path, whatever "_" faces and whatever
    // the case; a name differing only in case is another file.
    void lookupFindsEveryFile()
    {
        QTemporaryDir tmp;
        const QStringList files = {
            QStringLiteral("AA0001_01.WAV"), QStringLiteral("AA0001_1.WAV"),  QStringLiteral("AA0001A_1.WAV"),
            QStringLiteral("AA0001a_1.WAV"), QStringLiteral("AA0001_A.WAV"),  QStringLiteral("AA0001_a.WAV"),
            QStringLiteral("aa0001_01.WAV"), QStringLiteral("AA0001PX.WAV"),  QStringLiteral("AA0001Z.WAV"),
            QStringLiteral("AA0001z.WAV"),   QStringLiteral("AA0001_Z.WAV"),  QStringLiteral("AA0001[1.WAV"),
            QStringLiteral("AA0001^1.WAV"),  QStringLiteral("AA0001`1.WAV"),  QStringLiteral("AB_C.WAV"),
            QStringLiteral("ABC.WAV"),       QStringLiteral("ABc.WAV"),       QStringLiteral("AB_c.WAV"),
        };
        for (const QString& f : files)
            QVERIFY(writeBytes(tmp.filePath(f), "x"));
        MyFileInfoList list;
        QCOMPARE(list.LoadEntryInfoList(tmp.path(), {QStringLiteral(".WAV")}), 0);
        QCOMPARE(list.count(), files.size());

        int naiveMisses = 0;
        for (int i = 0; i < list.count(); ++i) {
            const QString path = list.GetAbsoluteFilePath(i);
            QCOMPARE(list.indexOfBoosted(path), i);
            if (naiveLookup(list, path) != i)
                ++naiveMisses;
        }
        // The set is one where a case-insensitive search over the byte order
        // loses files; otherwise this test would prove nothing.
        QVERIFY(naiveMisses > 0);

        // Cleaned before the search.
        const int idx = list.indexOfBoosted(tmp.path() + QStringLiteral("/./sub/../AB_C.WAV"));
        QVERIFY(idx >= 0);
        QCOMPARE(list.GetFileName(idx), QStringLiteral("AB_C.WAV"));
        QCOMPARE(list.indexOfBoosted(tmp.path() + QStringLiteral("//AB_C.WAV")), idx);
        QCOMPARE(list.indexOfBoosted(tmp.path() + QStringLiteral("/sub/..//AB_C.WAV")), idx);
        QCOMPARE(list.indexOfBoosted(tmp.path() + QStringLiteral("/AB_C.WAV/.")), idx);
        QCOMPARE(list.indexOfBoosted(tmp.path() + QStringLiteral("/.AB_C.WAV")), -1);
        // Not in the folder, or only in another case.
        QCOMPARE(list.indexOfBoosted(tmp.filePath(QStringLiteral("AA0001_02.WAV"))), -1);
        QCOMPARE(list.indexOfBoosted(tmp.filePath(QStringLiteral("ab_c.WAV"))), -1);
        QCOMPARE(list.indexOfBoosted(QString()), -1);
    }
};

QTEST_MAIN(TestListing)
#include "tst_listing.moc"
