// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and scanning files into chunk records: recorder files, other
// writers' files, and damaged or hostile ones.

#include "FileWriteSeam.h"
#include "MyQFile.h"
#include "QSoundFile.h"
#include "RecorderFileWriter.h"
#include "RelayRecorder.h"
#include "TestSupport.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using testsupport::RelayRecorder;

Q_DECLARE_METATYPE(RecorderFileSpec)

namespace {

quint32 placeOf(const QList<RecorderChunkPlace>& places, const QByteArray& id, int nth = 0)
{
    for (const RecorderChunkPlace& p : places)
        if (p.id == id && nth-- == 0)
            return p.offset;
    return 0;
}

QList<ExtraChunk> unknownChunks(int n, bool oddBodies = false)
{
    QList<ExtraChunk> list;
    for (int i = 0; i < n; ++i)
        list << ExtraChunk{"X" + QByteArray::number(i).rightJustified(3, '0'), QByteArray(oddBodies ? 5 : 6, 'u'), false, 0};
    return list;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

class RefuseWrites : public FileWriteSeam::Injector
{
public:
    bool failOpenForWrite(const QString&) override { return true; }
};

} // namespace

class TestSoundFileRead : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void splitPathAndFileID_data();
    void splitPathAndFileID();
    void open_data();
    void open();
    void openRefusedByDisk();
    void close();
    void readChunksFailures_data();
    void readChunksFailures();
    void readChunksNotOpen();
    void recorderFileRecords();
    void scanLayouts_data();
    void scanLayouts();
    void hostileFilesEndTheScan_data();
    void hostileFilesEndTheScan();
    void shortBextTakesFollowingBytes();
    void lastOccurrenceWins();
    void ixmlTextDecoding();
    void ixmlBufferUnavailable();
    void documentLifecycle();
    void initVariables();
    void lectureDataBin();
    void listChunks();
    void filesOfOtherWriters();
    void myQFile_data();
    void myQFile();

private:
    QString writeSpec(const QString& name, const RecorderFileSpec& spec)
    {
        const QString path = m_dir.filePath(name);
        QString error;
        if (!RecorderFileWriter::write(path, spec, &error))
            qWarning("%s", qPrintable(error));
        return path;
    }
    QTemporaryDir m_dir;
};

void TestSoundFileRead::splitPathAndFileID_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    QTest::newRow("full path") << "/a/b/c.WAV" << "/a/b/" << "c.WAV";
    QTest::newRow("bare name") << "c.WAV" << "" << "";
    QTest::newRow("trailing slash") << "/a/b/" << "/a/b/" << "";
    QTest::newRow("root file") << "/c.WAV" << "/" << "c.WAV";
    QTest::newRow("percent signs") << "/x%1/%2.WAV" << "/x%1/" << "%2.WAV";
}

void TestSoundFileRead::splitPathAndFileID()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QString f = QStringLiteral("old");
    QString id = QStringLiteral("old");
    QSoundFile::SplitPathAndFileID(path, f, id);
    QCOMPARE(f, folder);
    QCOMPARE(id, file);
}

void TestSoundFileRead::open_data()
{
    QTest::addColumn<QString>("name");       // relative to the test folder; "" = empty path
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");    // %1 folder with "/", %2 file name
    QTest::newRow("read existing") << "AA0001_01.WAV" << 0 << true << "";
    QTest::newRow("read-write existing") << "AA0001_01.WAV" << 2 << true << "";
    QTest::newRow("read missing") << "missing.WAV" << 0 << false << "Unable to open\n%1\n%2\nfor reading !";
    QTest::newRow("write in missing folder") << "nofolder/x.WAV" << 1 << false << "Unable to open\n%1\n%2\nfor writing !";
    QTest::newRow("append in missing folder") << "nofolder/x.WAV" << 2 << false << "Unable to open\n%1\n%2\nfor append !";
    QTest::newRow("percent in the name") << "nofolder/%2%1.WAV" << 0 << false << "Unable to open\n%1\n%2\nfor reading !";
    QTest::newRow("mode 3: no message") << "AA0001_01.WAV" << 3 << false << "";
    QTest::newRow("mode -1: no message") << "AA0001_01.WAV" << -1 << false << "";
    QTest::newRow("empty path: no message") << "" << 0 << false << "";
}

