// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli verify as a black box on generated takes: exact JSON values,
// the frame rate from each place a take may carry it, exit codes.

#include "SyntheticSignal.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using testsupport::cliPath;
using testsupport::run;

namespace {

constexpr qint64 kFrames = 12 * 48000;   // shorter than three windows: one window

// Track 1: the lavalier; track 2: the boom, `delay` samples later; track 3: another scene.
bool writeTake(const QString& folder, const QString& root, const RecorderFileSpec& base, double delay)
{
    QString error;
    const QVector<synth::Track> tracks{synth::Track(3, synth::mic(0.2, {{0, 1}}, 6, 1)),
                                       synth::Track(3, synth::mic(0.35, {{delay, 1}}, 6, 2)),
                                       synth::Track(4, synth::mic(0.3, {{0, 1}}, 6, 3))};
    if (!synth::writeTake(folder, root, base, tracks, kFrames, &error))
        qWarning("%s", qPrintable(error));
    return error.isEmpty();
}

QJsonArray runJson(const QStringList& args, int expectedExit)
{
    const auto r = run(cliPath(), QStringList{QStringLiteral("verify")} + args);
    if (r.exitCode != expectedExit)
        qWarning("exit %d, stderr: %s", r.exitCode, r.err.constData());
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
    return r.exitCode == expectedExit && error.error == QJsonParseError::NoError ? doc.array() : QJsonArray();
}

} // namespace

