// SPDX-License-Identifier: GPL-3.0-or-later
// In-place iXML changes and the two chunk writers, checked on the bytes of the
// file, with our reader and with readers we did not write (ffprobe, sox).
#include "RelayRecorder.h"
#include "SoundFixtures.h"

#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

using namespace testsupport;

namespace {

// A valid iXML document of exactly `bytes` bytes whose NOTE starts with
// `note`: filled with 'x' inside the NOTE, or padded with spaces after it.
QString documentOfSize(int bytes, const QString& note, bool padWithSpaces)
{
    const QString head = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML><NOTE>") + note;
    const QString tail = QStringLiteral("</NOTE></BWFXML>\n");
    const int fill = bytes - (head + tail).toUtf8().size();
    return padWithSpaces ? head + tail + QString(fill, QLatin1Char(' ')) : head + QString(fill, QLatin1Char('x')) + tail;
}

// iXML before data (as the recorder writes it), then data, onde and a chunk
// of our own whose bytes must survive every rewrite.
RecorderFileSpec tailSpec()
{
    RecorderFileSpec spec;
    ExtraChunk tail{"tail", QByteArray(), false, 0};
    for (int i = 0; i < 1000; ++i)
        tail.body.append(char(i * 7 + 3));
    spec.extraAfter << tail;
    return spec;
}

// ffprobe and sox read the file and find the samples we wrote.
void checkWithOtherReaders(const QString& path, quint32 frames, const QByteArray& pcm)
{
    if (haveTool(QStringLiteral("ffprobe"))) {
        const auto r = run(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "stream=duration_ts", "-of",
                                                       "default=noprint_wrappers=1", path});
        QCOMPARE(r.out.trimmed() + r.err, "duration_ts=" + QByteArray::number(frames));
    }
    if (haveTool(QStringLiteral("sox")))
        QVERIFY(run(QStringLiteral("sox"), {path, "-t", "raw", "-"}).out == pcm);
}

QString names[24], pans[24], actives[24], grids[24];

} // namespace

class TestIxmlUpdate : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_nFile = 0;
    QString write(const RecorderFileSpec& spec, QList<RecorderChunkPlace>* places = nullptr, QString name = QString())
    {
        if (name.isEmpty())
            name = QStringLiteral("AA%1_01.WAV").arg(++m_nFile, 4, 10, QLatin1Char('0'));
        return writeSpec(m_dir.filePath(name), spec, places);
    }

