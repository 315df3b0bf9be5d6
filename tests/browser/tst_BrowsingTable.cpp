// SPDX-License-Identifier: GPL-3.0-or-later
// The browsing table: worker-thread builds and their rows, progress, scene modes, track pages.

#include "../app/QtPlatformLeaks.h"
#include "BuildTableThread.h"
#include "ColumnKinds.h"
#include "MessageLoging.h"
#include "QPavaneBrowsingTable.h"
#include "QSoundPerform.h"
#include "SoundFixtures.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr quint64 kTen = quint64(10) * 3600 * 48000;

RecorderFileSpec takeSpec(const QString& scene, quint64 tr = kTen, quint32 frames = 48)
{
    RecorderFileSpec s;
    s.frames = frames;
    s.timeReference = tr;
    s.ixml.scene = scene;
    s.ixml.note = QStringLiteral("note ") + scene;
    s.ixml.padTo = 0;
    return s;
}

// `count` short mono takes prefix0001... of `tracks` tracks each.
bool writeShortTakes(const QString& folder, const QString& prefix, int count, int tracks = 1)
{
    bool ok = true;
    for (int i = 1; i <= count; ++i)
        ok = ok && RecorderFileWriter::writeMonoTake(folder, prefix + QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0')), tracks, takeSpec(QStringLiteral("1")));
    return ok;
}

// The texts of a row's cells of the given kinds, joined by '|'.
QString cells(const QPavaneBrowsingTable& t, int row, std::initializer_list<int> kinds)
{
    QStringList texts;
    for (int k : kinds)
        texts << t.CellText(row, k);
    return texts.join(QLatin1Char('|'));
}

bool hidden(const QPavaneBrowsingTable& t, int kind) { return t.isColumnHidden(t.ColumnOfKind(kind)); }

bool buildAndWait(QPavaneBrowsingTable& t, const QString& folder)
{
    QSignalSpy end(&t, SIGNAL(signal_EndOfTableUpdate()));
    return t.SetupNewTableContent(folder + QStringLiteral("/"), QString(), true) == 0 && (end.count() > 0 || end.wait(20000));
}

} // namespace

class tst_BrowsingTable : public QObject
{
    Q_OBJECT
    MessageLoging m_Relay;

private slots:
    void initTestCase() { qRegisterMetaType<QSoundPerform*>("QSoundPerform*"); global_pLogger = &m_Relay; }

