// SPDX-License-Identifier: GPL-3.0-or-later
// The DOM wrapper under every iXML query: path lookups with their fallback
// one level up, in-place setting, parsing and its misuse reports. What it
// writes is pinned through the generated documents and the golden files.

#include "QXmlObject.h"
#include "RelayRecorder.h"
#include "SoundTestKit.h"

namespace {
const QString kTrackDoc = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML><SCENE>12A</SCENE><NAME>top-level</NAME><EMPTY></EMPTY>"
    "<TRACK_LIST><TRACK_COUNT>2</TRACK_COUNT><NAME>list-level</NAME><TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX><NAME>Boom</NAME></TRACK>"
    "<TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><NAME>Lav <B>Eric</B></NAME></TRACK></TRACK_LIST><NOTE>a</NOTE></BWFXML>");
} // namespace

class TestXmlObject : public QObject
{
    Q_OBJECT
private slots:
    // op: "get" (text), "count" (elements), "atN GROUP" (text in the Nth GROUP); path levels split by tabs.
    void lookups_data()
    {
        kit::columns<QString, QString, QString, QString>("op", "name", "path", "expected");
        QTest::newRow("direct child of root") << "get" << "SCENE" << "" << "12A";
        QTest::newRow("BWFXML level is skipped") << "get" << "TRACK_COUNT" << "BWFXML\tTRACK_LIST" << "2";
        QTest::newRow("first TRACK's name") << "get" << "NAME" << "TRACK_LIST\tTRACK" << "Boom";
        QTest::newRow("missing level finds one higher") << "get" << "NAME" << "TRACK_LIST\tNOPE" << "list-level";
        QTest::newRow("all levels missing stays at root") << "get" << "NAME" << "X\tY" << "top-level";
        QTest::newRow("case-sensitive tags") << "get" << "scene" << "" << "";
        QTest::newRow("missing element") << "get" << "TAPE" << "" << "";
        QTest::newRow("empty element") << "get" << "EMPTY" << "" << "";
        QTest::newRow("element not under reached level") << "get" << "CHANNEL_INDEX" << "" << "";
        QTest::newRow("count tracks") << "count" << "TRACK" << "TRACK_LIST" << "2";
        QTest::newRow("count names") << "count" << "NAME" << "TRACK_LIST" << "1";
        QTest::newRow("count at the wrong level") << "count" << "TRACK" << "" << "0";
        QTest::newRow("first group") << "at0 TRACK" << "NAME" << "TRACK_LIST" << "Boom";
        QTest::newRow("text of all descendants") << "at1 TRACK" << "NAME" << "TRACK_LIST" << "Lav Eric";
        QTest::newRow("second group, other element") << "at1 TRACK" << "CHANNEL_INDEX" << "TRACK_LIST" << "2";
        QTest::newRow("no third group") << "at2 TRACK" << "NAME" << "TRACK_LIST" << "";
        QTest::newRow("index -1: the level itself") << "at-1 TRACK" << "NAME" << "TRACK_LIST" << "list-level";
        QTest::newRow("no such group") << "at0 NOGROUP" << "NAME" << "TRACK_LIST" << "";
    }
    void lookups()
    {
        QFETCH(QString, op); QFETCH(QString, name); QFETCH(QString, path); QFETCH(QString, expected);
        QXmlObject xml;
        QVERIFY(xml.OpenDocFromTxt(kTrackDoc, nullptr, nullptr, nullptr));
        QCOMPARE(xml.GetFirstElement().tagName(), QStringLiteral("BWFXML"));
        const QStringList at = op.mid(2).split(QLatin1Char(' '));
        const QString got = op == QLatin1String("get") ? xml.GetElement(name, XmlPath(path))
                            : op == QLatin1String("count") ? QString::number(xml.GetCountElement(name, XmlPath(path)))
                                                           : xml.GetElementAt(name, at.value(0).toInt(), at.value(1), XmlPath(path));
        QCOMPARE(got, expected);
        if (op == QLatin1String("get"))
            QCOMPARE(xml.GetPtrElement(name, XmlPath(path)).isNull(), expected.isEmpty() && name != QLatin1String("EMPTY"));
    }