void TestSoundFileRead::open()
{
    QFETCH(QString, name);
    QFETCH(int, mode);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    const QString existing = writeSpec(QStringLiteral("AA0001_01.WAV"), RecorderFileSpec());
    const QByteArray before = testsupport::readAll(existing);
    const QString path = name.isEmpty() ? QString() : m_dir.filePath(name);

    RelayRecorder relay;
    QSoundFile f;
    QVERIFY(f.Open(existing, 0));   // m_sPath keeps this when the next Open fails
    f.m_nNbUnknownChunk = 5;
    QCOMPARE(f.Open(path, mode), ok);
    QCOMPARE(f.m_nNbUnknownChunk, 0);
    // Bad arguments return before touching the file already open.
    QCOMPARE(f.IsOpen(), ok || message.isEmpty());
    QCOMPARE(f.m_sPath, ok ? path : existing);
    if (message.isEmpty()) {
        QCOMPARE(relay.count(), 0);
    } else {
        QCOMPARE(relay.count(), 1);
        QCOMPARE(relay.title(), QStringLiteral("QSoundFile::Open()"));
        const int slash = path.lastIndexOf(QLatin1Char('/'));
        QCOMPARE(relay.text(), message.arg(path.left(slash + 1), path.mid(slash + 1)));
        QCOMPARE(relay.args(), QStringLiteral("0,1,true,0"));
    }
    f.Close();
    QCOMPARE(testsupport::readAll(existing), before);   // read-write open changes nothing
}

void TestSoundFileRead::openRefusedByDisk()
{
    const QString path = writeSpec(QStringLiteral("AA0001_01.WAV"), RecorderFileSpec());
    RefuseWrites refuse;
    FileWriteSeam::setInjector(&refuse);
    RelayRecorder relay;
    QSoundFile f;
    const bool opened = f.Open(path, 2);
    FileWriteSeam::setInjector(nullptr);
    QVERIFY(!opened);
    QCOMPARE(relay.count(), 1);
    QCOMPARE(relay.text(), QStringLiteral("Unable to open\n%1/\nAA0001_01.WAV\nfor append !").arg(m_dir.path()));
    QVERIFY(f.Open(path, 0));   // reading is never refused
}

void TestSoundFileRead::close()
{
    QSoundFile f;
    QVERIFY(!f.Close());
    QVERIFY(f.Open(writeSpec(QStringLiteral("a.WAV"), RecorderFileSpec()), 0));
    QVERIFY(f.Close());
    QVERIFY(!f.Close());
}

void TestSoundFileRead::readChunksFailures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("bextOptional");
    QTest::addColumn<QString>("ending");      // empty: accepted
    RecorderFileSpec spec;
    QTest::newRow("zero-length") << QByteArray() << false << "is empty !";
    spec.riffId = "RIFX";
    QTest::newRow("RIFX") << RecorderFileWriter::build(spec) << false << "is not a sound file !";
    spec.riffId = "RF64";
    QTest::newRow("RF64") << RecorderFileWriter::build(spec) << false << "is not a sound file !";
    QTest::newRow("two bytes") << QByteArray("RI") << false << "is not a sound file !";
    QTest::newRow("header only") << QByteArray("RIFF\x04\0\0\0WAVE", 12) << false << "hasn't Format Chunk !";
    spec = RecorderFileSpec();
    spec.withFmt = false;
    spec.withData = false;
    QTest::newRow("no fmt, no data: fmt only") << RecorderFileWriter::build(spec) << false << "hasn't Format Chunk !";
    spec = RecorderFileSpec();
    spec.withData = false;
    QTest::newRow("no data") << RecorderFileWriter::build(spec) << false << "hasn't Data Chunk !";
    spec = RecorderFileSpec();
    spec.withBext = false;
    QTest::newRow("no bext") << RecorderFileWriter::build(spec) << false << "hasn't Bext Chunk !";
    QTest::newRow("no bext, optional") << RecorderFileWriter::build(spec) << true << "";
    spec = RecorderFileSpec();
    spec.withBext = false;
    spec.withData = false;
    QTest::newRow("no bext, no data: data only") << RecorderFileWriter::build(spec) << false << "hasn't Data Chunk !";
    QTest::newRow("recorder file") << RecorderFileWriter::build(RecorderFileSpec()) << false << "";
}

