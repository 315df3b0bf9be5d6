// SPDX-License-Identifier: GPL-3.0-or-later
// A take whose files were not all written the same way (a larger iXML chunk,
// iXML after the audio, an odd chunk with its pad byte, chunks after the
// audio, a small iXML chunk that has to move): create, hide and create again
// must leave every file readable by other tools with its audio untouched,
// and a write that fails in the update pass is put back and reported.

#include "InsertionFixtures.h"
#include "TestSupport.h"

#include "FileWriteSeam.h"
#include "QSoundFile.h"
#include "TrackWorkflows.h"

#include <QDomDocument>
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
    case 4: {
        ExtraChunk odd;
        odd.id = "abcd";
        odd.body = "12345";
        odd.padOddSize = true;
        s.extraBefore << odd;
        break;
    }
    case 5: {
        // A short document in a chunk just big enough for it, audio after
        // it: the regenerated text does not fit and has to go elsewhere.
        s.ixmlRaw = shortDocument(5);
        ExtraChunk cue;
        cue.id = "cue ";
        cue.body = QByteArray(28, '\x01');
        ExtraChunk odd;
        odd.id = "zzzz";
        odd.body = "abc";
        odd.padOddSize = true;
        s.extraAfter << cue << odd;
        break;
    }
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
    ExtraChunk filler;
    filler.id = "JUNK";
    filler.body = QByteArray(int(longest + 64 - RecorderFileWriter::build(s).size() - 8), '\0');
    s.extraAfter << filler;
    return s;
}

struct TakeState
{
    QMap<int, QByteArray> data;   // track number -> data chunk body
    QMap<int, QByteArray> sox;    // track number -> samples as sox decodes them
};

} // namespace

class TestAuditMixedTake : public QObject
{
    Q_OBJECT

private slots:
    void createHideCreateKeepsEveryFileWhole();
    void failedUpdateWritesLeaveFilesWhole_data();
    void failedUpdateWritesLeaveFilesWhole();
    void hideReportsAFileItCouldNotUpdate();
    void everyLayoutStaysOneTake_data();
    void everyLayoutStaysOneTake();

private:
    QString m_target;
    QString m_source;
    void writeTake(const QString& root);
    QString file(int n) const { return m_target + QStringLiteral("/AA0001_%1.WAV").arg(n, 2, 10, QLatin1Char('0')); }
    bool checkFile(int n, int totalFiles, QString* why);
    QByteArray soxRaw(const QString& path);
};

QByteArray TestAuditMixedTake::soxRaw(const QString& path)
{
    const auto r = testsupport::run(QStringLiteral("sox"),
                                    {path, QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-e"),
                                     QStringLiteral("signed-integer"), QStringLiteral("-b"), QStringLiteral("24"),
                                     QStringLiteral("-L"), QStringLiteral("-")});
    if (r.exitCode != 0)
        return QByteArray("sox failed: ") + r.err;
    return r.out;
}

bool TestAuditMixedTake::checkFile(int n, int totalFiles, QString* why)
{
    const QString path = file(n);
    const QByteArray bytes = readFile(path);
    if (bytes.size() < 12 || u32At(bytes, 4) + 8u != quint32(bytes.size())) {
        *why = QStringLiteral("%1: RIFF size %2, file %3").arg(path).arg(u32At(bytes, 4)).arg(bytes.size());
        return false;
    }
    const auto probe = testsupport::run(QStringLiteral("ffprobe"),
                                        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                         QStringLiteral("stream=duration_ts"), QStringLiteral("-of"),
                                         QStringLiteral("default=noprint_wrappers=1"), path});
    if (probe.exitCode != 0 || !probe.err.isEmpty() || !probe.out.contains("duration_ts=9600")) {
        *why = path + QStringLiteral(": ffprobe: ") + QString::fromUtf8(probe.out + probe.err);
        return false;
    }
    QSoundFile sf;
    if (!sf.Open(path, 0) || !sf.ReadChunks(false, false) || !sf.GetiXMLFileInfos()) {
        *why = path + QStringLiteral(": our reader cannot read it");
        return false;
    }
    sf.Close();
    QDomDocument d;
    d.setContent(QString::fromUtf8(chunkBody(bytes, "iXML")).trimmed());
    const QString total = d.documentElement().firstChildElement(QStringLiteral("FILE_SET"))
                              .firstChildElement(QStringLiteral("TOTAL_FILES")).text();
    if (total != QString::number(totalFiles)) {
        *why = path + QStringLiteral(": TOTAL_FILES ") + total;
        return false;
    }
    return true;
}