private slots:
    void cleanup() { QSoundFile::SetWriterBufferLimitForTests(0); }

    // The size cases of AddiXMLChunk; then a shorter text stays where the
    // first one went and no second filler chunk appears.
    void ixmlChunkLayouts_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("bytes");        // 0: 61440 characters, more bytes in UTF-8
        QTest::addColumn<bool>("padded");
        QTest::addColumn<bool>("moved");       // old chunk retired as JUNK, new one at the RIFF end
        QTest::addColumn<int>("chunkSize");
        QTest::addColumn<int>("growth");
        QTest::newRow("no chunk: appended") << "none" << 61440 << true << true << 61440 << 61448;
        QTest::newRow("shorter text padded in place") << "tail" << 2000 << false << false << 61440 << 0;
        QTest::newRow("longer text grows a last chunk in place") << "last" << 70000 << false << false << 70000 << 8560;
        QTest::newRow("longer text never runs into the next chunk") << "tail" << 70000 << false << true << 70000 << 70008;
        QTest::newRow("chunk size past the end repaired in place") << "lying" << 2000 << true << false << 61440 << 0;
        QTest::newRow("padding spaces give way to multi-byte characters") << "tail" << 0 << true << false << 61440 << 0;
    }
    void ixmlChunkLayouts()
    {
        QFETCH(QString, layout);
        QFETCH(int, bytes);
        QFETCH(bool, padded);
        QFETCH(bool, moved);
        QFETCH(int, chunkSize);
        QFETCH(int, growth);
        RecorderFileSpec spec = tailSpec();
        spec.withIxml = layout != QLatin1String("none");
        spec.ixmlLast = layout == QLatin1String("last") || layout == QLatin1String("lying");
        if (layout == QLatin1String("lying"))
            spec.ixmlDeclaredSize = 10000000;   // necessarily the last chunk: rewritten over what it really holds
        QList<RecorderChunkPlace> places;
        const QString path = write(spec, &places);
        const QByteArray before = readAll(path);
        const quint32 riff = u32At(before, 4);
        const quint32 at = moved ? riff + 8 : offsetOf(places, "iXML");
        QString note = QStringLiteral("note");
        QString text;
        if (bytes == 0) {
            note = QStringLiteral("\u00C9l\u00E9onore \u00E0 l'\u00E9cran");
            text = documentOfSize(200, note, true).trimmed() + QLatin1Char('\n');
            text += QString(61440 - text.size(), QLatin1Char(' '));
            QVERIFY(text.toUtf8().size() > 61440);
        } else {
            text = documentOfSize(bytes, note, padded);
        }

        QSoundFile sf;
        QVERIFY(openScanned(sf, path, 2));
        QVERIFY(sf.AddiXMLChunk(text));
        QCOMPARE(sf.m_nPosiXML, at);
        QCOMPARE(sf.m_nSizeiXML, quint32(chunkSize));
        QByteArray after = readAll(path);
        QCOMPARE(after.size(), before.size() + growth);
        QCOMPARE(sf.m_nRiffSize, quint32(after.size() - 8));
        QCOMPARE(u32At(after, 4), sf.m_nRiffSize);
        QCOMPARE(after.mid(int(at), 4) + QByteArray::number(u32At(after, at + 4)), "iXML" + QByteArray::number(chunkSize));
        const QByteArray utf8 = text.toUtf8().left(chunkSize);
        QVERIFY(after.mid(int(at) + 8, utf8.size()) == utf8);
        QVERIFY(after.mid(int(at) + 8 + utf8.size(), chunkSize - utf8.size()) == QByteArray(chunkSize - utf8.size(), ' '));
        // Nothing else moved or changed; a retired chunk keeps its size.
        const quint32 old = offsetOf(places, "iXML");
        if (moved) {
            QByteArray expected = before;
            if (old)
                expected.replace(int(old), 4, "JUNK");
            expected.replace(4, 4, after.mid(4, 4));
            QVERIFY(after.left(before.size()) == expected);
        } else {
            QVERIFY(after.mid(8, int(at) - 4) == before.mid(8, int(at) - 4));
            QVERIFY(after.mid(int(at) + 8 + chunkSize) == before.mid(int(at) + 8 + 61440));
        }

        QString shorter = documentOfSize(3000, QStringLiteral("third"), true);
        QVERIFY(sf.AddiXMLChunk(shorter));
        QCOMPARE(sf.m_nPosiXML, at);
        sf.Close();
        after = readAll(path);
        QCOMPARE(after.size(), before.size() + growth);
        QCOMPARE(after.count("JUNK"), moved && old ? 1 : 0);

        QSoundFile reader;
        QVERIFY(openScanned(reader, path));
        QVERIFY(reader.GetiXMLFileInfos());
        QCOMPARE(reader.m_nPosiXML, at);
        QCOMPARE(reader.GetiXMLNotes(), QStringLiteral("third"));
        checkWithOtherReaders(path, spec.frames, before.mid(int(offsetOf(places, "data")) + 8, int(spec.frames) * 3));
    }

    // Whatever stops a writer, the file is left as it was to the byte, the
    // object believes what the disk holds, and one message says why.
    void refusalsLeaveTheFileAsItWas_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QList<qint64>>("script");   // bytes each write may store (-2 = all)
        QTest::addColumn<QString>("message");        // "title: text"; %1 = path; "title: *" = names the path
        const QString ix = QStringLiteral("QSoundFile::AddiXMLChunk(): ");
        const QString on = QStringLiteral("QSoundFile::AddOndChunk(): ");
        const QString riff0 = ix + QStringLiteral("Error bad RIFF size detected (RIFF size == 0)");
        const QString past = QStringLiteral("The RIFF size of\n%1\nends before the file does: nothing written.");
        const QList<qint64> none;
        QTest::newRow("iXML: file not open") << "ixml" << "closed" << none << "";
        QTest::newRow("iXML: RIFF size 0") << "ixml" << "riff0" << none << riff0;
        QTest::newRow("iXML: no buffer, in place") << "ixml" << "nobuffer" << none << ix + "Unable to allocate pBufferWithSpaces!";
        QTest::newRow("iXML: no buffer, moved") << "ixml" << "nobuffer-long" << none << ix + "Unable to allocate pBufferWithSpaces!";
        QTest::newRow("iXML: stale chunk position") << "ixml" << "stale" << none << ix + "*";
        QTest::newRow("iXML: RIFF size past the end") << "ixml" << "riffpast" << none << ix + "*";
        QTest::newRow("iXML: RIFF ends inside the audio") << "ixml" << "short" << none << ix + past;
        QTest::newRow("iXML: RIFF ends inside the audio, no iXML") << "ixml" << "short-noixml" << none << ix + past;
        QTest::newRow("iXML: a chunk after the RIFF end") << "ixml" << "uncounted" << none << ix + past;
        QTest::newRow("iXML: append cut short") << "ixml" << "noixml" << QList<qint64>{1000} << ix + "*";
        QTest::newRow("iXML: append, disk full at once") << "ixml" << "noixml" << QList<qint64>{0} << ix + "*";
        QTest::newRow("iXML: move, new chunk cut short") << "ixml" << "tail-long" << QList<qint64>{5000} << ix + "*";
        QTest::newRow("iXML: move, RIFF size not stored") << "ixml" << "tail-long" << QList<qint64>{-2, 0} << ix + "*";
        QTest::newRow("iXML: move, RIFF size half stored") << "ixml" << "tail-long" << QList<qint64>{-2, 2} << ix + "*";
        QTest::newRow("iXML: move, old chunk not retired") << "ixml" << "tail-long" << QList<qint64>{-2, -2, 0} << ix + "*";
        QTest::newRow("iXML: in place, cut short") << "ixml" << "tail" << QList<qint64>{100} << ix + "*";
        QTest::newRow("iXML: last chunk grows, cut short") << "ixml" << "last-long" << QList<qint64>{30000} << ix + "*";
        QTest::newRow("onde: no buffer") << "onde" << "null" << none << on + "Unable to add pBufferOnde!";
        QTest::newRow("onde: RIFF size 0") << "onde" << "riff0" << none << riff0;
        QTest::newRow("onde: file not open") << "onde" << "closed" << none << "";
        QTest::newRow("onde: RIFF size past the end") << "onde" << "riffpast" << none << on + "*";
        QTest::newRow("onde: RIFF ends inside the audio") << "onde" << "short" << none << on + past;
        QTest::newRow("onde: a chunk after the RIFF end") << "onde" << "uncounted" << none << on + past;
        QTest::newRow("onde: disk full") << "onde" << "tail" << QList<qint64>{10} << on + "*";
        QTest::newRow("onde: disk full after the record") << "onde" << "tail" << QList<qint64>{-2, 500} << on + "*";
    }
    void refusalsLeaveTheFileAsItWas()
    {
        QFETCH(QString, writer);
        QFETCH(QString, layout);
        QFETCH(QList<qint64>, script);
        QFETCH(QString, message);
        const bool ixml = writer == QLatin1String("ixml");
        RecorderFileSpec spec = tailSpec();
        spec.ixml.note = QStringLiteral("old note");
        spec.withOnde = ixml;
        spec.withIxml = !layout.contains(QLatin1String("noixml"));
        spec.ixmlLast = layout.startsWith(QLatin1String("last"));
        if (layout == QLatin1String("riff0"))
            spec.riffSizeOverride = 0;
        if (layout == QLatin1String("riffpast"))
            spec.riffSizeOverride = RecorderFileWriter::build(spec).size() - 8 + 50000000;
        QList<RecorderChunkPlace> places;
        RecorderFileWriter::build(spec, &places);
        if (layout.startsWith(QLatin1String("short")))   // ends 100 bytes into the audio
            spec.riffSizeOverride = qint64(offsetOf(places, "data")) + 100;
        QByteArray uncounted;
        if (layout == QLatin1String("uncounted")) {   // a chunk appended without counting it
            spec.extraAfter.clear();
            spec.ixmlLast = true;
            uncounted = QByteArray("LIST\x28\0\0\0", 8) + QByteArray(40, 'L');
        }
        const QString path = write(spec, &places);
        QFile append(path);
        QVERIFY(append.open(QIODevice::Append) && append.write(uncounted) == uncounted.size());
        append.close();
        const QByteArray before = readAll(path);
        QSoundFile sf;
        QVERIFY(openScanned(sf, path, 2));
        sf.GetiXMLFileInfos();
        if (layout == QLatin1String("closed"))
            sf.Close();
        if (layout.startsWith(QLatin1String("nobuffer")))
            QSoundFile::SetWriterBufferLimitForTests(1024);
        if (layout == QLatin1String("stale"))
            sf.m_nPosiXML = offsetOf(places, "data");
        const quint32 riff = sf.m_nRiffSize, pos = sf.m_nPosiXML;
        QString text = documentOfSize(layout == QLatin1String("tail") || layout == QLatin1String("riff0")
                                          || layout == QLatin1String("nobuffer") || layout == QLatin1String("stale")
                                          || layout == QLatin1String("closed") ? 2000 : 70000,
                                      QStringLiteral("new note"), false);
        const QByteArray peaks(1000, '\x22');
        RelayRecorder relay;
        {
            ScriptedDisk disk(script);
            QVERIFY(ixml ? !sf.AddiXMLChunk(text)
                         : !sf.AddOndeChunk(layout == QLatin1String("null") ? nullptr : peaks.constData(), 1000, 0, 4800));
            QVERIFY(script.isEmpty() ? disk.calls() == 0 : disk.calls() >= script.size());
        }
        sf.Close();
        const QByteArray after = readAll(path);
        QCOMPARE(sf.m_nRiffSize, layout == QLatin1String("closed") ? riff : u32At(after, 4));
        const bool newText = script == QList<qint64>{-2, -2, 0};   // appended and counted; the old one still there
        if (newText) {
            QCOMPARE(u32At(after, 4), riff + 70008);
            QCOMPARE(sf.m_nPosiXML, riff + 8);
        } else {
            QVERIFY(after == before);   // no partial chunk left for a scan to find
            QCOMPARE(sf.m_nPosiXML, pos);
            if (!ixml)
                QCOMPARE(sf.m_nPosOnde, 0u);
        }
        QCOMPARE(relay.count(), message.isEmpty() ? 0 : 1);
        if (message.endsWith(QLatin1Char('*')))
            QVERIFY(relay.lines().first().startsWith(message.chopped(1)) && relay.text().contains(path));
        else if (!message.isEmpty())
            QCOMPARE(relay.lines().first(), message.contains(QLatin1String("%1")) ? message.arg(path) : message);
        QSoundFile reader;
        if (ixml && spec.withIxml && !script.isEmpty()) {
            QVERIFY(openScanned(reader, path) && reader.GetiXMLFileInfos());
            QCOMPARE(reader.GetiXMLNotes().left(8), newText ? QStringLiteral("new note") : QStringLiteral("old note"));
        }
    }

    // The peaks go after the RIFF data in a new chunk named after the track;
    // an onde chunk already there is retired, never overwritten.
    void ondeChunks_data()
    {
        QTest::addColumn<int>("t");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<QByteArray>("id");
        QTest::newRow("track 1, record alone") << 0 << 4 << false << QByteArray("ond1");
        QTest::newRow("track 9") << 8 << 4 << false << QByteArray("ond9");
        QTest::newRow("track 10, 180000 peak bytes") << 9 << 180004 << false << QByteArray("ondA");
        QTest::newRow("track 24") << 23 << 4 << false << QByteArray("ondO");
        QTest::newRow("second onde chunk retires the first") << 0 << 404 << true << QByteArray("ond1");
    }
    void ondeChunks()
    {
        QFETCH(int, t);
        QFETCH(int, count);
        QFETCH(bool, existing);
        QFETCH(QByteArray, id);
        RecorderFileSpec spec = tailSpec();
        spec.withOnde = existing;
        QList<RecorderChunkPlace> places;
        const QString path = write(spec, &places);
        const QByteArray before = readAll(path);
        const quint32 riff = u32At(before, 4);
        QByteArray peaks(count, '\0');
        for (int i = 0; i < count; ++i)
            peaks[i] = char(i % 251);
        QSoundFile sf;
        QVERIFY(openScanned(sf, path, 2));
        const quint32 secondWord = sf.m_tOndeChunk.U32(12);
        QVERIFY(sf.AddOndeChunk(peaks.constData(), count, t, 4800));
        QCOMPARE(sf.m_nPosOnde, riff + 16);
        QCOMPARE(sf.m_tOndeChunk.ChunkID(), id);
        sf.Close();
        const QByteArray after = readAll(path);
        const int p = int(riff) + 8;
        const int body = count + 4;   // the 8-byte record, then the peaks past their first 4 bytes
        QCOMPARE(after.size(), p + 8 + body);
        QCOMPARE(u32At(after, 4), riff + 8 + quint32(body));
        QCOMPARE(after.mid(p, 4), id);
        QCOMPARE(QList<quint32>({u32At(after, p + 4), u32At(after, p + 8), u32At(after, p + 12)}),
                 QList<quint32>({quint32(body), 4800u, secondWord}));
        QVERIFY(after.mid(p + 16) == peaks.left(count - 4));
        QByteArray expected = before;
        const quint32 old = offsetOf(places, "ond1");
        if (existing)
            expected.replace(int(old), 4, "JUNK");   // size kept
        QVERIFY(after.mid(8, int(riff)) == expected.mid(8, int(riff)));
        QSoundFile reader;
        QVERIFY(openScanned(reader, path));
        QCOMPARE(reader.m_nPosOnde, quint32(p + 8));
        reader.Close();
        if (count > 1000)
            checkWithOtherReaders(path, spec.frames, before.mid(int(offsetOf(places, "data")) + 8, int(spec.frames) * 3));
    }

    // Setters restore the sections they need, once, where a recorder puts them.
    void settersRestoreMissingSections()
    {
        RecorderFileSpec spec;
        spec.ixmlRaw = "<?xml version=\"1.0\"?>\n<BWFXML><SCENE>1</SCENE></BWFXML>\n";
        QSoundFile sf;
        QVERIFY(openScanned(sf, write(spec, nullptr, QStringLiteral("AC0001_05.WAV")), 2) && sf.GetiXMLFileInfos());
        QCOMPARE(sf.GetiXMLMonoTrackNumber(), -1);
        QDomElement root = sf.m_XmlObject.Document().documentElement();
        sf.SetiXMLNote(4, QStringLiteral("  \t two words \r\n "));
        QCOMPARE(root.lastChildElement().tagName() + sf.GetiXMLNotes(), QStringLiteral("NOTEtwo words"));
        sf.SetiXMLMonoTrackNumber(4, 5);
        QCOMPARE(root.lastChildElement().tagName(), QStringLiteral("TRACK_LIST"));
        sf.SetiXMLMonoTrackNumber(4, 12);
        sf.SetiXMLMonoTrackName(4, QStringLiteral("Boom"));
        QCOMPARE(sf.GetiXMLMonoTrackNumber(), 11);
        QCOMPARE(sf.GetiXMLMonoTrackName(), QStringLiteral("Boom"));
        sf.SetiXMLTotalFiles(4, 7, false);
        QCOMPARE(root.lastChildElement().tagName(), QStringLiteral("FILE_SET"));
        sf.SetiXMLTotalFiles(4, 8, false);
        sf.SetiXMLNote(4, QStringLiteral("again"));
        const QString text = sf.m_XmlObject.CopyToString();
        for (const char* tag : {"<TRACK_LIST>", "<FILE_SET>", "<NOTE>"})
            QCOMPARE(text.count(QLatin1String(tag)), 1);
        QVERIFY(text.contains(QLatin1String("<TOTAL_FILES>8</TOTAL_FILES>")));
        QVERIFY(text.contains(QLatin1String("<FILE_SET_INDEX>5</FILE_SET_INDEX>")));
    }

    void settersBuildADocumentWhenThereIsNone()
    {
        RecorderFileSpec spec;
        spec.withIxml = false;
        spec.description = RecorderFileWriter::descriptionLines({{"aSCENE=", "4C"}, {"aTAKE=", "2"}});
        QSoundFile sf;
        QVERIFY(openScanned(sf, write(spec, nullptr, QStringLiteral("AD0001_03.WAV")), 2));
        QVERIFY(!sf.GetiXMLFileInfos());
        sf.SetiXMLVeltaAllTrkInfos(names, pans, actives, grids);   // needs a document: does nothing
        QVERIFY(!sf.m_XmlObject.XmlOk());
        sf.SetiXMLMonoTrackNumber(2, 7);
        QVERIFY(sf.m_XmlObject.XmlOk());
        // The setter's value survives generation: the document is not rebuilt.
        const QString text = sf.GenerateiXMLChunkMono(2);
        for (const char* part : {"<CHANNEL_INDEX>7</CHANNEL_INDEX>", "<FILE_SET_INDEX>3</FILE_SET_INDEX>", "<SCENE>4C</SCENE>"})
            QVERIFY2(text.contains(QLatin1String(part)), part);
    }

    void veltaTrackTable_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("active3");
        QTest::addColumn<QString>("active4");
        QTest::addColumn<QString>("entries");   // DATA entries as "TAG=text,..." joined by "|"
        const QByteArray table = "<BWFXML><VELTA_PAVANE><REF_LEVEL>-18</REF_LEVEL><ALL_TRK_NAME>"
            "<DATA><INDICE>3</INDICE><NAME>Boom</NAME><ACTIVE>YES</ACTIVE><IN_GRID>YES</IN_GRID><PAN_POT>0</PAN_POT></DATA>"
            "<DATA><INDICE>4</INDICE><NAME>Lav</NAME><ACTIVE>YES</ACTIVE></DATA>"
            "<DATA><INDICE>x</INDICE><NAME>keep</NAME></DATA><DATA><INDICE>30</INDICE><NAME>keep30</NAME></DATA>"
            "<OTHER><INDICE>5</INDICE></OTHER></ALL_TRK_NAME></VELTA_PAVANE></BWFXML>";
        const QString kept = QStringLiteral("|INDICE=x,NAME=keep|INDICE=30,NAME=keep30|INDICE=5");
        QTest::newRow("no: flag only, the rest kept") << table << "no" << "NO"
            << "INDICE=3,NAME=Boom,ACTIVE=no,IN_GRID=YES,PAN_POT=0|INDICE=4,NAME=Lav,ACTIVE=NO" + kept;
        QTest::newRow("Yes: ACTIVE and NAME move to the end") << table << "Yes" << "yES"
            << "INDICE=3,IN_GRID=NO,PAN_POT=L50,ACTIVE=Yes,NAME=Perche|INDICE=4,ACTIVE=yES,NAME=Lav 2,IN_GRID=YES,PAN_POT=R10" + kept;
        QTest::newRow("other flag: values set in place") << table << "MUTE" << ""
            << "INDICE=3,NAME=Perche,ACTIVE=MUTE,IN_GRID=NO,PAN_POT=L50|INDICE=4,NAME=Lav 2,ACTIVE= ,IN_GRID=YES,PAN_POT=R10" + kept;
        QString restored;
        for (int i = 0; i < 24; ++i)
            restored += QStringLiteral("|INDICE=%1,").arg(i) + (i == 3 ? QStringLiteral("ACTIVE=YES,NAME=Perche,IN_GRID=NO,PAN_POT=L50")
                                                                : QStringLiteral("ACTIVE=NO"));
        QTest::newRow("no ALL_TRK_NAME: restored")
            << QByteArray("<BWFXML><VELTA_PAVANE><REF_LEVEL>x</REF_LEVEL></VELTA_PAVANE><NOTE>n</NOTE></BWFXML>")
            << "YES" << "NO" << restored.mid(1);
        QTest::newRow("no VELTA_PAVANE: restored") << QByteArray("<BWFXML><NOTE>n</NOTE></BWFXML>")
                                                   << "YES" << "NO" << restored.mid(1);
    }
    void veltaTrackTable()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, active3);
        QFETCH(QString, active4);
        QFETCH(QString, entries);
        RecorderFileSpec spec;
        spec.ixmlRaw = raw;
        QSoundFile sf;
        QVERIFY(openScanned(sf, write(spec), 2) && sf.GetiXMLFileInfos());
        for (int i = 0; i < 24; ++i) {
            names[i] = pans[i] = grids[i] = QString();
            actives[i] = QStringLiteral("NO");
        }
        names[3] = QStringLiteral("Perche"); pans[3] = QStringLiteral("L50"); grids[3] = QStringLiteral("NO");
        names[4] = QStringLiteral("Lav 2"); pans[4] = QStringLiteral("R10"); grids[4] = QStringLiteral("YES");
        actives[3] = active3;
        actives[4] = active4;
        actives[5] = raw.contains("<DATA>") ? QStringLiteral("YES") : QStringLiteral("NO");   // no DATA for 5: nothing created
        sf.SetiXMLVeltaAllTrkInfos(names, pans, actives, grids);
        QStringList got;
        const QDomElement table = sf.m_XmlObject.GetPtrElement(QStringLiteral("ALL_TRK_NAME"), XmlPath(QStringLiteral("VELTA_PAVANE")));
        for (QDomElement d = table.firstChildElement(); !d.isNull(); d = d.nextSiblingElement()) {
            QStringList children;
            for (QDomElement c = d.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
                children << c.tagName() + QLatin1Char('=') + c.text();
            got << children.join(QLatin1Char(','));
        }
        QCOMPARE(got.join(QLatin1Char('|')), entries);
        QCOMPARE(sf.m_XmlObject.GetCountElement(QStringLiteral("VELTA_PAVANE"), XmlPath(QString())), 1u);
        QCOMPARE(sf.GetiXMLVeltaRefLevel(), raw.contains("REF_LEVEL>x") ? QStringLiteral("x")
                                            : raw.contains("REF_LEVEL") ? QStringLiteral("-18") : QStringLiteral(" "));
    }

    // UTF-8 on a machine whose 8-bit encoding is not UTF-8, written and then
    // rewritten in place.
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
        QVERIFY(openScanned(sf, path, 2));
        sf.SetiXMLMonoTrackNumber(1, 2);
        sf.SetiXMLMonoTrackName(1, name);
        for (const QString& note : {QStringLiteral("first"), QStringLiteral("d\u00E9j\u00E0 vu")}) {
            sf.SetiXMLNote(1, note);
            QString text = sf.GenerateiXMLChunkMono(1);
            text += QString(qMax(0, 61440 - text.size()), QLatin1Char(' '));
            QVERIFY(sf.AddiXMLChunk(text));
            QSoundFile reader;
            QVERIFY(openScanned(reader, path) && reader.GetiXMLFileInfos());
            QCOMPARE(reader.GetiXMLMonoTrackName() + reader.GetiXMLNotes(), name + note);
            QCOMPARE(reader.m_nPosiXML, sf.m_nPosiXML);   // the second text went in place
        }
        sf.Close();
        QVERIFY(readAll(path).contains("<NAME>Perche \xC3\x89ric</NAME>"));
    }
};

QTEST_MAIN(TestIxmlUpdate)
#include "tst_ixml_update.moc"