    void setElement()
    {
        QXmlObject xml;
        QVERIFY(xml.OpenDocFromTxt(kTrackDoc, nullptr, nullptr, nullptr) && !xml.GetFirstElement().isNull());
        const QString before = xml.CopyToString();
        xml.SetElement(QStringLiteral("TAPE"), QStringLiteral("x"), XmlPath(QString()));
        QCOMPARE(xml.CopyToString(), before);   // never creates
        xml.SetElement(QStringLiteral("SCENE"), QStringLiteral("99"), XmlPath(QString()));   // replaced in place
        xml.SetElement(QStringLiteral("CHANNEL_INDEX"), 4000000000u, XmlPath(QStringLiteral("TRACK_LIST\tTRACK")));
        xml.SetElement(QStringLiteral("EMPTY"), QString(), XmlPath(QString()));   // an empty element moves to the end
        xml.SetElement(QStringLiteral("NOTE"), QString(), XmlPath(QString()));    // an empty value is a space
        QStringList order;
        for (QDomElement e = xml.GetRoot().firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
            order << e.tagName() + QLatin1Char('=') + e.text();
        QCOMPARE(order.join(QLatin1Char('|')), QStringLiteral("SCENE=99|NAME=top-level|TRACK_LIST=2list-level4000000000Boom2Lav Eric|"
                                                              "NOTE= |EMPTY= "));
    }

    void noRootReports_data()
    {
        kit::columns<int, QString, QString>("op", "result", "text");
        const QString dot = QStringLiteral("No root item.\nUse GetFirstElement() first.");
        QTest::newRow("GetElement") << 0 << "" << "QXmlObject::GetElement(): " + dot;
        QTest::newRow("GetCountElement") << 1 << "0" << "QXmlObject::GetCountElement(): No root item.\nUse GetFirstElement() first";
        QTest::newRow("GetElementAt") << 2 << "" << "QXmlObject::GetElementAt(): " + dot;
        QTest::newRow("GetPtrElement: null") << 3 << "1" << "QXmlObject::GetPtrElement(): " + dot;
        QTest::newRow("SetElement") << 4 << "" << "QXmlObject::SetElement(): " + dot;
    }
    void noRootReports()
    {
        QFETCH(int, op);
        QXmlObject xml;
        QVERIFY(xml.OpenDocFromTxt(kTrackDoc, nullptr, nullptr, nullptr));   // parsed, root not taken yet
        testsupport::RelayRecorder relay;
        const QString scene = QStringLiteral("SCENE");
        const QStringList path = XmlPath(QString());
        const QString got = op == 0 ? xml.GetElement(scene, path) : op == 1 ? QString::number(xml.GetCountElement(scene, path))
                            : op == 2 ? xml.GetElementAt(scene, -1, QString(), path)
                            : op == 3 ? QString::number(xml.GetPtrElement(scene, path).isNull()) : QString();
        if (op == 4)
            xml.SetElement(scene, QStringLiteral("x"), path);
        QTEST(got, "result");
        QTEST(relay.lines().join(QLatin1Char('\n')), "text");
        QVERIFY(relay.args().startsWith(QLatin1String("0,1,")));
    }

    void parsing_data()
    {
        kit::columns<QString, bool, int>("text", "ok", "line");   // line -1: not compared
        QTest::newRow("padded with spaces") << kTrackDoc + QString(61440 - kTrackDoc.size(), QLatin1Char(' ')) << true << 0;
        QTest::newRow("padding with line breaks") << kTrackDoc + QStringLiteral("\r\n  \n\t ") << true << 0;
        QTest::newRow("unclosed element on line 3") << QStringLiteral("<BWFXML>\n<A>x</A>\n<B>y</C>\n</BWFXML>") << false << 3;
        QTest::newRow("empty text") << QString() << false << -1;
        QTest::newRow("blanks only") << QStringLiteral("     ") << false << -1;
        QTest::newRow("text after root") << QStringLiteral("<A/>junk") << false << 1;
    }
    void parsing()
    {
        QFETCH(QString, text); QFETCH(bool, ok); QFETCH(int, line);
        QXmlObject xml;
        QString message = QStringLiteral("unset");
        int errLine = -7, errColumn = -7;
        QVERIFY(xml.CreateDoc());
        QCOMPARE(xml.OpenDocFromTxt(text, &message, &errLine, &errColumn), ok);
        QCOMPARE(xml.XmlOk(), ok);
        if (ok) {
            QCOMPARE(xml.GetFirstElement().tagName(), QStringLiteral("BWFXML"));
            QCOMPARE(xml.GetElement(QStringLiteral("NOTE"), XmlPath(QString())), QStringLiteral("a"));
        } else {
            QVERIFY(!message.isEmpty() && message != QLatin1String("unset") && errColumn >= 0 && (line < 0 || errLine == line));
        }
    }
};

QTEST_MAIN(TestXmlObject)
#include "tst_xmlobject.moc"
