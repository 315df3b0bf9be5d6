// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli analyse / create / delete as a black box: stdout, stderr, exit
// codes; each refusal leaves the folder as it was.

#include "../insertion/InsertionFixtures.h"
#include "TestSupport.h"

#include <QSettings>

#include <cmath>
#include <cstring>
#include <QTemporaryDir>
#include <QtTest>

using namespace fixtures;

namespace {

// A thousand samples per second keeps the takes tiny; spans are in samples.
const quint32 kRate = 1000;
quint64 at(int h, int m, int s) { return (quint64(h) * 3600 + quint64(m) * 60 + quint64(s)) * kRate; }

bool writeTake(const QString& folder, const QString& root, int tracks, quint64 start, quint32 seconds)
{
    return RecorderFileWriter::writeMonoTake(folder, root, tracks, spec(kRate, 16, seconds * kRate, start));
}

} // namespace

class TestCliInsertion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void analyseJson();
    void analyseText();
    void analyseFailures_data();
    void analyseFailures();
    void createAndDelete();
    void createNameFromTrackNameFile();
    void refusals_data();
    void refusals();
    void createChannelAndDither();
    void createWarnsOfClipping();

private:
    QTemporaryDir m_dir;
    QString m_target;
    QString m_source;
    QString m_stereo;      // the same span, two channels
    QString m_otherRate;   // the same span at 2000 Hz
};

void TestCliInsertion::initTestCase()
{
    QVERIFY(QFile::exists(testsupport::cliPath()));
    m_target = m_dir.path() + QStringLiteral("/Master");
    QVERIFY(QDir().mkpath(m_target));
    // Source 10:00:10 .. 10:00:30.
    QVERIFY(writeTake(m_target, QStringLiteral("AA0001"), 2, at(10, 0, 0), 20));    // missing start
    QVERIFY(writeTake(m_target, QStringLiteral("AA0002"), 1, at(10, 0, 12), 2));    // entire
    QVERIFY(writeTake(m_target, QStringLiteral("AA0003"), 1, at(10, 0, 20), 20));   // missing end
    QVERIFY(writeTake(m_target, QStringLiteral("AA0004"), 1, at(10, 0, 5), 35));    // partial
    QVERIFY(writeTake(m_target, QStringLiteral("AA0005"), 1, at(11, 0, 0), 1));     // none
    QVERIFY(QDir().mkpath(m_dir.path() + QStringLiteral("/Extra")));
    m_source = m_dir.path() + QStringLiteral("/Extra/Boom 1.wav");
    QVERIFY(writeSource(m_source, kRate, 16, 20 * kRate, at(10, 0, 10)));
    m_stereo = m_dir.path() + QStringLiteral("/Extra/Two lavs.wav");
    QVERIFY(writeSource(m_stereo, kRate, 16, 20 * kRate, at(10, 0, 10), 5, 2));
    m_otherRate = m_dir.path() + QStringLiteral("/Extra/Rate.wav");
    QVERIFY(writeSource(m_otherRate, 2 * kRate, 16, 40 * kRate, 2 * at(10, 0, 10)));
}

