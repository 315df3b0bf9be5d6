// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli info as a black box: exact values, messages and exit codes on
// recorder files, other writers' files and damaged ones.

#include "SoundFixtures.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

namespace {

QJsonObject parseJson(const QByteArray& out)
{
    QJsonParseError error;
    const QJsonDocument d = QJsonDocument::fromJson(out, &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("not JSON: %s", qPrintable(error.errorString()));
    return d.object();
}

} // namespace

class TestCliInfo : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void recorderFileJson();
    void recorderFileText();
    void otherWritersFiles_data();
    void otherWritersFiles();
    void unreadableFiles_data();
    void unreadableFiles();
    void badIxmlStillReads();
    void rf64File();
    void usage_data();
    void usage();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestCliInfo::recorderFileJson()
{
    RecorderFileSpec spec;
    spec.timeReference = 48000ULL * 3600 * 10 + 48000 * 62 + 7;
    spec.frames = 48000 * 3 + 5;
    spec.frameRateCode = "29.97";
    spec.ixml.scene = QStringLiteral("Scène \"4\"");
    spec.ixml.take = QStringLiteral("r12");
    spec.ixml.note = QStringLiteral("line1");
    spec.ixml.channelIndex = 2;
    spec.ixml.trackName = QStringLiteral("Boom");
    spec.ixml.totalFiles = 3;
    QList<RecorderChunkPlace> places;
    const QByteArray bytes = RecorderFileWriter::build(spec, &places);
    const QString file = path(QStringLiteral("AA0001_02.WAV"));
    QVERIFY(writeBytes(file, bytes));

    const testsupport::ProcessResult r = run(cliPath(), {"info", file, "--json"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray());
    const QJsonObject o = parseJson(r.out);
    const QJsonArray chunks = o.value(QStringLiteral("chunks")).toArray();
    QCOMPARE(chunks.size(), places.size());
    for (int i = 0; i < places.size(); ++i)
        QCOMPARE(chunks.at(i).toObject(), QJsonObject({{"id", QString::fromLatin1(places.at(i).id)},
                                                       {"offset", double(places.at(i).offset)}, {"size", double(places.at(i).size)}}));
    // Numbers as numbers, texts with their quotes and accents.
    const QJsonObject expected{
        {"file", file}, {"riff_size", double(bytes.size() - 8)}, {"sample_rate", 48000}, {"channels", 1}, {"bits", 24},
        {"format_tag", 1}, {"block_align", 3}, {"sampling", "48kHz/24bits"}, {"data_size", (48000 * 3 + 5) * 3},
        {"samples", 48000 * 3 + 5}, {"duration", "00:00:03"}, {"duration_seconds", 3},
        {"time_reference", double(spec.timeReference)}, {"timecode", "10:01:02"}, {"frame_rate", "29.97df"},
        {"frames_per_second", 30},
        {"bext", QJsonObject{{"description", QStringLiteral("aSCENE=Scène \"4\"\r\naTAKE=r12\r\naTAPE=DAY1\r\naUBITS=00000000\r\n"
                                                            "aSPEED=029.970-DF\r\naNOTE=line1\r\n")},
                             {"originator", "PAVANE V01.23.45 SN000123"}, {"originator_reference", "VELPAV0000000000000000000000000A"},
                             {"origination_date", "2019-05-14"}, {"origination_time", "10:15:30"}, {"version", 1}, {"take", "r12"}}},
        {"ixml_summary", QJsonObject{{"scene", QStringLiteral("Scène \"4\"")}, {"take", "r12"}, {"note", "line1"},
                                     {"track_number", 2}, {"track_name", "Boom"}, {"total_files", "3"}}}};
    for (const QString& key : expected.keys()) {
        if (!expected.value(key).isObject()) {
            QCOMPARE(o.value(key), expected.value(key));
            continue;
        }
        const QJsonObject sub = expected.value(key).toObject();
        for (const QString& k : sub.keys())
            QCOMPARE(o.value(key).toObject().value(k), sub.value(k));
    }
    const QString text = o.value(QStringLiteral("ixml")).toString();
    QCOMPARE(text, QString::fromUtf8(bytes.mid(int(places.at(4).offset) + 8, 61440)).trimmed());
    QVERIFY(text.endsWith(QLatin1String("</BWFXML>")));
}

void TestCliInfo::recorderFileText()
{
    RecorderFileSpec spec;
    spec.timeReference = 48000ULL * 3600;
    spec.frames = 480;
    spec.description = "aSCENE=9\r\naTAKE=2\r\n";
    spec.ixml.scene = QStringLiteral("9");
    spec.ixml.take = QStringLiteral("2");
    spec.ixml.note = QStringLiteral("a\nb");
    spec.withFilm = false;
    spec.withVlta = false;
    spec.withOnde = false;
    spec.ixmlRaw = "<BWFXML><SCENE>9</SCENE><TAKE>2</TAKE><NOTE>a\nb</NOTE><FILE_SET><TOTAL_FILES>1</TOTAL_FILES>"
                   "</FILE_SET><TRACK_LIST><TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX><NAME>Mix</NAME></TRACK></TRACK_LIST>"
                   "</BWFXML>      ";
    const QString file = path(QStringLiteral("AB0001_01.WAV"));
    QVERIFY(RecorderFileWriter::write(file, spec));
    const testsupport::ProcessResult r = run(cliPath(), {"info", file});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray());
    const int ixmlSize = spec.ixmlRaw.size();
    const QString expected = QStringLiteral(
        "file: %1\n"
        "riff_size: %2\n"
        "chunks:\n"
        "  bext offset=12 size=858\n"
        "  fmt  offset=878 size=16\n"
        "  iXML offset=902 size=%3\n"
        "  data offset=%4 size=1440\n"
        "format_tag: 1\n"
        "container: RIFF\n"
        "format_name: PCM\n"
        "subformat: \n"
        "encoding: integer\n"
        "valid_bits: 0\n"
        "sample_rate: 48000\n"
        "channels: 1\n"
        "bits: 24\n"
        "block_align: 3\n"
        "sampling: 48kHz/24bits\n"
        "data_size: 1440\n"
        "samples: 480\n"
        "duration: 00:00:00\n"
        "duration_seconds: 0\n"
        "time_reference: 172800000\n"
        "timecode: 01:00:00\n"
        "frame_rate: \n"
        "frames_per_second: 24\n"
        "ds64: none\n"
        "bext.description: aSCENE=9\\r\\naTAKE=2\\r\\n\n"
        "bext.originator: PAVANE V01.23.45 SN000123\n"
        "bext.originator_reference: VELPAV0000000000000000000000000A\n"
        "bext.origination_date: 2019-05-14\n"
        "bext.origination_time: 10:15:30\n"
        "bext.version: 1\n"
        "bext.scene: 9\n"
        "bext.take: 2\n"
        "bext.note: \n"
        "bext.tape: \n"
        "bext.type: \n"
        "ixml.scene: 9\n"
        "ixml.take: 2\n"
        "ixml.note: a\\nb\n"
        "ixml.track_number: 1\n"
        "ixml.track_name: Mix\n"
        "ixml.total_files: 1\n")
                                 .arg(file)
                                 .arg(902 + 8 + ixmlSize + 8 + 1440 - 8)
                                 .arg(ixmlSize)
                                 .arg(902 + 8 + ixmlSize);
    QCOMPARE(QString::fromUtf8(r.out), expected);
}

void TestCliInfo::otherWritersFiles_data()
{
    QTest::addColumn<RecorderFileSpec>("spec");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<bool>("hasIxml");
    RecorderFileSpec spec;
    spec.withFilm = spec.withVlta = spec.withOnde = false;
    spec.extraBefore = {ExtraChunk{"JUNK", "abc", true, 0}};
    spec.extraAfter = {ExtraChunk{"LIST", "12345", true, 0}, ExtraChunk{"cue ", "x", true, 0}};
    QTest::newRow("odd chunks with pad bytes") << spec << QStringList({"JUNK", "bext", "fmt ", "iXML", "data", "LIST", "cue "}) << true;
    spec.extraBefore.clear();
    spec.extraAfter.clear();
    spec.ixmlLast = true;
    spec.ixmlRaw = "<BWFXML><SCENE>s</SCENE></BWFXML>";
    spec.ixmlDeclaredSize = 0xFFFFFFF0u;
    QTest::newRow("iXML size far past the end") << spec << QStringList({"bext", "fmt ", "data", "iXML"}) << true;
    spec = RecorderFileSpec();
    spec.withFilm = spec.withVlta = spec.withOnde = false;
    spec.ixmlRaw = "<BWFXML/>";
    for (int i = 0; i < 31; ++i)
        spec.extraAfter << ExtraChunk{"u" + QByteArray::number(100 + i), "", false, 0};
    QStringList ids({"bext", "fmt ", "iXML", "data"});
    for (int i = 0; i < 31; ++i)
        ids << QStringLiteral("u%1").arg(100 + i);
    QTest::newRow("31 unknown chunks: iXML ignored, all listed") << spec << ids << false;
    spec = RecorderFileSpec();
    spec.withFilm = spec.withVlta = spec.withOnde = spec.withIxml = false;
    spec.extraAfter = {ExtraChunk{QByteArray("\x01\xFFz\\", 4), "", false, 0}};
    QTest::newRow("binary chunk identifier") << spec << QStringList({"bext", "fmt ", "data", "\\x01\\xffz\\x5c"}) << false;
}

void TestCliInfo::otherWritersFiles()
{
    QFETCH(RecorderFileSpec, spec);
    QFETCH(bool, hasIxml);
    QList<RecorderChunkPlace> places;
    const QString file = path(QStringLiteral("other.WAV"));
    QVERIFY(writeBytes(file, RecorderFileWriter::build(spec, &places)));
    const testsupport::ProcessResult r = run(cliPath(), {"info", "--json", file});
    QCOMPARE(r.exitCode, 0);
    const QJsonObject o = parseJson(r.out);
    const QJsonArray chunks = o.value(QStringLiteral("chunks")).toArray();
    QStringList got;
    for (int i = 0; i < chunks.size(); ++i) {
        got << chunks.at(i).toObject().value(QStringLiteral("id")).toString();
        QCOMPARE(chunks.at(i).toObject().value(QStringLiteral("offset")).toDouble(), double(places.at(i).offset));
        QCOMPARE(chunks.at(i).toObject().value(QStringLiteral("size")).toDouble(), double(places.at(i).size));
    }
    QTEST(got, "ids");
    QCOMPARE(o.value(QStringLiteral("ixml")).isNull(), !hasIxml);
    QCOMPARE(o.value(QStringLiteral("samples")).toInt(), 4800);
}

void TestCliInfo::unreadableFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");      // "-" = no file
    QTest::addColumn<QString>("message");       // %1 folder, %2 file name
    QTest::newRow("missing") << "missing.WAV" << QByteArray("-")
                             << "QSoundFile::Open(): Unable to open\n%1\n%2\nfor reading !\n";
    QTest::newRow("percent in the name") << "x%1%2.WAV" << QByteArray("-")
                                         << "QSoundFile::Open(): Unable to open\n%1\n%2\nfor reading !\n";
    QTest::newRow("zero-length") << "empty.WAV" << QByteArray()
                                 << "QSoundFile::ReadChunks(): Path:%1\nFile:%2\nis empty !\n";
    RecorderFileSpec spec;
    spec.riffId = "RIFX";
    QTest::newRow("RIFX") << "rifx.WAV" << RecorderFileWriter::build(spec)
                          << "QSoundFile::ReadChunks(): Path:%1\nFile:%2\nis not a sound file !\n";
    spec = RecorderFileSpec();
    spec.truncateTo = 200;
    QTest::newRow("truncated in bext") << "cut.WAV" << RecorderFileWriter::build(spec)
                                       << "QSoundFile::ReadChunks(): Path:%1\nFile:%2\nhasn't Format Chunk !\n";
    spec = RecorderFileSpec();
    spec.withBext = false;
    QTest::newRow("no bext") << "nobext.WAV" << RecorderFileWriter::build(spec)
                             << "QSoundFile::ReadChunks(): Path:%1\nFile:%2\nhasn't Bext Chunk !\n";
    spec = RecorderFileSpec();
    spec.ixmlDeclaredSize = 0xFFFFFFF0u;   // before data: the scan ends there
    QTest::newRow("lying iXML size before data") << "lying.WAV" << RecorderFileWriter::build(spec)
                                                 << "QSoundFile::ReadChunks(): Path:%1\nFile:%2\nhasn't Data Chunk !\n";
}

