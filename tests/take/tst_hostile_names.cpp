// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile file names and crowded folders through the listing, its lookup, the
// grouping into takes and the quick take assembly.

#include "FileNaming.h"
#include "MyFileInfoList.h"
#include "QPath.h"
#include "QSoundPerform.h"
#include "SoundFixtures.h"
#include "TakeGrouping.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

struct Row
{
    QString fileId;
    QString key;         // take key without the folder
    bool mono = false;
    int files = 0;
    int status = -1;
    QString scene;
    QString firstTrackName;
};

QList<Row> rowsOf(const QString& folder)
{
    QList<Row> rows;
    BuildTakesOfFolderWithKeys(folder, [&](const TakeKey& key, std::unique_ptr<QSoundPerform> r, int, int status) {
        const short first = r->GetFirstTrack();
        rows.append(Row{key.fileId, key.key.mid(folder.size() + 1), key.mono, r->m_nNbFiles, status, r->m_sScene,
                        r->m_sTrackName[size_t(first)]});
    });
    return rows;
}

RecorderFileSpec smallSpec()
{
    RecorderFileSpec s;
    s.frames = 48;
    s.ixml.padTo = 0;
    return s;
}

bool touch(const QString& path, const QByteArray& bytes = QByteArray()) { return testsupport::writeBytes(path, bytes); }

// Longest name the folder's file system takes, in bytes.
int nameMax(const QString& folder)
{
    const long n = pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return n > 0 ? int(n) : 255;
}

} // namespace