    void buildFillsRowsFromWorker()
    {
        QTemporaryDir dir;
        RecorderFileSpec mono = takeSpec(QStringLiteral("12A"), kTen, 480), poly = takeSpec(QStringLiteral("7"), kTen + 48000, 960);
        mono.ixml.take = QStringLiteral("r3");
        poly.channels = 3;
        poly.ixml.trackCount = 3;
        poly.ixml.polyTrackNames = QStringList{QStringLiteral("Boom"), QStringLiteral(""), QStringLiteral("Lav")};
        QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 4, mono));
        QVERIFY(RecorderFileWriter::write(dir.path() + QStringLiteral("/AA0002PX.WAV"), poly));
        QVERIFY(testsupport::writeBytes(dir.path() + QStringLiteral("/ZZ0001_01.WAV"), "this is not a sound file at all"));
        QPavaneBrowsingTable t;
        t.SetupBrowser(0, BROWSER_TAKES);
        QVERIFY(buildAndWait(t, dir.path()));
        QCOMPARE(t.rowCount(), 3);
        // The poly take counts its channels; a take without a readable file has no span.
        const auto row = {int(BLK_DATA_FILEID), int(BLK_DATA_SCENE), int(BLK_DATA_TAKE), int(BLK_DATA_TRACKS),
                          int(BLK_DATA_INOUT_SPLTC), int(BLK_DATA_OUT_SPLTC), int(BLK_DATA_NOTES)};
        QCOMPARE(cells(t, 0, row), QStringLiteral("AA0001|12A|r3|4|%1|%2|note 12A").arg(kTen).arg(kTen + 480));
        QCOMPARE(cells(t, 1, row), QStringLiteral("AA0002|7|3|3|%1|%2|note 7").arg(kTen + 48000).arg(kTen + 48000 + 960));
        QCOMPARE(cells(t, 2, row), QStringLiteral("ZZ0001||0|0|--:--:--:--|| *** Error #3 detected on audio file *** "));
        QCOMPARE(t.item(2, t.ColumnOfKind(BLK_DATA_NOTES))->background().color(), QColor(200, 60, 60));
        // Track cells stay empty until the track view asks for names.
        QCOMPARE(t.CellText(0, BLK_DATA_TRACK1), QString());
        QSignalSpy end(&t, SIGNAL(signal_EndOfTableUpdate()));
        t.ChangeDisplayedColumn();
        QVERIFY(end.count() > 0 || end.wait(20000));   // the call itself may have run the event loop
        const auto tracks = {int(BLK_DATA_TRACK1), BLK_DATA_TRACK1 + 1, BLK_DATA_TRACK1 + 2, BLK_DATA_TRACK1 + 3, BLK_DATA_TRACK1 + 4};
        QCOMPARE(cells(t, 0, tracks) + QLatin1Char('/') + cells(t, 1, tracks), QStringLiteral("Trk1|Trk2|Trk3|Trk4|/Boom|x|Lav||"));   // x: unnamed channel
    }

    void buildWhileRunningReturnsOneAndChangesNothing()
    {
        QTemporaryDir a, b;
        QVERIFY(writeShortTakes(a.path(), QStringLiteral("AA"), 2, 2) && writeShortTakes(b.path(), QStringLiteral("BB"), 1));
        QPavaneBrowsingTable t;
        t.SetupBrowser(0, BROWSER_TAKES);
        QSignalSpy end(&t, SIGNAL(signal_EndOfTableUpdate()));
        QSignalSpy relay(&m_Relay, SIGNAL(signal_message(QString, QString, int, int, bool, int)));
        QCOMPARE(t.SetupNewTableContent(a.path() + QStringLiteral("/"), QString(), true), 0);
        // The build's end reaches the table through the event loop, which has not run: still building.
        QVERIFY(t.IsBuilding());
        QCOMPARE(t.SetupNewTableContent(b.path() + QStringLiteral("/"), QString(), true), 1);
        QCOMPARE(t.BuildTableContentThreaded(b.path() + QStringLiteral("/")), true);
        QCOMPARE(t.SetupBrowser(0, BROWSER_RAW_BWF), 1);
        QCOMPARE(relay.count() == 1 ? relay.at(0).at(1).toString() : QString(), QStringLiteral("!!! tryAcquire SetupBrowser() BUSY !!!"));
        QCOMPARE(t.CurrentFolder() + QString::number(t.BrowserType()), a.path() + QStringLiteral("/") + QString::number(BROWSER_TAKES));
        QVERIFY(end.count() > 0 || end.wait(20000));
        QCOMPARE(end.count(), 1);
        QCOMPARE(cells(t, 1, {BLK_DATA_FILEID}) + QString::number(t.rowCount()), QStringLiteral("AA00022"));
    }

    // Empty or missing folders end their build; progress from 21 rows only; a table destroyed
    // mid-build loses no record (LeakSanitizer reports one left in the event queue).
    void buildsEndAndReportProgress()
    {
        QTemporaryDir small, large, empty;
        QVERIFY(writeShortTakes(small.path(), QStringLiteral("AB"), 20) && writeShortTakes(large.path(), QStringLiteral("AB"), 40));
        QPavaneBrowsingTable t;
        t.SetupBrowser(0, BROWSER_TAKES);
        t.ChangeDisplayedColumn();   // before any folder was loaded: neither builds nor pages
        QVERIFY(!t.IsBuilding() && t.DisplayedColumnMode() == 0 && t.Worker()->RequestCount() == 0);
        QSignalSpy progress(&t, SIGNAL(signal_BrowsingTableProgress(int)));
        QList<int> rows;
        for (const QString& folder : {small.path() + QStringLiteral("/missing"), small.path(), large.path(), empty.path()}) {
            QVERIFY(buildAndWait(t, folder));
            rows << t.rowCount() << progress.count();
        }
        QCOMPARE(rows, QList<int>({0, 0, 20, 0, 40, 40, 0, 40}));
        QCOMPARE(QList<int>({progress.at(0).at(0).toInt(), progress.at(18).at(0).toInt(), progress.at(39).at(0).toInt()}),
                 QList<int>({100 / 40, (18 * 100 + 100) / 40, 100}));
        QCOMPARE(t.Worker()->DoneCount(), quint64(4));
        quint64 done = 0;
        {
            QPavaneBrowsingTable mid;
            mid.SetupBrowser(0, BROWSER_TAKES);
            QCOMPARE(mid.SetupNewTableContent(small.path() + QStringLiteral("/"), QString(), true), 0);
            for (int i = 0; i < 500 && mid.Worker()->DoneCount() == 0; ++i)   // no event loop: the records stay queued
                QThread::msleep(10);
            done = mid.Worker()->DoneCount();
        }
        QCOMPARE(done, quint64(1));
    }

    // F1 cycles the scene column (composed, full, the fields in their own
    // columns); F2 pages the track columns of a 700-pixel table.
    void sceneModesAndTrackPages()
    {
        QTemporaryDir dir;
        RecorderFileSpec s = takeSpec(QStringLiteral("SC42"));
        s.ixml.sctkTemplate = 4;
        s.ixml.advancedComposition = QStringLiteral("1,0,2");
        s.ixml.advancedFields = {{QStringLiteral("SEQUENCE"), QStringLiteral("42")}, {QStringLiteral("SEP1"), QStringLiteral("-")},
                                 {QStringLiteral("SLATE"), QStringLiteral("7")}};
        QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AC0001"), 1, s));
        QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AC0002"), 24, takeSpec(QStringLiteral("9"))));
        QPavaneBrowsingTable t;
        t.SetupBrowser(0, BROWSER_TAKES);
        t.resize(700, 300);
        QVERIFY(buildAndWait(t, dir.path()));
        QCOMPARE(t.AdvancedFieldMask(), 0b111);
        const auto fields = {int(BLK_DATA_SCENE), int(BLK_DATA_SEQUENCE), int(BLK_DATA_SLATE), int(BLK_DATA_SEASON)};
        QCOMPARE(cells(t, 0, fields) + cells(t, 1, {BLK_DATA_SCENE}), QStringLiteral("42-7|42|7|9"));
        QCOMPARE(t.item(0, t.ColumnOfKind(BLK_DATA_SEASON))->background().color(), QColor(0, 0, 0, 50));   // fields the take lacks
        QCOMPARE(t.item(1, t.ColumnOfKind(BLK_DATA_SEQUENCE))->background().color(), QColor(0, 0, 0, 50));
        auto state = [&t] {
            return QStringLiteral("%1 %2 %3 hidden %4%5%6%7").arg(t.ShortSceneMode()).arg(t.horizontalHeaderItem(1)->text(), t.CellText(0, BLK_DATA_SCENE))
                .arg(hidden(t, BLK_DATA_SCENE)).arg(hidden(t, BLK_DATA_SEQUENCE)).arg(hidden(t, BLK_DATA_SLATE)).arg(hidden(t, BLK_DATA_SEASON));
        };
        QStringList seen{state()};
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(&t, Qt::Key_F1);
            seen << state();
        }
        QTest::keyClick(&t, Qt::Key_F1, Qt::ShiftModifier);   // not F1 alone: ignored
        seen << state();
        QCOMPARE(seen, QStringList({"0 Scene(Shrt) 42-7 hidden 0111", "1 Scene(Full) SC42 hidden 0111", "2 Scene SC42 hidden 1001",
                                    "0 Scene(Shrt) 42-7 hidden 0111", "0 Scene(Shrt) 42-7 hidden 0111"}));

        // The first F2 rebuilds with track names; pages of 7 until 7 x 4 > 23 brings the normal view back.
        QSignalSpy end(&t, SIGNAL(signal_EndOfTableUpdate()));
        QStringList pages;
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(&t, Qt::Key_F2);
            QVERIFY(end.count() > 0 || end.wait(20000));
            QList<int> shown;
            for (int k = BLK_DATA_TRACK1; k <= BLK_DATA_TRACK24; ++k)
                if (!hidden(t, k))
                    shown << k - BLK_DATA_TRACK1 + 1;
            pages << (shown.isEmpty() ? QString() : QStringLiteral("%1-%2").arg(shown.first()).arg(shown.last()))
                    + (hidden(t, BLK_DATA_NOTES) ? QStringLiteral(" no notes") : QString());
        }
        QCOMPARE(pages, QStringList({"1-7 no notes", "8-14 no notes", "15-21 no notes", "22-24 no notes", ""}));
        QCOMPARE(QList<int>({t.columnWidth(t.ColumnOfKind(BLK_DATA_TAKE)), t.TracksPerPage(), end.count()}), QList<int>({35, 7, 1}));
        QCOMPARE(t.CellText(1, BLK_DATA_TRACK1 + 23), QStringLiteral("Trk24"));
    }
};

QTEST_MAIN(tst_BrowsingTable)
#include "tst_BrowsingTable.moc"
