// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli as a black box: exact stdout, stderr and exit codes on a generated day, hostile names and files.

#include "../insertion/ConformFixtures.h"
#include "QSoundFile.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QSettings>

#include <cmath>
#include <cstring>
#include <unistd.h>

using namespace fixtures;

namespace {

const quint32 kRate = 1000;   // a thousand samples per second keeps the takes tiny
quint64 at(int h, int m, int s) { return (quint64(h) * 3600 + quint64(m) * 60 + quint64(s)) * kRate; }

bool writeTake(const QString& folder, const QString& root, int tracks, quint64 start = at(10, 0, 0), quint32 seconds = 20)
{
    return QDir().mkpath(folder) && RecorderFileWriter::writeMonoTake(folder, root, tracks, spec(kRate, 16, seconds * kRate, start));
}

// Every file under `root`, hidden ones included, with its hash.
QMap<QString, QByteArray> tree(const QString& root)
{
    QMap<QString, QByteArray> all;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        all.insert(QDir(root).relativeFilePath(p), testsupport::sha1Of(p));
    }
    return all;
}

// Writes `file` from `base` as `change` leaves it.
template <typename Change> bool put(const QString& file, RecorderFileSpec base, Change change)
{
    return change(base), RecorderFileWriter::write(file, base);
}

// The folders every row of `commands` starts from, fresh each time; "$T" etc. stand for their paths.
struct World
{
    QTemporaryDir dir;
    QMap<QString, QString> vars;
    QString path(const char* var) const { return vars.value(QLatin1String(var)); }