void TestAuditMixedTake::createHideCreateKeepsEveryFileWhole()
{
    if (!testsupport::haveTool(QStringLiteral("sox")) || !testsupport::haveTool(QStringLiteral("ffprobe")))
        QSKIP("sox or ffprobe missing");
    QTemporaryDir dir;
    m_target = dir.path() + QStringLiteral("/Day1");
    QDir().mkpath(m_target);
    for (int n = 1; n <= kTracks; ++n) {
        QString error;
        QVERIFY2(RecorderFileWriter::write(file(n), sameSizeSpec(n), &error), qPrintable(error));
    }
    const QString source = dir.path() + QStringLiteral("/BOOM.WAV");
    QVERIFY(writeSource(source, 48000, 24, 48000, kTen - 1000));

    TakeState before;
    for (int n = 1; n <= kTracks; ++n) {
        QString why;
        QVERIFY2(checkFile(n, kTracks, &why), qPrintable(why));
        before.data[n] = chunkBody(readFile(file(n)), "data");
        before.sox[n] = soxRaw(file(n));
        QCOMPARE(before.data[n].size(), 9600 * 3);
        QCOMPARE(before.sox[n], before.data[n]);
    }
    // Every file keeps its audio, and the take stays one take: its files
    // keep one size, or the take model refuses it the next time.
    auto keptWhole = [&](int totalFiles) {
        const qint64 size = QFileInfo(file(1)).size();
        for (int n = 2; n <= totalFiles; ++n)
            QVERIFY2(QFileInfo(file(n)).size() == size,
                     qPrintable(QStringLiteral("%1: %2 bytes, track 1: %3").arg(file(n)).arg(QFileInfo(file(n)).size()).arg(size)));
        for (int n = 1; n <= kTracks; ++n) {
            QString why;
            QVERIFY2(checkFile(n, totalFiles, &why), qPrintable(why));
            QVERIFY2(chunkBody(readFile(file(n)), "data") == before.data[n], qPrintable(file(n)));
            QVERIFY2(soxRaw(file(n)) == before.sox[n], qPrintable(file(n)));
        }
    };

    Relay relay;
    CreateTrackRequest create;
    create.targetFolder = m_target;
    create.sourcePath = source;
    create.trackIndex = kTracks;
    create.fileIds = QStringList{QStringLiteral("AA0001")};
    create.trackName = QStringLiteral("Boom");
    {
        CreateTrackWorkflow w;
        const WorkflowResult r = w.Run(create);
        QVERIFY2(r.success, qPrintable(relay.all()));
    }
    QCOMPARE(relay.count(), 0);
    keptWhole(kTracks + 1);
    QString why;
    QVERIFY2(checkFile(kTracks + 1, kTracks + 1, &why), qPrintable(why));
    const QByteArray newAudio = chunkBody(readFile(file(kTracks + 1)), "data");
    QCOMPARE(newAudio, audio(77, 1000, 9600, 24));

    DeleteTrackRequest hide;
    hide.targetFolder = m_target;
    hide.trackIndex = kTracks;
    hide.fileIds = create.fileIds;
    {
        DeleteTrackWorkflow w;
        const WorkflowResult r = w.Run(hide);
        QVERIFY2(r.success, qPrintable(relay.all()));
    }
    QCOMPARE(relay.count(), 0);
    QVERIFY(!QFileInfo::exists(file(kTracks + 1)));
    QCOMPARE(chunkBody(readFile(m_target + QStringLiteral("/AA0001_06.DEL1")), "data"), newAudio);
    keptWhole(kTracks);

    {
        CreateTrackWorkflow w;
        const WorkflowResult r = w.Run(create);
        QVERIFY2(r.success, qPrintable(relay.all()));
    }
    QCOMPARE(relay.count(), 0);
    keptWhole(kTracks + 1);
    QVERIFY2(checkFile(kTracks + 1, kTracks + 1, &why), qPrintable(why));
    QCOMPARE(chunkBody(readFile(file(kTracks + 1)), "data"), newAudio);
}

