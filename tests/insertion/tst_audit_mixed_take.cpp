// SPDX-License-Identifier: GPL-3.0-or-later
// Takes whose files were written other ways than the recorder's (a larger
// iXML chunk, iXML after the audio, an odd chunk with its pad byte, chunks
// after the audio, a small iXML chunk that has to move, and all of these in
// one take): create, hide and create again leave every file readable by other
// tools with its audio untouched, and a write that fails in the update pass
// is put back and reported.

#include "InsertionFixtures.h"
#include "TestSupport.h"

#include "QSoundFile.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace fixtures;

namespace {

const quint64 kTen = 10 * kHour * 48000;
constexpr int kTracks = 5;

// Chunks as a standard RIFF reader sees them: a pad byte after an odd body
// when the next bytes do not start a chunk name.
QList<Chunk> paddedWalk(const QByteArray& file)
{
    QList<Chunk> chunks;
    qint64 pos = 12;
    auto printable = [&](qint64 at) {
        if (at + 4 > file.size())
            return false;
        for (int i = 0; i < 4; ++i) {
            const char c = file.at(int(at + i));
            if (c < 0x20 || c > 0x7e)
                return false;
        }
        return true;
    };
    while (pos + 8 <= file.size()) {
        Chunk c;
        c.id = file.mid(int(pos), 4);
        c.offset = pos;
        c.size = u32At(file, pos + 4);
        chunks << c;
        pos += 8 + qint64(c.size);
        if ((c.size & 1u) && !printable(pos) && printable(pos + 1))
            ++pos;
    }
    return chunks;
}

QByteArray chunkBody(const QByteArray& file, const QByteArray& id)
{
    QByteArray found;
    for (const Chunk& c : paddedWalk(file))
        if (c.id == id)
            found = file.mid(int(c.offset + 8), int(c.size));   // the last one counts
    return found;
}

// A short document in a chunk just big enough for it.
QByteArray shortDocument(int n)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><BWFXML><FILE_SET><TOTAL_FILES>5</TOTAL_FILES>"
                     "</FILE_SET><TRACK_LIST><TRACK_COUNT>1</TRACK_COUNT><TRACK><CHANNEL_INDEX>"
                     + QByteArray::number(n) + "</CHANNEL_INDEX><NAME>Trk" + QByteArray::number(n)
                     + "</NAME></TRACK></TRACK_LIST></BWFXML>";
    if (xml.size() % 2)
        xml += ' ';   // other readers want even chunks
    return xml;
}

RecorderFileSpec trackSpec(int n)
{
    RecorderFileSpec base = spec(48000, 24, 9600, kTen);
    RecorderFileSpec s = RecorderFileWriter::monoTrackSpec(base, kTracks, n);
    s.ixml.originalFileName = QStringLiteral("AA0001_%1.WAV").arg(n, 2, 10, QLatin1Char('0'));
    switch (n) {
    case 2:
        s.ixml.padTo = 70000;   // a larger chunk than the other files
        break;
    case 3:
        s.ixmlLast = true;      // small as well: it grows where it is
        s.ixmlRaw = shortDocument(3);
        break;
    case 4:
        s.extraBefore << ExtraChunk{"abcd", "12345", true, 0};
        break;
    case 5:
        // A short document in a chunk just big enough for it, audio after
        // it: the regenerated text does not fit and has to go elsewhere.
        s.ixmlRaw = shortDocument(5);
        s.extraAfter << ExtraChunk{"cue ", QByteArray(28, '\x01'), false, 0} << ExtraChunk{"zzzz", "abc", true, 0};
        break;
    default:
        break;
    }
    return s;
}

// The take model wants every file of a take to be of one size: each file
// gets a trailing filler chunk up to a common length.
RecorderFileSpec sameSizeSpec(int n)
{
    qint64 longest = 0;
    for (int k = 1; k <= kTracks; ++k)
        longest = qMax<qint64>(longest, RecorderFileWriter::build(trackSpec(k)).size());
    RecorderFileSpec s = trackSpec(n);
    s.extraAfter << ExtraChunk{"JUNK", QByteArray(int(longest + 64 - RecorderFileWriter::build(s).size() - 8), '\0'), false, 0};
    return s;
}

