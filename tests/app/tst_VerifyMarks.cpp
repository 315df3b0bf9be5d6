// SPDX-License-Identifier: GPL-3.0-or-later
// The Verify button: the verdict mark on the take's row, its tooltip, the
// status line, the mark kept across a Load, and takes that cannot be verified.

#include "../analysis/SyntheticSignal.h"
#include "AppTestSupport.h"

#include <QtTest>

class tst_VerifyMarks : public QObject
{
    Q_OBJECT

private slots:
    void marksTheVerifiedTakes()
    {
        QTemporaryDir config, dir;
        apptest::isolateConfig(config);
        QVERIFY(apptest::writeProject(dir.path(), 0, 0, 1));
        const QString target = dir.path() + QStringLiteral("/target");
        // AA0001: the boom 20 ms late; AA0002: in time.
        synth::Mic lav, boom;
        lav.snrDb = boom.snrDb = 10;
        lav.noiseSeed = 1;
        boom.noiseSeed = 2;
        for (int take = 1; take <= 2; ++take) {
            boom.paths = {synth::Path{take == 1 ? 960.0 : 0.0, 1}};
            const RecorderFileSpec spec = apptest::takeSpec(QStringLiteral("S%1").arg(take), QStringLiteral("1"),
                                                            apptest::kTen + quint64(take) * 480000, 0);
            QVERIFY(synth::writeTake(target, QStringLiteral("AA000%1").arg(take), spec,
                                     {synth::Track(5, lav), synth::Track(5, boom)}, 3 * 48000));
        }

        apptest::Window w;
        QPavaneBrowsingTable* table = w.target();
        QStringList& modal = w.texts;
        QVERIFY(w.load(dir.path()));
        QCOMPARE(table->rowCount(), 2);
        auto* verify = w.findChild<QPushButton*>(QStringLiteral("m_CtrlButton_Verify"));
        QVERIFY(verify);
        QVERIFY(w.findChild<QLabel*>(QStringLiteral("m_CtrlLabel_VerifyLegend"))->text().contains(QStringLiteral("no match")));

        // Nothing selected: said so, nothing marked.
        verify->click();
        QCOMPARE(modal, QStringList{QStringLiteral("No file selected in target zone.")});
        QVERIFY(table->item(0, 0)->icon().isNull());

        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);
        table->selectRow(0);
        verify->click();
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("AA0001 track 2: offset +20.0 ms"));
        QVERIFY(!table->item(0, 0)->icon().isNull());
        QVERIFY(table->item(1, 0)->icon().isNull());
        QVERIFY(table->item(0, 0)->toolTip().startsWith(
            QStringLiteral("+20.0 ms\nTrack 2 against track 1: offset\nOffset +20.0 ms (+0.50 frames)\nDrift +0.0 ms")));

        // Both takes: one offset, one in sync; the marks survive a Load.
        table->selectAll();
        verify->click();
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(),
                 QStringLiteral("Track 2 verified: 1 in sync, 1 offset, 0 drift, 0 no match"));
        QVERIFY(w.load());
        QVERIFY(table->item(0, 0)->toolTip().contains(QStringLiteral("Track 2 against track 1: offset")));
        QVERIFY(table->item(1, 0)->toolTip().contains(QStringLiteral("Track 2 against track 1: in sync")));

        // A track the takes do not have: one box naming each take, marks removed.
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(2);
        table->selectAll();
        modal.clear();
        verify->click();
        QCOMPARE(modal, QStringList{QStringLiteral("Not verified:\nAA0001: The take has no track 3.\n"
                                                   "AA0002: The take has no track 3.")});
        QVERIFY(table->item(0, 0)->icon().isNull());
    }
};

QTEST_MAIN(tst_VerifyMarks)
#include "tst_VerifyMarks.moc"
