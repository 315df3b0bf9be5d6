// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli list as a black box: exit codes, exact JSON values, plain table.

#include "RecorderFileWriter.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using testsupport::cliPath;
using testsupport::run;

namespace {

QJsonArray names(std::initializer_list<const char*> first)
{
    QJsonArray a;
    for (const char* n : first)
        a.append(QString::fromUtf8(n));
    while (a.size() < 24)
        a.append(QString());
    return a;
}

QJsonObject row(const char* id, const char* type, int tracks, const char* scene, const char* take, QJsonValue start,
                QJsonValue end, int status, const QString& notes, const QJsonArray& trackNames)
{
    QJsonObject o;
    o.insert(QStringLiteral("file_id"), QString::fromUtf8(id));
    o.insert(QStringLiteral("type"), QString::fromUtf8(type));
    o.insert(QStringLiteral("tracks"), tracks);
    o.insert(QStringLiteral("scene"), QString::fromUtf8(scene));
    o.insert(QStringLiteral("take"), QString::fromUtf8(take));
    o.insert(QStringLiteral("start"), start);
    o.insert(QStringLiteral("end"), end);
    o.insert(QStringLiteral("status"), status);
    o.insert(QStringLiteral("notes"), notes);
    o.insert(QStringLiteral("track_names"), trackNames);
    return o;
}

QString errorNote(int status) { return QStringLiteral(" *** Error #%1 detected on audio file *** ").arg(status); }

} // namespace

class TestCliList : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Dir;

    static bool touch(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_Dir.isValid());
        const QString d = m_Dir.path();
        RecorderFileSpec base;
        base.timeReference = quint64(48000) * 3600 + 12;
        base.frames = 4800;
        QVERIFY(RecorderFileWriter::writeMonoTake(d, QStringLiteral("AA0001"), 4, base));

        RecorderFileSpec poly = base;
        poly.channels = 2;
        poly.frames = 9600;
        poly.timeReference = 1000;
        poly.ixml.scene = QStringLiteral("  14B ");
        poly.ixml.take = QStringLiteral("t7");
        poly.ixml.note = QStringLiteral("wind \"gusts\"");
        poly.ixml.trackCount = 2;
        poly.ixml.polyTrackNames = QStringList{QStringLiteral("Boom"), QString()};
        QVERIFY(RecorderFileWriter::write(d + QStringLiteral("/AA0002PX.WAV"), poly));

        RecorderFileSpec noIxml = base;
        noIxml.withIxml = false;
        noIxml.timeReference = 500;
        QVERIFY(RecorderFileWriter::write(d + QStringLiteral("/AA0003_01.WAV"), noIxml));

        QVERIFY(touch(d + QStringLiteral("/AA0004_01.WAV"), QByteArray("RIFX0000WAVE")));

        // A '%' in a name, and a malformed iXML document (its diagnostic must
        // not reach standard output).
        RecorderFileSpec odd = base;
        odd.ixmlRaw = QByteArray("<BWFXML><NOTE>x</BWFXML>");
        odd.timeReference = 0;
        QVERIFY(RecorderFileWriter::write(d + QStringLiteral("/AA%d05_01.WAV"), odd));

        QVERIFY(touch(d + QStringLiteral("/AB.WAV"), QByteArray("x")));
    }

    void json()
    {
        const auto r = run(cliPath(), {QStringLiteral("list"), m_Dir.path(), QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 0);
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
        QVERIFY2(error.error == QJsonParseError::NoError, r.out.constData());
        QVERIFY(doc.isArray());
        const QJsonArray got = doc.array();

        // Byte order of the names: "%" (0x25) sorts before the digits.
        const QJsonArray expected = {
            row("AA%d05", "Mono", 1, "", "0", 0, 4800, 0, QStringLiteral(" "), names({"T1"})),
            row("AA0001", "Mono", 4, "12A", "3", 172800012, 172804812, 0, QStringLiteral("good"),
                names({"Trk1", "Trk2", "Trk3", "Trk4"})),
            row("AA0002", "Poly", 2, "14B", "t7", 1000, 10600, 0, QStringLiteral("wind \"gusts\""), names({"Boom", "x"})),
            row("AA0003", "Mono", 1, "", "0", 500, 5300, 1, errorNote(1), names({"T1"})),
            row("AA0004", "Mono", 0, "", "0", QJsonValue(), QJsonValue(), 3, errorNote(3), names({})),
        };
        QCOMPARE(got.size(), expected.size());
        for (int i = 0; i < got.size(); ++i)
            QCOMPARE(got.at(i).toObject(), expected.at(i).toObject());

        // The unreadable file is reported on standard error.
        QVERIFY(r.err.contains("QSoundFile::ReadChunks(): "));
        QVERIFY(r.err.contains("AA0004_01.WAV"));
    }

    void table()
    {
        const auto r = run(cliPath(), {QStringLiteral("list"), m_Dir.path()});
        QCOMPARE(r.exitCode, 0);
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 6);
        QVERIFY(lines.at(0).startsWith("FILE_ID"));
        QVERIFY(lines.at(0).contains("STATUS"));
        QVERIFY(lines.at(2).startsWith("AA0001  "));
        QVERIFY(lines.at(2).contains(" 172800012 "));
        QVERIFY(lines.at(2).contains("1:Trk1 2:Trk2 3:Trk3 4:Trk4"));
        QVERIFY(lines.at(3).contains("Poly"));
        QVERIFY(lines.at(5).contains("*** Error #3 detected on audio file ***"));
    }

    void emptyFolder()
    {
        QTemporaryDir empty;
        const auto j = run(cliPath(), {QStringLiteral("list"), QStringLiteral("--json"), empty.path()});
        QCOMPARE(j.exitCode, 0);
        QCOMPARE(j.out, QByteArray("[]\n"));
        const auto t = run(cliPath(), {QStringLiteral("list"), empty.path()});
        QCOMPARE(t.exitCode, 0);
        QVERIFY(t.out.startsWith("FILE_ID"));
        QCOMPARE(t.out.count('\n'), 1);
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("err");   // part of standard error
        const QString file = m_Dir.path() + QStringLiteral("/AB.WAV");
        QTest::newRow("missing folder") << QStringList{"list", "/nonexistent/sonalign"} << 1 << QByteArray("no such folder");
        QTest::newRow("file instead of folder") << QStringList{"list", file} << 1 << QByteArray("no such folder");
        QTest::newRow("no folder") << QStringList{"list"} << 2 << QByteArray("usage: ");
        QTest::newRow("only --json") << QStringList{"list", "--json"} << 2 << QByteArray("usage: ");
        QTest::newRow("two folders") << QStringList{"list", "/tmp", "/tmp"} << 2 << QByteArray("usage: ");
        QTest::newRow("unknown option") << QStringList{"list", "/tmp", "--xml"} << 2 << QByteArray("usage: ");
    }
    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, err);
        const auto r = run(cliPath(), args);
        QTEST(r.exitCode, "exitCode");
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains(err), r.err.constData());
    }
};

QTEST_MAIN(TestCliList)
#include "tst_cli_list.moc"
