// SPDX-License-Identifier: GPL-3.0-or-later
// Failing disks, failing renames, read-only folders, sources that shrink and
// cancels: the user is told which file, the take keeps every byte, and no
// half-written file is left under a track name.

#include "InsertionFixtures.h"
#include "TestSupport.h"

#include "FileWriteSeam.h"
#include "TrackWorkflows.h"

#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fixtures;

namespace {

const quint64 kTen = 10 * kHour * 48000;

struct Project
{
    QTemporaryDir dir;
    QString target;
    QString source;

    explicit Project(quint32 seconds = 2, quint16 bits = 24)
    {
        target = dir.path() + QStringLiteral("/Day1");
        QDir().mkpath(target);
        RecorderFileSpec base = spec(48000, bits, seconds * 48000, kTen);
        base.extraAfter << ExtraChunk{"LIST", QByteArray(500, 'x'), false, 0};   // so that the new file needs a filler
        RecorderFileWriter::writeMonoTake(target, QStringLiteral("AA0001"), 2, base);
        source = dir.path() + QStringLiteral("/src.wav");
        writeSource(source, 48000, bits, (seconds + 4) * 48000, kTen - 2 * 48000);
    }
    QString file(const QString& name) const { return target + QLatin1Char('/') + name; }
    QString newTrack() const { return file(QStringLiteral("AA0001_03.WAV")); }
};

WorkflowResult create(const Project& p, bool* keepGoing = nullptr, std::function<void(qint64)> progress = nullptr)
{
    CreateTrackRequest r;
    r.targetFolder = p.target;
    r.sourcePath = p.source;
    r.trackIndex = 2;
    r.fileIds = QStringList{QStringLiteral("AA0001")};
    r.keepGoing = keepGoing;
    CreateTrackWorkflow w;
    if (progress)
        QObject::connect(&w, &CreateTrackWorkflow::signal_ProgressSize, progress);
    return w.Run(r);
}

const QString kBounce = QStringLiteral("AA0001\nError during bounce Sonalign process.");

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void everyWriteOfTheNewFileMayFail_data();
    void everyWriteOfTheNewFileMayFail();
    void failsAndChangesNothing_data();
    void failsAndChangesNothing();
    void realReadOnlyFolder();
    void staleTemporaryFileIsReplaced();
    void finalNameTakenByAnotherFile();
    void newFileIsNotWorldWritable();
    void trackFileCannotBeOpenedForUpdate();
};

// A dry run counts the writes to the new file; each row then makes one of
// them fail, once as a full disk (half stored) and once as an I/O error.
void TestFaults::everyWriteOfTheNewFileMayFail_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<bool>("ioError");
    int total = 0;
    {
        Project p(13, 16);   // 13 s at 16 bits: more than one 1 MiB run
        Faults faults;
        Relay relay;
        if (!create(p).success)
            QFAIL(qPrintable(relay.all()));
        total = faults.newFileWrites;
    }
    QVERIFY(total >= 6);
    for (int i = 1; i <= total; ++i) {
        QTest::newRow(qPrintable(QStringLiteral("write %1 of %2 stores half").arg(i).arg(total))) << i << false;
        QTest::newRow(qPrintable(QStringLiteral("write %1 of %2 fails").arg(i).arg(total))) << i << true;
    }
}

void TestFaults::everyWriteOfTheNewFileMayFail()
{
    QFETCH(int, failAt);
    QFETCH(bool, ioError);
    Project p(13, 16);
    const QMap<QString, QByteArray> before = sha1Folder(p.target);
    Faults faults;
    faults.failWrite(failAt, ioError, true);
    Relay relay;
    const WorkflowResult r = create(p);
    QVERIFY(!r.success);
    QCOMPARE(relay.texts().last(), kBounce);
    // One clear message names the new file.
    QVERIFY2(relay.all().contains(p.newTrack()) || relay.all().contains(QStringLiteral(".AA0001_03.WAV.partial")),
             qPrintable(relay.all()));
    QCOMPARE(sha1Folder(p.target), before);
}