void TestCliInfo::unreadableFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString file = path(name);
    if (bytes != "-")
        QVERIFY(writeBytes(file, bytes));
    for (const char* form : {"", "--json"}) {
        QStringList args({"info", file});
        if (*form)
            args << QString::fromLatin1(form);
        const testsupport::ProcessResult r = run(cliPath(), args);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(QString::fromUtf8(r.err), message.arg(m_dir.path() + QLatin1Char('/'), name));
    }
}

void TestCliInfo::badIxmlStillReads()
{
    RecorderFileSpec spec;
    spec.ixmlRaw = "<BWFXML>\n<SCENE>1</TAKE>\n</BWFXML>";
    const QString file = path(QStringLiteral("badxml.WAV"));
    QVERIFY(RecorderFileWriter::write(file, spec));
    const testsupport::ProcessResult r = run(cliPath(), {"info", file, "--json"});
    QCOMPARE(r.exitCode, 0);
    const QJsonObject o = parseJson(r.out);
    const QJsonObject summary = o.value(QStringLiteral("ixml_summary")).toObject();
    QVERIFY(!summary.value(QStringLiteral("error")).toString().isEmpty());
    QCOMPARE(summary.value(QStringLiteral("line")).toInt(), 2);
    QCOMPARE(o.value(QStringLiteral("ixml")).toString(), QString::fromLatin1(spec.ixmlRaw));

    spec.ixmlRaw = "<ROOT/>";
    QVERIFY(RecorderFileWriter::write(file, spec));
    const testsupport::ProcessResult other = run(cliPath(), {"info", file, "--json"});
    QCOMPARE(other.exitCode, 0);
    const QJsonObject s2 = parseJson(other.out).value(QStringLiteral("ixml_summary")).toObject();
    QCOMPARE(s2.value(QStringLiteral("error")).toString(), QStringLiteral("No <BWFXML> tag !"));
    QCOMPARE(s2.value(QStringLiteral("line")).toInt(), 1);
    QCOMPARE(s2.value(QStringLiteral("column")).toInt(), 0);
}