// Layouts other tools and recorders write, each shared by every file of a take.
enum class Layout { Mixed, IxmlPadded, IxmlLastPadded, IxmlSmall, IxmlLastSmall, IxmlFourBytesLonger, JunkBeforeData,
                    NoIxml, OddChunksPadded, ChunksAfterData };

RecorderFileSpec layoutSpec(Layout layout, int n)
{
    RecorderFileSpec s = RecorderFileWriter::monoTrackSpec(spec(48000, 24, 9600, kTen), kTracks, n);
    s.ixml.originalFileName = QStringLiteral("AA0001_%1.WAV").arg(n, 2, 10, QLatin1Char('0'));
    const ExtraChunk odd{"abcd", "12345", true, 0};
    switch (layout) {
    case Layout::Mixed:   // every file written its own way
        return sameSizeSpec(n);
    case Layout::IxmlPadded:
        break;
    case Layout::IxmlLastPadded:
        s.ixmlLast = true;
        break;
    case Layout::IxmlSmall:
        s.ixml.padTo = 3000;
        break;
    case Layout::IxmlLastSmall:
        s.ixml.padTo = 3000;
        s.ixmlLast = true;
        break;
    case Layout::IxmlFourBytesLonger:   // the new track ends 4 bytes short: no room for a filler
        s.ixml.padTo = 61444;
        break;
    case Layout::JunkBeforeData:
        s.extraBefore << ExtraChunk{"JUNK", QByteArray(), false, 0};
        break;
    case Layout::NoIxml:
        s.withIxml = false;
        break;
    case Layout::OddChunksPadded:
        s.extraBefore << odd;
        s.extraAfter << odd;
        break;
    case Layout::ChunksAfterData:
        s.extraAfter << ExtraChunk{"cue ", QByteArray(28, '\x01'), false, 0} << ExtraChunk{"LIST", QByteArray(40, 'l'), false, 0};
        break;
    }
    return s;
}

bool readable(const QString& path)
{
    QSoundFile sf;
    return sf.Open(path, 0) && sf.ReadChunks(false, false) && sf.GetiXMLFileInfos() && sf.GetDataSize() == 9600u * 3;
}

// What ffprobe, sox and the iXML say of a file, or why it is not right.
QString otherReaders(const QString& path, int totalFiles, const QByteArray& data)
{
    const auto probe = testsupport::run(QStringLiteral("ffprobe"), QStringLiteral("-v error -show_entries stream=duration_ts -of "
                                                                                  "default=noprint_wrappers=1 %1").arg(path).split(QLatin1Char(' ')));
    if (probe.exitCode != 0 || !probe.err.isEmpty() || probe.out != "duration_ts=9600\n")
        return path + QStringLiteral(": ffprobe: ") + QString::fromUtf8(probe.out + probe.err);
    const auto sox = testsupport::run(QStringLiteral("sox"), QStringLiteral("%1 -t raw -e signed-integer -b 24 -L -").arg(path).split(QLatin1Char(' ')));
    if (sox.out != data)
        return path + QStringLiteral(": sox reads other samples");
    const QString total = xmlValue(QString::fromUtf8(chunkBody(readFile(path), "iXML")).trimmed(), QStringLiteral("FILE_SET/TOTAL_FILES"));
    return total == QString::number(totalFiles) ? QString() : path + QStringLiteral(": TOTAL_FILES ") + total;
}

QByteArray sha1(const QByteArray& b) { return QCryptographicHash::hash(b, QCryptographicHash::Sha1); }
QString file(const QString& target, int n) { return target + QStringLiteral("/AA0001_%1.WAV").arg(n, 2, 10, QLatin1Char('0')); }

// The mixed take and its source under `root`; returns the take folder.
QString writeMixedTake(const QString& root)
{
    const QString target = root + QStringLiteral("/Day1");
    QDir().mkpath(target);
    for (int n = 1; n <= kTracks; ++n)
        RecorderFileWriter::write(file(target, n), sameSizeSpec(n));
    writeSource(root + QStringLiteral("/BOOM.WAV"), 48000, 24, 48000, kTen - 1000);
    return target;
}

} // namespace