namespace {
class FailNth : public FileWriteSeam::Injector
{
public:
    FailNth() { FileWriteSeam::setInjector(this); }
    ~FailNth() override { FileWriteSeam::setInjector(nullptr); }
    int failAt = 0;
    bool ioError = false;
    int writes = 0;
    qint64 acceptWrite(const QString& path, qint64 requested) override
    {
        if (path.endsWith(QLatin1String(".partial")))
            return requested;
        if (++writes != failAt)
            return requested;
        return ioError ? -1 : requested / 2;
    }
};
} // namespace

void TestAuditMixedTake::writeTake(const QString& root)
{
    m_target = root + QStringLiteral("/Day1");
    QDir().mkpath(m_target);
    for (int n = 1; n <= kTracks; ++n)
        QVERIFY(RecorderFileWriter::write(file(n), sameSizeSpec(n)));
    m_source = root + QStringLiteral("/BOOM.WAV");
    QVERIFY(writeSource(m_source, 48000, 24, 48000, kTen - 1000));
}

void TestAuditMixedTake::failedUpdateWritesLeaveFilesWhole_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<bool>("ioError");
    int total = 0;
    {
        QTemporaryDir dir;
        writeTake(dir.path());
        FailNth f;
        Relay relay;
        CreateTrackRequest r;
        r.targetFolder = m_target;
        r.sourcePath = m_source;
        r.trackIndex = kTracks;
        r.fileIds = QStringList{QStringLiteral("AA0001")};
        CreateTrackWorkflow w;
        QVERIFY2(w.Run(r).success, qPrintable(relay.all()));
        total = f.writes;
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
    writeTake(dir.path());
    QMap<int, QByteArray> data;
    for (int n = 1; n <= kTracks; ++n)
        data[n] = chunkBody(readFile(file(n)), "data");
    Relay relay;
    {
        FailNth f;
        f.failAt = failAt;
        f.ioError = ioError;
        CreateTrackRequest r;
        r.targetFolder = m_target;
        r.sourcePath = m_source;
        r.trackIndex = kTracks;
        r.fileIds = QStringList{QStringLiteral("AA0001")};
        CreateTrackWorkflow w;
        // The new track exists, but a file of the take kept its old iXML:
        // the run did not do what was asked and must not say it did.
        const WorkflowResult result = w.Run(r);
        QVERIFY(!result.success);
        QCOMPARE(result.createdFiles, QStringList{QStringLiteral("AA0001_06.WAV")});
    }
    QVERIFY(relay.count() > 0);
    for (int n = 1; n <= kTracks + 1; ++n) {
        const QByteArray bytes = readFile(file(n));
        QVERIFY2(u32At(bytes, 4) + 8u == quint32(bytes.size()), qPrintable(file(n) + relay.all()));
        QSoundFile sf;
        QVERIFY(sf.Open(file(n), 0) && sf.ReadChunks(false, false) && sf.GetiXMLFileInfos());
        if (n <= kTracks)
            QVERIFY(chunkBody(bytes, "data") == data[n]);
    }
}

void TestAuditMixedTake::hideReportsAFileItCouldNotUpdate()
{
    QTemporaryDir dir;
    writeTake(dir.path());
    const QByteArray second = readFile(file(2));
    class RefuseSecond : public FileWriteSeam::Injector
    {
    public:
        bool failOpenForWrite(const QString& path) override { return path.endsWith(QLatin1String("AA0001_02.WAV")); }
    } refuse;
    FileWriteSeam::setInjector(&refuse);
    Relay relay;
    DeleteTrackRequest r;
    r.targetFolder = m_target;
    r.trackIndex = 3;
    r.fileIds = QStringList{QStringLiteral("AA0001")};
    DeleteTrackWorkflow w;
    const WorkflowResult result = w.Run(r);
    FileWriteSeam::setInjector(nullptr);
    QVERIFY(!result.success);
    QCOMPARE(result.hiddenFiles, QStringList{QStringLiteral("AA0001_04.DEL1")});
    QVERIFY2(relay.all().contains(file(2) + QStringLiteral("\nUnable to open this file for writing")), qPrintable(relay.all()));
    QCOMPARE(readFile(file(2)), second);
    QVERIFY(QString::fromUtf8(chunkBody(readFile(file(1)), "iXML")).contains(QStringLiteral("<TOTAL_FILES>4</TOTAL_FILES>")));
}

