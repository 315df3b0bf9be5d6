// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageLoging.h"
#include "QXmlObject.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

const QString kTrackDoc = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<BWFXML>"
    "<SCENE>12A</SCENE>"
    "<NAME>top-level</NAME>"
    "<EMPTY></EMPTY>"
    "<TRACK_LIST><TRACK_COUNT>2</TRACK_COUNT>"
    "<NAME>list-level</NAME>"
    "<TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX><NAME>Boom</NAME></TRACK>"
    "<TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><NAME>Lav <B>Eric</B></NAME></TRACK>"
    "</TRACK_LIST>"
    "<NOTE>a</NOTE>"
    "</BWFXML>");

} // namespace

class TestXmlObject : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_pLogger = new MessageLoging(this);
        global_pLogger = m_pLogger;
    }
    void cleanupTestCase() { global_pLogger = nullptr; }

    void createdDocumentSerialisation()
    {
        QXmlObject xml;
        QVERIFY(!xml.XmlOk());
        QVERIFY(xml.CreateDoc());
        QVERIFY(xml.XmlOk());
        QDomElement root = xml.AddFirstElement(QStringLiteral("BWFXML"));
        QCOMPARE(xml.GetRoot().tagName(), QStringLiteral("BWFXML"));
        xml.AddElement(root, QStringLiteral("IXML_VERSION"), QStringLiteral("2.01"));
        xml.AddElement(root, QStringLiteral("NOTE"), QString());               // empty -> one space
        xml.AddElement(root, QStringLiteral("BIG"), 4294967295u);               // decimal, unsigned
        QDomElement speed = xml.AddElement(root, QStringLiteral("SPEED"));
        xml.AddElement(speed, QStringLiteral("FILE_SAMPLE_RATE"), 48000u);
        xml.AddElement(root, QStringLiteral("SYNC_POINT_LIST"));

        const QString expected = QStringLiteral(
            "<?xml version = '1.0' encoding = 'UTF-8'?>\n"
            "<BWFXML>\n"
            " <IXML_VERSION>2.01</IXML_VERSION>\n"
            " <NOTE> </NOTE>\n"
            " <BIG>4294967295</BIG>\n"
            " <SPEED>\n"
            "  <FILE_SAMPLE_RATE>48000</FILE_SAMPLE_RATE>\n"
            " </SPEED>\n"
            " <SYNC_POINT_LIST/>\n"
            "</BWFXML>\n");
        QCOMPARE(xml.CopyToString(), expected);

        // The serialised text parses back to the same tree.
        QXmlObject back;
        QVERIFY(back.OpenDocFromTxt(expected, nullptr, nullptr, nullptr));
        back.GetFirstElement();
        // The parser drops white-space-only text: a written " " reads back empty.
        QCOMPARE(back.GetElement(QStringLiteral("NOTE"), XmlPath(QString())), QString());
        QVERIFY(!back.GetPtrElement(QStringLiteral("NOTE"), XmlPath(QString())).isNull());
        QCOMPARE(back.GetElement(QStringLiteral("FILE_SAMPLE_RATE"), XmlPath(QStringLiteral("SPEED"))),
                 QStringLiteral("48000"));
    }

    void clearDocKeepsLoadedFlag()
    {
        QXmlObject xml;
        QVERIFY(xml.CreateDoc());
        xml.AddFirstElement(QStringLiteral("BWFXML"));
        xml.ClearDoc();
        QVERIFY(xml.XmlOk());                       // only the document is emptied
        QVERIFY(xml.Document().documentElement().isNull());
        QVERIFY(!xml.Document().toString().contains(QLatin1String("BWFXML")));
        xml.Clean();
        QVERIFY(!xml.XmlOk());

        // A rebuilt document holds one declaration and one root only.
        QVERIFY(xml.CreateDoc());
        xml.AddFirstElement(QStringLiteral("BWFXML"));
        QCOMPARE(xml.CopyToString(), QStringLiteral("<?xml version = '1.0' encoding = 'UTF-8'?>\n<BWFXML/>\n"));
    }

    void lookups_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");

        QTest::newRow("direct child of root") << "SCENE" << "" << "12A";
        QTest::newRow("BWFXML level is skipped") << "TRACK_COUNT" << "BWFXML\tTRACK_LIST" << "2";
        QTest::newRow("first TRACK's name") << "NAME" << "TRACK_LIST\tTRACK" << "Boom";
        QTest::newRow("missing level finds one higher") << "NAME" << "TRACK_LIST\tNOPE" << "list-level";
        QTest::newRow("all levels missing stays at root") << "NAME" << "X\tY" << "top-level";
        QTest::newRow("case-sensitive tags") << "scene" << "" << "";
        QTest::newRow("missing element") << "TAPE" << "" << "";
        QTest::newRow("empty element") << "EMPTY" << "" << "";
        QTest::newRow("element not under reached level") << "CHANNEL_INDEX" << "" << "";
    }
    void lookups()
    {
        QFETCH(QString, name);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QXmlObject xml;
        QVERIFY(xml.OpenDocFromTxt(kTrackDoc, nullptr, nullptr, nullptr));
        QCOMPARE(xml.GetFirstElement().tagName(), QStringLiteral("BWFXML"));
        QCOMPARE(xml.GetElement(name, XmlPath(path)), expected);
        QCOMPARE(xml.GetPtrElement(name, XmlPath(path)).isNull(), expected.isEmpty() && name != QLatin1String("EMPTY"));
    }

    void countsAndIndexedLookups()
    {
        QXmlObject xml;
        QVERIFY(xml.OpenDocFromTxt(kTrackDoc, nullptr, nullptr, nullptr));
        xml.GetFirstElement();
        const QStringList list = XmlPath(QStringLiteral("TRACK_LIST"));
        QCOMPARE(xml.GetCountElement(QStringLiteral("TRACK"), list), 2u);
        QCOMPARE(xml.GetCountElement(QStringLiteral("NAME"), list), 1u);
        QCOMPARE(xml.GetCountElement(QStringLiteral("TRACK"), XmlPath(QString())), 0u);
        QCOMPARE(xml.GetElementAt(QStringLiteral("NAME"), 0, QStringLiteral("TRACK"), list), QStringLiteral("Boom"));
        // text() concatenates the text of all descendants
        QCOMPARE(xml.GetElementAt(QStringLiteral("NAME"), 1, QStringLiteral("TRACK"), list), QStringLiteral("Lav Eric"));
        QCOMPARE(xml.GetElementAt(QStringLiteral("CHANNEL_INDEX"), 1, QStringLiteral("TRACK"), list), QStringLiteral("2"));
        QCOMPARE(xml.GetElementAt(QStringLiteral("NAME"), 2, QStringLiteral("TRACK"), list), QString());
        QCOMPARE(xml.GetElementAt(QStringLiteral("NAME"), -1, QStringLiteral("TRACK"), list), QStringLiteral("list-level"));
        QCOMPARE(xml.GetElementAt(QStringLiteral("NAME"), 0, QStringLiteral("NOGROUP"), list), QString());
    }

    void setElement()
    {
        QXmlObject xml;
        QVERIFY(xml.OpenDocFromTxt(kTrackDoc, nullptr, nullptr, nullptr));
        xml.GetFirstElement();
        const QString before = xml.CopyToString();

        xml.SetElement(QStringLiteral("TAPE"), QStringLiteral("x"), XmlPath(QString()));
        QCOMPARE(xml.CopyToString(), before);  // never creates

        // Non-empty element: replaced in place.
        xml.SetElement(QStringLiteral("SCENE"), QStringLiteral("99"), XmlPath(QString()));
        QDomElement root = xml.GetRoot();
        QCOMPARE(root.firstChildElement().tagName(), QStringLiteral("SCENE"));
        QCOMPARE(root.firstChildElement().text(), QStringLiteral("99"));

        // Unsigned value in decimal, under a path.
        xml.SetElement(QStringLiteral("CHANNEL_INDEX"), 4000000000u, XmlPath(QStringLiteral("TRACK_LIST\tTRACK")));
        QCOMPARE(xml.GetElement(QStringLiteral("CHANNEL_INDEX"), XmlPath(QStringLiteral("TRACK_LIST\tTRACK"))),
                 QStringLiteral("4000000000"));

        // Empty element: moved to the end of its parent, empty value -> space.
        xml.SetElement(QStringLiteral("EMPTY"), QString(), XmlPath(QString()));
        QCOMPARE(root.lastChildElement().tagName(), QStringLiteral("EMPTY"));
        QCOMPARE(root.lastChildElement().text(), QStringLiteral(" "));
        QCOMPARE(xml.GetCountElement(QStringLiteral("EMPTY"), XmlPath(QString())), 1u);
        QCOMPARE(root.lastChildElement().previousSiblingElement().tagName(), QStringLiteral("NOTE"));

        // Empty value on a non-empty element becomes a single space.
        xml.SetElement(QStringLiteral("NOTE"), QString(), XmlPath(QString()));
        QCOMPARE(xml.GetElement(QStringLiteral("NOTE"), XmlPath(QString())), QStringLiteral(" "));
    }

    void noRootReports_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        const QString dot = QStringLiteral("No root item.\nUse GetFirstElement() first.");
        QTest::newRow("GetElement") << 0 << "QXmlObject::GetElement()" << dot;
        QTest::newRow("GetCountElement") << 1 << "QXmlObject::GetCountElement()"
                                         << "No root item.\nUse GetFirstElement() first";
        QTest::newRow("GetElementAt") << 2 << "QXmlObject::GetElementAt()" << dot;
        QTest::newRow("GetPtrElement") << 3 << "QXmlObject::GetPtrElement()" << dot;
        QTest::newRow("SetElement") << 4 << "QXmlObject::SetElement()" << dot;
    }
    void noRootReports()
    {
        QFETCH(int, op);
        QXmlObject xml;
        QVERIFY(xml.OpenDocFromTxt(kTrackDoc, nullptr, nullptr, nullptr));  // parsed, root not taken yet
        QSignalSpy spy(m_pLogger, &MessageLoging::signal_message);
        const QStringList path = XmlPath(QString());
        switch (op) {
        case 0: QCOMPARE(xml.GetElement(QStringLiteral("SCENE"), path), QString()); break;
        case 1: QCOMPARE(xml.GetCountElement(QStringLiteral("SCENE"), path), 0u); break;
        case 2: QCOMPARE(xml.GetElementAt(QStringLiteral("SCENE"), -1, QString(), path), QString()); break;
        case 3: QVERIFY(xml.GetPtrElement(QStringLiteral("SCENE"), path).isNull()); break;
        default: xml.SetElement(QStringLiteral("SCENE"), QStringLiteral("x"), path); break;
        }
        QCOMPARE(spy.count(), 1);
        QTEST(spy.at(0).at(0).toString(), "title");
        QTEST(spy.at(0).at(1).toString(), "text");
        QCOMPARE(spy.at(0).at(2).toInt(), 0);
        QCOMPARE(spy.at(0).at(3).toInt(), 1);
    }

    void parsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("line");

        QTest::newRow("padded with spaces") << kTrackDoc + QString(61440 - kTrackDoc.size(), QLatin1Char(' ')) << true << 0;
        QTest::newRow("padding with line breaks") << kTrackDoc + QStringLiteral("\r\n  \n\t ") << true << 0;
        QTest::newRow("unclosed element on line 3") << QStringLiteral("<BWFXML>\n<A>x</A>\n<B>y</C>\n</BWFXML>") << false << 3;
        QTest::newRow("empty text") << QString() << false << -1;
        QTest::newRow("blanks only") << QStringLiteral("     ") << false << -1;
        QTest::newRow("text after root") << QStringLiteral("<A/>junk") << false << 1;
    }
    void parsing()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, line);
        QXmlObject xml;
        QVERIFY(xml.CreateDoc());
        QString message = QStringLiteral("unset");
        int errLine = -7;
        int errColumn = -7;
        QCOMPARE(xml.OpenDocFromTxt(text, &message, &errLine, &errColumn), ok);
        QCOMPARE(xml.XmlOk(), ok);
        if (ok) {
            QCOMPARE(xml.GetFirstElement().tagName(), QStringLiteral("BWFXML"));
            QCOMPARE(xml.GetElement(QStringLiteral("NOTE"), XmlPath(QString())), QStringLiteral("a"));
        } else {
            QVERIFY(!message.isEmpty());
            QVERIFY(message != QLatin1String("unset"));
            if (line >= 0)
                QCOMPARE(errLine, line);
            QVERIFY(errColumn >= 0);
        }
    }

private:
    MessageLoging* m_pLogger = nullptr;
};

QTEST_MAIN(TestXmlObject)
#include "tst_xmlobject.moc"