// A rename or an open refused, a source cut to a third at the first
// progress report, a cancel at the 50th: one message naming the file, the
// run fails, the folder keeps every byte.
void TestFaults::failsAndChangesNothing_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("messages");   // %N = the new track, %S = the source, %F = AA0001_02.WAV
    const QString bounce = QLatin1Char('|') + kBounce;
    QTest::newRow("rename refused") << "rename" << "%N\nUnable to give the new track file this name; nothing was written." + bounce;
    QTest::newRow("target folder read-only") << "open" << "Unable to open files (IO_write)\n%N!" + bounce;
    QTest::newRow("source shrinks during the copy") << "shrink" << "%S\nThe source file holds fewer audio bytes than its data chunk declares." + bounce;
    QTest::newRow("cancel mid-copy") << "cancel" << "%N\nCancelled: the new track was not written." + bounce;
    QTest::newRow("hiding: rename refused") << "hide" << QStringLiteral("%F\nUnable to rename this file: the track was not hidden.");
}

void TestFaults::failsAndChangesNothing()
{
    QFETCH(QString, fault);
    QFETCH(QString, messages);
    Project p(25, 16);   // about three 1 MiB runs
    const QMap<QString, QByteArray> before = sha1Folder(p.target);
    Faults faults;
    faults.refuseRename = fault == QLatin1String("rename") || fault == QLatin1String("hide");
    faults.refuseOpen = fault == QLatin1String("open") ? QStringLiteral(".partial") : QString();
    bool goOn = true;
    int reports = 0;
    Relay relay;
    const WorkflowResult r = fault == QLatin1String("hide") ? hideTrack(p.target, 2, {QStringLiteral("AA0001")})
                                                            : create(p, &goOn, [&](qint64) {
                                                                  if (++reports == 1 && fault == QLatin1String("shrink")) {
                                                                      QFile f(p.source);
                                                                      f.resize(f.size() / 3);
                                                                  }
                                                                  if (reports == 50 && fault == QLatin1String("cancel"))
                                                                      goOn = false;
                                                              });
    QVERIFY(!r.success);
    QCOMPARE(relay.texts().join(QLatin1Char('|')), messages.replace(QLatin1String("%N"), p.newTrack()).replace(QLatin1String("%S"), p.source)
                              .replace(QLatin1String("%F"), p.file(QStringLiteral("AA0001_02.WAV"))));
    if (fault == QLatin1String("open"))
        QCOMPARE(relay.kind(0), 1);
    if (fault == QLatin1String("cancel"))
        QCOMPARE(reports, 50);
    QCOMPARE(sha1Folder(p.target), before);
}

namespace {
// Permissions do not bind the super-user, and CI runs as root: there the
// test takes an unprivileged identity for the write (the saved identity
// stays root, so it can come back).
class WithoutPrivileges
{
public:
    WithoutPrivileges()
    {
        if (::geteuid() == 0)
            m_dropped = ::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0;
    }
    ~WithoutPrivileges()
    {
        if (m_dropped) {
            QVERIFY(::seteuid(0) == 0);
            QVERIFY(::setegid(0) == 0);
        }
    }

private:
    static constexpr uid_t kNobody = 65534;
    bool m_dropped = false;
};
} // namespace

