// SPDX-License-Identifier: GPL-3.0-or-later
// In-place iXML changes and the two chunk writers, checked on the bytes of the
// file, with our reader and with readers we did not write (ffprobe, sox).
#include "FileWriteSeam.h"
#include "MessageLoging.h"
#include "QSoundFile.h"
#include "RecorderFileWriter.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtEndian>
#include <QtTest>

using testsupport::haveTool;
using testsupport::readAll;
using testsupport::run;

namespace {

quint32 u32At(const QByteArray& bytes, qint64 offset)
{
    if (offset < 0 || offset + 4 > bytes.size())
        return 0xDEADBEEF;
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(bytes.constData() + offset));
}

// A valid iXML document of exactly `bytes` bytes: its NOTE is `fill` repeated,
// then spaces pad it (spaces only when `padWithSpaces`).
QString documentOfSize(int bytes, const QString& note, bool padWithSpaces)
{
    const QString head = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML><NOTE>");
    const QString tail = QStringLiteral("</NOTE></BWFXML>\n");
    QString text = head + note;
    const int fixed = (head + tail).toUtf8().size() + note.toUtf8().size();
    if (padWithSpaces)
        return text + tail + QString(bytes - fixed, QLatin1Char(' '));
    return text + QString(bytes - fixed, QLatin1Char('x')) + tail;
}

quint32 placeOf(const QList<RecorderChunkPlace>& places, const QByteArray& id)
{
    for (const RecorderChunkPlace& p : places)
        if (p.id == id)
            return p.offset;
    return 0;
}

// Accepts writes according to a script: entry i is the number of bytes the
// i-th write may store (-2 = all of it).
class ScriptedDisk : public FileWriteSeam::Injector
{
public:
    explicit ScriptedDisk(QList<qint64> script) : m_Script(std::move(script)) {}
    qint64 acceptWrite(const QString& path, qint64 requested) override
    {
        Q_UNUSED(path);
        const int call = m_nCalls++;
        if (call < m_Script.size() && m_Script.at(call) != -2)
            return qMin(requested, m_Script.at(call));
        return requested;
    }
    int calls() const { return m_nCalls; }

private:
    QList<qint64> m_Script;
    int m_nCalls = 0;
};

struct InjectorScope
{
    explicit InjectorScope(FileWriteSeam::Injector* i) { FileWriteSeam::setInjector(i); }
    ~InjectorScope() { FileWriteSeam::setInjector(nullptr); }
};

} // namespace