namespace {
// Layouts other tools and recorders write, each shared by every file of a take.
enum class Layout { IxmlPadded, IxmlLastPadded, IxmlSmall, IxmlLastSmall, IxmlFourBytesLonger, JunkBeforeData,
                    NoIxml, OddChunksPadded, ChunksAfterData };

RecorderFileSpec layoutSpec(Layout layout, int n)
{
    RecorderFileSpec s = RecorderFileWriter::monoTrackSpec(spec(48000, 24, 9600, kTen), kTracks, n);
    s.ixml.originalFileName = QStringLiteral("AA0001_%1.WAV").arg(n, 2, 10, QLatin1Char('0'));
    ExtraChunk odd;
    odd.id = "abcd";
    odd.body = "12345";
    odd.padOddSize = true;
    switch (layout) {
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

QByteArray sha1(const QByteArray& b) { return QCryptographicHash::hash(b, QCryptographicHash::Sha1); }
} // namespace

void TestAuditMixedTake::everyLayoutStaysOneTake_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<bool>("siblingsKeepTheirSize");   // the new track is made to their length
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
    m_target = dir.path() + QStringLiteral("/Day1");
    QDir().mkpath(m_target);
    for (int n = 1; n <= kTracks; ++n)
        QVERIFY(RecorderFileWriter::write(file(n), layoutSpec(Layout(layout), n)));
    const QString source = dir.path() + QStringLiteral("/BOOM.WAV");
    QVERIFY(writeSource(source, 48000, 24, 48000, kTen - 1000));

    QMap<int, QByteArray> audioSums;
    for (int n = 1; n <= kTracks; ++n)
        audioSums[n] = sha1(chunkBody(readFile(file(n)), "data"));
    audioSums[kTracks + 1] = audioSums[kTracks + 2] = sha1(audio(77, 1000, 9600, 24));

    Relay relay;
    auto create = [&](int track) {
        CreateTrackRequest r;
        r.targetFolder = m_target;
        r.sourcePath = source;
        r.trackIndex = track - 1;
        r.fileIds = QStringList{QStringLiteral("AA0001")};
        r.trackName = QStringLiteral("Boom");
        CreateTrackWorkflow w;
        return w.Run(r).success;
    };
    auto hide = [&](int track) {
        DeleteTrackRequest r;
        r.targetFolder = m_target;
        r.trackIndex = track - 1;
        r.fileIds = QStringList{QStringLiteral("AA0001")};
        DeleteTrackWorkflow w;
        return w.Run(r).success;
    };
    // Other tools' readers are asked once, at the end: each run costs a process.
    auto oneTake = [&](const QList<int>& tracks, bool withOtherReaders) {
        const qint64 size = QFileInfo(file(tracks.first())).size();
        for (int n : tracks) {
            const QByteArray bytes = readFile(file(n));
            QVERIFY2(bytes.size() == size, qPrintable(QStringLiteral("%1: %2 bytes, %3 expected").arg(file(n)).arg(bytes.size()).arg(size)));
            QVERIFY2(u32At(bytes, 4) + 8u == quint32(bytes.size()), qPrintable(file(n)));
            QVERIFY2(sha1(chunkBody(bytes, "data")) == audioSums[n], qPrintable(file(n)));
            QSoundFile sf;
            QVERIFY(sf.Open(file(n), 0) && sf.ReadChunks(false, false) && sf.GetiXMLFileInfos());
            QCOMPARE(sf.GetDataSize(), 9600u * 3);
            if (withOtherReaders) {
                QString why;
                QVERIFY2(checkFile(n, tracks.size(), &why), qPrintable(why));
                QCOMPARE(soxRaw(file(n)), chunkBody(bytes, "data"));
            }
        }
    };
    const qint64 siblingSize = QFileInfo(file(1)).size();
    QVERIFY2(create(kTracks + 1), qPrintable(relay.all()));
    oneTake({1, 2, 3, 4, 5, 6}, false);
    QCOMPARE(QFileInfo(file(1)).size() == siblingSize, siblingsKeepTheirSize);
    QVERIFY2(create(kTracks + 2), qPrintable(relay.all()));
    oneTake({1, 2, 3, 4, 5, 6, 7}, false);
    QVERIFY2(hide(kTracks + 1), qPrintable(relay.all()));
    oneTake({1, 2, 3, 4, 5, 7}, false);
    QVERIFY2(create(kTracks + 1), qPrintable(relay.all()));
    oneTake({1, 2, 3, 4, 5, 6, 7}, true);
    QCOMPARE(relay.count(), 0);
}

QTEST_MAIN(TestAuditMixedTake)
#include "tst_audit_mixed_take.moc"