void TestFaults::realReadOnlyFolder()
{
    Project p;
    const QMap<QString, QByteArray> before = sha1Folder(p.target);
    // Readable and searchable by everyone, writable by no one.
    QVERIFY(QFile::setPermissions(p.dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                    | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
    QVERIFY(QFile::setPermissions(p.target, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther
                                                 | QFile::ReadGroup | QFile::ExeGroup));
    Relay relay;
    bool ok = true;
    {
        WithoutPrivileges unprivileged;
        QVERIFY(::geteuid() != 0);
        ok = create(p).success;
    }
    QFile::setPermissions(p.target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!ok);
    QCOMPARE(relay.text(0), QStringLiteral("Unable to open files (IO_write)\n") + p.newTrack() + QLatin1Char('!'));
    QCOMPARE(sha1Folder(p.target), before);
}

// Temporary files left by runs that ended (older fixed name, or a unique
// one) are removed; one that a running writer still holds a lock on is not.
void TestFaults::staleTemporaryFileIsReplaced()
{
    Project p;
    const QString staleOld = p.file(QStringLiteral(".AA0001_03.WAV.partial"));
    const QString staleUnique = p.file(QStringLiteral(".AA0001_03.WAV.00000000deadbeef.partial"));
    const QString owned = p.file(QStringLiteral(".AA0001_03.WAV.0123456789abcdef.partial"));
    const QString otherTrack = p.file(QStringLiteral(".AA0001_04.WAV.00000000deadbeef.partial"));
    for (const QString& f : {staleOld, staleUnique, owned, otherTrack})
        QVERIFY(writeFile(f, QByteArray(100, 'z')));
    const int fd = ::open(QFile::encodeName(owned).constData(), O_RDONLY);
    QVERIFY(fd >= 0 && ::flock(fd, LOCK_EX) == 0);
    Relay relay;
    QVERIFY2(create(p).success, qPrintable(relay.all()));
    ::close(fd);
    QVERIFY(!QFile::exists(staleOld));
    QVERIFY(!QFile::exists(staleUnique));
    QCOMPARE(readFile(owned), QByteArray(100, 'z'));
    QVERIFY(QFile::exists(otherTrack));
    QCOMPARE(QFileInfo(p.newTrack()).size(), QFileInfo(p.file(QStringLiteral("AA0001_01.WAV"))).size());
}

void TestFaults::finalNameTakenByAnotherFile()
{
    {
        // A file the take cannot load holds the name: the take is refused whole.
        Project p;
        QVERIFY(writeFile(p.newTrack(), "not a sound file"));
        const QMap<QString, QByteArray> before = sha1Folder(p.target);
        Relay relay;
        QVERIFY(!create(p).success);
        QCOMPARE(relay.texts().last(), QStringLiteral("AA0001\nError during InitFilesZZ process."));
        QCOMPARE(sha1Folder(p.target), before);
    }
    {
        // The name is taken while the new file is being written (another
        // program, another user): the finished file never replaces it.
        Project p;
        Faults faults;
        bool raced = false;
        faults.write = [&](const QString&, qint64 requested, int index) -> qint64 {
            if (index == 1 && !raced)
                raced = writeFile(p.newTrack(), "written meanwhile");
            return requested;
        };
        Relay relay;
        QVERIFY(!create(p).success);
        QVERIFY(raced);
        QCOMPARE(relay.texts(), QStringList({p.newTrack() + QStringLiteral("\nUnable to give the new track file this name; nothing was written."),
                                             kBounce}));
        QCOMPARE(readFile(p.newTrack()), QByteArray("written meanwhile"));
        QVERIFY(!QFile::exists(p.file(QStringLiteral(".AA0001_03.WAV.partial"))));
    }
}

void TestFaults::newFileIsNotWorldWritable()
{
    Project p;
    const mode_t old = ::umask(027);
    Relay relay;
    const bool ok = create(p).success;
    ::umask(old);
    QVERIFY2(ok, qPrintable(relay.all()));
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(p.newTrack()).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0640);
}

void TestFaults::trackFileCannotBeOpenedForUpdate()
{
    Project p;
    const QByteArray second = testsupport::sha1Of(p.file(QStringLiteral("AA0001_02.WAV")));
    Faults faults;
    faults.refuseOpen = QStringLiteral("AA0001_02.WAV");
    Relay relay;
    create(p);
    // The user is told which file keeps its old iXML; that file keeps every byte.
    QVERIFY2(relay.all().contains(p.file(QStringLiteral("AA0001_02.WAV"))
                                  + QStringLiteral("\nUnable to open this file for writing: its iXML chunk was not updated.")),
             qPrintable(relay.all()));
    QCOMPARE(testsupport::sha1Of(p.file(QStringLiteral("AA0001_02.WAV"))), second);
    QVERIFY(QString::fromUtf8(body(readFile(p.file(QStringLiteral("AA0001_01.WAV"))), "iXML"))
                .contains(QStringLiteral("<TOTAL_FILES>3</TOTAL_FILES>")));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