class TestCliVerify : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Dir;
    QString folder() const { return m_Dir.path(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_Dir.isValid());
        RecorderFileSpec film;            // film chunk "25.00"
        film.frameRateCode = "25.00";
        RecorderFileSpec speed;           // no film chunk; bext "aSPEED=024.000-ND"
        speed.withFilm = false;
        speed.frameRateCode = "24.00";
        speed.ixml.timecodeRate = QStringLiteral("Unknown");
        RecorderFileSpec ixml;            // only the iXML timecode rate
        ixml.withFilm = false;
        ixml.frameRateCode = "";
        ixml.ixml.timecodeRate = QStringLiteral("30000/1001");
        RecorderFileSpec none = ixml;     // no rate anywhere
        none.ixml.timecodeRate = QStringLiteral("Unknown");
        QVERIFY(writeTake(folder(), QStringLiteral("AA0001"), film, 960));
        QVERIFY(writeTake(folder(), QStringLiteral("AA0002"), speed, -96.5));
        QVERIFY(writeTake(folder(), QStringLiteral("AA0003"), ixml, 2002));
        QVERIFY(writeTake(folder(), QStringLiteral("AA0004"), none, 4800));
        RecorderFileSpec poly;
        poly.channels = 2;
        QVERIFY(RecorderFileWriter::write(QDir(folder()).filePath(QStringLiteral("BB0001.WAV")), poly));
    }

    void json_data()
    {
        QTest::addColumn<QString>("fileId");
        QTest::addColumn<int>("offset");
        QTest::addColumn<double>("offsetMs");
        QTest::addColumn<QJsonValue>("offsetFrames");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("film code 25") << "AA0001" << 960 << 20.0 << QJsonValue(0.5) << "offset";
        QTest::newRow("bext speed 24") << "AA0002" << -96 << -2.01 << QJsonValue(-0.0482) << "in_sync";
        QTest::newRow("iXML rate 29.97") << "AA0003" << 2002 << 41.708 << QJsonValue(1.25) << "offset";
        QTest::newRow("no rate: no frames") << "AA0004" << 4800 << 100.0 << QJsonValue() << "offset";
    }

    void json()
    {
        QFETCH(QString, fileId);
        QFETCH(int, offset);
        QFETCH(double, offsetMs);
        QFETCH(QJsonValue, offsetFrames);
        QFETCH(QString, verdict);
        const QJsonArray rows = runJson({folder(), QStringLiteral("--track"), QStringLiteral("2"),
                                         QStringLiteral("--json"), fileId}, 0);
        QCOMPARE(rows.size(), 1);
        const QJsonObject o = rows.at(0).toObject();
        const QJsonObject w = o.value(QStringLiteral("windows")).toArray().at(0).toObject();
        const auto at = [](const QJsonObject& j, const char* key) { return j.value(QLatin1String(key)); };
        QCOMPARE(at(o, "file_id").toString() + at(o, "verdict").toString(), fileId + verdict);
        QCOMPARE(QList<int>({at(o, "track").toInt(), at(o, "against").toInt(), at(o, "drift_samples").toInt(-1)}),
                 QList<int>({2, 1, 0}));
        QVERIFY(qAbs(at(o, "offset_samples").toInt() - offset) <= 1);
        QVERIFY(qAbs(at(o, "offset_ms").toDouble() - offsetMs) <= 0.03);
        if (offsetFrames.isNull())
            QVERIFY(at(o, "offset_frames").isNull());
        else
            QVERIFY(qAbs(at(o, "offset_frames").toDouble() - offsetFrames.toDouble()) <= 0.001);
        QVERIFY(at(o, "confidence").toDouble() >= 12);
        // One window over the whole take.
        QCOMPARE(o.value(QStringLiteral("windows")).toArray().size(), 1);
        QCOMPARE(QList<int>({at(w, "start_sample").toInt(-1), at(w, "length").toInt(), at(w, "offset_samples").toInt()}),
                 QList<int>({0, int(kFrames), at(o, "offset_samples").toInt()}));
    }

    // Every take with the track, in table order; the poly take is named, not verified.
    void wholeFolderAndNoMatch()
    {
        const auto r = run(cliPath(), {QStringLiteral("verify"), folder(), QStringLiteral("--track"),
                                       QStringLiteral("3"), QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(QString::fromUtf8(r.err), QStringLiteral("sonalign-cli verify: BB0001\nPoly takes are not verified.\n"));
        const QJsonArray rows = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(rows.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const QJsonObject o = rows.at(i).toObject();
            QCOMPARE(o.value(QStringLiteral("file_id")).toString(), QStringLiteral("AA000%1").arg(i + 1));
            QCOMPARE(o.value(QStringLiteral("verdict")).toString(), QStringLiteral("no_match"));
            QVERIFY(o.value(QStringLiteral("offset_samples")).isNull());
            QVERIFY(o.value(QStringLiteral("offset_ms")).isNull());
            QVERIFY(o.value(QStringLiteral("drift_samples")).isNull());
            QVERIFY(o.value(QStringLiteral("windows")).toArray().at(0).toObject().value(QStringLiteral("offset_samples")).isNull());
        }
    }

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("err");
        const QString f = folder();
        const QString usage = QStringLiteral("usage: sonalign-cli verify TARGET_FOLDER --track N [--against M] "
                                             "[--tolerance-ms X] [--json] [FILE_ID...]\n");
        QTest::newRow("no track") << QStringList{f} << 2 << usage;
        QTest::newRow("track 25") << QStringList{f, "--track", "25"} << 2 << usage;
        QTest::newRow("against 0") << QStringList{f, "--track", "2", "--against", "0"} << 2 << usage;
        QTest::newRow("against itself") << QStringList{f, "--track", "2", "--against", "2"} << 2 << usage;
        QTest::newRow("tolerance 0") << QStringList{f, "--track", "2", "--tolerance-ms", "0"} << 2 << usage;
        QTest::newRow("tolerance text") << QStringList{f, "--track", "2", "--tolerance-ms", "ten"} << 2 << usage;
        QTest::newRow("tolerance nan") << QStringList{f, "--track", "2", "--tolerance-ms", "nan"} << 2 << usage;
        QTest::newRow("unknown file ID") << QStringList{f, "--track", "2", "ZZ0009"} << 1
                                         << QStringLiteral("sonalign-cli verify: ZZ0009\nNo corresponding file found matching with this tag.\n");
        QTest::newRow("take without the track") << QStringList{f, "--track", "7", "AA0001"} << 1
                                                << QStringLiteral("sonalign-cli verify: AA0001\nThe take has no track 7.\n");
        QTest::newRow("no such folder") << QStringList{f + "/nope", "--track", "2"} << 1
                                        << QStringLiteral("sonalign-cli verify: %1/nope\nNo such folder.\n").arg(f);
        // 20 ms is within a 25 ms tolerance; against track 3 nothing matches.
        QTest::newRow("wider tolerance") << QStringList{f, "--track", "2", "--tolerance-ms", "25", "AA0001"} << 0 << QString();
        QTest::newRow("against another scene") << QStringList{f, "--track", "2", "--against", "3", "AA0001"} << 0 << QString();
    }

    void exitCodes()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exit);
        QFETCH(QString, err);
        const auto r = run(cliPath(), QStringList{QStringLiteral("verify")} + args);
        QCOMPARE(r.exitCode, exit);
        QCOMPARE(QString::fromUtf8(r.err), err);
        if (QTest::currentDataTag() == QByteArray("wider tolerance"))
            QVERIFY2(QString::fromUtf8(r.out).contains(QRegularExpression(QStringLiteral(
                         "^AA0001\ttrack 2 against 1\tin_sync\toffset 20(\\.0\\d*)? ms \\(960 samples, 0\\.5\\d* frames\\)"
                         "\tdrift 0 ms\tconfidence \\d+(\\.\\d)?\n$"))),
                     r.out.constData());
        if (QTest::currentDataTag() == QByteArray("against another scene"))
            QVERIFY2(QString::fromUtf8(r.out).contains(QRegularExpression(QStringLiteral(
                         "^AA0001\ttrack 2 against 3\tno_match\tconfidence \\d(\\.\\d)?\n$"))),
                     r.out.constData());
    }

    // Other depths are read as well; what cannot be read is said, and a data
    // chunk that claims more than the file holds is read up to the file's end.
    void trackFormats_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("formatTag");
        QTest::addColumn<qint64>("truncateBytes");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("err");
        QTest::newRow("16 bits") << 16 << 1 << qint64(0) << 0 << QString();
        QTest::newRow("32 bits") << 32 << 1 << qint64(0) << 0 << QString();
        QTest::newRow("data chunk longer than the file") << 24 << 1 << qint64(3 * 48000 * 3) << 0 << QString();
        QTest::newRow("float samples") << 32 << 3 << qint64(0) << 1
                                       << QStringLiteral("sonalign-cli verify: CC0001\n%1/CC0001_02.WAV\nOnly mono PCM files "
                                                         "of 16, 24 or 32 bits can be verified (this one: 1 channels, 32 bits, format 3).\n");
    }

    void trackFormats()
    {
        QFETCH(int, bits);
        QFETCH(int, formatTag);
        QFETCH(qint64, truncateBytes);
        QFETCH(int, exit);
        QFETCH(QString, err);
        QTemporaryDir dir;
        RecorderFileSpec spec;
        spec.bitsPerSample = quint16(bits);
        spec.formatTag = quint16(formatTag);
        QVERIFY(writeTake(dir.path(), QStringLiteral("CC0001"), spec, 960));
        const QString second = dir.path() + QStringLiteral("/CC0001_02.WAV");
        if (truncateBytes > 0)
            QVERIFY(QFile::resize(second, QFileInfo(second).size() - truncateBytes));
        const auto r = run(cliPath(), {QStringLiteral("verify"), dir.path(), QStringLiteral("--track"), QStringLiteral("2"),
                                       QStringLiteral("--json"), QStringLiteral("CC0001")});
        QCOMPARE(QString::fromUtf8(r.err), err.arg(dir.path()));
        QCOMPARE(r.exitCode, exit);
        const QJsonArray rows = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(rows.size(), exit == 0 ? 1 : 0);
        if (exit != 0)
            return;
        const QJsonObject o = rows.at(0).toObject();
        QCOMPARE(o.value(QStringLiteral("offset_samples")).toInt(), 960);
        QCOMPARE(o.value(QStringLiteral("windows")).toArray().at(0).toObject().value(QStringLiteral("length")).toInt(),
                 int(kFrames - truncateBytes / 3));
    }
};

QTEST_GUILESS_MAIN(TestCliVerify)
#include "tst_cli_verify.moc"
