// SPDX-License-Identifier: GPL-3.0-or-later
// The conform dialog: the plan as a table before anything is written, the
// track rule, unticked takes left alone, the apply with its results, the
// report, and Load putting back a take an interrupted run left half-changed.

#include "QtPlatformLeaks.h"
#include "../insertion/ConformFixtures.h"
#include "AppTestSupport.h"

#include "ConformApply.h"
#include "ConformDialog.h"
#include "MainWindow.h"
#include "MainWindowUi.h"
#include "TakeJournal.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QToolBar>
#include <QtTest>

#include <sys/wait.h>
#include <unistd.h>

using namespace fixtures;

namespace {

void day3(Day& day)
{
    day.addSource(QStringLiteral("A_0001.WAV"), 0, 10);
    day.addSource(QStringLiteral("A_0002.WAV"), 10, 10);
    day.addTake(QStringLiteral("AA0001"), 5, 10);    // across both files
    day.addTake(QStringLiteral("AA0002"), 12, 10);   // missing end
    day.addTake(QStringLiteral("AA0003"), 200, 5);   // no source
}

QString text(const ConformDialog& d, int row, int col) { return d.Table()->item(row, col)->text(); }

} // namespace

class TestConformDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { apptest::isolateConfig(m_config); }
    void showsThePlanBeforeWriting();
    void appliesTheTickedTakesAndSavesTheReport();
    void windowOpensItAndLoadRecovers();

private:
    QTemporaryDir m_config;
};

void TestConformDialog::showsThePlanBeforeWriting()
{
    Day day;
    day3(day);
    const QMap<QString, QByteArray> before = sha1Folder(day.target);
    ConformDialog d(day.source, day.target);
    QCOMPARE(d.Table()->rowCount(), 3);
    QCOMPARE(text(d, 0, ConformDialog::kColTake), QStringLiteral("AA0001"));
    QCOMPARE(text(d, 0, ConformDialog::kColSceneTake), QStringLiteral("12A/3"));
    QCOMPARE(text(d, 0, ConformDialog::kColClass), QStringLiteral("entire"));
    QCOMPARE(d.Table()->item(0, ConformDialog::kColClass)->background().color(), QColor(0, 120, 215));
    QCOMPARE(d.Table()->item(1, ConformDialog::kColClass)->background().color(), QColor(0, 0, 105));
    QCOMPARE(text(d, 0, ConformDialog::kColSources),
             QStringLiteral("A_0001.WAV [0 … 40000); A_0002.WAV [40000 … 80000)"));
    QCOMPARE(text(d, 1, ConformDialog::kColSilence), QStringLiteral("[64000 … 80000)"));
    QCOMPARE(text(d, 0, ConformDialog::kColTrack), QStringLiteral("3"));
    QCOMPARE(text(d, 2, ConformDialog::kColAction), QStringLiteral("skip: no source covers this take"));
    QCOMPARE(d.Table()->item(2, ConformDialog::kColTake)->checkState(), Qt::Unchecked);
    // Another track rule plans again.
    d.TrackRule()->setCurrentIndex(2);   // " Track 2": occupied
    QCOMPARE(text(d, 0, ConformDialog::kColAction), QStringLiteral("skip: track 2 is occupied"));
    QVERIFY(!d.ApplyButton()->isEnabled());
    QCOMPARE(sha1Folder(day.target), before);
}

void TestConformDialog::appliesTheTickedTakesAndSavesTheReport()
{
    Day day;
    day3(day);
    const QMap<QString, QByteArray> before = sha1Folder(day.target);
    ConformDialog d(day.source, day.target);
    d.Table()->item(1, ConformDialog::kColTake)->setCheckState(Qt::Unchecked);
    d.NameEdit()->setText(QStringLiteral("Boom"));
    QTest::mouseClick(d.ApplyButton(), Qt::LeftButton);
    QCOMPARE(text(d, 0, ConformDialog::kColResult), QStringLiteral("written"));
    QCOMPARE(text(d, 1, ConformDialog::kColResult), QStringLiteral("skipped"));
    QCOMPARE(text(d, 1, ConformDialog::kColAction), QStringLiteral("skip: left out by the user"));
    QVERIFY(QFileInfo::exists(day.file(QStringLiteral("AA0001_03.WAV"))));
    QVERIFY(body(readFile(day.file(QStringLiteral("AA0001_03.WAV"))), "iXML").contains("<NAME>Boom</NAME>"));
    for (const QString& n : {QStringLiteral("AA0002_01.WAV"), QStringLiteral("AA0002_02.WAV")})
        QCOMPARE(sha1Folder(day.target).value(n), before.value(n));

    const QString report = day.dir.path() + QStringLiteral("/day.csv");
    d.SetSaveDialogHook([&]() { return report; });
    QTest::mouseClick(d.ReportButton(), Qt::LeftButton);
    const QStringList lines = QString::fromUtf8(readFile(report)).split(QStringLiteral("\r\n"));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("AA0001,12A,3,10:00:05:00,3,create,,entire,written,")));
    QVERIFY(lines.at(2).startsWith(QStringLiteral("AA0002,12A,3,10:00:12:00,3,create,left out by the user,missing_end,skipped,")));
}

void TestConformDialog::windowOpensItAndLoadRecovers()
{
    Day day;
    day3(day);
    const QMap<QString, QByteArray> before = sha1Folder(day.target);
    // A run dies while it writes AA0001 (after its third journal record).
    const pid_t pid = ::fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        TakeJournal::SetRecordHookForTests([](int n) {
            if (n == 3)
                ::raise(SIGKILL);
        });
        ConformPlan plan = day.plan(3);
        ConformRun().Apply(plan);
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(pid, &status, 0), pid);
    QVERIFY(WIFSIGNALED(status));
    QVERIFY(TakeJournal::HasJournal(day.target));

    MainWindow w;
    w.SetModalHook([](QMessageBox&) { return int(QMessageBox::Ok); });
    w.SetFolders(day.source, day.target);
    w.OnPushButton_Load();
    QVERIFY(!TakeJournal::HasJournal(day.target));
    QCOMPARE(sha1Folder(day.target), before);
    const QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
    QVERIFY(!boxes.isEmpty());
    QVERIFY(boxes.last()->text().contains(QStringLiteral("An earlier run stopped while changing take AA0001")));

    QAction* action = w.findChild<QAction*>(QStringLiteral("m_CtrlAction_Conform"));
    QVERIFY(action);
    action->trigger();
    auto* dialog = w.findChild<ConformDialog*>();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->Table()->rowCount(), 3);
    QTest::mouseClick(dialog->ApplyButton(), Qt::LeftButton);
    QCOMPARE(dialog->Plan().takes.at(0).result, QStringLiteral("written"));
    // Closing verifies every written track by the audio and reloads: the
    // take's row carries its verdict.
    dialog->close();
    QTableWidget* table = w.Ui()->m_CtrlTable_Target;
    QTRY_VERIFY(table->rowCount() > 0 && table->item(0, 0)
                && table->item(0, 0)->toolTip().contains(QStringLiteral("Track 3 against track 1: ")));
}

QTEST_MAIN(TestConformDialog)
#include "tst_ConformDialog.moc"
