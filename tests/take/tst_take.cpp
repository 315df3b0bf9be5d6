// SPDX-License-Identifier: GPL-3.0-or-later
// Take record: quick and full assembly on recorder-like folders.

#include "MyFileInfoList.h"
#include "QSoundPerform.h"
#include "RelayRecorder.h"
#include "SoundFixtures.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

namespace {

RecorderFileSpec baseSpec()
{
    RecorderFileSpec s;
    s.timeReference = quint64(48000) * 3600;   // 01:00:00
    return s;
}

// The slots a record holds, as "0,1,4".
QString slotsOf(const QSoundPerform& r)
{
    QStringList out;
    for (int t = 0; t < QSoundPerform::kMaxSlots; ++t)
        if (r.m_bPresent[size_t(t)])
            out << QString::number(t);
    return out.join(QLatin1Char(','));
}

} // namespace

class TestTake : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString dir() const { return m_dir->path() + QLatin1Char('/'); }
    QString key() const { return dir() + QStringLiteral("AA0001"); }
    // Track n (1-based) of a take of `tracks` tracks, written under `name`.
    bool writeTrack(const QString& name, int tracks, int n, const RecorderFileSpec& base = baseSpec())
    {
        return RecorderFileWriter::write(dir() + name, RecorderFileWriter::monoTrackSpec(base, tracks, n));
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    // The quick assembly counts the take's files through the listing and opens the first readable
    // one; the full one opens them all from the disk. A poly file beside mono files is the take.
    void assembly_data()
    {
        QTest::addColumn<QStringList>("files");   // "name=tracks/n", "name=poly", "name=raw" (unreadable); "late " + that: after listing
        QTest::addColumn<QString>("quick");       // empty: not run
        QTest::addColumn<QString>("full");
        const QString none = QStringLiteral("fail, slots , files 0");
        QTest::newRow("one- and two-digit names") << QStringList{"AA0001_1.WAV=2/1", "AA0001_02.WAV=2/2"}
                                                  << "ok, slots 0, files 2, AA0001_1.WAV mono" << "ok, slots 0,1, files 2, AA0001_1.WAV mono";
        QTest::newRow("mixed families") << QStringList{"AA0001_01.WAV=10/1", "AA0001#2.WAV=10/2", "AA0001+3.WAV=10/3", "AA0001_A.WAV=10/10"}
                                        << "ok, slots 0, files 4, AA0001_01.WAV mono" << "ok, slots 0,1,2,9, files 4, AA0001_01.WAV mono";
        QTest::newRow("M/S pair") << QStringList{"AA0001-1.WAV=2/1", "AA0001-2.WAV=2/2"} << "" << "ok, slots 0,1, files 2, AA0001-1.WAV mono";
        QTest::newRow("lone M/S half is not loaded") << QStringList{"AA0001_01.WAV=3/1", "AA0001-3.WAV=3/3"} << "" << none;
        QTest::newRow("lone M/S half first gives way") << QStringList{"AA0001-1.WAV=2/1", "AA0001_02.WAV=2/2"}
                                                       << "ok, slots 1, files 1, AA0001_02.WAV mono" << none;
        QTest::newRow("unreadable first file, classic") << QStringList{"AA0001_01.WAV=raw", "AA0001_02.WAV=2/2"} << none << none;
        QTest::newRow("unreadable first file, other family") << QStringList{"AA0001#1.WAV=raw", "AA0001#2.WAV=2/2"}
                                                             << "ok, slots 1, files 1, AA0001#2.WAV mono" << none;
        QTest::newRow("poly beside mono") << QStringList{"AA0001.WAV=poly", "AA0001_01.WAV=2/1", "AA0001_02.WAV=2/2"}
                                          << "ok, slots 0, files 1, AA0001.WAV poly 2" << "ok, slots 0, files 1, AA0001.WAV poly 2";
        QTest::newRow("file added after the listing") << QStringList{"AA0001_01.WAV=3/1", "AA0001_02.WAV=3/2", "late AA0001_03.WAV=3/3"}
                                                      << "ok, slots 0, files 2, AA0001_01.WAV mono" << "ok, slots 0,1,2, files 3, AA0001_01.WAV mono";
    }
    void assembly()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, quick);
        RecorderFileSpec poly = baseSpec();
        poly.channels = 2;
        poly.ixml.trackCount = 2;
        auto write = [&](const QString& f) {
            const QString name = f.section(QLatin1Char('='), 0, 0), what = f.section(QLatin1Char('='), 1);
            return what == QLatin1String("raw")    ? writeBytes(dir() + name, "not a sound file")
                   : what == QLatin1String("poly") ? RecorderFileWriter::write(dir() + name, poly)
                                                   : writeTrack(name, what.section(QLatin1Char('/'), 0, 0).toInt(), what.section(QLatin1Char('/'), 1).toInt());
        };
        for (const QString& f : files)
            QVERIFY(f.startsWith(QLatin1String("late ")) || write(f));
        MyFileInfoList list;
        list.LoadEntryInfoList(m_dir->path(), {QStringLiteral(".WAV")});
        for (const QString& f : files)
            QVERIFY(!f.startsWith(QLatin1String("late ")) || write(f.mid(5)));
        auto state = [](bool ok, QSoundPerform& r) {
            QString s = QStringLiteral("%1, slots %2, files %3").arg(ok ? QStringLiteral("ok") : QStringLiteral("fail"), slotsOf(r)).arg(r.m_nNbFiles);
            if (!slotsOf(r).isEmpty())
                s += QStringLiteral(", %1 %2").arg(QFileInfo(r.File(r.GetFirstTrack()).m_sPath).fileName(),
                                                   r.m_bPoly ? QStringLiteral("poly %1").arg(r.m_nNbChannels) : QStringLiteral("mono"));
            return s;
        };
        RelayRecorder relay;
        if (!quick.isEmpty()) {
            QSoundPerform r;
            const bool ok = r.QuickInitFiles(key(), QStringLiteral("WAV"), &list, false);
            QCOMPARE(state(ok, r), quick);
            // A classic take whose first file cannot be read fails, and says so.
            if (files.first().endsWith(QLatin1String("_01.WAV=raw")))
                QVERIFY(relay.count() == 1 && relay.lines().first().startsWith(QLatin1String("QSoundFile::ReadChunks(): "))
                        && relay.text().endsWith(QLatin1String("is not a sound file !")));
        }
        QSoundPerform full;
        const bool ok = full.InitFilesZZ(key(), QStringLiteral("WAV"));
        QTEST(state(ok, full), "full");
        for (const QString& t : slotsOf(full).split(QLatin1Char(','), Qt::SkipEmptyParts))
            QVERIFY(!full.File(t.toInt()).IsOpen() && full.File(t.toInt()).m_sPath.startsWith(key()));
    }

    void coherence_data()
    {
        QTest::addColumn<QList<int>>("second");   // rate, bits, frames, iXML padded to
        QTest::addColumn<QString>("text");
        QTest::newRow("sample rate") << QList<int>{96000, 24, 4800, 61440} << "All files haven't the same sample rate !\n";
        QTest::newRow("bits") << QList<int>{48000, 16, 7200, 61440} << "All files haven't the same sample bits rate !\n";
        QTest::newRow("data size") << QList<int>{48000, 24, 4000, 61440} << "All files haven't the same Data size (12000 14400)!\n";
        QTest::newRow("size on disk") << QList<int>{48000, 24, 4800, 61442} << "All files haven't the same  size on disk !\n";
    }
    // The second file differs: the full assembly fails with one message naming it.
    void coherence()
    {
        QFETCH(QString, text);
        RecorderFileSpec other = baseSpec();
        QFETCH(QList<int>, second);
        other.sampleRate = quint32(second[0]);
        other.bitsPerSample = quint16(second[1]);
        other.frames = quint32(second[2]);
        other.ixml.padTo = second[3];
        QVERIFY(writeTrack(QStringLiteral("AA0001_01.WAV"), 3, 1));
        QVERIFY(writeTrack(QStringLiteral("AA0001_02.WAV"), 3, 2, other) && writeTrack(QStringLiteral("AA0001_03.WAV"), 3, 3, other));
        RelayRecorder relay;
        QSoundPerform r;
        QVERIFY(!r.InitFilesZZ(key(), QStringLiteral("WAV")));
        QCOMPARE(relay.lines(), QStringList{QStringLiteral("TestCoherenceFiles: ") + text + dir() + QStringLiteral("AA0001_02.WAV")});
        QCOMPARE(relay.args(), QStringLiteral("0,1,true,0"));
        QCOMPARE(QStringLiteral("%1|%2 %3 %4").arg(slotsOf(r)).arg(r.m_nNbFiles).arg(r.m_nSampleRate).arg(r.m_sScene), QStringLiteral("|0 0  "));   // reset
    }

    // The track table read in one pass agrees with the per-track queries on an untidy table: entries out of order, a
    // repeated INDICE, spaces around a number, a non-number, an index beyond 23, an entry after the 24th DATA element.
    void trackTableAgreesWithQueries()
    {
        QByteArray doc = "<?xml version=\"1.0\"?><BWFXML><SCENE>1</SCENE><VELTA_PAVANE><ALL_TRK_NAME>";
        const QList<QByteArrayList> entries{{"3", "Three", "YES"}, {"0", "Zero", "YES"}, {"3", "Again", "NO"}, {" 5 ", "Five", "YES"},
                                            {"x", "None", "YES"},  {"30", "Thirty", "YES"}, {"1", "", "NO"}};
        for (int i = 0; i < 25; ++i) {
            const QByteArrayList e = i < entries.size() ? entries[i] : i < 24 ? QByteArrayList{"7", "Seven", "YES"} : QByteArrayList{"9", "Late", "YES"};
            doc += "<DATA><INDICE>" + e[0] + "</INDICE><NAME>" + e[1] + "</NAME><ACTIVE>" + e[2] + "</ACTIVE></DATA>";
        }
        RecorderFileSpec s = baseSpec();
        s.ixmlRaw = doc + "</ALL_TRK_NAME></VELTA_PAVANE></BWFXML>" + QByteArray(2000, ' ');
        QVERIFY(writeTrack(QStringLiteral("AA0001_01.WAV"), 1, 1, s));
        MyFileInfoList list;
        list.LoadEntryInfoList(m_dir->path(), {QStringLiteral(".WAV")});
        QSoundPerform r;
        QVERIFY(r.QuickInitFiles(key(), QStringLiteral("WAV"), &list, false));
        QSoundFile& f = r.File(0);
        QVERIFY(f.m_XmlObject.XmlOk());
        for (int k = 0; k < QSoundPerform::kMaxSlots; ++k)
            QCOMPARE(r.m_sTrackName[size_t(k)] + "|" + r.m_sTrackActive[size_t(k)], f.GetiXMLVeltaTracknames(k) + "|" + f.GetiXMLVeltaTrackActive(k));
        QCOMPARE(QStringList({r.m_sTrackName[3], r.m_sTrackName[5], r.m_sTrackName[7], r.m_sTrackName[9], r.m_sTrackActive[1]}),
                 QStringList({"Three", "Five", "Seven", "", "NO"}));
    }
};

QTEST_MAIN(TestTake)
#include "tst_take.moc"
