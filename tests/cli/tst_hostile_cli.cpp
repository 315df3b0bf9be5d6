// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli list / info / create / delete on hostile names, crowded
// folders, a full 24-track take and a take whose data is not whole samples.

#include "../insertion/InsertionFixtures.h"
#include "TestSupport.h"

#include "QSoundFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace fixtures;

namespace {

const quint32 kRate = 1000;
const quint64 kTen = 10 * kHour * kRate;

bool writeTake(const QString& folder, const QString& root, int tracks, quint64 start = kTen, quint32 seconds = 20)
{
    const RecorderFileSpec s = spec(kRate, 16, seconds * kRate, start);
    return RecorderFileWriter::writeMonoTake(folder, root, tracks, s);
}

// Rows of `list --json`, keyed by file ID; empty on any failure.
QMap<QString, QJsonObject> listRows(Cli& cli, const QString& folder, QStringList* order = nullptr)
{
    QMap<QString, QJsonObject> rows;
    const auto r = cli({QStringLiteral("list"), folder, QStringLiteral("--json")});
    if (r.exitCode != 0)
        return rows;
    const QJsonArray array = QJsonDocument::fromJson(r.out).array();
    for (const QJsonValue& v : array) {
        const QJsonObject o = v.toObject();
        rows.insert(o.value(QStringLiteral("file_id")).toString(), o);
        if (order)
            order->append(o.value(QStringLiteral("file_id")).toString());
    }
    return rows;
}

int nameMax(const QString& folder)
{
    const long n = pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return n > 0 ? int(n) : 255;
}

} // namespace

class TestHostileCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(QFile::exists(testsupport::cliPath())); }

    // A take with an odd root, an odd source name and an odd track name goes
    // through list, info, create and delete; the take beside it is untouched.
    void oddNamesEndToEnd_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("trackName");
        QTest::newRow("spaces") << QStringLiteral("A B C1") << QStringLiteral("Boom left");
        QTest::newRow("quotes") << QStringLiteral("Q\"'Q'1") << QStringLiteral("\"Boom\" 'L'");
        QTest::newRow("format markers") << QStringLiteral("%s%d%1") << QStringLiteral("%s%n%d %1 %%");
        QTest::newRow("markup") << QStringLiteral("<&>;01") << QStringLiteral("<NAME>&amp;</NAME>");
        QTest::newRow("accented track name") << QStringLiteral("AC0001") << QString::fromUtf8("Perche \xC3\xA9t\xC3\xA9");
        QTest::newRow("non-ascii") << QString::fromUtf8("\xC3\x89t\xE2\x82\xAC" "01\xC3\xA9")
                                   << QString::fromUtf8("Perche \xC3\xA9t\xC3\xA9 \xE2\x82\xAC");
    }
    void oddNamesEndToEnd()
    {
        QFETCH(QString, root);
        QFETCH(QString, trackName);
        QTemporaryDir dir;
        const QString target = dir.path() + QStringLiteral("/Master %s '1'");
        const QString extra = dir.path() + QStringLiteral("/Extra %d \"2\"");
        QVERIFY(QDir().mkpath(target));
        QVERIFY(QDir().mkpath(extra));
        QVERIFY(writeTake(target, root, 2));
        QVERIFY(writeTake(target, QStringLiteral("ZZ0001"), 1));
        const QString source = extra + QStringLiteral("/src %s%n ") + root + QStringLiteral(".wav");
        Cli cli;
        QVERIFY(writeSource(source, kRate, 16, 30 * kRate, kTen - 5 * kRate));
        const QByteArray other = sha1Folder(target).value(QStringLiteral("ZZ0001_01.WAV"));
        auto tracks = [&] { return listRows(cli, target).value(root).value(QStringLiteral("tracks")).toInt(); };
        QMap<QString, QJsonObject> rows = listRows(cli, target);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.value(root).value(QStringLiteral("tracks")).toInt(), 2);
        QCOMPARE(rows.value(root).value(QStringLiteral("status")).toInt(), 0);

        const QString first = target + QLatin1Char('/') + root + QStringLiteral("_01.WAV");
        const auto info = cli({QStringLiteral("info"), first, QStringLiteral("--json")});
        QCOMPARE(info.exitCode, 0);
        const QJsonObject infoJson = QJsonDocument::fromJson(info.out).object();
        QCOMPARE(infoJson.value(QStringLiteral("file")).toString(), first);
        QCOMPARE(infoJson.value(QStringLiteral("riff_size")).toInt(), int(QFileInfo(first).size() - 8));
        QVERIFY(QString::fromUtf8(cli({QStringLiteral("info"), first}).out).startsWith(QStringLiteral("file: ") + first + QLatin1Char('\n')));

        const auto created = cli(words("create --track 3 --name", {trackName, source, target, root}));
        QCOMPARE(QString::fromUtf8(created.err + created.out), root + QStringLiteral("_03.WAV\n"));
        QCOMPARE(created.exitCode, 0);
        const QString made = target + QLatin1Char('/') + root + QStringLiteral("_03.WAV");
        // As long as the take's files, whatever the names hold.
        QCOMPARE(QFileInfo(made).size(), QFileInfo(first).size());
        // The whole take lies inside the source: its audio is the source's,
        // from 5 s in.
        QVERIFY(body(readFile(made), "data") == audio(77, 5 * kRate, 20 * kRate, 16));
        QSoundFile f;
        QVERIFY(f.Open(made, 0) && f.ReadChunks(false, false) && f.GetiXMLFileInfos());
        QCOMPARE(f.GetiXMLMonoTrackName(), trackName);
        QCOMPARE(f.GetiXMLVeltaTracknames(2), trackName);
        QCOMPARE(f.GetBextType(), QStringLiteral("mono "));
        f.Close();

        // The take stays coherent: a second track can be made after the first.
        const auto second = cli(words("create --track 4", {source, target, root}));
        QCOMPARE(QString::fromUtf8(second.err), QString());
        rows = listRows(cli, target);
        QCOMPARE(rows.value(root).value(QStringLiteral("tracks")).toInt(), 4);
        QCOMPARE(rows.value(root).value(QStringLiteral("track_names")).toArray().at(2).toString(), trackName);

        const auto deleted = cli(words("delete --track 1", {target, root}));
        QCOMPARE(QString::fromUtf8(deleted.err + deleted.out), root + QStringLiteral("_01.DEL1\n"));
        QCOMPARE(deleted.exitCode, 0);
        QVERIFY(QFile::exists(target + QLatin1Char('/') + root + QStringLiteral("_01.DEL1")));
        QCOMPARE(tracks(), 3);

        QCOMPARE(sha1Folder(target).value(QStringLiteral("ZZ0001_01.WAV")), other);
        QCOMPARE(partialFiles(target), QStringList());
    }

    // Names at the file system's limit: listed, shown by info; the long mono
    // take gets a new track, and one of its tracks can be hidden (its .DEL1
    // name is one byte longer).
    void namesNearNameMax()
    {
        QTemporaryDir dir;
        const int max = nameMax(dir.path());
        const QString poly = QStringLiteral("LP0001") + QString(max - 10, QLatin1Char('p')) + QStringLiteral(".WAV");
        const QString monoRoot = QStringLiteral("LM0001") + QString(max - 14, QLatin1Char('m'));
        RecorderFileSpec p = spec(kRate, 16, 2 * kRate, kTen);
        p.channels = 2;
        p.ixml.padTo = 0;
        p.ixml.trackCount = 2;
        p.ixml.polyTrackNames = QStringList{QStringLiteral("Boom"), QStringLiteral("Lav")};
        QVERIFY(RecorderFileWriter::write(dir.path() + QLatin1Char('/') + poly, p));
        QVERIFY(writeTake(dir.path(), monoRoot, 2));
        Cli cli;

        QStringList order;
        const QMap<QString, QJsonObject> rows = listRows(cli, dir.path(), &order);
        QCOMPARE(order, (QStringList{QStringLiteral("LM0001"), QStringLiteral("LP0001")}));
        QCOMPARE(rows.value(QStringLiteral("LM0001")).value(QStringLiteral("tracks")).toInt(), 2);
        QCOMPARE(rows.value(QStringLiteral("LP0001")).value(QStringLiteral("tracks")).toInt(), 2);
        QCOMPARE(rows.value(QStringLiteral("LP0001")).value(QStringLiteral("type")).toString(), QStringLiteral("Poly"));

        const QString polyPath = dir.path() + QLatin1Char('/') + poly;
        const auto info = cli({QStringLiteral("info"), polyPath, QStringLiteral("--json")});
        QCOMPARE(info.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(info.out).object().value(QStringLiteral("file")).toString(), polyPath);

        // A new track: its name is as long as the others (one byte short of
        // the limit), and is written under a shortened temporary name first.
        QTemporaryDir srcDir;
        const QString src = srcDir.path() + QStringLiteral("/src.wav");
        QVERIFY(writeSource(src, kRate, 16, 20 * kRate, kTen));
        const auto created = cli(words("create --track 3", {src, dir.path(), QStringLiteral("LM0001")}));
        QCOMPARE(QString::fromUtf8(created.err + created.out), monoRoot + QStringLiteral("_03.WAV\n"));
        QCOMPARE(QFile::encodeName(monoRoot + QStringLiteral("_03.WAV")).size(), max - 1);
        QCOMPARE(listRows(cli, dir.path()).value(QStringLiteral("LM0001")).value(QStringLiteral("tracks")).toInt(), 3);
        QCOMPARE(partialFiles(dir.path()), QStringList());

        const auto deleted = cli(words("delete --track 2", {dir.path(), QStringLiteral("LM0001")}));
        QCOMPARE(QString::fromUtf8(deleted.err + deleted.out), monoRoot + QStringLiteral("_02.DEL1\n"));
        QCOMPARE(listRows(cli, dir.path()).value(QStringLiteral("LM0001")).value(QStringLiteral("tracks")).toInt(), 2);
    }

    // 3000 entries, most of them not sound files: list shows exactly the takes.
    void crowdedFolder()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        const int takes = 40;
        for (int i = 1; i <= takes; ++i)
            QVERIFY(writeTake(d, QStringLiteral("AB%1").arg(i, 4, 10, QLatin1Char('0')), 1, kTen + quint64(i) * kRate, 1));
        const QStringList noise{QStringLiteral(".txt"), QStringLiteral(".wav"), QStringLiteral(".DEL2"), QStringLiteral(".jpg")};
        for (int i = 0; i < 2960; ++i) {
            QFile f(d + QStringLiteral("/note %1 %s").arg(i) + noise.at(i % noise.size()));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(QDir(d).entryList(QDir::Files).size(), 3000);
        Cli cli;
        QStringList order;
        const QMap<QString, QJsonObject> rows = listRows(cli, d, &order);
        QCOMPARE(order.size(), takes);
        for (int i = 1; i <= takes; ++i) {
            const QString id = QStringLiteral("AB%1").arg(i, 4, 10, QLatin1Char('0'));
            QCOMPARE(order.at(i - 1), id);
            QCOMPARE(rows.value(id).value(QStringLiteral("start")).toInt(), int(kTen + quint64(i) * kRate));
            QCOMPARE(rows.value(id).value(QStringLiteral("status")).toInt(), 0);
        }
    }

    // 24 tracks: listed as 24, an occupied track is refused with nothing
    // changed, track 25 is a usage error; once one is hidden it can be made anew.
    void twentyFourTracks()
    {
        QTemporaryDir dir;
        QVERIFY(writeTake(dir.path(), QStringLiteral("AA0001"), 24));
        QTemporaryDir srcDir;
        const QString src = srcDir.path() + QStringLiteral("/src.wav");
        QVERIFY(writeSource(src, kRate, 16, 20 * kRate, kTen));
        Cli cli;

        QMap<QString, QJsonObject> rows = listRows(cli, dir.path());
        QCOMPARE(rows.value(QStringLiteral("AA0001")).value(QStringLiteral("tracks")).toInt(), 24);
        const QJsonArray names = rows.value(QStringLiteral("AA0001")).value(QStringLiteral("track_names")).toArray();
        QCOMPARE(names.size(), 24);
        QCOMPARE(names.at(0).toString(), QStringLiteral("Trk1"));
        QCOMPARE(names.at(23).toString(), QStringLiteral("Trk24"));

        const QMap<QString, QByteArray> before = sha1Folder(dir.path());
        // The last track is occupied: refused (track 25 is a usage error).
        const auto r = cli(words("create --track 24", {src, dir.path(), QStringLiteral("AA0001")}));
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(QString::fromUtf8(r.err + r.out),
                 QStringLiteral("QSoundMixer::SonalignMono(): AA0001 \nTargeted track #24 is not empty. Process aborted.\n"
                                "MainWindow::OnPushButton_CreateSoundTrack(): AA0001\nError during bounce Sonalign process.\n"));
        const auto tooHigh = cli(words("create --track 25", {src, dir.path(), QStringLiteral("AA0001")}));
        QCOMPARE(tooHigh.exitCode, 2);
        QCOMPARE(sha1Folder(dir.path()), before);

        const auto hidden = cli(words("delete --track 24", {dir.path(), QStringLiteral("AA0001")}));
        QCOMPARE(hidden.exitCode, 0);
        QCOMPARE(listRows(cli, dir.path()).value(QStringLiteral("AA0001")).value(QStringLiteral("tracks")).toInt(), 23);
        const auto again = cli(words("create --track 24 --name Last", {src, dir.path(), QStringLiteral("AA0001")}));
        QCOMPARE(QString::fromUtf8(again.err + again.out), QStringLiteral("AA0001_24.WAV\n"));
        rows = listRows(cli, dir.path());
        QCOMPARE(rows.value(QStringLiteral("AA0001")).value(QStringLiteral("tracks")).toInt(), 24);
        QCOMPARE(rows.value(QStringLiteral("AA0001")).value(QStringLiteral("track_names")).toArray().at(23).toString(),
                 QStringLiteral("Last"));
        // Every file of the take agrees on the file count.
        for (int n = 1; n <= 24; ++n) {
            const QString p = dir.path() + QStringLiteral("/AA0001_%1.WAV").arg(n, 2, 10, QLatin1Char('0'));
            QVERIFY2(xmlValue(ixmlText(p), QStringLiteral("FILE_SET/TOTAL_FILES")) == QLatin1String("24"), qPrintable(p));
        }
    }

    // A take whose data chunk is not a whole number of samples: create fails
    // with a message naming the file, and leaves nothing behind.
    void dataNotWholeFrames_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("extra");
        QTest::newRow("16 bits, one byte more") << 16 << 1;
        QTest::newRow("24 bits, one byte more") << 24 << 1;
        QTest::newRow("24 bits, two bytes more") << 24 << 2;
    }
    void dataNotWholeFrames()
    {
        QFETCH(int, bits);
        QFETCH(int, extra);
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/AA0001_01.WAV");
        const QByteArray bytes = withDataTail(RecorderFileWriter::build(spec(kRate, quint16(bits), 20 * kRate, kTen)), extra);
        QVERIFY(writeFile(path, bytes));
        QTemporaryDir srcDir;
        const QString src = srcDir.path() + QStringLiteral("/src.wav");
        QVERIFY(writeSource(src, kRate, quint16(bits), 20 * kRate, kTen));

        const QMap<QString, QByteArray> before = sha1Folder(dir.path());
        Cli cli;
        const auto r = cli(words("create --track 2", {src, dir.path(), QStringLiteral("AA0001")}));
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(QString::fromUtf8(r.err),
                 QStringLiteral("QSoundMixer::SonalignMono(): %1\nThe take's data size (%2 bytes) is not a whole number of "
                                "%3-byte samples.\nMainWindow::OnPushButton_CreateSoundTrack(): AA0001\n"
                                "Error during bounce Sonalign process.\n")
                     .arg(path)
                     .arg(find(bytes, "data").size)
                     .arg(bits / 8));
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(sha1Folder(dir.path()), before);
        QCOMPARE(partialFiles(dir.path()), QStringList());
    }
};

QTEST_MAIN(TestHostileCli)
#include "tst_hostile_cli.moc"
