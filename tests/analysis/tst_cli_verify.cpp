// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli verify on generated takes: measured values in JSON and text,
// the frame rate from each place a take carries it, other sample formats.
// Its usage and refusal texts are rows of tst_cli_commands.

#include "SyntheticSignal.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr qint64 kFrames = 12 * 48000;   // under three windows: one window over the take

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

// "sonalign-cli verify FOLDER <words of line>".
testsupport::ProcessResult verify(const QString& folder, const QString& line)
{
    return testsupport::run(testsupport::cliPath(), QStringList{"verify", folder} + line.split(' ', Qt::SkipEmptyParts));
}

} // namespace

class TestCliVerify : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        RecorderFileSpec film;             // film chunk "25.00"
        RecorderFileSpec speed;            // no film chunk; bext "aSPEED=024.000-ND"
        speed.withFilm = false;
        speed.frameRateCode = "24.00";
        speed.ixml.timecodeRate = "Unknown";
        RecorderFileSpec ixml;             // only the iXML timecode rate
        ixml.withFilm = false;
        ixml.frameRateCode = "";
        ixml.ixml.timecodeRate = "30000/1001";
        RecorderFileSpec none = ixml;      // no rate anywhere
        none.ixml.timecodeRate = "Unknown";
        QVERIFY(writeTake(m_dir.path(), "AA0001", film, 960));
        QVERIFY(writeTake(m_dir.path(), "AA0002", speed, -96.5));
        QVERIFY(writeTake(m_dir.path(), "AA0003", ixml, 2002));
        QVERIFY(writeTake(m_dir.path(), "AA0004", none, 4800));
        RecorderFileSpec poly;
        poly.channels = 2;
        QVERIFY(RecorderFileWriter::write(m_dir.filePath("BB0001.WAV"), poly));
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
        QFETCH(QJsonValue, offsetFrames);
        const auto r = verify(m_dir.path(), "--track 2 --json " + fileId);
        QCOMPARE(r.exitCode, 0);
        const QJsonArray rows = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(rows.size(), 1);
        const QJsonObject o = rows.at(0).toObject();
        QCOMPARE(o["file_id"].toString(), fileId);
        QTEST(o["verdict"].toString(), "verdict");
        QCOMPARE(QList<int>({o["track"].toInt(), o["against"].toInt(), o["drift_samples"].toInt(-1)}), QList<int>({2, 1, 0}));
        QVERIFY2(qAbs(o["offset_samples"].toInt() - offset) <= 1, r.out.constData());
        QFETCH(double, offsetMs);
        QVERIFY(qAbs(o["offset_ms"].toDouble() - offsetMs) <= 0.03);
        QCOMPARE(o["offset_frames"].isNull(), offsetFrames.isNull());
        QVERIFY(qAbs(o["offset_frames"].toDouble() - offsetFrames.toDouble()) <= 0.001);
        QVERIFY(o["confidence"].toDouble() >= 12);
        const QJsonArray windows = o["windows"].toArray();
        QCOMPARE(windows.size(), 1);
        const QJsonObject w = windows.at(0).toObject();
        QCOMPARE(QList<int>({w["start_sample"].toInt(-1), w["length"].toInt(), w["offset_samples"].toInt()}),
                 QList<int>({0, int(kFrames), o["offset_samples"].toInt()}));
    }

    void text_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("pattern");
        // 20 ms is within a 25 ms tolerance; against track 3 (another scene) nothing matches.
        QTest::newRow("wider tolerance") << "--track 2 --tolerance-ms 25 AA0001"
                                         << "^AA0001\ttrack 2 against 1\tin_sync\toffset 20(\\.0\\d*)? ms \\(960 samples, "
                                            "0\\.5\\d* frames\\)\tdrift 0 ms\tconfidence \\d+(\\.\\d)?\n$";
        QTest::newRow("against another scene") << "--track 2 --against 3 AA0001"
                                               << "^AA0001\ttrack 2 against 3\tno_match\tconfidence \\d(\\.\\d)?\n$";
    }
    void text()
    {
        QFETCH(QString, args);
        QFETCH(QString, pattern);
        const auto r = verify(m_dir.path(), args);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QByteArray());
        QVERIFY2(QString::fromUtf8(r.out).contains(QRegularExpression(pattern)), r.out.constData());
    }

    // Every take with the track, in table order; the poly take is named, not verified.
    void wholeFolderNothingMatches()
    {
        const auto r = verify(m_dir.path(), "--track 3 --json");
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(QString::fromUtf8(r.err), QStringLiteral("sonalign-cli verify: BB0001\nPoly takes are not verified.\n"));
        const QJsonArray rows = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(rows.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const QJsonObject o = rows.at(i).toObject();
            QCOMPARE(o["file_id"].toString() + o["verdict"].toString(), QStringLiteral("AA000%1no_match").arg(i + 1));
            for (const char* key : {"offset_samples", "offset_ms", "drift_samples"})
                QVERIFY2(o[QLatin1String(key)].isNull(), key);
            QVERIFY(o["windows"].toArray().at(0).toObject()["offset_samples"].isNull());
        }
    }

    // Other depths are read as well; what cannot be read is said, and a data
    // chunk that claims more than the file holds is read up to the file's end.
    void trackFormats_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("formatTag");
        QTest::addColumn<qint64>("truncateBytes");
        QTest::addColumn<QString>("err");
        QTest::newRow("16 bits") << 16 << 1 << qint64(0) << QString();
        QTest::newRow("32 bits") << 32 << 1 << qint64(0) << QString();
        QTest::newRow("data chunk longer than the file") << 24 << 1 << qint64(3 * 48000 * 3) << QString();
        QTest::newRow("float samples") << 32 << 3 << qint64(0)
                                       << "sonalign-cli verify: CC0001\n%1/CC0001_02.WAV\nOnly mono PCM files of 16, 24 or "
                                          "32 bits can be verified (this one: 1 channels, 32 bits, format 3).\n";
    }
    void trackFormats()
    {
        QFETCH(int, bits);
        QFETCH(int, formatTag);
        QFETCH(qint64, truncateBytes);
        QFETCH(QString, err);
        QTemporaryDir dir;
        RecorderFileSpec spec;
        spec.bitsPerSample = quint16(bits);
        spec.formatTag = quint16(formatTag);
        QVERIFY(writeTake(dir.path(), "CC0001", spec, 960));
        const QString second = dir.filePath("CC0001_02.WAV");
        QVERIFY(QFile::resize(second, QFileInfo(second).size() - truncateBytes));
        const auto r = verify(dir.path(), "--track 2 --json CC0001");
        QCOMPARE(QString::fromUtf8(r.err), err.isEmpty() ? err : err.arg(dir.path()));
        QCOMPARE(r.exitCode, err.isEmpty() ? 0 : 1);
        const QJsonArray rows = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(rows.size(), err.isEmpty() ? 1 : 0);
        if (rows.isEmpty())
            return;
        QCOMPARE(rows.at(0).toObject()["offset_samples"].toInt(), 960);
        QCOMPARE(rows.at(0).toObject()["windows"].toArray().at(0).toObject()["length"].toInt(), int(kFrames - truncateBytes / 3));
    }
};

QTEST_GUILESS_MAIN(TestCliVerify)
#include "tst_cli_verify.moc"