void TestCliInsertion::analyseJson()
{
    Cli cli;
    const auto r = cli({QStringLiteral("analyse"), m_source, m_target, QStringLiteral("--json")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromUtf8(r.err), QString());
    const QString expected = QStringLiteral(
        "{\"source\": {\"start\": 36010000, \"end\": 36030000, \"format\": {\"container\": \"RIFF\", "
        "\"format_tag\": 1, \"subformat\": \"\", \"encoding\": \"integer\", \"bits\": 16, \"channels\": 1, "
        "\"sample_rate\": 1000}}, \"takes\": ["
        "{\"file_id\": \"AA0001\", \"class\": \"missing_start\", \"conversion\": \"copy\"}, "
        "{\"file_id\": \"AA0002\", \"class\": \"entire\", \"conversion\": \"copy\"}, "
        "{\"file_id\": \"AA0003\", \"class\": \"missing_end\", \"conversion\": \"copy\"}, "
        "{\"file_id\": \"AA0004\", \"class\": \"partial\", \"conversion\": \"copy\"}, "
        "{\"file_id\": \"AA0005\", \"class\": \"none\", \"conversion\": \"copy\"}], "
        "\"counts\": {\"entire\": 1, \"missing_start\": 1, \"partial\": 1, \"missing_end\": 1}}\n");
    QCOMPARE(QString::fromUtf8(r.out), expected);
}

void TestCliInsertion::analyseText()
{
    Cli cli;
    const auto r = cli({QStringLiteral("analyse"), m_source, m_target + QLatin1Char('/')});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromUtf8(r.out),
             QStringLiteral("source 36010000 36030000\nsource_format 16-bit integer, 1 channel, 1000 Hz\n"
                            "AA0001\tmissing_start\tcopy\nAA0002\tentire\tcopy\nAA0003\tmissing_end\tcopy\n"
                            "AA0004\tpartial\tcopy\nAA0005\tnone\tcopy\n"
                            "1 entire take 1 missing start 1 patial coverage 1 missing end founded\n"));

    // No overlap is an answer, not an error.
    QTemporaryDir other;
    QVERIFY(writeTake(other.path(), QStringLiteral("ZZ0001"), 1, at(1, 0, 0), 1));
    const auto none = cli({QStringLiteral("analyse"), m_source, other.path()});
    QCOMPARE(none.exitCode, 0);
    QCOMPARE(QString::fromUtf8(none.out),
             QStringLiteral("source 36010000 36030000\nsource_format 16-bit integer, 1 channel, 1000 Hz\n"
                            "ZZ0001\tnone\tcopy\nSource file timecode doesn't match with any target file.\n"));
}

void TestCliInsertion::analyseFailures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrContains");
    const QString missing = m_dir.path() + QStringLiteral("/Extra/none.wav");
    QTest::newRow("missing source")
        << QStringList{QStringLiteral("analyse"), missing, m_target} << 1
        << QStringLiteral("sonalign-cli analyse: ") + missing + QStringLiteral("\nError, no timecode founded in this source file.\n");
    QTest::newRow("not a sound file")
        << QStringList{QStringLiteral("analyse"), m_target + QStringLiteral("/../Extra"), m_target} << 1
        << QStringLiteral("\nError, no timecode founded in this source file.\n");
    QTest::newRow("missing folder")
        << QStringList{QStringLiteral("analyse"), m_source, m_dir.path() + QStringLiteral("/nope")} << 1
        << QStringLiteral("\nNo such folder.\n");
    QTest::newRow("one argument") << QStringList{QStringLiteral("analyse"), m_source} << 2
                                  << QStringLiteral("usage: sonalign-cli analyse SOURCE_FILE TARGET_FOLDER [--json]\n");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("analyse"), m_source, m_target, QStringLiteral("--xml")}
                                    << 2 << QStringLiteral("usage: sonalign-cli analyse");
}

void TestCliInsertion::analyseFailures()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, stderrContains);
    Cli cli;
    const auto r = cli(args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(r.err).contains(stderrContains), r.err.constData());
    QCOMPARE(r.out, QByteArray());
}

void TestCliInsertion::createAndDelete()
{
    QTemporaryDir dir;
    QVERIFY(writeTake(dir.path(), QStringLiteral("AA0001"), 2, at(10, 0, 0), 20));
    QVERIFY(writeTake(dir.path(), QStringLiteral("AA0003"), 1, at(10, 0, 20), 20));
    Cli cli;
    const auto r = cli(words("create --track 3 --name Boom", {m_source, dir.path(), QStringLiteral("AA0001"), QStringLiteral("AA0003")}));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromUtf8(r.err), QString());
    QCOMPARE(QString::fromUtf8(r.out), QStringLiteral("AA0001_03.WAV\nAA0003_03.WAV\n"));
    // Missing start: 10 s of silence, then the source's first 10 s.
    const QByteArray made = readFile(dir.path() + QStringLiteral("/AA0001_03.WAV"));
    QVERIFY(body(made, "data") == QByteArray(10 * kRate * 2, '\0') + audio(77, 0, 10 * kRate, 16));
    QCOMPARE(made.size(), readFile(dir.path() + QStringLiteral("/AA0001_01.WAV")).size());
    QVERIFY(QString::fromUtf8(body(made, "iXML")).contains(QStringLiteral("<NAME>Boom</NAME>")));

    const auto d = cli(words("delete --track 2", {dir.path(), QStringLiteral("AA0001"), QStringLiteral("AA0003")}));
    QCOMPARE(d.exitCode, 0);
    QCOMPARE(QString::fromUtf8(d.err), QString());
    // AA0003 has no track 2: passed over.
    QCOMPARE(QString::fromUtf8(d.out), QStringLiteral("AA0001_02.DEL1\n"));
    QVERIFY(QFile::exists(dir.path() + QStringLiteral("/AA0001_02.DEL1")));
    QVERIFY(QString::fromUtf8(body(readFile(dir.path() + QStringLiteral("/AA0001_03.WAV")), "iXML"))
                .contains(QStringLiteral("<TOTAL_FILES>2</TOTAL_FILES>")));
}

