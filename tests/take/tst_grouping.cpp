// SPDX-License-Identifier: GPL-3.0-or-later
// A folder listing (filtered, byte order, lookup) grouped into takes as the table's worker does.

#include "MessageLoging.h"
#include "MyFileInfoList.h"
#include "QSoundPerform.h"
#include "SoundFixtures.h"
#include "TakeGrouping.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include <unistd.h>

using testsupport::writeBytes;

namespace {

// One line per take in arrival order: a gap or a reordering shows as a missing or misplaced line.
QStringList takeRows(const QString& folder)
{
    QStringList rows;
    BuildTakesOfFolderWithKeys(folder, [&](const TakeKey& key, std::unique_ptr<QSoundPerform> r, int row, int status) {
        const short first = r->GetFirstTrack();
        if (row == rows.size())
            rows << QStringLiteral("%1 %2 %3 %4/%5 status %6 scene %7 %8")
                        .arg(key.fileId, key.key.mid(folder.size() + 1), r->m_bPoly ? QStringLiteral("poly") : QStringLiteral("mono"),
                             QString::number(r->m_nNbFiles), QString::number(r->m_nNbChannels), QString::number(status), r->m_sScene,
                             first >= 0 ? r->m_sTrackName[size_t(first)] : QStringLiteral("-"));
    });
    return rows;
}

} // namespace