class TestAuditMixedTake : public QObject
{
    Q_OBJECT

private slots:
    void everyLayoutStaysOneTake_data();
    void everyLayoutStaysOneTake();
    void failedUpdateWritesLeaveFilesWhole_data();
    void failedUpdateWritesLeaveFilesWhole();
    void hideReportsAFileItCouldNotUpdate();
};

void TestAuditMixedTake::everyLayoutStaysOneTake_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<bool>("siblingsKeepTheirSize");   // the new track is made to their length
    QTest::newRow("each file its own layout") << int(Layout::Mixed) << false;
    QTest::newRow("iXML before data, padded") << int(Layout::IxmlPadded) << true;
    QTest::newRow("iXML last, padded") << int(Layout::IxmlLastPadded) << true;
    QTest::newRow("iXML before data, 3 KB") << int(Layout::IxmlSmall) << true;
    QTest::newRow("iXML last, 3 KB") << int(Layout::IxmlLastSmall) << true;
    QTest::newRow("iXML 4 bytes over the recorder's size") << int(Layout::IxmlFourBytesLonger) << true;
    QTest::newRow("empty JUNK before data") << int(Layout::JunkBeforeData) << true;
    QTest::newRow("no iXML") << int(Layout::NoIxml) << false;
    QTest::newRow("odd chunks with pad bytes") << int(Layout::OddChunksPadded) << true;
    QTest::newRow("chunks after data") << int(Layout::ChunksAfterData) << true;
}

// Create, create, hide, create: after every step each step succeeded, every
// file of the take has one size (or the next create is refused), no audio
// byte changed, and ffprobe, sox and our reader read every file.
void TestAuditMixedTake::everyLayoutStaysOneTake()
{
    QFETCH(int, layout);
    QFETCH(bool, siblingsKeepTheirSize);
    if (!testsupport::haveTool(QStringLiteral("sox")) || !testsupport::haveTool(QStringLiteral("ffprobe")))
        QSKIP("sox or ffprobe missing");
    QTemporaryDir dir;
    const QString target = dir.path() + QStringLiteral("/Day1");
    QDir().mkpath(target);
    for (int n = 1; n <= kTracks; ++n)
        QVERIFY(RecorderFileWriter::write(file(target, n), layoutSpec(Layout(layout), n)));
    const QString source = dir.path() + QStringLiteral("/BOOM.WAV");
    QVERIFY(writeSource(source, 48000, 24, 48000, kTen - 1000));

    QMap<int, QByteArray> audioSums;
    for (int n = 1; n <= kTracks; ++n)
        audioSums[n] = sha1(chunkBody(readFile(file(target, n)), "data"));
    audioSums[kTracks + 1] = audioSums[kTracks + 2] = sha1(audio(77, 1000, 9600, 24));

    Relay relay;
    // Other tools' readers are asked once, at the end: each run costs a process.
    auto oneTake = [&](const QList<int>& tracks, bool withOtherReaders) {
        const qint64 size = QFileInfo(file(target, tracks.first())).size();
        for (int n : tracks) {
            const QByteArray bytes = readFile(file(target, n));
            QVERIFY2(bytes.size() == size, qPrintable(QStringLiteral("%1: %2 bytes, %3 expected").arg(file(target, n)).arg(bytes.size()).arg(size)));
            QVERIFY2(u32At(bytes, 4) + 8u == quint32(bytes.size()), qPrintable(file(target, n)));
            QVERIFY2(sha1(chunkBody(bytes, "data")) == audioSums[n], qPrintable(file(target, n)));
            QVERIFY(readable(file(target, n)));
            if (withOtherReaders) {
                const QString why = otherReaders(file(target, n), tracks.size(), chunkBody(bytes, "data"));
                QVERIFY2(why.isEmpty(), qPrintable(why));
            }
        }
    };
    const QStringList take{QStringLiteral("AA0001")};
    const qint64 siblingSize = QFileInfo(file(target, 1)).size();
    QVERIFY2(createTrack(target, source, kTracks + 1, take).success, qPrintable(relay.all()));
    oneTake({1, 2, 3, 4, 5, 6}, false);
    QCOMPARE(QFileInfo(file(target, 1)).size() == siblingSize, siblingsKeepTheirSize);
    QVERIFY2(createTrack(target, source, kTracks + 2, take).success, qPrintable(relay.all()));
    oneTake({1, 2, 3, 4, 5, 6, 7}, false);
    const QByteArray sixth = readFile(file(target, kTracks + 1));
    QVERIFY2(hideTrack(target, kTracks + 1, take).success, qPrintable(relay.all()));
    QCOMPARE(readFile(target + QStringLiteral("/AA0001_06.DEL1")), sixth);
    oneTake({1, 2, 3, 4, 5, 7}, false);
    QVERIFY2(createTrack(target, source, kTracks + 1, take).success, qPrintable(relay.all()));
    oneTake({1, 2, 3, 4, 5, 6, 7}, true);
    QCOMPARE(relay.count(), 0);
}