void TestCliInsertion::createNameFromTrackNameFile()
{
    QTemporaryDir dir;
    QVERIFY(writeTake(dir.path(), QStringLiteral("AA0001"), 1, at(10, 0, 10), 5));
    const QString folder = m_dir.path() + QStringLiteral("/Extra.");
    QVERIFY(QDir().mkpath(folder));
    {
        QSettings snl(folder + QStringLiteral("/Boom 1.snl"), QSettings::IniFormat);
        snl.setValue(QStringLiteral("LastSetup/TrackName"), QStringLiteral("Perche"));
    }
    Cli cli;
    const auto r = cli(words("create --track 2", {m_source, dir.path(), QStringLiteral("AA0001")}));
    QCOMPARE(r.exitCode, 0);
    QVERIFY(QString::fromUtf8(body(readFile(dir.path() + QStringLiteral("/AA0001_02.WAV")), "iXML"))
                .contains(QStringLiteral("<NAME>Perche</NAME>")));
    QVERIFY(QFile::remove(folder + QStringLiteral("/Boom 1.snl")));

    // No stored name: the engine's "T<N>".
    const auto t = cli(words("create --track 3", {m_source, dir.path(), QStringLiteral("AA0001")}));
    QCOMPARE(t.exitCode, 0);
    QVERIFY(QString::fromUtf8(body(readFile(dir.path() + QStringLiteral("/AA0001_03.WAV")), "iXML"))
                .contains(QStringLiteral("<NAME>T3</NAME>")));
}