class TestGrouping : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { global_pLogger = nullptr; qputenv("LC_ALL", "C.UTF-8"); }

    void listing_data()
    {
        QTest::addColumn<QString>("folder");        // appended to the temporary folder; "none": an empty path
        QTest::addColumn<QStringList>("files");     // a name ending in "/" is a folder
        QTest::addColumn<QStringList>("suffixes");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<int>("result");
        const QStringList files = {"AA0001PX.WAV", "AA0001PX.wav", "AA0001_01.DEL2", "AA0002_01.WAV", "A.WAV", "sub/"};
        const QStringList wav = {".WAV"};
        QTest::newRow("upper-case suffix only, exact case")
            << "" << files + QStringList{"X.WAV/", "AA0001_01.WAV.partial", "X.WAVE", "Y.Wav", ".AA0001_01.WAV"} << wav
            << QStringList{"A.WAV", "AA0001PX.WAV", "AA0002_01.WAV"} << 0;
        QTest::newRow("name equal to the suffix is not kept") << "" << files << QStringList{"A.WAV"} << QStringList() << 1;
        QTest::newRow("kept once when two suffixes match") << "" << files << QStringList{".WAV", "PX.WAV"}
                                                           << QStringList{"A.WAV", "AA0001PX.WAV", "AA0002_01.WAV"} << 0;
        QTest::newRow("both cases when both are asked") << "" << files << QStringList{".WAV", ".wav"}
                                                        << QStringList{"A.WAV", "AA0001PX.WAV", "AA0001PX.wav", "AA0002_01.WAV"} << 0;
        QTest::newRow("no suffix keeps every file") << "" << files << QStringList()
                                                    << QStringList{"A.WAV", "AA0001PX.WAV", "AA0001PX.wav", "AA0001_01.DEL2", "AA0002_01.WAV"} << 0;
        QTest::newRow("byte order: upper case, _, lower case")
            << "/./" << QStringList{"aa.WAV", "ABa.WAV", "AB_1.WAV", "ABC.WAV", "AB1.WAV", "AA0001_01.WAV", "AA0001PX.WAV", "x.tar.WAV"} << wav
            << QStringList{"AA0001PX.WAV", "AA0001_01.WAV", "AB1.WAV", "ABC.WAV", "AB_1.WAV", "ABa.WAV", "aa.WAV", "x.tar.WAV"} << 0;
        QTest::newRow("empty path is not the current folder") << "none" << QStringList{"AA0001_01.WAV"} << wav << QStringList() << 1;
    }
    void listing()
    {
        QFETCH(QString, folder);
        QFETCH(QStringList, files);
        QFETCH(QStringList, suffixes);
        QFETCH(QStringList, kept);
        QTemporaryDir tmp;
        for (const QString& f : files)
            QVERIFY(f.endsWith(QLatin1Char('/')) ? QDir(tmp.path()).mkdir(f) : writeBytes(tmp.filePath(f), "x"));
        MyFileInfoList list;
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(tmp.path());   // an empty path must not list the current folder
        QTEST(list.LoadEntryInfoList(folder == QLatin1String("none") ? QString() : tmp.path() + folder, suffixes), "result");
        QDir::setCurrent(cwd);
        // Paths are clean whatever the folder was given as.
        QStringList got, want;
        for (int i = 0; i < list.count(); ++i)
            got << QStringLiteral("%1 %2 %3.%4").arg(list.GetAbsoluteFilePath(i), QDir::cleanPath(list.GetAbsolutePath(i)), list.GetBaseName(i), list.Getsuffix(i));
        for (const QString& k : kept)
            want << QStringLiteral("%1/%2 %1 %2").arg(QDir::cleanPath(tmp.path()), k);
        QCOMPARE(got, want);
        const int n = list.count();
        QVERIFY(list.GetFileName(n).isNull() && list.GetFileName(-1).isNull() && list.GetAbsoluteFilePath(n).isNull()
                && list.Getsuffix(n).isNull() && list.GetBaseName(n).isNull() && list.GetAbsolutePath(n).isNull());
        // Loading again discards the previous entries.
        QCOMPARE(list.LoadEntryInfoList(tmp.path() + QStringLiteral("/missing"), suffixes), 1);
        QCOMPARE(list.count() + list.indexOfBoosted(tmp.filePath(QStringLiteral("A.WAV"))), -1);
    }

    // Every file is found whatever "_" faces and the case (a case-insensitive search over the byte
    // order loses some of these); a name differing only in case is another file.
    void lookupFindsEveryFile()
    {
        QTemporaryDir tmp;
        const QStringList files = {"AA0001_01.WAV", "AA0001_1.WAV", "AA0001A_1.WAV", "AA0001a_1.WAV", "AA0001_A.WAV", "AA0001_a.WAV",
                                   "aa0001_01.WAV", "AA0001PX.WAV", "AA0001Z.WAV", "AA0001z.WAV", "AA0001_Z.WAV", "AA0001[1.WAV",
                                   "AA0001^1.WAV", "AA0001`1.WAV", "AB_C.WAV", "ABC.WAV", "ABc.WAV", "AB_c.WAV"};
        for (const QString& f : files)
            QVERIFY(writeBytes(tmp.filePath(f), "x"));
        MyFileInfoList list;
        QCOMPARE(list.LoadEntryInfoList(tmp.path(), {QStringLiteral(".WAV")}), 0);
        QCOMPARE(list.count(), files.size());
        for (int i = 0; i < list.count(); ++i)
            QCOMPARE(list.indexOfBoosted(list.GetAbsoluteFilePath(i)), i);
        const int idx = list.indexOfBoosted(tmp.path() + QStringLiteral("/./sub/../AB_C.WAV"));   // cleaned first
        QCOMPARE(list.GetFileName(idx), QStringLiteral("AB_C.WAV"));
        for (const char* same : {"//AB_C.WAV", "/sub/..//AB_C.WAV", "/AB_C.WAV/."})
            QCOMPARE(list.indexOfBoosted(tmp.path() + QLatin1String(same)), idx);
        for (const QString& absent : {tmp.path() + QStringLiteral("/.AB_C.WAV"), tmp.filePath(QStringLiteral("AA0001_02.WAV")),
                                      tmp.filePath(QStringLiteral("ab_c.WAV")), QString()})
            QCOMPARE(list.indexOfBoosted(absent), -1);
    }

    // The table's worker and a workflow read the same folder at once and see the same takes: roots a
    // shell, a format string or an encoding trips on, names as long as the file system takes, a poly
    // file leading the mono files of its root, a six-character name (no take), an unreadable file.
    void oddRootsFromTwoThreadsAtOnce()
    {
        QTemporaryDir tmp;
        const long limit = pathconf(QFile::encodeName(tmp.path()).constData(), _PC_NAME_MAX);
        const int max = limit > 0 ? int(limit) : 255;
        QStringList roots = {"A B C1", "Q\"'Q'1", "%s%d%1", "%n%n%%", QString::fromUtf8("\xC3\x89t\xE2\x82\xAC" "01\xC3\xA9"), "\\*?[]1", "-rf 01",
                             QStringLiteral("LM0001") + QString(max - 13, QLatin1Char('m')), QStringLiteral("LW0001") + QString((max - 13) / 2, QChar(0xE9))};
        for (int i = 1; i <= 6; ++i)
            roots << QStringLiteral("AA%1").arg(i, 4, 10, QLatin1Char('0'));
        std::sort(roots.begin(), roots.end(), [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });   // byte order
        QStringList expected;
        for (const QString& root : roots) {
            RecorderFileSpec s;
            s.frames = 48;
            s.ixml.padTo = 0;
            s.ixml.scene = root.left(6);
            const int tracks = 1 + root.size() % 4;
            QVERIFY(RecorderFileWriter::writeMonoTake(tmp.path(), root, tracks, s));
            expected << QStringLiteral("%1 %2 mono %3/1 status 0 scene %1 Trk1").arg(root.left(6), root, QString::number(tracks));
        }
        RecorderFileSpec poly;
        poly.channels = 2;
        QVERIFY(RecorderFileWriter::write(tmp.filePath(QStringLiteral("AA0001PX.WAV")), poly) && writeBytes(tmp.filePath(QStringLiteral("A_1.WAV")), "x")
                && writeBytes(tmp.filePath(QStringLiteral("AB.WAV")), "x"));   // six characters: not a take
        expected[4] = QStringLiteral("AA0001 AA0001PX poly 1/2 status 0 scene 12A Mix");   // AA0001_01... belong to it
        expected.insert(10, QStringLiteral("A_1.WA A mono 0/0 status 3 scene    "));            // "_" sorts after the letters
        QCOMPARE(takeRows(tmp.path()), expected);
        QStringList a, b;
        std::thread ta([&] { for (int k = 0; k < 5 && (a = takeRows(tmp.path())) == expected; ++k) {} });
        std::thread tb([&] { for (int k = 0; k < 5 && (b = takeRows(tmp.path())) == expected; ++k) {} });
        ta.join();
        tb.join();
        QCOMPARE(a, expected);
        QCOMPARE(b, expected);
    }
};

QTEST_MAIN(TestGrouping)
#include "tst_grouping.moc"
