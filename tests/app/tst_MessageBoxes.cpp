// SPDX-License-Identifier: GPL-3.0-or-later
// Relay messages become non-blocking boxes: limit, cascade, prefix, icons,
// timeout, and messages sent from another thread.

#include "AppTestSupport.h"
#include "QtPlatformLeaks.h"
#include "MessageLoging.h"

#include <QThread>
#include <QtTest>

class tst_MessageBoxes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { apptest::isolateConfig(m_Config); }

    void twelveMessagesGiveNineBoxesThenTooManyThenNothing()
    {
        MainWindow w;
        w.show();
        QVERIFY(global_pLogger);
        for (int i = 1; i <= 12; ++i)
            global_pLogger->SendMsg(QStringLiteral("Title %1").arg(i), QStringLiteral("text %1").arg(i), 0, 1, true, 0);
        QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes.size(), 10);
        for (int i = 0; i < 9; ++i) {
            QCOMPARE(boxes[i]->windowTitle(), QStringLiteral("Title %1").arg(i + 1));
            QCOMPARE(boxes[i]->text(), QStringLiteral("text %1").arg(i + 1));
            QCOMPARE(boxes[i]->windowModality(), Qt::ApplicationModal);
        }
        QCOMPARE(boxes[9]->windowTitle(), QStringLiteral("Error"));
        QCOMPARE(boxes[9]->text(), QStringLiteral("Too many messages"));
        // Each box after the first is moved 10 pixels right and down.
        QCOMPARE(boxes[2]->pos(), boxes[1]->pos() + QPoint(10, 10));
        QCOMPARE(boxes[9]->pos(), boxes[1]->pos() + QPoint(80, 80));

        // Closing one box makes room for exactly one more message.
        boxes[0]->close();
        QTRY_COMPARE(w.OpenMessageBoxCount(), 9);
        global_pLogger->SendMsg(QStringLiteral("T"), QStringLiteral("after one closed"), 0, 1, true, 0);
        boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes.last()->text(), QStringLiteral("Too many messages"));
        QCOMPARE(w.OpenMessageBoxCount(), 10);

        for (QMessageBox* b : apptest::visibleBoxes(&w))
            b->close();
        QTRY_COMPARE(w.OpenMessageBoxCount(), 0);

        // Counting starts again; the first box is at its default place again and
        // the cascade restarts from it.
        global_pLogger->SendMsg(QStringLiteral("A"), QStringLiteral("first again"), 0, 1, true, 0);
        global_pLogger->SendMsg(QStringLiteral("B"), QStringLiteral("second again"), 0, 1, true, 0);
        boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0]->text(), QStringLiteral("first again"));
        QCOMPARE(boxes[1]->pos(), boxes[0]->pos() + QPoint(10, 10));
    }

    void textAndIconFollowCodeAndKind_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("icon");
        const QString x = QStringLiteral("cannot open\n/x/AA.WAV");
        QTest::newRow("code 5 prefixes the text") << 5 << 1 << "Error #5\n" + x << int(QMessageBox::Critical);
        QTest::newRow("0 critical") << 0 << 0 << x << int(QMessageBox::Critical);
        QTest::newRow("2 warning") << 0 << 2 << x << int(QMessageBox::Warning);
        QTest::newRow("3 information") << 0 << 3 << x << int(QMessageBox::Information);
        QTest::newRow("7 information") << 0 << 7 << x << int(QMessageBox::Information);
    }

    void textAndIconFollowCodeAndKind()
    {
        QFETCH(int, code);
        QFETCH(int, kind);
        MainWindow w;
        global_pLogger->SendMsg(QStringLiteral("QSoundFile::Open()"), QStringLiteral("cannot open\n/x/AA.WAV"), code, kind, true, 0);
        const QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->windowTitle(), QStringLiteral("QSoundFile::Open()"));
        QTEST(boxes[0]->text(), "text");
        QTEST(int(boxes[0]->icon()), "icon");
    }

    void timeoutClosesTheBox()
    {
        MainWindow w;
        global_pLogger->SendMsg(QStringLiteral("t"), QStringLiteral("stays"), 0, 1, true, 0);
        global_pLogger->SendMsg(QStringLiteral("t"), QStringLiteral("goes"), 0, 1, true, 150);
        QCOMPARE(w.OpenMessageBoxCount(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(w.OpenMessageBoxCount(), 1, 3000);
        const QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->text(), QStringLiteral("stays"));
    }

    void messageFromAnotherThreadBecomesABoxOnTheGuiThread()
    {
        MainWindow w;
        QThread* sender = QThread::create([]() {
            SendToRelay(QStringLiteral("BuildTableThread"), QStringLiteral("from the worker"), 0, 2, true, 0);
        });
        sender->start();
        QVERIFY(sender->wait(5000));
        delete sender;
        QTRY_COMPARE(apptest::visibleBoxes(&w).size(), 1);
        const QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes[0]->text(), QStringLiteral("from the worker"));
        QCOMPARE(boxes[0]->icon(), QMessageBox::Warning);
        QCOMPARE(boxes[0]->thread(), w.thread());
    }

private:
    QTemporaryDir m_Config;
};

QTEST_MAIN(tst_MessageBoxes)
#include "tst_MessageBoxes.moc"