void TestSoundFileRead::readChunksFailures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, bextOptional);
    QFETCH(QString, ending);
    const QString path = m_dir.filePath(QStringLiteral("AA%1.WAV").arg(QTest::currentDataTag()).remove(QLatin1Char(':')));
    QVERIFY(writeBytes(path, bytes));
    for (const bool show : {true, false}) {
        RelayRecorder relay;
        QSoundFile f;
        QVERIFY(f.Open(path, 0));
        QCOMPARE(f.ReadChunks(show, bextOptional), ending.isEmpty());
        if (ending.isEmpty() || !show) {
            QCOMPARE(relay.count(), 0);
        } else {
            QCOMPARE(relay.count(), 1);
            QCOMPARE(relay.title(), QStringLiteral("QSoundFile::ReadChunks()"));
            QCOMPARE(relay.text(), QStringLiteral("Path:%1/\nFile:%2\n").arg(m_dir.path(), path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)) + ending);
            QCOMPARE(relay.args(), QStringLiteral("0,1,true,0"));
        }
        if (ending.isEmpty())
            QCOMPARE(f.HasBextChunk(), !bextOptional);
    }
}

void TestSoundFileRead::readChunksNotOpen()
{
    RelayRecorder relay;
    QSoundFile f;
    f.m_sPath = QStringLiteral("/x/y/AA0001_01.WAV");
    QVERIFY(!f.ReadChunks(true, false));
    QCOMPARE(relay.count(), 1);
    QCOMPARE(relay.text(), QStringLiteral("Path:/x/y/\nFile:AA0001_01.WAV\nisn't open !"));
}