// A dry run counts the writes of the update pass; each row makes one of them
// store half or fail.
void TestAuditMixedTake::failedUpdateWritesLeaveFilesWhole_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<bool>("ioError");
    int total = 0;
    {
        QTemporaryDir dir;
        const QString target = writeMixedTake(dir.path());
        Faults f;
        Relay relay;
        QVERIFY2(createTrack(target, dir.path() + QStringLiteral("/BOOM.WAV"), kTracks + 1, {QStringLiteral("AA0001")}).success,
                 qPrintable(relay.all()));
        total = f.otherWrites;
    }
    QVERIFY(total > 5);
    for (int i = 1; i <= total; ++i) {
        QTest::newRow(qPrintable(QStringLiteral("write %1 of %2 half").arg(i).arg(total))) << i << false;
        QTest::newRow(qPrintable(QStringLiteral("write %1 of %2 fails").arg(i).arg(total))) << i << true;
    }
}

void TestAuditMixedTake::failedUpdateWritesLeaveFilesWhole()
{
    QFETCH(int, failAt);
    QFETCH(bool, ioError);
    QTemporaryDir dir;
    const QString target = writeMixedTake(dir.path());
    QMap<int, QByteArray> data;
    for (int n = 1; n <= kTracks; ++n)
        data[n] = chunkBody(readFile(file(target, n)), "data");
    Relay relay;
    {
        Faults f;
        f.failWrite(failAt, ioError, false);
        // The new track exists, but a file of the take kept its old iXML:
        // the run did not do what was asked and must not say it did.
        const WorkflowResult result = createTrack(target, dir.path() + QStringLiteral("/BOOM.WAV"), kTracks + 1, {QStringLiteral("AA0001")});
        QVERIFY(!result.success);
        QCOMPARE(result.createdFiles, QStringList{QStringLiteral("AA0001_06.WAV")});
    }
    QVERIFY(relay.count() > 0);
    for (int n = 1; n <= kTracks + 1; ++n) {
        const QByteArray bytes = readFile(file(target, n));
        QVERIFY2(u32At(bytes, 4) + 8u == quint32(bytes.size()), qPrintable(file(target, n) + relay.all()));
        QVERIFY(readable(file(target, n)));
        QVERIFY(n > kTracks || chunkBody(bytes, "data") == data[n]);
    }
}

void TestAuditMixedTake::hideReportsAFileItCouldNotUpdate()
{
    QTemporaryDir dir;
    const QString target = writeMixedTake(dir.path());
    const QByteArray second = readFile(file(target, 2));
    Relay relay;
    WorkflowResult result;
    {
        Faults refuse;
        refuse.refuseOpen = QStringLiteral("AA0001_02.WAV");
        result = hideTrack(target, 4, {QStringLiteral("AA0001")});
    }
    QVERIFY(!result.success);
    QCOMPARE(result.hiddenFiles, QStringList{QStringLiteral("AA0001_04.DEL1")});
    QVERIFY2(relay.all().contains(file(target, 2) + QStringLiteral("\nUnable to open this file for writing")), qPrintable(relay.all()));
    QCOMPARE(readFile(file(target, 2)), second);
    QCOMPARE(xmlValue(QString::fromUtf8(chunkBody(readFile(file(target, 1)), "iXML")).trimmed(), QStringLiteral("FILE_SET/TOTAL_FILES")),
             QStringLiteral("4"));
}

QTEST_MAIN(TestAuditMixedTake)
#include "tst_audit_mixed_take.moc"
