// SPDX-License-Identifier: GPL-3.0-or-later
// Relay messages become non-blocking boxes: limit, cascade, prefix, icons,
// timeout, and messages sent from another thread.

#include "AppTestSupport.h"
#include "QtPlatformLeaks.h"
#include "MainWindow.h"
#include "MessageLoging.h"

#include <QMessageBox>
#include <QThread>
#include <QtTest>

class tst_MessageBoxes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { apptest::isolateConfig(m_Config); }

    void twelveMessagesGiveNineBoxesThenTooManyThenNothing();
    void codePrefixesTheText();
    void iconFollowsKind_data();
    void iconFollowsKind();
    void timeoutClosesTheBox();
    void messageFromAnotherThreadBecomesABoxOnTheGuiThread();

private:
    QTemporaryDir m_Config;
};

void tst_MessageBoxes::twelveMessagesGiveNineBoxesThenTooManyThenNothing()
{
    MainWindow w;
    w.show();
    QVERIFY(global_pLogger);
    for (int i = 1; i <= 12; ++i)
        global_pLogger->SendMsg(QStringLiteral("Title %1").arg(i), QStringLiteral("text %1").arg(i), 0, 1, true, 0);
    QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
    QCOMPARE(boxes.size(), 10);
    QCOMPARE(w.OpenMessageBoxCount(), 10);
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(boxes[i]->windowTitle(), QStringLiteral("Title %1").arg(i + 1));
        QCOMPARE(boxes[i]->text(), QStringLiteral("text %1").arg(i + 1));
        QCOMPARE(boxes[i]->icon(), QMessageBox::Critical);
        QVERIFY(boxes[i]->testAttribute(Qt::WA_DeleteOnClose));
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
    QTRY_COMPARE(apptest::visibleBoxes(&w).size(), 0);

    // Counting starts again; the first box is at its default place again and
    // the cascade restarts from it.
    global_pLogger->SendMsg(QStringLiteral("A"), QStringLiteral("first again"), 0, 1, true, 0);
    global_pLogger->SendMsg(QStringLiteral("B"), QStringLiteral("second again"), 0, 1, true, 0);
    boxes = apptest::visibleBoxes(&w);
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[0]->text(), QStringLiteral("first again"));
    QCOMPARE(boxes[1]->pos(), boxes[0]->pos() + QPoint(10, 10));
    QCOMPARE(w.OpenMessageBoxCount(), 2);
}

void tst_MessageBoxes::codePrefixesTheText()
{
    MainWindow w;
    global_pLogger->SendMsg(QStringLiteral("QSoundFile::Open()"), QStringLiteral("cannot open\n/x/AA.WAV"), 5, 1, true, 0);
    const QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0]->windowTitle(), QStringLiteral("QSoundFile::Open()"));
    QCOMPARE(boxes[0]->text(), QStringLiteral("Error #5\ncannot open\n/x/AA.WAV"));
}

void tst_MessageBoxes::iconFollowsKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("icon");
    QTest::newRow("0 critical") << 0 << int(QMessageBox::Critical);
    QTest::newRow("1 critical") << 1 << int(QMessageBox::Critical);
    QTest::newRow("2 warning") << 2 << int(QMessageBox::Warning);
    QTest::newRow("3 information") << 3 << int(QMessageBox::Information);
    QTest::newRow("7 information") << 7 << int(QMessageBox::Information);
}

void tst_MessageBoxes::iconFollowsKind()
{
    QFETCH(int, kind);
    MainWindow w;
    global_pLogger->SendMsg(QStringLiteral("t"), QStringLiteral("x"), 0, kind, true, 0);
    const QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
    QCOMPARE(boxes.size(), 1);
    QTEST(int(boxes[0]->icon()), "icon");
}

void tst_MessageBoxes::timeoutClosesTheBox()
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

void tst_MessageBoxes::messageFromAnotherThreadBecomesABoxOnTheGuiThread()
{
    MainWindow w;
    QThread* sender = QThread::create([]() {
        SendToRelay(QStringLiteral("BuildTableThread"), QStringLiteral("from the worker"), 0, 2, true, 0);
    });
    sender->start();
    QVERIFY(sender->wait(5000));
    delete sender;
    QTRY_COMPARE(w.OpenMessageBoxCount(), 1);
    const QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0]->text(), QStringLiteral("from the worker"));
    QCOMPARE(boxes[0]->icon(), QMessageBox::Warning);
    QCOMPARE(boxes[0]->thread(), w.thread());
}

QTEST_MAIN(tst_MessageBoxes)
#include "tst_MessageBoxes.moc"
