// SPDX-License-Identifier: GPL-3.0-or-later
// Grouping a folder listing into takes, as the target table's worker does.

#include "MessageLoging.h"
#include "MyFileInfoList.h"
#include "QSoundPerform.h"
#include "SoundFixtures.h"
#include "TakeGrouping.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

namespace {

struct Row
{
    QString fileId;
    bool poly = false;
    int files = 0;
    int channels = 0;
    int status = -1;
    QString scene;
    QString text() const
    {
        return QStringLiteral("%1 %2 %3/%4 status %5 scene %6").arg(fileId, poly ? QStringLiteral("poly") : QStringLiteral("mono"))
            .arg(files).arg(channels).arg(status).arg(scene);
    }
};

QStringList texts(const QList<Row>& rows)
{
    QStringList out;
    for (const Row& r : rows)
        out << r.text();
    return out;
}

QList<Row> buildRows(const QString& folder)
{
    QList<Row> rows;
    BuildTakesOfFolderWithKeys(folder, [&rows](const TakeKey& key, std::unique_ptr<QSoundPerform> r, int row, int status) {
        if (row != rows.size())
            return;   // rows must arrive in order; a gap shows up as a missing row
        rows.append(Row{key.fileId, r->m_bPoly, r->m_nNbFiles, r->m_nNbChannels, status, r->m_sScene});
    });
    return rows;
}

} // namespace

class TestGrouping : public QObject
{
    Q_OBJECT

private:
    static bool touch(const QString& path, const QByteArray& bytes = QByteArray("x")) { return testsupport::writeBytes(path, bytes); }

    // A folder of mixed takes: mono, poly, one- and two-digit names, no iXML,
    // an unreadable file, and names that are not takes.
    static bool writeMixedFolder(const QString& d)
    {
        RecorderFileSpec base;
        base.timeReference = quint64(48000) * 3600;
        if (!RecorderFileWriter::writeMonoTake(d, QStringLiteral("AA0001"), 4, base))
            return false;
        RecorderFileSpec poly = base;
        poly.channels = 2;
        poly.ixml.scene = QStringLiteral("14");
        poly.ixml.trackCount = 2;
        poly.ixml.polyTrackNames = QStringList{QStringLiteral("Boom"), QStringLiteral("Lav")};
        if (!RecorderFileWriter::write(d + QStringLiteral("/AA0002PX.WAV"), poly))
            return false;
        if (!RecorderFileWriter::write(d + QStringLiteral("/AA0003_1.WAV"), RecorderFileWriter::monoTrackSpec(base, 2, 1))
            || !RecorderFileWriter::write(d + QStringLiteral("/AA0003_02.WAV"), RecorderFileWriter::monoTrackSpec(base, 2, 2)))
            return false;
        RecorderFileSpec noIxml = base;
        noIxml.withIxml = false;
        if (!RecorderFileWriter::write(d + QStringLiteral("/AA0004_01.WAV"), noIxml))
            return false;
        return touch(d + QStringLiteral("/AA0005_01.WAV"), QByteArray("RIFX----WAVE"))
            && touch(d + QStringLiteral("/AB.WAV"))             // six characters: not a take
            && touch(d + QStringLiteral("/AA0006_01.wav"))      // lower-case suffix: not listed
            && touch(d + QStringLiteral("/AA0007_01.DEL1"))     // hidden track
            && QDir(d).mkdir(QStringLiteral("AA0008_01.WAV"));  // a folder
    }

private slots:
    void initTestCase() { global_pLogger = nullptr; }

    void keysOfAListing()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        for (const char* n : {"AA0001_01.WAV", "AA0001_02.WAV", "AA0001PX.WAV", "AA0002_1.WAV", "AA0002-2.WAV",
                              "AB.WAV", "AA0003PX.WAV", "AA0004.WAV", "A_1.WAV"})
            QVERIFY(touch(tmp.filePath(QString::fromLatin1(n))));
        MyFileInfoList list;
        QCOMPARE(list.LoadEntryInfoList(tmp.path(), {QStringLiteral(".WAV")}), 0);
        const QVector<TakeKey> keys = GroupListingIntoTakes(list);
        const QString d = QDir::cleanPath(tmp.path()) + QLatin1Char('/');

        // Byte order: AA0001PX, AA0001_01, AA0001_02, AA0002-2, AA0002_1,
        // AA0003PX, AA0004, AB, A_1. AA0001PX and AA0001_0x share the racine
        // AA0001, so the poly file leads that take; AA0004.WAV has racine "AA00".
        QStringList got;
        for (const TakeKey& k : keys)
            got << QStringLiteral("%1|%2|%3|%4").arg(k.fileId, k.key, k.mono ? QStringLiteral("mono") : QStringLiteral("poly"))
                       .arg(k.listingIndex);
        const QStringList expected = {
            QStringLiteral("AA0001|%1AA0001PX|poly|0").arg(d),
            QStringLiteral("AA0002|%1AA0002|mono|3").arg(d),
            QStringLiteral("AA0003|%1AA0003PX|poly|5").arg(d),
            QStringLiteral("AA0004|%1AA0004|poly|6").arg(d),
            QStringLiteral("A_1.WA|%1A|mono|8").arg(d),
        };
        QCOMPARE(got, expected);
    }

    void mixedFolder()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        QVERIFY(writeMixedFolder(tmp.path()));
        QCOMPARE(texts(buildRows(tmp.path())), QStringList({"AA0001 mono 4/1 status 0 scene 12A", "AA0002 poly 1/2 status 0 scene 14",
                                                           "AA0003 mono 2/1 status 0 scene 12A", "AA0004 mono 1/1 status 1 scene  ",
                                                           "AA0005 mono 0/0 status 3 scene  "}));
        // The plain entry point gives the same rows and statuses.
        QList<int> statuses;
        QCOMPARE(BuildTakesOfFolder(tmp.path(), [&statuses](std::unique_ptr<QSoundPerform>, int, int s) { statuses << s; }), 5);
        QCOMPARE(statuses, (QList<int>{0, 0, 0, 1, 3}));
    }

    void emptyAndMissingFolders()
    {
        QTemporaryDir tmp;
        QCOMPARE(BuildTakesOfFolder(tmp.path(), nullptr) + BuildTakesOfFolder(tmp.filePath(QStringLiteral("missing")), nullptr), 0);
    }

    // Two threads list and assemble the same folder at once (the table's
    // worker and a workflow): both see the same takes.
    void twoThreadsAtOnce()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        RecorderFileSpec base;
        for (int i = 1; i <= 12; ++i)
            QVERIFY(RecorderFileWriter::writeMonoTake(tmp.path(), QStringLiteral("AA%1").arg(i, 4, 10, QLatin1Char('0')),
                                                      1 + i % 4, base));
        const QStringList reference = texts(buildRows(tmp.path()));
        QCOMPARE(reference.size(), 12);
        QCOMPARE(reference.at(2), QStringLiteral("AA0003 mono 4/1 status 0 scene 12A"));
        QStringList a, b;
        std::thread ta([&] { for (int k = 0; k < 5 && (a = texts(buildRows(tmp.path()))) == reference; ++k) {} });
        std::thread tb([&] { for (int k = 0; k < 5 && (b = texts(buildRows(tmp.path()))) == reference; ++k) {} });
        ta.join();
        tb.join();
        QCOMPARE(a, reference);
        QCOMPARE(b, reference);
    }
};

QTEST_MAIN(TestGrouping)
#include "tst_grouping.moc"