class TestHostileNames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(qputenv("LC_ALL", "C.UTF-8")); }

    // Six-character roots made of characters a shell, a format string or an
    // encoding would trip on: each is one two-track take, found and assembled.
    void oddRoots_data()
    {
        QTest::addColumn<QString>("root");
        QTest::newRow("spaces") << QStringLiteral("A B C1");
        QTest::newRow("quotes") << QStringLiteral("Q\"'Q'1");
        QTest::newRow("percent") << QStringLiteral("%s%d%1");
        QTest::newRow("percent n") << QStringLiteral("%n%n%%");
        QTest::newRow("non-ascii") << QString::fromUtf8("\xC3\x89t\xE2\x82\xAC" "01\xC3\xA9");
        QTest::newRow("backslash, star") << QStringLiteral("\\*?[]1");
        QTest::newRow("leading dash") << QStringLiteral("-rf 01");
    }
    void oddRoots()
    {
        QFETCH(QString, root);
        QTemporaryDir dir;
        RecorderFileSpec base = smallSpec();
        base.ixml.scene = root;
        QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), root, 2, base));
        QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("ZZ0001"), 1, smallSpec()));

        MyFileInfoList listing;
        QCOMPARE(listing.LoadEntryInfoList(dir.path(), {QStringLiteral(".WAV")}), 0);
        QCOMPARE(listing.count(), 3);
        for (int i = 0; i < listing.count(); ++i)
            QCOMPARE(listing.indexOfBoosted(listing.GetAbsoluteFilePath(i)), i);
        const int first = listing.indexOfBoosted(dir.path() + QLatin1Char('/') + root + QStringLiteral("_01.WAV"));
        QVERIFY(first >= 0);
        QCOMPARE(listing.GetFileName(first), root + QStringLiteral("_01.WAV"));
        QCOMPARE(AudioPathFileShortenedToRacine(listing.GetFileName(first)), root);
        QVERIFY(IsMonoFile(listing.GetFileName(first)));
        QCOMPARE(QPath(listing.GetAbsoluteFilePath(first)).GetRoot(), root);
        QCOMPARE(QAll_HowManySoundFilesInGroup(listing.GetAbsoluteFilePath(first)), 2);

        const QList<Row> rows = rowsOf(dir.path());
        QCOMPARE(rows.size(), 2);
        const Row& r = rows.at(root.toLocal8Bit() < QByteArray("ZZ0001") ? 0 : 1);
        QCOMPARE(QStringList({r.fileId, r.key, r.scene, r.firstTrackName}), QStringList({root, root, root, QStringLiteral("Trk1")}));
        QVERIFY(r.mono && r.files == 2 && r.status == int(kTakeOk));
    }

    // Names as long as the file system allows: a poly take, a mono take with a
    // long root and a long non-ASCII root (two bytes a character).
    void namesNearNameMax()
    {
        QTemporaryDir dir;
        const int max = nameMax(dir.path());
        QVERIFY(max >= 200);
        const QString poly = QStringLiteral("LP0001") + QString(max - 10, QLatin1Char('p')) + QStringLiteral(".WAV");
        QCOMPARE(QFile::encodeName(poly).size(), max);
        const QString monoRoot = QStringLiteral("LM0001") + QString(max - 13, QLatin1Char('m'));
        const QString wideRoot = QStringLiteral("LW0001") + QString((max - 13) / 2, QChar(0xE9));
        QVERIFY(QFile::encodeName(wideRoot + QStringLiteral("_02.WAV")).size() <= max);

        RecorderFileSpec p = smallSpec();
        p.channels = 2;
        p.ixml.trackCount = 2;
        p.ixml.polyTrackNames = QStringList{QStringLiteral("Boom"), QStringLiteral("Lav")};
        QVERIFY(RecorderFileWriter::write(dir.path() + QLatin1Char('/') + poly, p));
        QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), monoRoot, 2, smallSpec()));
        QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), wideRoot, 2, smallSpec()));
        // One byte too long is refused by the file system, not by us.
        QVERIFY(!touch(dir.path() + QLatin1Char('/') + poly.left(6) + QLatin1Char('x') + poly.mid(6)));

        MyFileInfoList listing;
        QCOMPARE(listing.LoadEntryInfoList(dir.path(), {QStringLiteral(".WAV")}), 0);
        QCOMPARE(listing.count(), 5);
        for (int i = 0; i < listing.count(); ++i)
            QCOMPARE(listing.indexOfBoosted(listing.GetAbsoluteFilePath(i)), i);

        QStringList got;
        for (const Row& r : rowsOf(dir.path()))
            got << QStringLiteral("%1 %2 %3 %4 %5 %6").arg(r.fileId, r.key, r.mono ? QStringLiteral("mono") : QStringLiteral("poly"))
                       .arg(r.files).arg(r.status).arg(r.firstTrackName);
        QCOMPARE(got, QStringList({QStringLiteral("LM0001 %1 mono 2 0 Trk1").arg(monoRoot),
                                   QStringLiteral("LP0001 %1 poly 1 0 Boom").arg(poly.left(poly.size() - 4)),
                                   QStringLiteral("LW0001 %1 mono 2 0 Trk1").arg(wideRoot)}));
    }

    // Three thousand entries, most of them not sound files: the listing keeps
    // exactly the .WAV files, the lookup finds each, the takes are all there.
    void thousandsOfFiles()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        const int takes = 60;
        for (int i = 1; i <= takes; ++i) {
            RecorderFileSpec s = smallSpec();
            s.timeReference = quint64(i) * 48000;
            QVERIFY(RecorderFileWriter::writeMonoTake(d, QStringLiteral("AA%1").arg(i, 4, 10, QLatin1Char('0')), 2, s));
        }
        int others = 0;
        const QStringList noise{QStringLiteral(".txt"), QStringLiteral(".wav"), QStringLiteral(".DEL1"),
                                QStringLiteral(".WAV.partial"), QString(), QStringLiteral(".WAVE"), QStringLiteral(".Wav")};
        for (int i = 0; others < 2880; ++i, ++others) {
            const QString name = QStringLiteral("NS%1_01").arg(i % 9999, 4, 10, QLatin1Char('0')) + QString::number(i)
                                 + noise.at(i % noise.size());
            QVERIFY(touch(d + QLatin1Char('/') + name, "not sound"));
        }
        // Near misses of a take's names, hidden recorder-like files and
        // folders named like sound files.
        QVERIFY(touch(d + QStringLiteral("/AA0001_03.DEL1"), "x"));
        QVERIFY(touch(d + QStringLiteral("/.AA0001_03.WAV"), "x"));
        QVERIFY(QDir(d).mkdir(QStringLiteral("AA9999_01.WAV")));
        QVERIFY(QDir(d).mkdir(QStringLiteral("sub")));
        QCOMPARE(QDir(d).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 2 * takes + others + 4);

        MyFileInfoList listing;
        QCOMPARE(listing.LoadEntryInfoList(d, {QStringLiteral(".WAV")}), 0);
        QCOMPARE(listing.count(), 2 * takes);
        for (int i = 0; i < listing.count(); ++i) {
            QVERIFY(listing.GetFileName(i).endsWith(QLatin1String(".WAV")));
            QCOMPARE(listing.indexOfBoosted(listing.GetAbsoluteFilePath(i)), i);
        }
        QCOMPARE(listing.indexOfBoosted(d + QStringLiteral("/.AA0001_03.WAV")), -1);
        QCOMPARE(listing.indexOfBoosted(d + QStringLiteral("/AA9999_01.WAV")), -1);

        const QList<Row> rows = rowsOf(d);
        QCOMPARE(rows.size(), takes);
        for (int i = 0; i < takes; ++i)
            QCOMPARE(QStringLiteral("%1 %2 %3").arg(rows.at(i).fileId).arg(rows.at(i).files).arg(rows.at(i).status),
                     QStringLiteral("AA%1 2 0").arg(i + 1, 4, 10, QLatin1Char('0')));
        // The file-set count ignores the crowd: only the take's sound files.
        QCOMPARE(QAll_HowManySoundFilesInGroup(d + QStringLiteral("/AA0001_01.WAV")), 2);
    }
};

QTEST_MAIN(TestHostileNames)
#include "tst_hostile_names.moc"