void TestCliInsertion::refusals_data()
{
    QTest::addColumn<QString>("args");         // split at blanks; %S source, %2 stereo, %R other rate, %T target, %E empty folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrText");   // exact
    const QString usage = QStringLiteral(
        "usage: sonalign-cli create --track N [--name NAME] [--channel K] [--dither tpdf [--dither-seed S]] SOURCE_FILE TARGET_FOLDER FILE_ID...\n");
    const QString mixer = QStringLiteral("QSoundMixer::SonalignMono(): ");
    const QString bounce = QStringLiteral("MainWindow::OnPushButton_CreateSoundTrack(): %1\nError during bounce Sonalign process.\n");
    QTest::newRow("occupied track") << "create --track 2 %S %T AA0001" << 1
                                    << mixer + "AA0001 \nTargeted track #2 is not empty. Process aborted.\n" + bounce.arg("AA0001");
    QTest::newRow("no overlap") << "create --track 4 %S %T AA0005" << 1 << mixer + "Unable to in point Tc sample!\n" + bounce.arg("AA0005");
    QTest::newRow("unknown take")
        << "create --track 4 %S %T ZZ0001" << 1
        << QStringLiteral("MainWindow::OnPushButton_CreateSoundTrack(): ZZ0001\nNo corresponding file found matching with this tag.\n");
    QTest::newRow("empty folder") << "create --track 4 %S %E AA0001" << 1 << QStringLiteral("sonalign-cli create: %E\nNo .WAV file in this folder.\n");
    QTest::newRow("two channels, none chosen")
        << "create --track 4 %2 %T AA0002" << 1
        << mixer + m_stereo + " \n Is not a monophonic file.\nIt has 2 channels: choose one with --channel K (the channel "
                              "choice beside the track in the window).\n" + bounce.arg("AA0002");
    QTest::newRow("channel 3 of two") << "create --track 4 --channel 3 %2 %T AA0002" << 1
                                      << mixer + m_stereo + "\nThere is no channel 3: this source has 2 channels.\n" + bounce.arg("AA0002");
    QTest::newRow("another sample rate")
        << "create --track 4 %R %T AA0002" << 1
        << mixer + m_otherRate + " [2000/16 bits] \nTarget [1000/16 bits]\nThe source is at 2000 Hz and the take at 1000 Hz: "
                                 "the source must be resampled to 1000 Hz first.\n" + bounce.arg("AA0002");
    const char* usageRows[][2] = {{"track 25", "create --track 25 %S %T AA0001"}, {"track 0", "create --track 0 %S %T AA0001"},
                                  {"no file ID", "create --track 3 %S %T"}, {"no track", "create %S %T AA0001"},
                                  {"channel 0", "create --track 4 --channel 0 %2 %T AA0002"},
                                  {"channel not a number", "create --track 4 --channel two %2 %T AA0002"},
                                  {"unknown dither", "create --track 4 --dither rect %S %T AA0002"},
                                  {"seed without dither", "create --track 4 --dither-seed 5 %S %T AA0002"}};
    for (const auto& row : usageRows)
        QTest::newRow(row[0]) << QString::fromLatin1(row[1]) << 2 << usage;
    QTest::newRow("delete: unknown take")
        << "delete --track 1 %T ZZ0001" << 1
        << QStringLiteral("MainWindow::OnPushButton_DeleteSoundTrack(): ZZ0001\nNo corresponding file found matching with this tag.\n");
    const QString deleteUsage = QStringLiteral("usage: sonalign-cli delete --track N TARGET_FOLDER FILE_ID...\n");
    QTest::newRow("delete: no track") << "delete %T AA0001" << 2 << deleteUsage;
    QTest::newRow("delete: track not a number") << "delete --track x %T AA0001" << 2 << deleteUsage;
}

void TestCliInsertion::refusals()
{
    QFETCH(QString, args);
    QFETCH(QString, stderrText);
    QTemporaryDir empty;
    QStringList list = args.split(QLatin1Char(' '));
    for (QString& a : list)
        a.replace(QLatin1String("%S"), m_source).replace(QLatin1String("%2"), m_stereo).replace(QLatin1String("%R"), m_otherRate)
            .replace(QLatin1String("%T"), m_target).replace(QLatin1String("%E"), empty.path());
    const QMap<QString, QByteArray> before = sha1Folder(m_target);
    Cli cli;
    const auto r = cli(list);
    QTEST(r.exitCode, "exitCode");
    QCOMPARE(QString::fromUtf8(r.err), stderrText.replace(QLatin1String("%E"), empty.path()));
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(sha1Folder(m_target), before);
}

