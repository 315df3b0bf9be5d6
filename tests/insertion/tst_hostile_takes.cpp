// SPDX-License-Identifier: GPL-3.0-or-later
// A take at the edge of what the create workflow meets: longer than the five
// hours the overview holds (sources of a single sample: tst_mixer).

#include "InsertionFixtures.h"
#include "TestSupport.h"

#include "QSoundPerform.h"
#include "TakeGrouping.h"
#include "TrackWorkflows.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace fixtures;

namespace {

QByteArray readAt(const QString& path, qint64 offset, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(offset))
        return QByteArray();
    return f.read(size);
}

// Walks the chunk headers of a file on disk without loading its data.
QList<Chunk> walkOnDisk(const QString& path)
{
    QList<Chunk> chunks;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return chunks;
    qint64 pos = 12;
    while (pos + 8 <= f.size() && f.seek(pos)) {
        const QByteArray h = f.read(8);
        Chunk c;
        c.id = h.left(4);
        c.offset = pos;
        c.size = u32At(h, 4);
        chunks << c;
        pos += 8 + qint64(c.size);
    }
    return chunks;
}

Chunk findOnDisk(const QString& path, const QByteArray& id)
{
    for (const Chunk& c : walkOnDisk(path))
        if (c.id == id || (id.size() == 3 && c.id.startsWith(id)))
            return c;
    return Chunk();
}

} // namespace

class TestHostileTakes : public QObject
{
    Q_OBJECT

private slots:
    // Five hours and a minute at 8 kHz, 16 bits: the take's file is sparse on
    // disk (its data chunk is declared and the file extended, not written).
    // The overview holds five hours of points and nothing past them; the new
    // track is sample-exact where the source lies and as long as the take's file.
    void longerThanFiveHours()
    {
        const quint32 rate = 8000;
        const quint64 start = 10 * kHour * rate;
        const quint32 frames = rate * (5 * 3600 + 60);
        const quint32 dataBytes = frames * 2;
        QTemporaryDir dir;
        const QString take = dir.path() + QStringLiteral("/AA0001_01.WAV");

        RecorderFileSpec s = spec(rate, 16, 8, start);
        s.ondeSize = 190004;   // the recorder's overview of this length: more than five hours of points
        QList<RecorderChunkPlace> places;
        const QByteArray small = RecorderFileWriter::build(s, &places);
        quint32 dataAt = 0, ondeAt = 0;
        for (const RecorderChunkPlace& p : places) {
            if (p.id == "data")
                dataAt = p.offset;
            if (p.id.startsWith("ond"))
                ondeAt = p.offset;
        }
        QVERIFY(dataAt > 0 && ondeAt > dataAt);
        QByteArray head = small.left(int(dataAt + 8));
        qToLittleEndian<quint32>(dataBytes, reinterpret_cast<uchar*>(head.data() + dataAt + 4));
        const QByteArray tail = small.mid(int(ondeAt));
        const qint64 total = head.size() + qint64(dataBytes) + tail.size();
        qToLittleEndian<quint32>(quint32(total - 8), reinterpret_cast<uchar*>(head.data() + 4));
        {
            QFile f(take);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(head), qint64(head.size()));
            QVERIFY(f.resize(head.size() + qint64(dataBytes)));
            QVERIFY(f.seek(f.size()));
            QCOMPARE(f.write(tail), qint64(tail.size()));
        }
        QCOMPARE(QFileInfo(take).size(), total);

        // The listing shows the whole length.
        QString duration;
        BuildTakesOfFolder(dir.path(), [&](std::unique_ptr<QSoundPerform> r, int, int) { duration = r->m_sDuration; });
        QCOMPARE(duration, QStringLiteral("05:01:00"));

        // One second of source, two hours into the take.
        QTemporaryDir srcDir;
        const QString source = srcDir.path() + QStringLiteral("/src.wav");
        const quint64 offset = 2 * kHour * rate;
        QVERIFY(writeSource(source, rate, 16, rate, start + offset));

        Relay relay;
        const WorkflowResult r = createTrack(dir.path(), source, 2, {QStringLiteral("AA0001")});
        QVERIFY2(r.success, qPrintable(relay.all()));
        const QString made = dir.path() + QStringLiteral("/AA0001_02.WAV");
        QCOMPARE(r.createdFiles, QStringList{QStringLiteral("AA0001_02.WAV")});
        QCOMPARE(QFileInfo(made).size(), total);
        QCOMPARE(QFileInfo(take).size(), total);

        const Chunk data = findOnDisk(made, "data");
        QCOMPARE(data.size, dataBytes);
        const qint64 firstSample = data.offset + 8;
        QVERIFY(readAt(made, firstSample + 2 * qint64(offset), 2 * rate) == audio(77, 0, rate, 16));
        QCOMPARE(readAt(made, firstSample + 2 * qint64(offset) - 64, 64), QByteArray(64, '\0'));
        QCOMPARE(readAt(made, firstSample + 2 * qint64(offset + rate), 64), QByteArray(64, '\0'));
        QCOMPARE(readAt(made, firstSample + qint64(dataBytes) - 64, 64), QByteArray(64, '\0'));

        // The overview: 180000 points (five hours at ten a second) and no more;
        // the source's second is at points 72000 ... 72009.
        const Chunk onde = findOnDisk(made, "ond");
        QCOMPARE(onde.size, 180008u);
        QVERIFY(onde.offset > data.offset);
        const QByteArray points = readAt(made, onde.offset + 16, 180000);
        QCOMPARE(points.left(72000), QByteArray(72000, '\0'));
        QVERIFY(!points.mid(72000, 10).contains('\0'));
        QCOMPARE(points.mid(72010), QByteArray(180000 - 72010, '\0'));
        // Nothing after the onde chunk but the chunks the engine always adds.
        for (const Chunk& c : walkOnDisk(made))
            QVERIFY2(c.offset + 8 + qint64(c.size) <= total, c.id.constData());
    }
};

QTEST_MAIN(TestHostileTakes)
#include "tst_hostile_takes.moc"