void TestCliInfo::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no file") << QStringList({"info"});
    QTest::newRow("only --json") << QStringList({"info", "--json"});
    QTest::newRow("two files") << QStringList({"info", "a.WAV", "b.WAV"});
    QTest::newRow("unknown option") << QStringList({"info", "a.WAV", "--yaml"});
    QTest::newRow("empty name") << QStringList({"info", ""});
}

void TestCliInfo::usage()
{
    QFETCH(QStringList, args);
    const testsupport::ProcessResult r = run(cliPath(), args);
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(r.err, QByteArray("usage: sonalign-cli info FILE [--json]\n"));
}

// RF64 (another recorder's long file): its format, ds64 sizes and time
// reference, read as a source.
void TestCliInfo::rf64File()
{
    RecorderFileSpec spec;
    spec.timeReference = 48000ULL * 3600;
    const QString file = path(QStringLiteral("LONG.WAV"));
    QVERIFY(RecorderFileWriter::writeRf64Sparse(file, spec, 100, 0, 100));
    const testsupport::ProcessResult r = run(cliPath(), {"info", file});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray());
    // RF64 header 12, ds64 8 + 28, bext 8 + 858, fmt 8 + 16, data header 8.
    QCOMPARE(QString::fromUtf8(r.out), QStringLiteral("file: %1\n"
                                                      "format_tag: 1\n"
                                                      "container: RF64\n"
                                                      "format_name: PCM\n"
                                                      "subformat: \n"
                                                      "encoding: integer\n"
                                                      "valid_bits: 0\n"
                                                      "sample_rate: 48000\n"
                                                      "channels: 1\n"
                                                      "bits: 24\n"
                                                      "block_align: 3\n"
                                                      "data_offset: 946\n"
                                                      "data_size: 300\n"
                                                      "samples: 100\n"
                                                      "time_reference: 172800000\n"
                                                      "ds64.riff_size: 1238\n"
                                                      "ds64.data_size: 300\n"
                                                      "ds64.sample_count: 100\n")
                                           .arg(file));
    const testsupport::ProcessResult j = run(cliPath(), {"info", file, "--json"});
    QCOMPARE(j.exitCode, 0);
    const QJsonObject o = parseJson(j.out);
    QCOMPARE(o.value(QStringLiteral("container")).toString(), QStringLiteral("RF64"));
    QCOMPARE(o.value(QStringLiteral("ds64")).toObject().value(QStringLiteral("data_size")).toInt(), 300);
    QCOMPARE(o.value(QStringLiteral("time_reference")).toDouble(), 172800000.0);
}

QTEST_MAIN(TestCliInfo)
#include "tst_cli_info.moc"