// One channel of two, exactly; dither with a seed gives the same bytes every
// run, and another seed other bytes.
void TestCliInsertion::createChannelAndDither()
{
    QTemporaryDir dir;
    QVERIFY(writeTake(dir.path(), QStringLiteral("AA0002"), 1, at(10, 0, 12), 2));
    Cli cli;
    const auto r = cli(words("create --track 2 --channel 2", {m_stereo, dir.path(), QStringLiteral("AA0002")}));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromUtf8(r.err), QString());
    QByteArray channel2;
    for (quint32 i = 0; i < 2 * kRate; ++i) {
        const quint32 v = quint32(RecorderFileSpec::sampleValue(5, 2 * kRate + i, 1, 16));
        channel2.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
    }
    QVERIFY(body(readFile(dir.path() + QStringLiteral("/AA0002_02.WAV")), "data") == channel2);

    // A 24-bit source into the 16-bit take loses precision: dither applies.
    const QString deep = dir.path() + QStringLiteral("/deep.wav");
    QVERIFY(writeSource(deep, kRate, 24, 20 * kRate, at(10, 0, 10), 8));
    auto make = [&](int track, const QStringList& extra) {
        QStringList args{QStringLiteral("create"), QStringLiteral("--track"), QString::number(track)};
        args << extra << deep << dir.path() << QStringLiteral("AA0002");
        const auto run = cli(args);
        return run.exitCode == 0 ? body(readFile(dir.path() + QStringLiteral("/AA0002_0%1.WAV").arg(track)), "data")
                                 : QByteArray();
    };
    const QStringList seed5{QStringLiteral("--dither"), QStringLiteral("tpdf"), QStringLiteral("--dither-seed"), QStringLiteral("5")};
    const QByteArray a = make(3, seed5);
    const QByteArray b = make(4, seed5);
    const QByteArray c = make(5, {QStringLiteral("--dither"), QStringLiteral("tpdf"), QStringLiteral("--dither-seed"), QStringLiteral("6")});
    const QByteArray plain = make(6, {});
    QCOMPARE(a.size(), int(4 * kRate));
    QCOMPARE(b, a);
    QVERIFY(c != a);
    QVERIFY(plain != a);
    // Without dither: the 24-bit samples divided by 256, halves away from zero.
    QByteArray expected;
    for (quint32 i = 0; i < 2 * kRate; ++i) {
        const qint32 v = RecorderFileSpec::sampleValue(8, 2 * kRate + i, 0, 24);
        const qint64 q = qBound<qint64>(-32768, std::llround(v / 256.0), 32767);
        expected.append(char(q & 0xFF)).append(char((q >> 8) & 0xFF));
    }
    QVERIFY(plain == expected);
}

// A float source reaching full scale, with a NaN: the track is written, and
// stderr says how many samples clipped or were not numbers, and where first.
void TestCliInsertion::createWarnsOfClipping()
{
    QTemporaryDir dir;
    QVERIFY(writeTake(dir.path(), QStringLiteral("AA0002"), 1, at(10, 0, 12), 2));
    RecorderFileSpec s = spec(kRate, 32, 20 * kRate, at(10, 0, 10));
    s.formatTag = 3;
    s.withIxml = s.withFilm = s.withVlta = s.withOnde = false;
    QByteArray bytes = RecorderFileWriter::build(s);
    const Chunk data = find(bytes, "data");
    auto put = [&](quint32 frame, float v) {
        std::memcpy(bytes.data() + data.offset + 8 + 4 * frame, &v, 4);
    };
    for (quint32 i = 0; i < 20 * kRate; ++i)
        put(i, 0.25f);
    put(2 * kRate + 500, 1.0f);                   // 10:00:12.5 -> frame 12 at 25 fps
    put(2 * kRate + 501, -1.0f);                  // exact: not counted
    put(2 * kRate + 750, std::nanf(""));          // 10:00:12.75 -> frame 18
    put(2 * kRate + 900, 3.0f);
    const QString src = dir.path() + QStringLiteral("/float.wav");
    QVERIFY(writeFile(src, bytes));
    Cli cli;
    const auto r = cli(words("create --track 2", {src, dir.path(), QStringLiteral("AA0002")}));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromUtf8(r.err),
             QStringLiteral("QSoundMixer::SonalignMono(): ") + src
                 + QStringLiteral("\nConverted from 32-bit float, 1 channel, 1000 Hz to 16-bit: 2 sample(s) clipped (first at "
                                  "10:00:12:12), 1 NaN or infinite sample(s) set to 0 (first at 10:00:12:18).\n"));
    const QByteArray made = body(readFile(dir.path() + QStringLiteral("/AA0002_02.WAV")), "data");
    auto sampleAt = [&](int i) { return int(qint16(quint16(quint8(made[2 * i]) | (quint8(made[2 * i + 1]) << 8)))); };
    QCOMPARE(sampleAt(0), 8192);
    QCOMPARE(sampleAt(500), 32767);
    QCOMPARE(sampleAt(501), -32768);
    QCOMPARE(sampleAt(750), 0);
    QCOMPARE(sampleAt(900), 32767);
}

QTEST_MAIN(TestCliInsertion)
#include "tst_cli_insertion.moc"