class TestIxmlUpdate : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Dir;
    MessageLoging* m_pLogger = nullptr;
    int m_nFile = 0;

    QString write(const RecorderFileSpec& spec, QList<RecorderChunkPlace>* places = nullptr,
                  const QString& name = QString())
    {
        const QString path = m_Dir.filePath(name.isEmpty() ? QStringLiteral("AA%1_01.WAV").arg(++m_nFile, 4, 10, QLatin1Char('0')) : name);
        QString error;
        if (!RecorderFileWriter::write(path, spec, &error))
            qWarning("fixture: %s", qPrintable(error));
        if (places)
            RecorderFileWriter::build(spec, places);
        return path;
    }

    static bool openRW(QSoundFile& sf, const QString& path)
    {
        sf.InitVariables();
        return sf.Open(path, 2) && sf.ReadChunks(true, false);
    }

    static RecorderFileSpec tailSpec()
    {
        // iXML before data (as the recorder writes it), then data, onde and a
        // chunk of our own whose bytes must survive every rewrite.
        RecorderFileSpec spec;
        spec.frames = 4800;
        ExtraChunk tail;
        tail.id = "tail";
        for (int i = 0; i < 1000; ++i)
            tail.body.append(char(i * 7 + 3));
        spec.extraAfter << tail;
        return spec;
    }

    // ffprobe and sox read the file and find the samples we wrote.
    void checkWithOtherReaders(const QString& path, quint32 frames, const QByteArray& expectedPcm)
    {
        if (haveTool(QStringLiteral("ffprobe"))) {
            const auto r = run(QStringLiteral("ffprobe"),
                               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                QStringLiteral("stream=sample_rate,channels,duration_ts"), QStringLiteral("-of"),
                                QStringLiteral("default=noprint_wrappers=1"), path});
            QCOMPARE(r.exitCode, 0);
            QVERIFY2(r.err.trimmed().isEmpty(), r.err.constData());
            QVERIFY2(r.out.contains("sample_rate=48000"), r.out.constData());
            QVERIFY2(r.out.contains("duration_ts=" + QByteArray::number(frames)), r.out.constData());
        } else {
            qWarning("ffprobe not installed: not checked");
        }
        if (haveTool(QStringLiteral("sox"))) {
            const auto count = run(QStringLiteral("sox"), {QStringLiteral("--i"), QStringLiteral("-s"), path});
            QCOMPARE(count.exitCode, 0);
            QCOMPARE(count.out.trimmed(), QByteArray::number(frames));
            const auto pcm = run(QStringLiteral("sox"), {path, QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-")});
            QCOMPARE(pcm.exitCode, 0);
            QVERIFY(pcm.out == expectedPcm);
        } else {
            qWarning("sox not installed: not checked");
        }
    }

    static QByteArray pcmOf(const QByteArray& file, const QList<RecorderChunkPlace>& places)
    {
        for (const RecorderChunkPlace& p : places)
            if (p.id == "data")
                return file.mid(int(p.offset) + 8, int(p.size));
        return QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_Dir.isValid());
        m_pLogger = new MessageLoging(this);
        global_pLogger = m_pLogger;
    }
    void cleanupTestCase() { global_pLogger = nullptr; }
    void cleanup() { QSoundFile::SetWriterBufferLimitForTests(0); }

    // ---- AddiXMLChunk: the three size cases and the chunk-followed case ----

    void appendsWhenTheFileHasNoChunk()
    {
        RecorderFileSpec spec;
        spec.withIxml = false;
        const int base = RecorderFileWriter::build(spec).size();
        ExtraChunk fill;
        fill.id = "fill";
        fill.body = QByteArray(100000 + 8 - base - 8, '\x5a');
        spec.extraAfter << fill;
        QList<RecorderChunkPlace> places;
        const QString path = write(spec, &places);
        const QByteArray before = readAll(path);
        QCOMPARE(u32At(before, 4), 100000u);

        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        QVERIFY(!sf.HasiXMLChunk());
        QString text = documentOfSize(61440, QStringLiteral("appended"), true);
        QVERIFY(sf.AddiXMLChunk(text));
        QCOMPARE(sf.m_nPosiXML, 100008u);
        QCOMPARE(sf.m_nSizeiXML, 61440u);
        QCOMPARE(sf.m_nRiffSize, 161448u);
        sf.Close();

        const QByteArray after = readAll(path);
        QCOMPARE(after.size(), 161456);
        QCOMPARE(u32At(after, 4), 161448u);
        QVERIFY(after.left(4) == before.left(4));
        QVERIFY(after.mid(8, 100000) == before.mid(8, 100000));
        QCOMPARE(after.mid(100008, 4), QByteArray("iXML"));
        QCOMPARE(u32At(after, 100012), 61440u);
        QVERIFY(after.mid(100016) == text.toUtf8());

        QSoundFile reader;
        QVERIFY(openRW(reader, path));
        QVERIFY(reader.HasiXMLChunk());
        QCOMPARE(reader.m_nPosiXML, 100008u);
        QVERIFY(reader.GetiXMLFileInfos());
        QCOMPARE(reader.GetiXMLNotes(), QStringLiteral("appended"));
        reader.Close();
        checkWithOtherReaders(path, spec.frames, pcmOf(before, places));
    }

    void shorterTextIsPaddedInPlace()
    {
        QList<RecorderChunkPlace> places;
        const RecorderFileSpec spec = tailSpec();
        const QString path = write(spec, &places);
        const QByteArray before = readAll(path);
        const quint32 at = placeOf(places, "iXML");
        QCOMPARE(u32At(before, at + 4), 61440u);

        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        QCOMPARE(sf.m_nPosiXML, at);
        QString text = documentOfSize(2000, QStringLiteral("short"), false);
        QCOMPARE(text.toUtf8().size(), 2000);
        QVERIFY(sf.AddiXMLChunk(text));
        QCOMPARE(sf.m_nPosiXML, at);
        QCOMPARE(sf.m_nSizeiXML, 61440u);
        QCOMPARE(sf.m_nRiffSize, u32At(before, 4));
        sf.Close();

        const QByteArray after = readAll(path);
        QCOMPARE(after.size(), before.size());
        QVERIFY(after.left(int(at) + 8) == before.left(int(at) + 8));
        QVERIFY(after.mid(int(at) + 8, 2000) == text.toUtf8());
        QVERIFY(after.mid(int(at) + 8 + 2000, 59440) == QByteArray(59440, ' '));
        QVERIFY(after.mid(int(at) + 8 + 61440) == before.mid(int(at) + 8 + 61440));

        QSoundFile reader;
        QVERIFY(openRW(reader, path));
        QVERIFY(reader.GetiXMLFileInfos());
        QVERIFY(reader.GetiXMLNotes().startsWith(QStringLiteral("shortxxx")));
    }

    void longerTextGrowsALastChunkInPlace()
    {
        RecorderFileSpec spec = tailSpec();
        spec.ixmlLast = true;
        QList<RecorderChunkPlace> places;
        const QString path = write(spec, &places);
        const QByteArray before = readAll(path);
        const quint32 at = placeOf(places, "iXML");
        QCOMPARE(qint64(at) + 8 + 61440, qint64(before.size()));

        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        QString text = documentOfSize(70000, QStringLiteral("long"), false);
        QVERIFY(sf.AddiXMLChunk(text));
        QCOMPARE(sf.m_nPosiXML, at);
        QCOMPARE(sf.m_nSizeiXML, 70000u);
        QCOMPARE(sf.m_nRiffSize, u32At(before, 4) + 8560u);
        sf.Close();

        const QByteArray after = readAll(path);
        QCOMPARE(after.size(), before.size() + 8560);
        QCOMPARE(u32At(after, 4), u32At(before, 4) + 8560u);
        QVERIFY(after.mid(8, int(at) - 8) == before.mid(8, int(at) - 8));
        QCOMPARE(after.mid(int(at), 4), QByteArray("iXML"));
        QCOMPARE(u32At(after, at + 4), 70000u);
        QVERIFY(after.mid(int(at) + 8) == text.toUtf8());
        checkWithOtherReaders(path, spec.frames, pcmOf(before, places));
    }

    void longerTextNeverRunsIntoTheNextChunk()
    {
        const RecorderFileSpec spec = tailSpec();
        QList<RecorderChunkPlace> places;
        const QString path = write(spec, &places);
        const QByteArray before = readAll(path);
        const quint32 at = placeOf(places, "iXML");
        const quint32 riff = u32At(before, 4);
        QVERIFY(placeOf(places, "data") > at);   // chunks follow the iXML chunk

        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        QString text = documentOfSize(70000, QStringLiteral("moved"), false);
        QVERIFY(sf.AddiXMLChunk(text));
        QCOMPARE(sf.m_nPosiXML, riff + 8);
        QCOMPARE(sf.m_nSizeiXML, 70000u);
        QCOMPARE(sf.m_nRiffSize, riff + 8 + 70000);

        QByteArray after = readAll(path);
        QCOMPARE(after.size(), before.size() + 70008);
        QCOMPARE(u32At(after, 4), riff + 70008);
        // The old chunk is filler of the same size; nothing else moved or changed.
        QCOMPARE(after.mid(int(at), 4), QByteArray("JUNK"));
        QCOMPARE(u32At(after, at + 4), 61440u);
        QVERIFY(after.mid(8, int(at) - 8) == before.mid(8, int(at) - 8));
        QVERIFY(after.mid(int(at) + 4, before.size() - int(at) - 4) == before.mid(int(at) + 4));
        QCOMPARE(after.mid(int(riff) + 8, 4), QByteArray("iXML"));
        QVERIFY(after.mid(int(riff) + 16) == text.toUtf8());

        // Now the last chunk: a longer text grows it where it is, a shorter
        // one is padded; no second filler chunk appears.
        QString longer = documentOfSize(70100, QStringLiteral("again"), false);
        QVERIFY(sf.AddiXMLChunk(longer));
        QCOMPARE(sf.m_nPosiXML, riff + 8);
        QCOMPARE(sf.m_nRiffSize, riff + 8 + 70100);
        QString shorter = documentOfSize(3000, QStringLiteral("third"), true);
        QVERIFY(sf.AddiXMLChunk(shorter));
        QCOMPARE(sf.m_nSizeiXML, 70100u);
        sf.Close();
        after = readAll(path);
        QCOMPARE(after.size(), before.size() + 70108);
        QCOMPARE(after.count("JUNK"), 1);

        QSoundFile reader;
        QVERIFY(openRW(reader, path));
        QCOMPARE(reader.m_nPosiXML, riff + 8);
        QCOMPARE(reader.m_nSizeiXML, 70100u);
        QVERIFY(reader.GetiXMLFileInfos());
        QCOMPARE(reader.GetiXMLNotes(), QStringLiteral("third"));
        QCOMPARE(reader.GetNbTotalSample(), spec.frames);
        reader.Close();
        checkWithOtherReaders(path, spec.frames, pcmOf(before, places));
    }

    void paddingSpacesGiveWayToMultiByteCharacters()
    {
        QList<RecorderChunkPlace> places;
        const QString path = write(tailSpec(), &places);
        const QByteArray before = readAll(path);
        const quint32 at = placeOf(places, "iXML");
        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        // 61440 characters as the callers pad them, more bytes in UTF-8.
        QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML><NOTE>\u00C9l\u00E9onore \u00E0 l'\u00E9cran</NOTE></BWFXML>\n");
        text += QString(61440 - text.size(), QLatin1Char(' '));
        QVERIFY(text.toUtf8().size() > 61440);
        QVERIFY(sf.AddiXMLChunk(text));
        QCOMPARE(sf.m_nPosiXML, at);
        QCOMPARE(sf.m_nSizeiXML, 61440u);
        sf.Close();
        const QByteArray after = readAll(path);
        QCOMPARE(after.size(), before.size());
        QVERIFY(!after.contains("JUNK"));
        QSoundFile reader;
        QVERIFY(openRW(reader, path));
        QVERIFY(reader.GetiXMLFileInfos());
        QCOMPARE(reader.GetiXMLNotes(), QStringLiteral("\u00C9l\u00E9onore \u00E0 l'\u00E9cran"));
    }

    void refusalsWriteNothing_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::newRow("file not open") << 0 << QString() << QString();
        QTest::newRow("RIFF size 0") << 1 << "QSoundFile::AddiXMLChunk()" << "Error bad RIFF size detected (RIFF size == 0)";
        QTest::newRow("no buffer, in place") << 2 << "QSoundFile::AddiXMLChunk()" << "Unable to allocate pBufferWithSpaces!";
        QTest::newRow("no buffer, moved") << 3 << "QSoundFile::AddiXMLChunk()" << "Unable to allocate pBufferWithSpaces!";
        QTest::newRow("stale chunk position") << 4 << "QSoundFile::AddiXMLChunk()" << "";
    }
    void refusalsWriteNothing()
    {
        QFETCH(int, kind);
        QFETCH(QString, title);
        QFETCH(QString, message);
        RecorderFileSpec spec = tailSpec();
        if (kind == 1)
            spec.riffSizeOverride = 0;
        QList<RecorderChunkPlace> places;
        const QString path = write(spec, &places);
        const QByteArray before = readAll(path);
        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        if (kind == 0)
            sf.Close();
        if (kind == 2 || kind == 3)
            QSoundFile::SetWriterBufferLimitForTests(1024);
        if (kind == 4)
            sf.m_nPosiXML = placeOf(places, "data");
        QSignalSpy spy(m_pLogger, &MessageLoging::signal_message);
        QString text = documentOfSize(kind == 3 ? 70000 : 2000, QStringLiteral("no"), false);
        const quint32 riff = sf.m_nRiffSize;
        QVERIFY(!sf.AddiXMLChunk(text));
        QCOMPARE(sf.m_nRiffSize, riff);
        sf.Close();
        QVERIFY(readAll(path) == before);
        if (title.isEmpty()) {
            QCOMPARE(spy.count(), 0);
            return;
        }
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), title);
        if (!message.isEmpty())
            QCOMPARE(spy.at(0).at(1).toString(), message);
        else
            QVERIFY(spy.at(0).at(1).toString().contains(path));
    }

    // A chunk size past the end of the file: the chunk is necessarily the
    // last; it is rewritten where it is, over the bytes it really holds.
    void chunkSizePastTheEndIsRepaired()
    {
        RecorderFileSpec spec = tailSpec();
        spec.ixmlLast = true;
        spec.ixmlDeclaredSize = 10000000;
        QList<RecorderChunkPlace> places;
        const QString path = write(spec, &places);
        const QByteArray before = readAll(path);
        const quint32 at = placeOf(places, "iXML");

        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        QCOMPARE(sf.m_nSizeiXML, 10000000u);
        QString text = documentOfSize(2000, QStringLiteral("repaired"), true);
        QVERIFY(sf.AddiXMLChunk(text));
        QCOMPARE(sf.m_nPosiXML, at);
        QCOMPARE(sf.m_nSizeiXML, 61440u);
        QCOMPARE(sf.m_nRiffSize, at + 61440u);
        sf.Close();

        const QByteArray after = readAll(path);
        QCOMPARE(after.size(), before.size());
        QCOMPARE(u32At(after, 4), quint32(after.size() - 8));
        QCOMPARE(u32At(after, at + 4), 61440u);
        QVERIFY(after.left(int(at)).mid(8) == before.left(int(at)).mid(8));
        QSoundFile reader;
        QVERIFY(openRW(reader, path));
        QVERIFY(reader.GetiXMLFileInfos());
        QCOMPARE(reader.GetiXMLNotes(), QStringLiteral("repaired"));
        reader.Close();
        checkWithOtherReaders(path, spec.frames, pcmOf(before, places));
    }

    // A RIFF size beyond the end of the file: appending there would leave a
    // hole of any size; nothing is written.
    void riffSizePastTheEndIsRefused()
    {
        RecorderFileSpec spec;
        spec.withIxml = false;
        spec.withOnde = false;
        spec.riffSizeOverride = RecorderFileWriter::build(spec).size() - 8 + 50000000;
        const QString path = write(spec);
        const QByteArray before = readAll(path);
        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        QSignalSpy spy(m_pLogger, &MessageLoging::signal_message);
        QString text = documentOfSize(61440, QStringLiteral("x"), true);
        QVERIFY(!sf.AddiXMLChunk(text));
        const char peaks[8] = {};
        QVERIFY(!sf.AddOndeChunk(peaks, 8, 0, 4800));
        sf.Close();
        QVERIFY(readAll(path) == before);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("QSoundFile::AddiXMLChunk()"));
        QCOMPARE(spy.at(1).at(0).toString(), QStringLiteral("QSoundFile::AddOndChunk()"));
        QVERIFY(spy.at(0).at(1).toString().contains(path));
    }

    // ---- a disk that stores fewer bytes than asked ----

    void shortWritesAreReported_data()
    {
        QTest::addColumn<int>("layout");          // 0 no chunk, 1 chunk followed, 2 pad in place, 3 last chunk grows, 4 no chunk and bytes past the RIFF end
        QTest::addColumn<QList<qint64>>("script");
        QTest::addColumn<bool>("newTextRead");    // our reader then reads the new text (else the old one or none)
        QTest::newRow("append: chunk cut short") << 0 << QList<qint64>{1000} << false;
        QTest::newRow("append: disk full at once") << 0 << QList<qint64>{0} << false;
        QTest::newRow("append over bytes past the RIFF end: restored") << 4 << QList<qint64>{900} << false;
        QTest::newRow("move: new chunk cut short") << 1 << QList<qint64>{5000} << false;
        QTest::newRow("move: RIFF size not stored") << 1 << QList<qint64>{-2, 0} << false;
        QTest::newRow("move: RIFF size half stored, restored") << 1 << QList<qint64>{-2, 2} << false;
        QTest::newRow("move: old chunk not retired") << 1 << QList<qint64>{-2, -2, 0} << true;
        QTest::newRow("in place: cut short, old text restored") << 2 << QList<qint64>{100} << false;
        QTest::newRow("last chunk grows: cut short, restored") << 3 << QList<qint64>{30000} << false;
    }
    void shortWritesAreReported()
    {
        QFETCH(int, layout);
        QFETCH(QList<qint64>, script);
        QFETCH(bool, newTextRead);

        RecorderFileSpec spec = tailSpec();
        spec.withIxml = layout != 0 && layout != 4;
        spec.ixmlLast = layout == 3;
        if (layout == 4)   // the tail chunk lies past the RIFF size
            spec.riffSizeOverride = RecorderFileWriter::build(spec).size() - 8 - 1008;
        spec.ixml.note = QStringLiteral("old note");
        QList<RecorderChunkPlace> places;
        const QString path = write(spec, &places);
        const QByteArray before = readAll(path);
        const quint32 riff = u32At(before, 4);
        if (layout == 4)
            QVERIFY(qint64(riff) + 8 < before.size());

        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        const quint32 posBefore = sf.m_nPosiXML;
        const quint32 sizeBefore = sf.m_nSizeiXML;
        QString text = documentOfSize(layout == 2 ? 2000 : 70000, QStringLiteral("new note"), false);

        QSignalSpy spy(m_pLogger, &MessageLoging::signal_message);
        ScriptedDisk disk(script);
        {
            InjectorScope scope(&disk);
            QVERIFY(!sf.AddiXMLChunk(text));
        }
        QVERIFY(spy.count() >= 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("QSoundFile::AddiXMLChunk()"));
        QVERIFY2(spy.at(0).at(1).toString().contains(path), qPrintable(spy.at(0).at(1).toString()));
        sf.Close();

        const QByteArray after = readAll(path);
        QCOMPARE(sf.m_nRiffSize, u32At(after, 4));     // the object believes what the disk holds
        if (!newTextRead) {
            QCOMPARE(u32At(after, 4), riff);
            QCOMPARE(sf.m_nPosiXML, posBefore);
            QCOMPARE(sf.m_nSizeiXML, sizeBefore);
            // Put back as it was, to the byte: no partial chunk left for a scan to find.
            QCOMPARE(after.size(), before.size());
            QVERIFY(after == before);
        } else {
            QCOMPARE(u32At(after, 4), riff + 70008);
            QCOMPARE(sf.m_nPosiXML, riff + 8);
        }

        QSoundFile reader;
        QVERIFY(openRW(reader, path));
        if (layout == 0 || layout == 4) {
            QVERIFY(!reader.HasiXMLChunk());
            return;
        }
        QVERIFY(reader.GetiXMLFileInfos());
        if (newTextRead)
            QVERIFY(reader.GetiXMLNotes().startsWith(QStringLiteral("new notexxx")));
        else
            QCOMPARE(reader.GetiXMLNotes(), QStringLiteral("old note"));
    }

    // ---- AddOndeChunk ----

    void ondeChunkAppended()
    {
        RecorderFileSpec spec = tailSpec();
        spec.withOnde = false;
        QList<RecorderChunkPlace> places;
        const QString path = write(spec, &places);
        const QByteArray before = readAll(path);
        const quint32 riff = u32At(before, 4);

        QByteArray peaks(180004, '\0');
        for (int i = 0; i < peaks.size(); ++i)
            peaks[i] = char(i % 251);
        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        QCOMPARE(sf.m_nPosOnde, 0u);
        QVERIFY(sf.AddOndeChunk(peaks.constData(), 180004, 9, 4800));
        QCOMPARE(sf.m_nRiffSize, riff + 180016);
        QCOMPARE(sf.m_nPosOnde, riff + 8 + 8);
        QCOMPARE(sf.m_tOndeChunk.ChunkID(), QByteArray("ondA"));
        sf.Close();

        const QByteArray after = readAll(path);
        QCOMPARE(after.size(), before.size() + 180016);
        QCOMPARE(u32At(after, 4), riff + 180016);
        QVERIFY(after.mid(8, int(riff)) == before.mid(8, int(riff)));
        const int p = int(riff) + 8;
        QCOMPARE(after.mid(p, 4), QByteArray("ondA"));
        QCOMPARE(u32At(after, p + 4), 180008u);
        QCOMPARE(u32At(after, p + 8), 4800u);
        QCOMPARE(u32At(after, p + 12), 0u);
        QVERIFY(after.mid(p + 16) == peaks.left(180000));

        QSoundFile reader;
        QVERIFY(openRW(reader, path));
        QCOMPARE(reader.m_nPosOnde, quint32(p + 8));
        QCOMPARE(reader.m_tOndeChunk.ChunkSize(), 180008u);
        reader.Close();
        checkWithOtherReaders(path, spec.frames, pcmOf(before, places));
    }

    void ondeChunkTrackCharacters_data()
    {
        QTest::addColumn<int>("t");
        QTest::addColumn<QByteArray>("id");
        QTest::newRow("track 1") << 0 << QByteArray("ond1");
        QTest::newRow("track 9") << 8 << QByteArray("ond9");
        QTest::newRow("track 10") << 9 << QByteArray("ondA");
        QTest::newRow("track 24") << 23 << QByteArray("ondO");
    }
    void ondeChunkTrackCharacters()
    {
        QFETCH(int, t);
        QFETCH(QByteArray, id);
        RecorderFileSpec spec;
        spec.withOnde = false;
        const QString path = write(spec);
        const quint32 riff = u32At(readAll(path), 4);
        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        const char peaks[4] = {1, 2, 3, 4};
        QVERIFY(sf.AddOndeChunk(peaks, 4, t, 4410));   // the record alone: ChunkSize 8
        sf.Close();
        const QByteArray after = readAll(path);
        QCOMPARE(after.mid(int(riff) + 8, 4), id);
        QCOMPARE(u32At(after, riff + 12), 8u);
        QCOMPARE(u32At(after, riff + 16), 4410u);
        QCOMPARE(after.size(), int(riff) + 8 + 16);
        QCOMPARE(u32At(after, 4), riff + 16);
    }

    // An onde chunk already there is retired, never overwritten, and what
    // follows it keeps its bytes.
    void secondOndeChunkRetiresTheFirst()
    {
        const RecorderFileSpec spec = tailSpec();
        QList<RecorderChunkPlace> places;
        const QString path = write(spec, &places);
        const QByteArray before = readAll(path);
        const quint32 riff = u32At(before, 4);
        quint32 oldAt = 0;
        for (const RecorderChunkPlace& p : places)
            if (p.id.startsWith("ond"))
                oldAt = p.offset;
        QVERIFY(oldAt != 0);
        QVERIFY(placeOf(places, "tail") > oldAt);

        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        const quint32 secondWord = sf.m_tOndeChunk.U32(12);
        QByteArray peaks(404, '\x11');
        QVERIFY(sf.AddOndeChunk(peaks.constData(), 404, 0, 4800));
        sf.Close();

        const QByteArray after = readAll(path);
        QCOMPARE(after.mid(int(oldAt), 4), QByteArray("JUNK"));
        QCOMPARE(u32At(after, oldAt + 4), 404u);   // size kept
        QVERIFY(after.mid(int(oldAt) + 4, int(riff) + 8 - int(oldAt) - 4) == before.mid(int(oldAt) + 4));
        QCOMPARE(after.mid(int(riff) + 8, 4), QByteArray("ond1"));
        QCOMPARE(u32At(after, riff + 12), 408u);
        QCOMPARE(u32At(after, riff + 20), secondWord);
        QCOMPARE(u32At(after, 4), riff + 416);

        QSoundFile reader;
        QVERIFY(openRW(reader, path));
        QCOMPARE(reader.m_nPosOnde, riff + 16);
        QVERIFY(reader.GetiXMLFileInfos());
        reader.Close();
        checkWithOtherReaders(path, spec.frames, pcmOf(before, places));
    }

    void ondeRefusals_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::newRow("no buffer") << 0 << "QSoundFile::AddOndChunk()" << "Unable to add pBufferOnde!";
        QTest::newRow("RIFF size 0") << 1 << "QSoundFile::AddiXMLChunk()" << "Error bad RIFF size detected (RIFF size == 0)";
        QTest::newRow("file not open") << 2 << "" << "";
        QTest::newRow("disk full") << 3 << "QSoundFile::AddOndChunk()" << "";
        QTest::newRow("disk full after the record") << 4 << "QSoundFile::AddOndChunk()" << "";
    }
    void ondeRefusals()
    {
        QFETCH(int, kind);
        QFETCH(QString, title);
        QFETCH(QString, message);
        RecorderFileSpec spec;
        spec.withOnde = false;
        if (kind == 1)
            spec.riffSizeOverride = 0;
        const QString path = write(spec);
        const QByteArray before = readAll(path);
        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        if (kind == 2)
            sf.Close();
        const quint32 riff = sf.m_nRiffSize;
        QByteArray peaks(1000, '\x22');
        QSignalSpy spy(m_pLogger, &MessageLoging::signal_message);
        ScriptedDisk disk(kind == 3 ? QList<qint64>{10} : QList<qint64>{-2, 500});
        {
            InjectorScope scope(kind >= 3 ? &disk : nullptr);
            QVERIFY(!sf.AddOndeChunk(kind == 0 ? nullptr : peaks.constData(), 1000, 0, 4800));
        }
        sf.Close();
        QCOMPARE(sf.m_nRiffSize, riff);
        QCOMPARE(sf.m_nPosOnde, 0u);
        // Nothing left behind, not even the part of the chunk that was stored.
        QVERIFY(readAll(path) == before);
        if (kind >= 3)
            QCOMPARE(disk.calls(), kind == 3 ? 1 : 2);
        if (title.isEmpty()) {
            QCOMPARE(spy.count(), 0);
            return;
        }
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), title);
        if (!message.isEmpty())
            QCOMPARE(spy.at(0).at(1).toString(), message);
        else
            QVERIFY(spy.at(0).at(1).toString().contains(path));
    }

    // ---- setters ----

    void settersRestoreMissingSections()
    {
        RecorderFileSpec spec;
        spec.ixmlRaw = QByteArrayLiteral("<?xml version=\"1.0\"?>\n<BWFXML><SCENE>1</SCENE><NOTE>n</NOTE></BWFXML>\n");
        const QString path = write(spec, nullptr, QStringLiteral("AC0001_05.WAV"));
        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        QVERIFY(sf.GetiXMLFileInfos());
        QCOMPARE(sf.GetiXMLMonoTrackNumber(), -1);

        sf.SetiXMLMonoTrackNumber(4, 5);
        QDomElement root = sf.m_XmlObject.Document().documentElement();
        QCOMPARE(root.lastChildElement().tagName(), QStringLiteral("TRACK_LIST"));
        QCOMPARE(sf.m_XmlObject.CopyToString().count(QStringLiteral("<TRACK_LIST>")), 1);
        QCOMPARE(sf.GetiXMLMonoTrackNumber(), 4);
        sf.SetiXMLMonoTrackNumber(4, 12);
        QCOMPARE(sf.GetiXMLMonoTrackNumber(), 11);
        QCOMPARE(sf.m_XmlObject.CopyToString().count(QStringLiteral("<TRACK_LIST>")), 1);

        sf.SetiXMLMonoTrackName(4, QStringLiteral("Boom"));
        QCOMPARE(sf.GetiXMLMonoTrackName(), QStringLiteral("Boom"));
        QCOMPARE(sf.m_XmlObject.CopyToString().count(QStringLiteral("<TRACK_LIST>")), 1);

        sf.SetiXMLTotalFiles(4, 7, false);
        QCOMPARE(root.lastChildElement().tagName(), QStringLiteral("FILE_SET"));
        QCOMPARE(sf.m_XmlObject.GetElement(QStringLiteral("TOTAL_FILES"), XmlPath(QStringLiteral("FILE_SET"))),
                 QStringLiteral("7"));
        QCOMPARE(sf.m_XmlObject.GetElement(QStringLiteral("FILE_SET_INDEX"), XmlPath(QStringLiteral("FILE_SET"))),
                 QStringLiteral("5"));
        sf.SetiXMLTotalFiles(4, 8, false);
        QCOMPARE(sf.m_XmlObject.CopyToString().count(QStringLiteral("<FILE_SET>")), 1);
        QCOMPARE(sf.m_XmlObject.GetElement(QStringLiteral("TOTAL_FILES"), XmlPath(QStringLiteral("FILE_SET"))),
                 QStringLiteral("8"));

        sf.SetiXMLNote(4, QStringLiteral("  \t two words \r\n "));
        QCOMPARE(sf.GetiXMLNotes(), QStringLiteral("two words"));
        QCOMPARE(sf.m_XmlObject.CopyToString().count(QStringLiteral("<NOTE>")), 1);
    }

    void noteIsAddedWhenMissing()
    {
        RecorderFileSpec spec;
        spec.ixmlRaw = QByteArrayLiteral("<BWFXML><SCENE>1</SCENE></BWFXML>");
        const QString path = write(spec);
        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        QVERIFY(sf.GetiXMLFileInfos());
        sf.SetiXMLNote(0, QStringLiteral(" late note "));
        const QDomElement last = sf.m_XmlObject.Document().documentElement().lastChildElement();
        QCOMPARE(last.tagName(), QStringLiteral("NOTE"));
        QCOMPARE(last.text(), QStringLiteral("late note"));
    }

    void settersBuildADocumentWhenThereIsNone()
    {
        RecorderFileSpec spec;
        spec.withIxml = false;
        spec.description = RecorderFileWriter::descriptionLines({{"aSCENE=", "4C"}, {"aTAKE=", "2"}});
        const QString path = write(spec, nullptr, QStringLiteral("AD0001_03.WAV"));
        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        QVERIFY(!sf.GetiXMLFileInfos());
        sf.SetiXMLMonoTrackNumber(2, 7);
        QVERIFY(sf.m_XmlObject.XmlOk());
        QCOMPARE(sf.m_XmlObject.GetElement(QStringLiteral("CHANNEL_INDEX"), XmlPath(QStringLiteral("TRACK_LIST\tTRACK"))),
                 QStringLiteral("7"));
        QCOMPARE(sf.m_XmlObject.GetElement(QStringLiteral("FILE_SET_INDEX"), XmlPath(QStringLiteral("FILE_SET"))),
                 QStringLiteral("3"));
        QCOMPARE(sf.m_XmlObject.GetElement(QStringLiteral("SCENE"), XmlPath(QString())), QStringLiteral("4C"));
        // The setter's value survives generation: the document is not rebuilt.
        QVERIFY(sf.GenerateiXMLChunkMono(2).contains(QStringLiteral("<CHANNEL_INDEX>7</CHANNEL_INDEX>")));
    }

    void veltaTrackTable_data()
    {
        QTest::addColumn<QString>("active3");
        QTest::addColumn<QString>("active4");
        QTest::addColumn<QStringList>("data3");
        QTest::addColumn<QStringList>("data4");
        QTest::newRow("no: flag only, the rest kept")
            << "no" << "NO"
            << QStringList{QStringLiteral("INDICE=3"), QStringLiteral("NAME=Boom"), QStringLiteral("ACTIVE=no"),
                           QStringLiteral("IN_GRID=YES"), QStringLiteral("PAN_POT=0")}
            << QStringList{QStringLiteral("INDICE=4"), QStringLiteral("NAME=Lav"), QStringLiteral("ACTIVE=NO")};
        QTest::newRow("Yes: ACTIVE and NAME move to the end")
            << "Yes" << "yES"
            << QStringList{QStringLiteral("INDICE=3"), QStringLiteral("IN_GRID=NO"), QStringLiteral("PAN_POT=L50"),
                           QStringLiteral("ACTIVE=Yes"), QStringLiteral("NAME=Perche")}
            << QStringList{QStringLiteral("INDICE=4"), QStringLiteral("ACTIVE=yES"), QStringLiteral("NAME=Lav 2"),
                           QStringLiteral("IN_GRID=YES"), QStringLiteral("PAN_POT=R10")};
        QTest::newRow("other flag: values set in place")
            << "MUTE" << ""
            << QStringList{QStringLiteral("INDICE=3"), QStringLiteral("NAME=Perche"), QStringLiteral("ACTIVE=MUTE"),
                           QStringLiteral("IN_GRID=NO"), QStringLiteral("PAN_POT=L50")}
            << QStringList{QStringLiteral("INDICE=4"), QStringLiteral("NAME=Lav 2"), QStringLiteral("ACTIVE= "),
                           QStringLiteral("IN_GRID=YES"), QStringLiteral("PAN_POT=R10")};
    }
    void veltaTrackTable()
    {
        QFETCH(QString, active3);
        QFETCH(QString, active4);
        QFETCH(QStringList, data3);
        QFETCH(QStringList, data4);
        RecorderFileSpec spec;
        spec.ixmlRaw = QByteArrayLiteral(
            "<BWFXML><VELTA_PAVANE><REF_LEVEL>-18</REF_LEVEL><ALL_TRK_NAME>"
            "<DATA><INDICE>3</INDICE><NAME>Boom</NAME><ACTIVE>YES</ACTIVE><IN_GRID>YES</IN_GRID><PAN_POT>0</PAN_POT></DATA>"
            "<DATA><INDICE>4</INDICE><NAME>Lav</NAME><ACTIVE>YES</ACTIVE></DATA>"
            "<DATA><INDICE>x</INDICE><NAME>keep</NAME></DATA>"
            "<DATA><INDICE>30</INDICE><NAME>keep30</NAME></DATA>"
            "<OTHER><INDICE>5</INDICE></OTHER>"
            "</ALL_TRK_NAME></VELTA_PAVANE></BWFXML>");
        const QString path = write(spec);
        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        QVERIFY(sf.GetiXMLFileInfos());

        QString names[24], pans[24], actives[24], grids[24];
        for (int i = 0; i < 24; ++i)
            actives[i] = QStringLiteral("NO");
        names[3] = QStringLiteral("Perche"); pans[3] = QStringLiteral("L50"); grids[3] = QStringLiteral("NO");
        names[4] = QStringLiteral("Lav 2"); pans[4] = QStringLiteral("R10"); grids[4] = QStringLiteral("YES");
        actives[3] = active3;
        actives[4] = active4;
        actives[5] = QStringLiteral("YES");   // no DATA for 5: nothing is created
        sf.SetiXMLVeltaAllTrkInfos(names, pans, actives, grids);

        const QDomElement table = sf.m_XmlObject.GetPtrElement(QStringLiteral("ALL_TRK_NAME"),
                                                               XmlPath(QStringLiteral("VELTA_PAVANE")));
        QList<QStringList> entries;
        for (QDomElement d = table.firstChildElement(); !d.isNull(); d = d.nextSiblingElement()) {
            QStringList children;
            for (QDomElement c = d.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
                children << c.tagName() + QLatin1Char('=') + c.text();
            entries << children;
        }
        QCOMPARE(entries.size(), 5);
        QCOMPARE(entries.at(0), data3);
        QCOMPARE(entries.at(1), data4);
        QCOMPARE(entries.at(2), (QStringList{QStringLiteral("INDICE=x"), QStringLiteral("NAME=keep")}));
        QCOMPARE(entries.at(3), (QStringList{QStringLiteral("INDICE=30"), QStringLiteral("NAME=keep30")}));
        QCOMPARE(entries.at(4), (QStringList{QStringLiteral("INDICE=5")}));
        QCOMPARE(sf.GetiXMLVeltaTracknames(3), data3.filter(QStringLiteral("NAME=")).first().mid(5));
    }

    void veltaTrackTableRestored_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("no ALL_TRK_NAME") << QByteArray("<BWFXML><VELTA_PAVANE><REF_LEVEL>x</REF_LEVEL></VELTA_PAVANE><NOTE>n</NOTE></BWFXML>");
        QTest::newRow("no VELTA_PAVANE") << QByteArray("<BWFXML><NOTE>n</NOTE></BWFXML>");
    }
    void veltaTrackTableRestored()
    {
        QFETCH(QByteArray, raw);
        RecorderFileSpec spec;
        spec.ixmlRaw = raw;
        const QString path = write(spec);
        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        QVERIFY(sf.GetiXMLFileInfos());
        QString names[24], pans[24], actives[24], grids[24];
        for (int i = 0; i < 24; ++i) {
            actives[i] = i == 2 ? QStringLiteral("YES") : QStringLiteral("NO");
            names[i] = QStringLiteral("T%1").arg(i + 1);
            pans[i] = QStringLiteral("0");
            grids[i] = QStringLiteral("YES");
        }
        sf.SetiXMLVeltaAllTrkInfos(names, pans, actives, grids);
        QCOMPARE(sf.m_XmlObject.GetCountElement(QStringLiteral("VELTA_PAVANE"), XmlPath(QString())), 1u);
        QCOMPARE(sf.m_XmlObject.GetCountElement(QStringLiteral("DATA"), XmlPath(QStringLiteral("VELTA_PAVANE\tALL_TRK_NAME"))), 24u);
        for (int i = 0; i < 24; ++i) {
            QCOMPARE(sf.GetiXMLVeltaTrackActive(i), actives[i]);
            QCOMPARE(sf.GetiXMLVeltaTracknames(i), i == 2 ? QStringLiteral("T3") : QString());
        }
        QCOMPARE(sf.GetiXMLVeltaTrackInGrid(2), QStringLiteral("YES"));
        QCOMPARE(sf.GetiXMLVeltaTrackPanPot(2), QStringLiteral("0"));
        QCOMPARE(sf.GetiXMLVeltaRefLevel(), raw.contains("REF_LEVEL") ? QStringLiteral("x") : QStringLiteral(" "));
    }

    void veltaTrackTableNeedsADocument()
    {
        RecorderFileSpec spec;
        spec.withIxml = false;
        const QString path = write(spec);
        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        QString names[24], pans[24], actives[24], grids[24];
        sf.SetiXMLVeltaAllTrkInfos(names, pans, actives, grids);
        QVERIFY(!sf.m_XmlObject.XmlOk());
        QVERIFY(sf.m_XmlObject.Document().documentElement().isNull());
    }

    // ---- UTF-8 on a machine whose 8-bit encoding is not UTF-8 ----

    void accentedNamesSurviveAnyLocale()
    {
        QTextCodec* previous = QTextCodec::codecForLocale();
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
        struct Restore { QTextCodec* c; ~Restore() { QTextCodec::setCodecForLocale(c); } } restore{previous};

        RecorderFileSpec spec;
        spec.withIxml = false;
        const QString path = write(spec, nullptr, QStringLiteral("AE0001_02.WAV"));
        const QString name = QStringLiteral("Perche \u00C9ric");

        QSoundFile sf;
        QVERIFY(openRW(sf, path));
        sf.SetiXMLMonoTrackNumber(1, 2);
        sf.SetiXMLMonoTrackName(1, name);
        QString text = sf.GenerateiXMLChunkMono(1);
        text += QString(qMax(0, 61440 - text.size()), QLatin1Char(' '));
        QVERIFY(sf.AddiXMLChunk(text));
        sf.Close();

        const QByteArray bytes = readAll(path);
        QVERIFY(bytes.contains("<NAME>Perche \xC3\x89ric</NAME>"));

        QSoundFile reader;
        QVERIFY(openRW(reader, path));
        QVERIFY(reader.GetiXMLFileInfos());
        QCOMPARE(reader.GetiXMLMonoTrackName(), name);
        QCOMPARE(reader.GetiXMLMonoTrackNumber(), 1);

        // Rewritten in place through the same path: still one chunk, same name.
        reader.SetiXMLNote(1, QStringLiteral("d\u00E9j\u00E0 vu"));
        QString again = reader.GenerateiXMLChunkMono(1);
        again += QString(qMax(0, 61440 - again.size()), QLatin1Char(' '));
        const quint32 at = reader.m_nPosiXML;
        QVERIFY(reader.AddiXMLChunk(again));
        QCOMPARE(reader.m_nPosiXML, at);
        reader.Close();
        QSoundFile third;
        QVERIFY(openRW(third, path));
        QVERIFY(third.GetiXMLFileInfos());
        QCOMPARE(third.GetiXMLMonoTrackName(), name);
        QCOMPARE(third.GetiXMLNotes(), QStringLiteral("d\u00E9j\u00E0 vu"));
    }
};

QTEST_MAIN(TestIxmlUpdate)
#include "tst_ixml_update.moc"
