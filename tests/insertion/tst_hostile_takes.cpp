// SPDX-License-Identifier: GPL-3.0-or-later
// Takes at the edges of what the create workflow meets: longer than the five
// hours the overview holds, and sources of a single sample.

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

WorkflowResult create(const QString& folder, const QString& source, int trackIndex, QStringList* messages)
{
    Relay relay;
    CreateTrackWorkflow workflow;
    CreateTrackRequest request;
    request.targetFolder = folder;
    request.sourcePath = source;
    request.trackIndex = trackIndex;
    request.fileIds = QStringList{QStringLiteral("AA0001")};
    request.trackName = QStringLiteral("Boom");
    const WorkflowResult result = workflow.Run(request);
    *messages = relay.texts();
    return result;
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

        QStringList messages;
        const WorkflowResult r = create(dir.path(), source, 1, &messages);
        QVERIFY2(r.success, qPrintable(messages.join(QLatin1Char('|'))));
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
        QCOMPARE(points.size(), 180000);
        QCOMPARE(points.left(72000), QByteArray(72000, '\0'));
        for (int i = 72000; i < 72010; ++i)
            QVERIFY2(points.at(i) != '\0', qPrintable(QString::number(i)));
        QCOMPARE(points.mid(72010), QByteArray(180000 - 72010, '\0'));
        // Nothing after the onde chunk but the chunks the engine always adds.
        for (const Chunk& c : walkOnDisk(made))
            QVERIFY2(c.offset + 8 + qint64(c.size) <= total, c.id.constData());
    }

    // A source exactly one sample long, at the take's first sample, inside it
    // and at its last: the new track holds that one sample and silence around
    // it. Just before or just after the take it covers nothing: refused, and
    // nothing is left behind.
    void oneSampleSource_data()
    {
        QTest::addColumn<qint64>("at");        // source start relative to the take's start
        QTest::addColumn<bool>("covers");
        QTest::newRow("first sample") << qint64(0) << true;
        QTest::newRow("inside") << qint64(2400) << true;
        QTest::newRow("last sample") << qint64(4799) << true;
        QTest::newRow("just before") << qint64(-1) << false;
        QTest::newRow("just after") << qint64(4800) << false;
    }
    void oneSampleSource()
    {
        QFETCH(qint64, at);
        QFETCH(bool, covers);
        const quint64 start = 10 * kHour * 48000;
        QTemporaryDir dir;
        QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, spec(48000, 24, 4800, start)));
        QTemporaryDir srcDir;
        const QString source = srcDir.path() + QStringLiteral("/one.wav");
        QVERIFY(writeSource(source, 48000, 24, 1, quint64(qint64(start) + at)));
        const QByteArray sample = audio(77, 0, 1, 24);
        QVERIFY(sample != QByteArray(3, '\0'));
        const QMap<QString, QByteArray> before = sha1Folder(dir.path());

        QStringList messages;
        const WorkflowResult r = create(dir.path(), source, 1, &messages);
        const QString made = dir.path() + QStringLiteral("/AA0001_02.WAV");
        if (!covers) {
            QVERIFY(!r.success);
            QVERIFY2(messages.contains(QStringLiteral("Unable to in point Tc sample!")),
                     qPrintable(messages.join(QLatin1Char('|'))));
            QCOMPARE(sha1Folder(dir.path()), before);
            return;
        }
        QVERIFY2(r.success, qPrintable(messages.join(QLatin1Char('|'))));
        const QByteArray data = body(readFile(made), "data");
        QCOMPARE(data.size(), 4800 * 3);
        QByteArray expected(4800 * 3, '\0');
        expected.replace(int(at) * 3, 3, sample);
        QVERIFY(data == expected);
        QCOMPARE(QFileInfo(made).size(), QFileInfo(dir.path() + QStringLiteral("/AA0001_01.WAV")).size());
    }
};

QTEST_MAIN(TestHostileTakes)
#include "tst_hostile_takes.moc"