    explicit World(const QString& row = QString())   // the full take (slow: 24 files) only for a row that names it
    {
        for (const char* v : {"$T/Master", "$X/Extra", "$E/Empty", "$N/Other", "$B/Bad", "$W/Ragged", "$P/Day1_PV1", "$Q/Dashes",
                              "$L/List", "$Y/Boom", "$Z/Day", "$C/Cut", "$J/Lav", "$K/Verified", "$V/Full", "$M/Long", "$G/Floats", "$H"})
            QDir().mkpath(vars[QString::fromLatin1(v, 2)] = dir.path() + QString::fromLatin1(v + 2));
        const QString t = path("$T"), x = path("$X"), b = path("$B");
        writeTake(t, "AA0001", 2, at(10, 0, 0), 20);    // the source covers 10:00:10 .. 10:00:30: missing start
        writeTake(t, "AA0002", 1, at(10, 0, 12), 2);    // entire
        writeTake(t, "AA0003", 1, at(10, 0, 20), 20);   // missing end
        writeTake(t, "AA0004", 1, at(10, 0, 5), 35);    // partial
        writeTake(t, "AA0005", 1, at(11, 0, 0), 1);     // none
        writeTake(path("$N"), "ZZ0001", 1, at(1, 0, 0), 1);
        writeTake(path("$P"), "AB.001", 3);
        if (row.contains("$V") && writeTake(path("$V"), "AA0001", 24, at(10, 0, 12), 2))   // its last track hidden
            hideTrack(path("$V"), 24, {"AA0001"});
        for (const char* v : {"$S/Boom 1.wav", "$2/Two lavs.wav", "$R/Rate.wav", "$D/Deep.wav", "$F/Float.wav"})
            vars.insert(QString::fromLatin1(v, 2), x + QString::fromLatin1(v + 2));
        writeSource(path("$S"), kRate, 16, 20 * kRate, at(10, 0, 10));
        writeSource(path("$2"), kRate, 16, 20 * kRate, at(10, 0, 10), 5, 2);
        writeSource(path("$R"), 2 * kRate, 16, 40 * kRate, 2 * at(10, 0, 10));
        writeSource(path("$D"), kRate, 24, 20 * kRate, at(10, 0, 10), 8);
        // A float source reaching full scale, with a NaN.
        RecorderFileSpec s = spec(kRate, 32, 20 * kRate, at(10, 0, 10));
        s.formatTag = 3;
        s.withIxml = s.withFilm = s.withVlta = s.withOnde = false;
        QByteArray bytes = RecorderFileWriter::build(s);
        // The data chunk need not be 4-byte aligned: samples are copied in, not stored through a float pointer.
        const qint64 data = find(bytes, "data").offset + 8;
        const auto setSample = [&](qint64 i, float v) { std::memcpy(bytes.data() + data + 4 * i, &v, sizeof v); };
        for (qint64 i = 0; i < 20 * kRate; ++i)
            setSample(i, 0.25f);
        setSample(2500, 3.0f);   // 10:00:12.5 -> frame 12 at 25 fps
        setSample(2900, 3.0f);
        setSample(2501, -1.0f);   // exact: not counted
        setSample(2750, std::nanf(""));   // frame 18
        writeFile(path("$F"), bytes);
        s.withIxml = s.withFilm = s.withVlta = s.withOnde = true;
        RecorderFileWriter::writeMonoTake(path("$G"), "CC0001", 2, s);
        // The window keeps a track name per source in "<folder>./<source>.snl".
        QDir().mkpath(x + ".");
        QSettings(x + "./Boom 1.snl", QSettings::IniFormat).setValue("LastSetup/TrackName", "Perche");

        // Files of other writers, and files no reader should accept.
        RecorderFileSpec other;
        other.withFilm = other.withVlta = other.withOnde = false;
        using F = RecorderFileSpec&;
        put(b + "/odd.WAV", other, [](F f) { f.extraBefore = {{"JUNK", "abc", true, 0}}; f.extraAfter = {{"LIST", "12345", true, 0}, {"cue ", "x", true, 0}}; });
        put(b + "/far.WAV", other, [](F f) { f.ixmlLast = true; f.ixmlRaw = "<BWFXML><SCENE>s</SCENE></BWFXML>"; f.ixmlDeclaredSize = 0xFFFFFFF0u; });
        put(b + "/many.WAV", other, [](F f) {
            f.ixmlRaw = "<BWFXML/>";
            for (int i = 0; i < 31; ++i)
                f.extraAfter << ExtraChunk{"u" + QByteArray::number(100 + i), "", false, 0};
        });
        put(b + "/binary.WAV", other, [](F f) { f.withIxml = false; f.extraAfter = {{QByteArray("\x01\xFFz\\", 4), "", false, 0}}; });
        put(b + "/badxml.WAV", other, [](F f) { f.ixmlRaw = "<BWFXML>\n<SCENE>1</TAKE>\n</BWFXML>"; });
        put(b + "/root.WAV", other, [](F f) { f.ixmlRaw = "<ROOT/>"; });
        put(b + "/rifx.WAV", other, [](F f) { f.riffId = "RIFX"; });
        put(b + "/cut.WAV", other, [](F f) { f.truncateTo = 200; });
        put(b + "/nobext.WAV", other, [](F f) { f.withBext = false; });
        put(b + "/lying.WAV", other, [](F f) { f.ixmlDeclaredSize = 0xFFFFFFF0u; });   // before data: the scan ends there
        writeFile(b + "/empty.WAV", QByteArray());
        put(b + "/AA0001_02.WAV", RecorderFileSpec(), [](F f) {
            f.timeReference = 48000ULL * 3600 * 10 + 48000 * 62 + 7; f.frames = 48000 * 3 + 5; f.frameRateCode = "29.97";
            f.ixml.scene = QString::fromUtf8("Scène \"4\""); f.ixml.note = "a\nb"; f.ixml.channelIndex = 2; f.ixml.totalFiles = 3;
        });
        RecorderFileSpec rf64;
        rf64.timeReference = 48000ULL * 3600;
        RecorderFileWriter::writeRf64Sparse(b + "/LONG.WAV", rf64, 100, 0, 100);

        // Takes whose data chunk is not a whole number of samples.
        const auto ragged = [&](const char* name, quint16 bits, int extra) {
            writeFile(path("$W") + name, withDataTail(RecorderFileWriter::build(spec(kRate, bits, 20 * kRate, at(10, 0, 0))), extra));
        };
        ragged("/WA0001_01.WAV", 16, 1);
        ragged("/WB0001_01.WAV", 24, 1);
        ragged("/WC0001_01.WAV", 24, 2);
        // A take of "-1", "-2" files.
        for (int n = 1; n <= 2; ++n) {
            RecorderFileSpec d = RecorderFileWriter::monoTrackSpec(spec(kRate, 16, 20 * kRate, at(10, 0, 0)), 2, n);
            d.ixml.originalFileName = QStringLiteral("AA0001-%1.WAV").arg(n);
            RecorderFileWriter::write(path("$Q") + "/" + d.ixml.originalFileName, d);
        }

        // A folder to list: mono, poly, no iXML, not RIFF, '%' and a bad iXML, a name too short for a take.
        const QString l = path("$L");
        const RecorderFileSpec base = spec(48000, 24, 4800, quint64(48000) * 3600 + 12);
        RecorderFileWriter::writeMonoTake(l, "AA0001", 4, base);
        put(l + "/AA0002PX.WAV", base, [](F f) {
            f.channels = 2; f.frames = 9600; f.timeReference = 1000; f.ixml.scene = "  14B "; f.ixml.take = "t7";
            f.ixml.note = "wind \"gusts\""; f.ixml.trackCount = 2; f.ixml.polyTrackNames = QStringList{"Boom", QString()};
        });
        put(l + "/AA0003_01.WAV", base, [](F f) { f.withIxml = false; f.timeReference = 500; });
        put(l + "/AA%d05_01.WAV", base, [](F f) { f.ixmlRaw = "<BWFXML><NOTE>x</BWFXML>"; f.timeReference = 0; });
        writeFile(l + "/AA0004_01.WAV", "RIFX0000WAVE");
        writeFile(l + "/AB.WAV", "x");

        // A conform day at 8 kHz: takes across two sources, with a gap, without source; $C's last source lost 12 s.
        const double sources[3][2] = {{0, 10}, {10, 10}, {25, 15}};
        for (int i = 0; i < 3; ++i)
            for (const char* folder : {"$Y", "$C"})
                writeSource(path(folder) + QStringLiteral("/A_000%1.WAV").arg(i + 1), kDayRate, 16, quint32(sources[i][1] * kDayRate),
                            kT0 + quint64(sources[i][0] * kDayRate), 100 + quint32(i));
        QFile::resize(path("$C") + "/A_0003.WAV", QFileInfo(path("$C") + "/A_0003.WAV").size() - 12 * kDayRate * 2);
        const double takes[3][2] = {{5, 10}, {18, 12}, {200, 5}};
        for (int i = 0; i < 3; ++i)
            RecorderFileWriter::writeMonoTake(path("$Z"), QStringLiteral("AA000%1").arg(i + 1), 2,
                                              spec(kDayRate, 16, quint32(takes[i][1] * kDayRate), kT0 + quint64(takes[i][0] * kDayRate)));
        // Names at the file system's limit: a poly file; a mono take whose new track's name is one byte short.
        const int max = int(qMax(10L, pathconf(QFile::encodeName(dir.path()).constData(), _PC_NAME_MAX)));
        vars.insert("$p", "LP0001" + QString(max - 10, 'p') + ".WAV");
        vars.insert("$m", "LM0001" + QString(max - 14, 'm'));
        writeTake(path("$M"), path("$m"), 2);
        put(path("$M") + "/" + path("$p"), spec(kRate, 16, 2 * kRate, at(10, 0, 0)), [](F f) {
            f.channels = 2; f.ixml.trackCount = 2; f.ixml.padTo = 0; f.ixml.polyTrackNames = QStringList{"Boom", "Lav"};
        });
        // Takes whose track 1 is the source itself, and one no source matches.
        for (int i = 0; i < 2; ++i) {
            RecorderFileWriter::writeMonoTake(path("$K"), QStringLiteral("AA000%1").arg(i + 1), 1, spec(kDayRate, 16, 12 * kDayRate, kT0 + i * 100 * kDayRate));
            writeSource(path("$J") + (i ? "/OTHER.WAV" : "/SAME.WAV"), kDayRate, 16, 12 * kDayRate, kT0 + i * 100 * kDayRate, i ? 99 : 1);
        }
    }
    QString expand(QString s) const
    {
        for (auto it = vars.begin(); it != vars.end(); ++it)
            s.replace(it.key(), it.value());
        return s;
    }
};

} // namespace

class TestCliCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules("default.debug=false"); }   // the hide workflow's trace

    void commands_data()
    {
        QTest::addColumn<QString>("args");       // split at blanks, then $X -> a folder or file of World
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");        // exact
        QTest::addColumn<QString>("err");        // exact
        QTest::addColumn<QStringList>("fileHas");   // "FILE|TEXT": FILE exists after the run and holds TEXT
        const auto row = [](const char* name, const char* args, int exitCode, const QString& out, const QString& err,
                            const QStringList& fileHas = {}) {
            QTest::newRow(name) << QString::fromUtf8(args) << exitCode << out << err << fileHas;
        };
        const QString usage = "usage: sonalign-cli ";
        const QString uList = usage + "list FOLDER [--json]\n", uInfo = usage + "info FILE [--json]\n";
        const QString uAnalyse = usage + "analyse SOURCE_FILE TARGET_FOLDER [--json]\n";
        const QString uCreate = usage + "create --track N [--name NAME] [--channel K] [--dither tpdf [--dither-seed S]] "
                                        "SOURCE_FILE TARGET_FOLDER FILE_ID...\n";
        const QString uDelete = usage + "delete --track N TARGET_FOLDER FILE_ID...\n";
        const QString uConform = usage + "conform SOURCE_FOLDER TARGET_FOLDER --track N|next [--name NAME] [--channel K] "
                                         "[--verify] [--dry-run] [--json] [--report FILE] [FILE_ID...]\n";
        const QString uVerify = usage + "verify TARGET_FOLDER --track N [--against M] [--tolerance-ms X] [--json] [FILE_ID...]\n";
        const QString mixer = "QSoundMixer::SonalignMono(): ";
        const QString bounce = "MainWindow::OnPushButton_CreateSoundTrack(): %1\nError during bounce Sonalign process.\n";
        const QString noTag = "\nNo corresponding file found matching with this tag.\n";
        const QString open = "QSoundFile::Open(): Unable to open\n$B/\n%1\nfor reading !\n";
        const QString chunks = "QSoundFile::ReadChunks(): Path:$B/\nFile:%1\n%2 !\n";
        const QString ragged = mixer + "$W/%1_01.WAV\nThe take's data size (%2 bytes) is not a whole number of %3-byte samples.\n";

        row("list: empty folder, JSON", "list $E --json", 0, "[]\n", "");
        row("list: missing folder", "list $T/nope", 1, "", "sonalign-cli list: no such folder: $T/nope\n");
        row("list: a file, not a folder", "list $S", 1, "", "sonalign-cli list: no such folder: $S\n");
        for (const char* args : {"list", "list $T $T", "list $T --xml"})
            row(args, args, 2, "", uList);

        for (const char* args : {"info", "info a.WAV b.WAV", "info a.WAV --yaml", "info "})
            row(args, args, 2, "", uInfo);
        row("info: missing file", "info $B/missing.WAV --json", 1, "", open.arg("missing.WAV"));
        row("info: percent in the name", "info $B/x%1%2.WAV", 1, "", open.arg("x%1%2.WAV"));
        row("info: zero-length", "info $B/empty.WAV", 1, "", chunks.arg("empty.WAV", "is empty"));
        row("info: RIFX", "info $B/rifx.WAV --json", 1, "", chunks.arg("rifx.WAV", "is not a sound file"));
        row("info: truncated in bext", "info $B/cut.WAV", 1, "", chunks.arg("cut.WAV", "hasn't Format Chunk"));
        row("info: no bext", "info $B/nobext.WAV --json", 1, "", chunks.arg("nobext.WAV", "hasn't Bext Chunk"));
        row("info: lying iXML size before data", "info $B/lying.WAV", 1, "", chunks.arg("lying.WAV", "hasn't Data Chunk"));
        row("info: RF64 (header 12, ds64 8 + 28, bext 8 + 858, fmt 8 + 16, data header 8)", "info $B/LONG.WAV", 0,
            "file: $B/LONG.WAV\nformat_tag: 1\ncontainer: RF64\nformat_name: PCM\nsubformat: \nencoding: integer\nvalid_bits: 0\n"
            "sample_rate: 48000\nchannels: 1\nbits: 24\nblock_align: 3\ndata_offset: 946\ndata_size: 300\nsamples: 100\n"
            "time_reference: 172800000\nds64.riff_size: 1238\nds64.data_size: 300\nds64.sample_count: 100\n", "");
        row("info: RF64, JSON", "info $B/LONG.WAV --json", 0, "~\"container\": \"RF64\",\n~\"time_reference\": 172800000,\n  \"ds64\": "
            "{\"riff_size\": 1238, \"data_size\": 300, \"sample_count\": 100}\n}\n", "");

        // Numbers as numbers; quotes, accents and line ends escaped.
        row("info: a recorder file, JSON", "info $B/AA0001_02.WAV --json", 0,
            "~\n  \"data_size\": 432015,\n  \"samples\": 144005,\n  \"duration\": \"00:00:03\",\n  \"duration_seconds\": 3,\n  \"time_reference\": "
            "1730976007,\n  \"timecode\": \"10:01:02\",\n  \"frame_rate\": \"29.97df\",\n  \"frames_per_second\": 30,\n  \"ds64\": null,\n"
            "~\n  \"ixml_summary\": {\"scene\": \"Scène \\\"4\\\"\", \"take\": \"3\", \"note\": \"a\\nb\", \"track_number\": 2, ", "");
        row("info: odd chunks with pad bytes", "info $B/odd.WAV", 0,
            "~\nchunks:\n  JUNK offset=12 size=3\n  bext offset=24 size=858\n  fmt  offset=890 size=16\n  iXML offset=914 size=61440\n"
            "  data offset=62362 size=14400\n  LIST offset=76770 size=5\n  cue  offset=76784 size=1\nformat_tag: 1\n"
            "~\nbext.description: aSCENE=12A\\r\\naTAKE=3\\r\\naTAPE=DAY1\\r\\n", "");
        row("info: iXML size far past the end", "info $B/far.WAV --json", 0,
            "~    {\"id\": \"data\", \"offset\": 902, \"size\": 14400},\n    {\"id\": \"iXML\", \"offset\": 15310, \"size\": 4294967280}\n  ],\n"
            "~\n  \"ixml_summary\": {\"scene\": \"s\", ~\n  \"ixml\": \"<BWFXML><SCENE>s</SCENE></BWFXML>\"\n}\n", "");
        row("info: 31 unknown chunks, iXML ignored, all listed", "info $B/many.WAV", 0,
            "~\n  iXML offset=902 size=9\n  data offset=919 size=14400\n  u100 offset=15327 size=0\n~\n  u130 offset=15567 size=0\nformat_tag: 1\n"
            "~\nbext.type: \nixml: none\n", "");
        row("info: binary chunk identifier", "info $B/binary.WAV", 0,
            "~\n  data offset=902 size=14400\n  \\x01\\xffz\\x5c offset=15310 size=0\nformat_tag: 1\n~\nbext.type: \nixml: none\n", "");
        row("info: malformed iXML still reads", "info $B/badxml.WAV --json", 0,
            "~\n  \"ixml_summary\": {\"error\": \"tag mismatch\", \"line\": 2, \"column\": 15},\n  \"ixml\": \"<BWFXML>\\n<SCENE>1</TAKE>\\n</BWFXML>\"\n}\n",
            "ERROR ON iXML QXmlObject::OpenDocFromTxt() 2 15 tag mismatch\n[001] <BWFXML>\n[002] <SCENE>1</TAKE>\n[003] </BWFXML>\n");
        row("info: iXML of another root", "info $B/root.WAV --json", 0,
            "~\n  \"ixml_summary\": {\"error\": \"No <BWFXML> tag !\", \"line\": 1, \"column\": 0},\n  \"ixml\": \"<ROOT/>\"\n}\n", "");

        // Names in byte order ('%' before the digits); a malformed iXML is said on stderr only.
        const QString listErr = "ERROR ON iXML QXmlObject::OpenDocFromTxt() 1 24 tag mismatch\n[001] <BWFXML><NOTE>x</BWFXML>\nXML ERROR ON FILE Number 0\n"
                                "\nQSoundFile::ReadChunks(): Path:$L/\nFile:AA0004_01.WAV\nis not a sound file !\nXML ERROR ON FILE Number 0\n";
        row("list: every kind of file, table", "list $L", 0,
            "FILE_ID  TYPE  TRACKS  SCENE  TAKE  START      END        STATUS  NOTES                                    TRACK_NAMES\n"
            "AA%d05   Mono  1              0     0          4800       0                                                1:T1\n"
            "AA0001   Mono  4       12A    3     172800012  172804812  0       good                                     1:Trk1 2:Trk2 3:Trk3 4:Trk4\n"
            "AA0002   Poly  2       14B    t7    1000       10600      0       wind \"gusts\"                             1:Boom 2:x\n"
            "AA0003   Mono  1              0     500        5300       1       *** Error #1 detected on audio file ***  1:T1\n"
            "AA0004   Mono  0              0     -          -          3       *** Error #3 detected on audio file ***\n", listErr);
        row("list: every kind of file, JSON", "list $L --json", 0,
            "~[\n  {\"file_id\": \"AA%d05\", \"type\": \"Mono\", \"tracks\": 1, \"scene\": \"\", \"take\": \"0\", \"start\": 0, \"end\": 4800, "
            "~\"type\": \"Poly\", \"tracks\": 2, \"scene\": \"14B\", \"take\": \"t7\", \"start\": 1000, \"end\": 10600, \"status\": 0, \"notes\": \"wind "
            "\\\"gusts\\\"\", \"track_names\": [\"Boom\", \"x\", \"\", ~\"start\": null, \"end\": null, \"status\": 3, \"notes\": \" *** Error #3 detected "
            "on audio file *** \", \"track_names\": [\"\"" + QString(", \"\"").repeated(23) + "]}\n]\n", listErr);
        row("demo", "demo $H/demo", 0, "~target/AA0001  scene 12A take 1  2 mono tracks\n~\ntarget/AA0005  scene 15 take 1  poly, 2 channels\n"
            "~\nsource/LAV_0001.WAV  missing start of AA0001, entire AA0002 and AA0003, missing end of AA0004\n", "", {"$H/demo/target/AA0005PX.WAV|"});

        const QString format = "source 36010000 36030000\nsource_format 16-bit integer, 1 channel, 1000 Hz\n";
        row("analyse: JSON", "analyse $S $T --json", 0,
            "{\"source\": {\"start\": 36010000, \"end\": 36030000, \"format\": {\"container\": \"RIFF\", \"format_tag\": 1, "
            "\"subformat\": \"\", \"encoding\": \"integer\", \"bits\": 16, \"channels\": 1, \"sample_rate\": 1000}}, \"takes\": ["
            "{\"file_id\": \"AA0001\", \"class\": \"missing_start\", \"conversion\": \"copy\"}, "
            "{\"file_id\": \"AA0002\", \"class\": \"entire\", \"conversion\": \"copy\"}, "
            "{\"file_id\": \"AA0003\", \"class\": \"missing_end\", \"conversion\": \"copy\"}, "
            "{\"file_id\": \"AA0004\", \"class\": \"partial\", \"conversion\": \"copy\"}, "
            "{\"file_id\": \"AA0005\", \"class\": \"none\", \"conversion\": \"copy\"}], "
            "\"counts\": {\"entire\": 1, \"missing_start\": 1, \"partial\": 1, \"missing_end\": 1}}\n", "");
        row("analyse: text", "analyse $S $T/", 0,
            format + "AA0001\tmissing_start\tcopy\nAA0002\tentire\tcopy\nAA0003\tmissing_end\tcopy\nAA0004\tpartial\tcopy\n"
                     "AA0005\tnone\tcopy\n1 entire take 1 missing start 1 patial coverage 1 missing end founded\n", "");
        row("analyse: no overlap is an answer", "analyse $S $N", 0,
            format + "ZZ0001\tnone\tcopy\nSource file timecode doesn't match with any target file.\n", "");
        const QString noTimecode = "QSoundFile::Open(): Unable to open\n%1/\n%2\nfor reading !\nsonalign-cli analyse: %1/%2\n"
                                   "Error, no timecode founded in this source file.\n";
        row("analyse: missing source", "analyse $X/none.wav $T", 1, "", noTimecode.arg("$X", "none.wav"));
        row("analyse: missing folder", "analyse $S $T/nope", 1, "", "sonalign-cli analyse: $T/nope\nNo such folder.\n");
        row("analyse: one argument", "analyse $S", 2, "", uAnalyse);
        row("analyse: unknown option", "analyse $S $T --xml", 2, "", uAnalyse);

        row("create: missing start, named", "create --track 3 --name Boom $S $T AA0001 AA0003", 0, "AA0001_03.WAV\nAA0003_03.WAV\n", "",
            {"$T/AA0001_03.WAV|<NAME>Boom</NAME>", "$T/AA0003_03.WAV|<NAME>Boom</NAME>"});
        row("create: name from the source's track-name file", "create --track 2 $S $T AA0002", 0, "AA0002_02.WAV\n", "",
            {"$T/AA0002_02.WAV|<NAME>Perche</NAME>"});
        row("create: no stored name gives T<N>", "create --track 2 --channel 1 $2 $T AA0002", 0, "AA0002_02.WAV\n", "",
            {"$T/AA0002_02.WAV|<NAME>T2</NAME>"});
        row("create: float source clips and has a NaN", "create --track 2 $F $T AA0002", 0, "AA0002_02.WAV\n",
            mixer + "$F\nConverted from 32-bit float, 1 channel, 1000 Hz to 16-bit: 2 sample(s) clipped (first at 10:00:12:12), "
                    "1 NaN or infinite sample(s) set to 0 (first at 10:00:12:18).\n");
        row("create: joins a take of another family", "create --track 3 --name Boom $S $Q AA0001", 0, "AA0001_03.WAV\n", "",
            {"$Q/AA0001-1.WAV|<TOTAL_FILES>3</TOTAL_FILES>", "$Q/AA0001-2.WAV|<NAME>Boom</NAME>",
             "$Q/AA0001_03.WAV|<TOTAL_FILES>3</TOTAL_FILES>"});
        row("create: occupied track", "create --track 2 $S $T AA0001", 1, "",
            mixer + "AA0001 \nTargeted track #2 is not empty. Process aborted.\n" + bounce.arg("AA0001"));
        row("create: no overlap", "create --track 4 $S $T AA0005", 1, "", mixer + "Unable to in point Tc sample!\n" + bounce.arg("AA0005"));
        row("create: unknown take", "create --track 4 $S $T ZZ0001", 1, "", "MainWindow::OnPushButton_CreateSoundTrack(): ZZ0001" + noTag);
        row("create: empty folder", "create --track 4 $S $E AA0001", 1, "", "sonalign-cli create: $E\nNo .WAV file in this folder.\n");
        row("create: two channels, none chosen", "create --track 4 $2 $T AA0002", 1, "",
            mixer + "$2 \n Is not a monophonic file.\nIt has 2 channels: choose one with --channel K (the channel choice beside "
                    "the track in the window).\n" + bounce.arg("AA0002"));
        row("create: channel 3 of two", "create --track 4 --channel 3 $2 $T AA0002", 1, "",
            mixer + "$2\nThere is no channel 3: this source has 2 channels.\n" + bounce.arg("AA0002"));
        row("create: another sample rate", "create --track 4 $R $T AA0002", 1, "",
            mixer + "$R [2000/16 bits] \nTarget [1000/16 bits]\nThe source is at 2000 Hz and the take at 1000 Hz: the source must "
                    "be resampled to 1000 Hz first.\n" + bounce.arg("AA0002"));
        row("create: 16-bit data one byte over", "create --track 2 $S $W WA0001", 1, "", ragged.arg("WA0001", "40001", "2") + bounce.arg("WA0001"));
        row("create: 24-bit data one byte over", "create --track 2 $D $W WB0001", 1, "", ragged.arg("WB0001", "60001", "3") + bounce.arg("WB0001"));
        row("create: 24-bit data two bytes over", "create --track 2 $D $W WC0001", 1, "", ragged.arg("WC0001", "60002", "3") + bounce.arg("WC0001"));
        for (const char* args : {"create --track 25 $S $T AA0001", "create --track 0 $S $T AA0001", "create --track 3 $S $T",
                                 "create $S $T AA0001", "create --track 4 --channel 0 $2 $T AA0002", "create --track 4 --channel two $2 $T AA0002",
                                 "create --track 4 --dither rect $S $T AA0002", "create --track 4 --dither-seed 5 $S $T AA0002"})
            row(args, args, 2, "", uCreate);

        row("create: the last track of a full take, once hidden", "create --track 24 --name Last $S $V AA0001", 0, "AA0001_24.WAV\n", "",
            {"$V/AA0001_01.WAV|<TOTAL_FILES>24</TOTAL_FILES>", "$V/AA0001_23.WAV|<TOTAL_FILES>24</TOTAL_FILES>", "$V/AA0001_24.WAV|<NAME>Last</NAME>"});
        row("list: names at the file system's limit", "list $M --json", 0,
            "~[\n  {\"file_id\": \"LM0001\", \"type\": \"Mono\", \"tracks\": 2, ~\"\"]},\n  {\"file_id\": \"LP0001\", \"type\": \"Poly\", \"tracks\": 2, ", "");
        row("info: a name at the limit", "info $M/$p --json", 0, "~\"file\": \"$M/$p\",\n", "");
        row("create: a name one byte short of the limit", "create --track 3 $S $M LM0001", 0, "$m_03.WAV\n", "", {"$M/$m_03.WAV|<NAME>Perche</NAME>"});
        row("delete: a hidden name one byte longer", "delete --track 2 $M LM0001", 0, "$m_02.DEL1\n", "", {"$M/$m_02.DEL1|"});
        row("create: paths typed relative to the folder run from", "cd $P create --track 4 ./../Extra//Deep.wav ../Day1_PV1/ AB.001", 0,
            "AB.001_04.WAV\n", "", {"$P/AB.001_04.WAV|<PROJECT>Day1</PROJECT>", "$P/AB.001_04.WAV|<ORIGINAL_FILENAME>AB.001_04.WAV</"});
        row("delete: paths typed relative", "cd $P delete --track 2 . AB.001", 0, "AB.001_02.DEL1\n", "", {"$P/AB.001_01.WAV|<TOTAL_FILES>2<"});
        row("delete: passes over a take without the track", "delete --track 2 $T AA0001 AA0003", 0, "AA0001_02.DEL1\n", "",
            {"$T/AA0001_02.DEL1|<TOTAL_FILES>2</TOTAL_FILES>"});
        row("delete: hidingADottedTakeKeepsItsBaseName", "delete --track 3 $P AB.001", 0, "AB.001_03.DEL1\n", "", {"$P/AB.001_03.DEL1|"});
        const QString uRestore = usage + "restore --track N TARGET_FOLDER FILE_ID...\n";
        row("restore: the hidden track is the take's again", "restore --track 24 $V AA0001", 0, "AA0001_24.WAV\n", "",
            {"!$V/AA0001_24.DEL1", "$V/AA0001_01.WAV|<TOTAL_FILES>24</TOTAL_FILES>"});
        row("restore: occupied", "restore --track 2 $V AA0001", 1, "",
            "MainWindow::OnPushButton_RestoreSoundTrack(): $V/AA0001_02.WAV\nTrack 2 is occupied: nothing was restored.\n");
        for (const char* args : {"restore --track 25 $V AA0001", "restore --track 2 $V"})
            row(args, args, 2, "", uRestore);
        row("restore --help", "restore --help", 0, uRestore + "\nUndoes a hide: the newest hidden file (.DELn) of track N of each take "
            "becomes its .WAV again, then every file of the take agrees again. Refused, changing nothing, when track N of a take is occupied.\n", "");
        row("--version", "--version", 0, "~sonalign-cli 1.14\n", "");
        row("--help", "--help", 0, "~usage: sonalign-cli COMMAND [ARGS]\n~\n  restore --track N TARGET_FOLDER FILE_ID...\n      Undoes a hide", "");
        // Each command's help: the usage, then what it does after a blank line, even after other arguments.
        const std::pair<const char*, QString> helps[] = {{"info --help", uInfo}, {"list --help", uList}, {"analyse --help", uAnalyse},
            {"create --track 3 --help", uCreate}, {"delete --help", uDelete}, {"verify --help", uVerify}};
        for (const auto& [args, text] : helps)
            row(args, args, 0, "~" + text + "\n", "");
        row("delete: unknown take", "delete --track 1 $T ZZ0001", 1, "", "MainWindow::OnPushButton_DeleteSoundTrack(): ZZ0001" + noTag);
        row("delete: no track", "delete $T AA0001", 2, "", uDelete);
        row("delete: track not a number", "delete --track x $T AA0001", 2, "", uDelete);

        const QString sourceFormat = "\"format\": \"16-bit integer, 1 channel, 8000 Hz\", \"converted\": false}";
        const QString conformed = QStringLiteral(
            "[{\"file_id\": \"AA0001\", \"track\": 3, \"action\": \"create\", \"reason\": null, \"class\": \"entire\", \"sources\": ["
            "{\"file\": \"A_0001.WAV\", \"take_from\": 0, \"take_to\": 40000, \"source_from\": 40000, %2, "
            "{\"file\": \"A_0002.WAV\", \"take_from\": 40000, \"take_to\": 80000, \"source_from\": 0, %2], \"silence\": [], "
            "\"excluded\": [], \"result\": \"%1\"},\n"
            " {\"file_id\": \"AA0002\", \"track\": 3, \"action\": \"create\", \"reason\": null, \"class\": \"gaps\", \"sources\": ["
            "{\"file\": \"A_0002.WAV\", \"take_from\": 0, \"take_to\": 16000, \"source_from\": 64000, %2, "
            "{\"file\": \"A_0003.WAV\", \"take_from\": 56000, \"take_to\": 96000, \"source_from\": 0, %2], "
            "\"silence\": [[16000, 56000]], \"excluded\": [], \"result\": \"%1\"},\n"
            " {\"file_id\": \"AA0003\", \"track\": 3, \"action\": \"skip\", \"reason\": \"no source covers this take\", "
            "\"class\": \"none\", \"sources\": [], \"silence\": [[0, 40000]], \"excluded\": [], \"result\": \"skipped\"}]\n");
        const QString conformText = "AA0001\t3\tcreate\tentire\t%1\nAA0002\t3\tcreate\tgaps\t%2\nAA0003\t3\tskip\tnone\tskipped\tno source covers this take\n";
        row("conform: dry run, JSON", "conform $Y $Z --track 3 --dry-run --json", 0, conformed.arg("planned", sourceFormat), "");
        row("conform: a dry run writes only the report", "conform $Y $Z --track 3 --dry-run --report $H/r.csv", 0, conformText.arg("planned", "planned"), "",
            {"$H/r.csv|file_id,scene,take,timecode,track,action,reason,class,result,sources,silence,excluded\r\n",
             "$H/r.csv|\r\nAA0003,12A,3,10:03:20:00,3,skip,no source covers this take,none,skipped,,0-40000,\r\n"});
        row("conform: real run, JSON report", "conform $Y $Z --track next --json --report $H/r.json", 0, conformed.arg("written", sourceFormat), "",
            {"$Z/AA0001_03.WAV|", "$Z/AA0002_03.WAV|", "$H/r.json|\"timecode\": \"10:00:25:00\""});
        row("conform: a truncated source fails its take only", "conform $C $Z --track 3", 1, conformText.arg("written", "failed"),
            mixer + "$C/A_0003.WAV\nThe source file holds fewer audio bytes than its data chunk declares.\nConformRun::Apply(): AA0002\n"
                    "Error during bounce Sonalign process.\n",
            {"$Z/AA0001_03.WAV|", "!$Z/AA0002_03.WAV", "=$Z/AA0002_01.WAV", "=$Z/AA0002_02.WAV"});
        row("conform --verify: a verdict per written take", "conform $J $K --track 2 --verify --json --report $H/r.csv", 0,
            "~\"result\": \"written\", \"verdict\": \"in_sync\", \"offset_ms\": 0.000}~\"result\": \"written\", \"verdict\": \"no_match\", \"offset_ms\": null}", "",
            {"$H/r.csv|,verdict,offset_ms\r\n", "$H/r.csv|,in_sync,0.000\r\n", "$H/r.csv|,no_match,\r\n"});
        for (const char* args : {"conform $X $T", "conform $X $T --track 25", "conform $X $T --track 3 --report r.txt", "conform $X $T --track 3 --fast"})
            row(args, args, 2, "", uConform);
        row("conform: unknown take", "conform $X $T --track 3 --dry-run ZZ9999", 1, "", "sonalign-cli conform: ZZ9999" + noTag);

        for (const char* args : {"verify $T", "verify $T --track 25", "verify $T --track 2 --against 0", "verify $T --track 2 --against 2",
                                 "verify $T --track 2 --tolerance-ms 0", "verify $T --track 2 --tolerance-ms ten",
                                 "verify $T --track 2 --tolerance-ms nan"})
            row(args, args, 2, "", uVerify);
        row("verify: unknown take", "verify $T --track 2 ZZ0009", 1, "", "sonalign-cli verify: ZZ0009" + noTag);
        row("verify: take without the track", "verify $T --track 7 AA0001", 1, "", "sonalign-cli verify: AA0001\nThe take has no track 7.\n");
        row("verify: a take of float samples", "verify $G --track 2 CC0001", 1, "", "sonalign-cli verify: CC0001\n$G/CC0001_02.WAV\nOnly mono PCM "
            "files of 16, 24 or 32 bits can be verified (this one: 1 channels, 32 bits, format 3).\n");
        row("verify: no such folder", "verify $T/nope --track 2", 1, "", "sonalign-cli verify: $T/nope\nNo such folder.\n");
    }

    void commands()
    {
        QFETCH(QString, args);
        QFETCH(QString, out);
        QFETCH(QStringList, fileHas);
        World w(args);
        QStringList list = args.split(QLatin1Char(' '));
        for (QString& a : list)
            a = w.expand(a);
        QMap<QString, QByteArray> before = tree(w.dir.path());
        QProcess p;   // "cd FOLDER" first: run from there
        p.setWorkingDirectory(list.first() == "cd" ? list.at(1) : w.dir.path());
        p.setProcessEnvironment(cliEnv(w.dir.path()));
        p.start(testsupport::cliPath(), list.first() == "cd" ? list.mid(2) : list);
        QVERIFY(p.waitForFinished(120000));
        const testsupport::ProcessResult r{p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError(), true};
        QFETCH(QString, err);
        QCOMPARE(QString::fromUtf8(r.err), w.expand(err));
        if (out.startsWith(QLatin1Char('~'))) {
            for (const QString& part : out.mid(1).split(QLatin1Char('~')))
                QVERIFY2(QString::fromUtf8(r.out).contains(w.expand(part)), qPrintable(part));
        } else {
            QCOMPARE(QString::fromUtf8(r.out), w.expand(out));
        }
        QTEST(r.exitCode, "exitCode");
        QMap<QString, QByteArray> after = tree(w.dir.path());
        for (const QString& f : after.keys())   // no journal, lock or temporary file is left
            QVERIFY2(!f.contains(QRegularExpression("(^|/)\\.")), qPrintable(f));
        for (const QString& check : fileHas) {
            const QString file = w.expand(check.section(QLatin1Char('|'), 0, 0).remove(QRegularExpression("^[!=]")));
            const QString relative = QDir(w.dir.path()).relativeFilePath(file);
            if (check.startsWith(QLatin1Char('!')))
                QVERIFY2(!QFile::exists(file), qPrintable(check));
            else if (check.startsWith(QLatin1Char('=')))
                QCOMPARE(after.value(relative), before.value(relative));
            else
                QVERIFY2(QFile::exists(file) && readFile(file).contains(check.section(QLatin1Char('|'), 1).toUtf8()), qPrintable(check));
            before.remove(relative);
            after.remove(relative);
        }
        // Only a create, delete or real conform that names what it wrote changes files.
        if (!QRegularExpression("^(cd \\S+ )?(create|delete|restore|demo|conform(?!.*--dry-run))").match(args).hasMatch() || r.out.isEmpty())
            QCOMPARE(after, before);
    }

    // A dither seed gives the same bytes every run, another seed or none other bytes.
    void createDither()
    {
        World w;
        Cli cli;
        const auto make = [&](int track, const char* options, const QString& source) {
            const QString made = w.path("$T") + QStringLiteral("/AA0002_%1.WAV").arg(track, 2, 10, QChar('0'));
            const bool ok = cli(QStringList{"create"} + words(options, {"--track", QString::number(track), source, w.path("$T"), "AA0002"})).exitCode == 0;
            return ok ? body(readFile(made), "data") : QByteArray("failed");
        };
        const QByteArray a = make(3, "--dither tpdf --dither-seed 5", w.path("$D"));
        QCOMPARE(a.size(), int(4 * kRate));
        QVERIFY(make(4, "--dither tpdf --dither-seed 5", w.path("$D")) == a);
        QVERIFY(make(5, "--dither tpdf --dither-seed 6", w.path("$D")) != a);
        QVERIFY(make(6, "", w.path("$D")) != a);
    }

    // An odd root, source and track name through info, create, delete and list; the take beside is untouched.
    void oddNamesEndToEnd_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("trackName");
        QTest::newRow("spaces") << "A B C1" << "Boom left";
        QTest::newRow("quotes") << "Q\"'Q'1" << "\"Boom\" 'L'";
        QTest::newRow("format markers") << "%s%d%1" << "%s%n%d %1 %%";
        QTest::newRow("markup") << "<&>;01" << "<NAME>&amp;</NAME>";
        QTest::newRow("non-ascii") << QString::fromUtf8("\xC3\x89t\xE2\x82\xAC" "01\xC3\xA9") << QString::fromUtf8("Perche \xC3\xA9t\xC3\xA9 \xE2\x82\xAC");
    }

    void oddNamesEndToEnd()
    {
        QFETCH(QString, root);
        QFETCH(QString, trackName);
        QTemporaryDir dir;
        const QString target = dir.path() + "/Master %s '1'", first = target + "/" + root + "_01.WAV", made = target + "/" + root + "_03.WAV";
        const QString source = dir.path() + "/Extra %d \"2\"/src %s%n " + root + ".wav";
        QVERIFY(writeTake(target, root, 2) && writeTake(target, "ZZ0001", 1) && QDir().mkpath(QFileInfo(source).path()));
        QVERIFY(writeSource(source, kRate, 16, 30 * kRate, at(10, 0, 0) - 5 * kRate));
        const QByteArray other = sha1Folder(target).value("ZZ0001_01.WAV");
        Cli cli;
        QVERIFY(cli({"info", first}).out.startsWith(("file: " + first + "\n").toUtf8()));
        const auto created = cli(words("create --track 3 --name", {trackName, source, target, root}));
        QCOMPARE(QString::fromUtf8(created.err + created.out), root + "_03.WAV\n");
        // The whole take lies inside the source: its audio is the source's, from 5 s in.
        QCOMPARE(QFileInfo(made).size(), QFileInfo(first).size());
        QVERIFY(body(readFile(made), "data") == audio(77, 5 * kRate, 20 * kRate, 16));
        QSoundFile f;
        QVERIFY(f.Open(made, 0) && f.ReadChunks(false, false) && f.GetiXMLFileInfos());
        QCOMPARE(f.GetiXMLMonoTrackName() + f.GetiXMLVeltaTracknames(2) + f.GetBextType(), trackName + trackName + "mono ");
        QCOMPARE(QString::fromUtf8(cli(words("create --track 4", {source, target, root})).err), QString());
        const auto deleted = cli(words("delete --track 1", {target, root}));
        QCOMPARE(QString::fromUtf8(deleted.err + deleted.out), root + "_01.DEL1\n");
        const QJsonArray rows = QJsonDocument::fromJson(cli({"list", target, "--json"}).out).array();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(root < "ZZ0001" ? 0 : 1)["tracks"].toInt(), 3);
        QCOMPARE(rows.at(root < "ZZ0001" ? 0 : 1)["track_names"][2].toString(), trackName);
        QCOMPARE(sha1Folder(target).value("ZZ0001_01.WAV"), other);
        QCOMPARE(partialFiles(target), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCliCommands)
#include "tst_cli_commands.moc"