void TestSoundFileRead::recorderFileRecords()
{
    RecorderFileSpec spec;
    spec.timeReference = 0x100000010ULL;
    spec.frameRateCode = "29.97";
    spec.frames = 1001;
    QList<RecorderChunkPlace> places;
    const QByteArray bytes = RecorderFileWriter::build(spec, &places);
    const QString path = m_dir.filePath(QStringLiteral("AA0001_01.WAV"));
    QVERIFY(writeBytes(path, bytes));

    QSoundFile f;
    QVERIFY(f.Open(path, 0));
    QVERIFY(f.ReadChunks(true, false));
    QCOMPARE(f.m_nRiffSize, quint32(bytes.size() - 8));
    QCOMPARE(f.m_nPosBext, placeOf(places, "bext") + 8);
    QCOMPARE(f.m_nPosFmt, placeOf(places, "fmt ") + 8);
    QCOMPARE(f.m_nPosFilm, placeOf(places, "film") + 8);
    QCOMPARE(f.m_nPosVelta, placeOf(places, "vlta") + 8);
    QCOMPARE(f.m_nPosData, placeOf(places, "data") + 8);
    QCOMPARE(f.m_nPosOnde, placeOf(places, "ond1") + 8);
    QCOMPARE(f.m_nPosiXML, placeOf(places, "iXML"));   // the header, not the data
    QCOMPARE(f.m_nSizeiXML, 61440u);
    QCOMPARE(f.m_nNbUnknownChunk, 0);
    QVERIFY(!f.m_bTooManyChunks);
    QVERIFY(f.HasFormatChunk() && f.HasDataChunk() && f.HasBextChunk() && f.HasFilmChunk() && f.HasiXMLChunk());

    QCOMPARE(f.GetSampleRate(), 48000u);
    QCOMPARE(f.GetNbChannels(), quint16(1));
    QCOMPARE(f.GetBitsPerSample(), quint16(24));
    QCOMPARE(f.m_tFmtChunk.BlockAlign(), quint16(3));
    QCOMPARE(f.GetDataSize(), 3003u);
    QCOMPARE(f.GetTimeReference(), 0x100000010ULL);
    QCOMPARE(f.m_tFilmChunk.FrameRateCode(), QByteArray("29.97"));
    QCOMPARE(f.m_tFilmChunk.ChunkSize(), 1572u);
    QCOMPARE(f.m_tVeltaChunk.ChunkID(), QByteArray("vlta"));
    QCOMPARE(f.m_tVeltaChunk.ChunkSize(), 64u);
    QCOMPARE(f.m_tOndeChunk.ChunkID(), QByteArray("ond1"));
    QCOMPARE(f.m_tOndeChunk.U32(8), 4800u);
    // The records are the file's bytes, header included.
    QCOMPARE(QByteArray(f.m_tBextChunk.Data(), 866), bytes.mid(int(placeOf(places, "bext")), 866));
    QCOMPARE(QByteArray(f.m_tFilmChunk.Data(), 1580), bytes.mid(int(placeOf(places, "film")), 1580));
    QVERIFY(f.m_siXML.startsWith(QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>")));
    QCOMPARE(f.m_siXML.size(), 61440);   // padding spaces included
}

void TestSoundFileRead::scanLayouts_data()
{
    QTest::addColumn<RecorderFileSpec>("spec");
    QTest::addColumn<int>("unknown");
    QTest::addColumn<bool>("tooMany");
    QTest::addColumn<bool>("hasIxml");
    QTest::addColumn<bool>("ixmlSeen");     // m_nPosiXML set
    QTest::addColumn<QByteArray>("ondeId");

    RecorderFileSpec spec;
    spec.extraBefore = {ExtraChunk{"abcd", "xyz", false, 0}};
    QTest::newRow("odd chunk, no pad byte (recorder)") << spec << 1 << false << true << true << QByteArray("ond1");
    spec.extraBefore = {ExtraChunk{"abcd", "xyz", true, 0}};
    QTest::newRow("odd chunk, pad byte (other writers)") << spec << 1 << false << true << true << QByteArray("ond1");
    spec = RecorderFileSpec();
    spec.extraAfter = unknownChunks(5, true);
    for (ExtraChunk& c : spec.extraAfter)
        c.padOddSize = true;
    spec.ixmlLast = true;
    QTest::newRow("padded odd chunks before the iXML") << spec << 5 << false << true << true << QByteArray("ond1");
    spec = RecorderFileSpec();
    spec.frames = 11;   // 33 data bytes, then the onde chunk without pad
    QTest::newRow("odd data chunk, no pad byte") << spec << 0 << false << true << true << QByteArray("ond1");
    spec = RecorderFileSpec();
    spec.extraAfter = unknownChunks(30);
    QTest::newRow("30 unknown chunks accepted") << spec << 30 << false << true << true << QByteArray("ond1");
    spec.extraAfter = unknownChunks(31);
    QTest::newRow("31st unknown chunk ends the scan") << spec << 31 << true << false << true << QByteArray("ond1");
    spec.ixmlLast = true;
    QTest::newRow("31st unknown chunk: later iXML unseen") << spec << 31 << true << false << false << QByteArray("ond1");
    spec = RecorderFileSpec();
    spec.ixml.channelIndex = 10;
    QTest::newRow("onde of track 10: ondA") << spec << 0 << false << true << true << QByteArray("ondA");
    spec = RecorderFileSpec();
    spec.withOnde = false;
    spec.extraAfter = {ExtraChunk{"ond~", QByteArray(8, '\x01'), false, 0}};
    QTest::newRow("any fourth character after ond") << spec << 0 << false << true << true << QByteArray("ond~");
    spec = RecorderFileSpec();
    spec.formType = "AIFF";
    QTest::newRow("form type not examined") << spec << 0 << false << true << true << QByteArray("ond1");
    spec = RecorderFileSpec();
    spec.withIxml = false;
    QTest::newRow("no iXML") << spec << 0 << false << false << false << QByteArray("ond1");
}

void TestSoundFileRead::scanLayouts()
{
    QFETCH(RecorderFileSpec, spec);
    QFETCH(int, unknown);
    QFETCH(bool, tooMany);
    QFETCH(bool, hasIxml);
    QFETCH(bool, ixmlSeen);
    QFETCH(QByteArray, ondeId);
    QList<RecorderChunkPlace> places;
    const QByteArray bytes = RecorderFileWriter::build(spec, &places);
    const QString path = m_dir.filePath(QStringLiteral("f.WAV"));
    QVERIFY(writeBytes(path, bytes));
    QSoundFile f;
    QVERIFY(f.Open(path, 0));
    QVERIFY(f.ReadChunks(true, false));
    QCOMPARE(f.m_nNbUnknownChunk, unknown);
    QCOMPARE(f.m_bTooManyChunks, tooMany);
    QCOMPARE(f.HasiXMLChunk(), hasIxml);
    QCOMPARE(f.m_nPosiXML != 0, ixmlSeen);
    if (ixmlSeen)
        QCOMPARE(f.m_nPosiXML, placeOf(places, "iXML"));
    QCOMPARE(f.m_nPosBext, placeOf(places, "bext") + 8);
    QCOMPARE(f.m_nPosData, placeOf(places, "data") + 8);
    QCOMPARE(f.m_tOndeChunk.ChunkID(), ondeId);
    QCOMPARE(f.m_nPosOnde, placeOf(places, ondeId) + 8);
    QCOMPARE(f.GetTimeReference(), spec.timeReference);
}

void TestSoundFileRead::hostileFilesEndTheScan_data()
{
    QTest::addColumn<RecorderFileSpec>("spec");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("ixmlChars");     // -1: no iXML seen
    QTest::addColumn<quint32>("ixmlSize");

    RecorderFileSpec spec;
    spec.ixmlLast = true;
    spec.ixmlRaw = "<BWFXML><SCENE>1</SCENE></BWFXML>";
    spec.ixmlDeclaredSize = 0x7FFFFFF0u;
    QTest::newRow("iXML size far past the end") << spec << true << 33 << 0x7FFFFFF0u;
    spec.ixmlDeclaredSize = 0xFFFFFFFFu;
    QTest::newRow("iXML size + 1 overflows 32 bits") << spec << true << 33 << 0xFFFFFFFFu;
    spec = RecorderFileSpec();
    spec.ixmlRaw = "<BWFXML/>";
    spec.ixmlDeclaredSize = 0xFFFFFFF8u;   // position + 8 + size lands on itself
    // The text runs on into the data chunk header ("data", 0x3840) up to its first NUL.
    QTest::newRow("iXML size that would not advance") << spec << false << 15 << 0xFFFFFFF8u;
    spec = RecorderFileSpec();
    spec.extraAfter = {ExtraChunk{"JUNK", "1234", false, 0xFFFFFFFFu}, ExtraChunk{"JUNK", "5678", false, 0}};
    QTest::newRow("size that wraps the position") << spec << true << 61440 << 61440u;
    spec = RecorderFileSpec();
    spec.extraAfter = {ExtraChunk{"JUNK", QByteArray(), false, 0}, ExtraChunk{"JUNK", QByteArray(), false, 0}};
    QTest::newRow("empty chunks") << spec << true << 61440 << 61440u;
    spec = RecorderFileSpec();
    spec.truncateTo = 12 + 8 + 100;
    QTest::newRow("truncated inside bext") << spec << false << -1 << 0u;
    spec = RecorderFileSpec();
    spec.truncateTo = 12 + 866 + 24 + 1580 + 72 + 20;
    QTest::newRow("truncated inside the iXML") << spec << false << 12 << 61440u;
    spec = RecorderFileSpec();
    spec.extraAfter = {ExtraChunk{"tail", "abc", false, 0}};
    spec.truncateTo = RecorderFileWriter::build(spec).size() - 5;   // a partial header at the end
    QTest::newRow("partial header at the end") << spec << true << 61440 << 61440u;
}

void TestSoundFileRead::hostileFilesEndTheScan()
{
    QFETCH(RecorderFileSpec, spec);
    QFETCH(bool, ok);
    QFETCH(int, ixmlChars);
    QFETCH(quint32, ixmlSize);
    const QString path = m_dir.filePath(QStringLiteral("h.WAV"));
    QVERIFY(writeBytes(path, RecorderFileWriter::build(spec)));
    RelayRecorder relay;
    QSoundFile f;
    QVERIFY(f.Open(path, 0));
    QCOMPARE(f.ReadChunks(true, false), ok);
    QCOMPARE(relay.count(), ok ? 0 : 1);
    QCOMPARE(f.m_nPosiXML != 0, ixmlChars >= 0);
    if (ixmlChars >= 0)
        QCOMPARE(f.m_siXML.size(), ixmlChars);
    QCOMPARE(f.m_nSizeiXML, ixmlSize);
}

void TestSoundFileRead::shortBextTakesFollowingBytes()
{
    RecorderFileSpec spec;
    spec.bextDataSize = 300;
    QList<RecorderChunkPlace> places;
    const QByteArray bytes = RecorderFileWriter::build(spec, &places);
    const QString path = m_dir.filePath(QStringLiteral("b.WAV"));
    QVERIFY(writeBytes(path, bytes));
    QSoundFile f;
    QVERIFY(f.Open(path, 0));
    QVERIFY(f.ReadChunks(true, false));
    // The record is always 866 bytes: past the 300 data bytes come the fmt
    // chunk and what follows it.
    QCOMPARE(QByteArray(f.m_tBextChunk.Data(), 866), bytes.mid(12, 866));
    QCOMPARE(QByteArray(f.m_tBextChunk.Data() + 308, 4), QByteArray("fmt "));
    QCOMPARE(f.m_tBextChunk.ChunkSize(), 300u);
    QCOMPARE(f.m_nPosFmt, 12u + 308 + 8);
    QCOMPARE(f.GetSampleRate(), 48000u);
}

void TestSoundFileRead::lastOccurrenceWins()
{
    RecorderFileSpec other;
    other.timeReference = 777;
    other.frameRateCode = "24.00";
    other.sampleRate = 96000;
    QList<RecorderChunkPlace> otherPlaces;
    const QByteArray otherBytes = RecorderFileWriter::build(other, &otherPlaces);
    auto body = [&](const QByteArray& id, quint32 size) {
        return otherBytes.mid(int(placeOf(otherPlaces, id)) + 8, int(size));
    };

    RecorderFileSpec spec;
    spec.timeReference = 5;
    spec.ixmlRaw = "<BWFXML><SCENE>first</SCENE></BWFXML>";
    spec.extraAfter = {ExtraChunk{"bext", body("bext", 858), false, 0}, ExtraChunk{"fmt ", body("fmt ", 16), false, 0},
                       ExtraChunk{"film", body("film", 1572), false, 0},
                       ExtraChunk{"iXML", "<BWFXML><SCENE>second</SCENE></BWFXML>", false, 0}};
    QList<RecorderChunkPlace> places;
    const QString path = m_dir.filePath(QStringLiteral("two.WAV"));
    QVERIFY(writeBytes(path, RecorderFileWriter::build(spec, &places)));
    QSoundFile f;
    QVERIFY(f.Open(path, 0));
    QVERIFY(f.ReadChunks(true, false));
    QCOMPARE(f.GetTimeReference(), 777ULL);
    QCOMPARE(f.GetSampleRate(), 96000u);
    QCOMPARE(f.m_tFilmChunk.FrameRateCode(), QByteArray("24.00"));
    QCOMPARE(f.m_nPosBext, placeOf(places, "bext", 1) + 8);
    QCOMPARE(f.m_nPosiXML, placeOf(places, "iXML", 1));
    QCOMPARE(f.m_siXML, QStringLiteral("<BWFXML><SCENE>second</SCENE></BWFXML>"));
}

void TestSoundFileRead::ixmlTextDecoding()
{
    RecorderFileSpec spec;
    static const char text[] = "<BWFXML><SCENE>\xC3\x89t\xC3\xA9</SCENE></BWFXML>\0trailing";
    spec.ixmlRaw = QByteArray(text, int(sizeof(text)) - 1);
    const QString path = writeSpec(QStringLiteral("u.WAV"), spec);
    QSoundFile f;
    QVERIFY(f.Open(path, 0));
    QVERIFY(f.ReadChunks(true, false));
    QCOMPARE(f.m_siXML, QStringLiteral("<BWFXML><SCENE>Été</SCENE></BWFXML>"));   // UTF-8, up to the NUL
    QCOMPARE(f.m_nSizeiXML, 46u);
}

void TestSoundFileRead::ixmlBufferUnavailable()
{
    const QString path = writeSpec(QStringLiteral("big.WAV"), RecorderFileSpec());
    QSoundFile::SetIxmlReadLimitForTests(1000);
    RelayRecorder relay;
    QSoundFile f;
    f.m_siXML = QStringLiteral("previous");
    QVERIFY(f.Open(path, 0));
    const bool ok = f.ReadChunks(false, false);   // reported whatever bShowMessage says
    QSoundFile::SetIxmlReadLimitForTests(0);
    QVERIFY(ok);
    QCOMPARE(relay.count(), 1);
    QCOMPARE(relay.title(), QStringLiteral("QSoundFile::ReadChunks()"));
    QCOMPARE(relay.text(), QStringLiteral("pciXML = malloc() return NULL !\n"));
    QCOMPARE(f.m_siXML, QStringLiteral("previous"));
    QVERIFY(f.m_nPosiXML != 0);
    QCOMPARE(f.m_nSizeiXML, 61440u);
}

void TestSoundFileRead::documentLifecycle()
{
    const QString with = writeSpec(QStringLiteral("with.WAV"), RecorderFileSpec());
    RecorderFileSpec none;
    none.withIxml = false;
    const QString without = writeSpec(QStringLiteral("without.WAV"), none);

    QSoundFile f;
    QVERIFY(f.Open(with, 0));
    QVERIFY(f.ReadChunks(true, false));
    QVERIFY(f.GetiXMLFileInfos());
    QVERIFY(f.m_XmlObject.XmlOk());
    f.Close();
    f.InitVariables();
    QVERIFY(f.m_XmlObject.XmlOk());           // survives re-initialisation
    QVERIFY(f.Open(without, 0));
    QVERIFY(f.ReadChunks(true, false));
    QVERIFY(f.m_XmlObject.XmlOk());           // no iXML chunk: left as it was
    f.Close();
    f.InitVariables();
    QVERIFY(f.Open(with, 0));
    QVERIFY(f.ReadChunks(true, false));
    QVERIFY(!f.m_XmlObject.XmlOk());          // a new iXML chunk discards it
}

void TestSoundFileRead::initVariables()
{
    const QString path = writeSpec(QStringLiteral("i.WAV"), RecorderFileSpec());
    QSoundFile f;
    QVERIFY(f.Open(path, 0));
    QVERIFY(f.ReadChunks(true, false));
    f.m_sXmlError = QStringLiteral("kept");
    f.m_nXmlErrorLine = 7;
    f.m_nXmlErrorColumn = 9;
    f.m_bTooManyChunks = true;
    f.m_nNbUnknownChunk = 3;
    f.InitVariables();
    QVERIFY(f.IsOpen());   // the file is not closed
    QVERIFY(f.m_sPath.isEmpty() && f.m_siXML.isEmpty());
    QCOMPARE(f.m_nPosiXML + f.m_nPosFmt + f.m_nPosBext + f.m_nPosOnde + f.m_nPosFilm + f.m_nPosVelta + f.m_nPosData, 0u);
    QCOMPARE(f.m_nRiffSize + f.m_nSizeiXML, 0u);
    QCOMPARE(f.m_nNbUnknownChunk, 0);
    QVERIFY(!f.m_bTooManyChunks);
    QCOMPARE(f.m_nXmlErrorLine, 1);
    QCOMPARE(f.m_nXmlErrorColumn, 1);
    QCOMPARE(f.m_sXmlError, QStringLiteral("kept"));
    QVERIFY(!f.HasFormatChunk() && !f.HasDataChunk() && !f.HasBextChunk() && !f.HasFilmChunk());
    QVERIFY(!f.m_tOndeChunk.IsPresent() && !f.m_tVeltaChunk.IsPresent());
    QCOMPARE(QByteArray(f.m_tBextChunk.Data(), 866), QByteArray(866, '\0'));
}

void TestSoundFileRead::lectureDataBin()
{
    RecorderFileSpec spec;
    spec.bitsPerSample = 16;
    spec.audioSeed = 42;
    const QString path = writeSpec(QStringLiteral("d.WAV"), spec);
    QSoundFile f;
    QVERIFY(f.Open(path, 0));
    QVERIFY(f.ReadChunks(true, false));
    char buffer[20] = {};
    QCOMPARE(f.LectureDataBin(buffer, f.m_nPosData, 10), qint64(10));
    QCOMPARE(f.LectureDataBin(buffer + 10, -1, 10), qint64(10));   // -1 continues where the last read ended
    for (int i = 0; i < 10; ++i) {
        const qint16 v = qFromLittleEndian<qint16>(reinterpret_cast<const uchar*>(buffer + 2 * i));
        QCOMPARE(qint32(v), RecorderFileSpec::sampleValue(42, quint32(i), 0, 16));
    }
    const qint64 end = QFileInfo(path).size();
    QCOMPARE(f.LectureDataBin(buffer, end - 4, 20), qint64(4));
    QCOMPARE(f.LectureDataBin(nullptr, 0, 4), qint64(-1));
}

void TestSoundFileRead::listChunks()
{
    RecorderFileSpec spec;
    spec.extraBefore = {ExtraChunk{"JUNK", "odd", true, 0}};
    spec.extraAfter = unknownChunks(40);
    QList<RecorderChunkPlace> places;
    const QByteArray bytes = RecorderFileWriter::build(spec, &places);
    const QString path = m_dir.filePath(QStringLiteral("l.WAV"));
    QVERIFY(writeBytes(path, bytes));
    QList<tyChunkEntry> chunks;
    quint32 riff = 0;
    QVERIFY(QSoundFile::ListChunks(path, chunks, &riff));
    QCOMPARE(riff, quint32(bytes.size() - 8));
    QCOMPARE(chunks.size(), places.size());   // not limited to 30 unknown chunks
    for (int i = 0; i < places.size(); ++i) {
        QCOMPARE(chunks.at(i).id, places.at(i).id);
        QCOMPARE(chunks.at(i).offset, places.at(i).offset);
        QCOMPARE(chunks.at(i).size, places.at(i).size);
    }
    QVERIFY(writeBytes(path, "RIFX"));
    QVERIFY(!QSoundFile::ListChunks(path, chunks, &riff));
    QVERIFY(!QSoundFile::ListChunks(m_dir.filePath(QStringLiteral("none")), chunks, &riff));
    QVERIFY(chunks.isEmpty());
}

void TestSoundFileRead::filesOfOtherWriters()
{
    // ffmpeg writes an extensible fmt (40 bytes), a 602-byte bext without
    // coding history and a LIST chunk before an odd-sized data chunk.
    if (!testsupport::haveTool(QStringLiteral("ffmpeg")) || !testsupport::haveTool(QStringLiteral("sox")))
        QSKIP("ffmpeg or sox is not installed");
    const QString ff = m_dir.filePath(QStringLiteral("ff.wav"));
    testsupport::ProcessResult r = testsupport::run(
        QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-f", "lavfi", "-i", "anullsrc=r=48000:cl=mono", "-af",
                                   "atrim=end_sample=481", "-c:a", "pcm_s24le", "-write_bext", "1", "-metadata",
                                   "time_reference=172800123", "-metadata", "originator=FFTEST", ff});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QSoundFile f;
    QVERIFY(f.Open(ff, 0));
    QVERIFY(f.ReadChunks(true, false));
    QCOMPARE(f.GetSampleRate(), 48000u);
    QCOMPARE(f.GetBitsPerSample(), quint16(24));
    QCOMPARE(f.GetNbTotalSample(), 481u);
    QCOMPARE(f.GetTimeReference(), 172800123ULL);
    QCOMPARE(f.GetCreator(), QStringLiteral("FFTEST"));
    QCOMPARE(f.m_tBextChunk.ChunkSize(), 602u);
    QVERIFY(!f.HasiXMLChunk());

    const QString sx = m_dir.filePath(QStringLiteral("sx.wav"));
    r = testsupport::run(QStringLiteral("sox"), {"-n", "-r", "44100", "-b", "16", "-c", "2", sx, "trim", "0", "0.1"});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QSoundFile g;
    QVERIFY(g.Open(sx, 0));
    QVERIFY(g.ReadChunks(true, true));
    QVERIFY(!g.HasBextChunk());
    QCOMPARE(g.GetSampling(), QStringLiteral("44100Hz/16bits"));
    QCOMPARE(g.GetNbChannels(), quint16(2));
    QCOMPARE(g.GetNbTotalSample(), 4410u);
}

void TestSoundFileRead::myQFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("ok");
    QTest::newRow("read-only") << "e.WAV" << 1 << true;
    QTest::newRow("write-only") << "e.WAV" << 2 << true;
    QTest::newRow("read-write") << "e.WAV" << 3 << true;
    QTest::newRow("mode 0") << "e.WAV" << 0 << false;
    QTest::newRow("mode 4") << "e.WAV" << 4 << false;
    QTest::newRow("missing, no create") << "missing.WAV" << 3 << false;
    QTest::newRow("non-ASCII name") << "Été_01.WAV" << 1 << true;
}

void TestSoundFileRead::myQFile()
{
    QFETCH(QString, name);
    QFETCH(int, mode);
    QFETCH(bool, ok);
    QVERIFY(writeBytes(m_dir.filePath(QStringLiteral("e.WAV")), "RIFF"));
    QVERIFY(writeBytes(m_dir.filePath(QStringLiteral("Été_01.WAV")), "RIFF"));
    MyQFile f;
    QVERIFY(!f.close());
    QCOMPARE(f.handle(), -1);
    f.setFileName(m_dir.filePath(name));
    QCOMPARE(f.open(mode), ok);
    QCOMPARE(f.handle() >= 0, ok);
    QCOMPARE(f.close(), ok);
    QCOMPARE(f.handle(), -1);
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("missing.WAV"))));
    QCOMPARE(testsupport::readAll(m_dir.filePath(QStringLiteral("e.WAV"))), QByteArray("RIFF"));   // never truncated
}

QTEST_MAIN(TestSoundFileRead)
#include "tst_soundfile_read.moc"
