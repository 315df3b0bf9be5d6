// SPDX-License-Identifier: GPL-3.0-or-later
// Failing disks and renames, read-only folders, shrinking sources, cancels, stale temporaries, takes other tools
// wrote: the user is told which file, every file keeps its bytes or stays whole, no half-written file has a track
// name.

#include "InsertionFixtures.h"

#include "QSoundFile.h"

#include <QRegularExpression>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fixtures;
using namespace ins;

namespace {

const QString kBounce = QStringLiteral("AA0001\nError during bounce Sonalign process.");
constexpr int kTracks = 5;

// Two tracks with a LIST chunk after the audio (the new file needs a filler), a source 2 s longer at each end.
struct FaultProject : Project
{
    explicit FaultProject(quint32 seconds = 2, quint16 bits = 24) : Project(2, {QStringLiteral("AA0001")}, base(seconds, bits), (seconds + 4) * 48000, -96000) {}
    static RecorderFileSpec base(quint32 seconds, quint16 bits)
    {
        RecorderFileSpec s = spec(48000, bits, seconds * 48000, kTen);
        s.extraAfter << ExtraChunk{"LIST", QByteArray(500, 'x'), false, 0};
        return s;
    }
};

// A short document in a chunk just big enough for it (even-sized for other readers).
QByteArray shortDocument(int n)
{
    const QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><BWFXML><FILE_SET><TOTAL_FILES>5</TOTAL_FILES></FILE_SET><TRACK_LIST>"
                           "<TRACK_COUNT>1</TRACK_COUNT><TRACK><CHANNEL_INDEX>" + QByteArray::number(n) + "</CHANNEL_INDEX><NAME>Trk"
                           + QByteArray::number(n) + "</NAME></TRACK></TRACK_LIST></BWFXML>";
    return xml.size() % 2 ? xml + ' ' : xml;
}

// A take whose every file another tool wrote its own way (those tst_golden does not pin): an iXML 4 bytes over the
// recorder's size (no room for a filler) after an empty JUNK, one of 70000 bytes, one last and too small for the
// regenerated text, one of 3 KB after an odd chunk, chunks after the audio; then a filler gives them one size.
RecorderFileSpec mixedSpec(int n, bool sameSize = true)
{
    RecorderFileSpec s = RecorderFileWriter::monoTrackSpec(spec(48000, 24, 9600, kTen), kTracks, n);
    s.ixml.originalFileName = QStringLiteral("AA0001_%1.WAV").arg(n, 2, 10, QLatin1Char('0'));
    s.ixml.padTo = n == 1 ? 61444 : n == 2 ? 70000 : n == 4 ? 3000 : s.ixml.padTo;
    s.ixmlLast = n == 3;
    if (n == 1)
        s.extraBefore << ExtraChunk{"JUNK", QByteArray(), false, 0};
    if (n == 4)
        s.extraBefore << ExtraChunk{"abcd", "12345", true, 0};
    if (n == 5)
        s.extraAfter << ExtraChunk{"cue ", QByteArray(28, '\x01'), false, 0} << ExtraChunk{"zzzz", "abc", true, 0};
    if (n == 3 || n == 5)   // too small for the regenerated text: it grows where it is or moves
        s.ixmlRaw = shortDocument(n);
    if (!sameSize)
        return s;
    qint64 longest = 0;
    for (int k = 1; k <= kTracks; ++k)
        longest = qMax<qint64>(longest, RecorderFileWriter::build(mixedSpec(k, false)).size());
    s.extraAfter << ExtraChunk{"JUNK", QByteArray(int(longest + 64 - RecorderFileWriter::build(s).size() - 8), '\0'), false, 0};
    return s;
}

QString file(const QString& target, int n) { return target + QStringLiteral("/AA0001_%1.WAV").arg(n, 2, 10, QLatin1Char('0')); }

// Why the file at `path` is not a whole file of 9600 samples from 10:00:00 that our reader takes (and ffprobe and
// sox, when asked), or nothing.
QString notWhole(const QString& path, const QByteArray& data, int totalFiles = 0)
{
    const QByteArray bytes = readFile(path);
    QSoundFile sf;
    if (u32At(bytes, 4) + 8u != quint32(bytes.size()) || (!data.isEmpty() && body(bytes, "data") != data))
        return path + QStringLiteral(": RIFF size or audio changed");
    if (!sf.Open(path, 0) || !sf.ReadChunks(false, false) || !sf.GetiXMLFileInfos() || sf.GetDataSize() != 9600u * 3)
        return path + QStringLiteral(": our reader refuses it");
    if (totalFiles == 0)
        return QString();
    const auto probe = testsupport::run(QStringLiteral("ffprobe"),
        QStringLiteral("-v error -show_entries format_tags=time_reference:stream=duration_ts -of default=noprint_wrappers=1 %1")
            .arg(path)
            .split(QLatin1Char(' ')));
    if (probe.exitCode != 0 || !probe.err.isEmpty() || probe.out != "duration_ts=9600\nTAG:time_reference=1728000000\n")
        return path + QStringLiteral(": ffprobe: ") + QString::fromUtf8(probe.out + probe.err);
    if (testsupport::run(QStringLiteral("sox"), QStringLiteral("%1 -t raw -e signed-integer -b 24 -L -").arg(path).split(QLatin1Char(' '))).out != body(bytes, "data"))
        return path + QStringLiteral(": sox reads other samples");
    const QString total = xmlValue(QString::fromUtf8(body(bytes, "iXML")).trimmed(), QStringLiteral("FILE_SET/TOTAL_FILES"));
    return total == QString::number(totalFiles) ? QString() : path + QStringLiteral(": TOTAL_FILES ") + total;
}

// The mixed take and its source under `root`; returns the take folder.
QString writeMixedTake(const QString& root)
{
    QDir().mkpath(root + QStringLiteral("/Day1"));
    for (int n = 1; n <= kTracks; ++n)
        RecorderFileWriter::write(file(root + QStringLiteral("/Day1"), n), mixedSpec(n));
    writeSource(root + QStringLiteral("/BOOM.WAV"), 48000, 24, 48000, kTen - 1000);
    return root + QStringLiteral("/Day1");
}

// Permissions do not bind the super-user (CI runs as root): take an unprivileged identity, root kept as saved one.
struct WithoutPrivileges
{
    explicit WithoutPrivileges(bool drop) : root(drop && ::geteuid() == 0)
    {
        if (root && (::setegid(65534) != 0 || ::seteuid(65534) != 0))
            qWarning("could not take an unprivileged identity");
    }
    const bool root;   // the identity to take back, whatever part of the drop worked
    ~WithoutPrivileges()
    {
        if (root && (::seteuid(0) != 0 || ::setegid(0) != 0))
            qFatal("cannot take the super-user identity back");
    }
};

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    // A dry run counts the writes to the new file (or to the other files in the update pass of a mixed take); each
    // row makes one of them store half (a full disk) or fail (an I/O error).
    void everyWriteMayFail_data()
    {
        columns<bool, int, bool>({"newFile", "failAt", "ioError"});
        for (bool newFile : {true, false}) {
            int total = 0;
            {
                QTemporaryDir dir;
                FaultProject p(13, 16);   // 13 s at 16 bits: more than one 1 MiB run
                Faults faults;
                Relay relay;
                const QString mixed = writeMixedTake(dir.path());
                const QString source = dir.path() + QStringLiteral("/BOOM.WAV");
                const WorkflowResult r = newFile ? p.create(3) : createTrack(mixed, source, kTracks + 1, {QStringLiteral("AA0001")});
                QVERIFY2(r.success, qPrintable(relay.all()));
                total = newFile ? faults.newFileWrites : faults.otherWrites;
                // Every file of the mixed take, the new one too, is of one size and read by our reader, ffprobe and sox.
                const bool readers = testsupport::haveTool(QStringLiteral("sox")) && testsupport::haveTool(QStringLiteral("ffprobe"));
                for (int n = 1; n <= kTracks + 1 && !newFile; ++n) {
                    const QString why = notWhole(file(mixed, n), QByteArray(), readers ? kTracks + 1 : 0);
                    QVERIFY2(why.isEmpty() && QFileInfo(file(mixed, n)).size() == QFileInfo(file(mixed, 1)).size(), qPrintable(why));
                }
            }
            QVERIFY(total >= 6);
            for (int i = 1; i <= total; ++i)
                for (bool ioError : {false, true})
                    QTest::newRow(qPrintable(QStringLiteral("%1 write %2 of %3 %4").arg(newFile ? "new file" : "update pass").arg(i).arg(total).arg(ioError ? "fails" : "stores half")))
                        << newFile << i << ioError;
        }
        // A file of the take that cannot be opened in the update pass (0: a create, 1: a hide).
        QTest::newRow("update pass: AA0001_02.WAV cannot be opened (create)") << false << 0 << false;
        QTest::newRow("update pass: AA0001_02.WAV cannot be opened (hide)") << false << 0 << true;
    }
    void everyWriteMayFail()
    {
        QFETCH(bool, newFile); QFETCH(int, failAt); QFETCH(bool, ioError);
        QTemporaryDir dir;
        FaultProject p(13, 16);
        const QString target = newFile ? p.target : writeMixedTake(dir.path());
        const QMap<QString, QByteArray> before = sha1Folder(target);
        QByteArrayList data{QByteArray()};
        for (int n = 1; n <= kTracks; ++n)
            data << body(readFile(file(target, n)), "data");
        const bool hide = failAt == 0 && ioError;
        Relay relay;
        WorkflowResult r;
        {
            Faults faults;
            faults.failWrite(failAt, ioError, newFile);
            faults.refuseOpen = failAt == 0 ? QStringLiteral("AA0001_02.WAV") : QString();
            r = newFile ? p.create(3) : hide ? hideTrack(target, 4, {QStringLiteral("AA0001")})
                                            : createTrack(target, dir.path() + QStringLiteral("/BOOM.WAV"), kTracks + 1, {QStringLiteral("AA0001")});
        }
        QVERIFY(!r.success);
        if (newFile) {   // one clear message names the new file; nothing changed
            QCOMPARE(relay.texts().last(), kBounce);
            QVERIFY2(relay.all().contains(p.track(3)) || relay.all().contains(QStringLiteral(".AA0001_03.WAV.partial")), qPrintable(relay.all()));
            QCOMPARE(sha1Folder(target), before);
            return;
        }
        // The track was made or hidden, but a file of the take kept its old iXML: the run did not do what was asked
        // and says which file; every file stays whole, one that could not be opened untouched.
        QCOMPARE(r.createdFiles + r.hiddenFiles, QStringList{hide ? QStringLiteral("AA0001_04.DEL1") : QStringLiteral("AA0001_06.WAV")});
        QVERIFY(relay.count() > 0);
        for (int n = 1; n <= kTracks + 1; ++n) {
            const bool there = !hide || (n <= kTracks && n != 4);
            const QString why = QFileInfo::exists(file(target, n)) != there ? file(target, n) + QStringLiteral(" (un)expected")
                : there                                                     ? notWhole(file(target, n), data.value(n))
                                                                            : QString();
            QVERIFY2(why.isEmpty(), qPrintable(why + relay.all()));
        }
        if (failAt == 0) {
            QCOMPARE(sha1Folder(target).value(QStringLiteral("AA0001_02.WAV")), before.value(QStringLiteral("AA0001_02.WAV")));
            QVERIFY2(relay.all().contains(file(target, 2) + QStringLiteral("\nUnable to open this file for writing")
                         + (hide ? "" : ": its iXML chunk was not updated.")),
                qPrintable(relay.all()));
        }
    }
    // A rename or an open refused, a read-only folder, a source cut to a third at the new file's first write, a cancel
    // at its second, the name taken before or while writing: these messages, every byte kept, the taken name its file.
    void failsAndChangesNothing_data()
    {
        // messages: %N = the new track, %S = the source, %F = AA0001_02.WAV, %T = the take folder; newTrack: what holds its name after
        columns<QString, QString, QByteArray>({"fault", "messages", "newTrack"});
        const QString bounce = QLatin1Char('|') + kBounce, renamed = QStringLiteral("%N\nUnable to give the new track file this name; nothing was written.") + bounce;
        QTest::newRow("rename refused") << "rename" << renamed << QByteArray();
        QTest::newRow("open refused") << "open" << "Unable to open files (IO_write)\n%N!" + bounce << QByteArray();
        QTest::newRow("real read-only folder") << "readonly" << "Unable to open files (IO_write)\n%N!" + bounce << QByteArray();
        QTest::newRow("source shrinks during the copy") << "shrink" << "%S\nThe source file holds fewer audio bytes than its data chunk declares." + bounce << QByteArray();
        QTest::newRow("cancel mid-copy") << "cancel" << "%N\nCancelled: the new track was not written." + bounce << QByteArray();
        QTest::newRow("hiding: rename refused") << "hide" << "%F\nUnable to rename this file: the track was not hidden." << QByteArray();
        QTest::newRow("a file the take cannot load holds the name") << "taken" << "Path:%T/\nFile:AA0001_03.WAV\nis not a sound file !|AA0001\nError during InitFilesZZ process."
                                                                    << QByteArray("not a sound file");
        QTest::newRow("the name is taken meanwhile") << "meanwhile" << renamed << QByteArray("written meanwhile");
    }
    void failsAndChangesNothing()
    {
        QFETCH(QString, fault); QFETCH(QString, messages);
        FaultProject p(25, 16);   // about three 1 MiB runs
        if (fault == QLatin1String("taken"))
            QVERIFY(writeFile(p.track(3), "not a sound file"));
        QMap<QString, QByteArray> before = sha1Folder(p.target);
        Faults faults;
        faults.refuseRename = fault == QLatin1String("rename") || fault == QLatin1String("hide");
        faults.refuseOpen = fault == QLatin1String("open") ? QStringLiteral(".partial") : QString();
        bool goOn = true;
        faults.write = [&](const QString&, qint64 requested, int index) {   // a source cut, a cancel, another program
            if (index == 1 && fault == QLatin1String("shrink"))
                QFile(p.source).resize(QFileInfo(p.source).size() / 3);
            goOn = goOn && !(index == 2 && fault == QLatin1String("cancel"));
            return index == 1 && fault == QLatin1String("meanwhile") && !writeFile(p.track(3), "written meanwhile") ? -1 : requested;
        };
        const auto readable = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup;
        QVERIFY(fault != QLatin1String("readonly") || (QFile::setPermissions(p.dir.path(), readable | QFile::WriteOwner) && QFile::setPermissions(p.target, readable)));
        Relay relay;
        WorkflowResult r;
        {
            WithoutPrivileges unprivileged(fault == QLatin1String("readonly"));
            QVERIFY(fault != QLatin1String("readonly") || ::geteuid() != 0);
            r = fault == QLatin1String("hide") ? hideTrack(p.target, 2, {QStringLiteral("AA0001")})
                                               : createTrack(p.target, p.source, 3, {QStringLiteral("AA0001")}, QStringLiteral("Boom"), &goOn);
        }
        QFile::setPermissions(p.target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!r.success);
        // (the unprivileged identity may not write the action log: that warning is not this test's)
        QCOMPARE(
            relay.texts().filter(QRegularExpression(QStringLiteral("^(?![\\s\\S]*action log cannot)"))).join(QLatin1Char('|')),
            messages.replace(QLatin1String("%N"), p.track(3))
                .replace(QLatin1String("%S"), p.source)
                .replace(QLatin1String("%F"), p.track(2))
                .replace(QLatin1String("%T"), p.target));
        if (fault == QLatin1String("open"))
            QCOMPARE(relay.kind(0), 1);
        QTEST(readFile(p.track(3)), "newTrack");
        QCOMPARE(partialFiles(p.target), QStringList());
        QMap<QString, QByteArray> after = sha1Folder(p.target);
        after.remove(QStringLiteral("AA0001_03.WAV"));
        before.remove(QStringLiteral("AA0001_03.WAV"));
        QCOMPARE(after, before);
    }
    // A run removes temporaries of ended runs (older fixed name or a unique one), not one a running writer locks nor
    // another track's; the new file is not world-writable.
    void staleTemporariesGoAndTheNewFileIsPrivate()
    {
        FaultProject p;
        const QStringList stale{p.file(QStringLiteral(".AA0001_03.WAV.partial")), p.file(QStringLiteral(".AA0001_03.WAV.00000000deadbeef.partial"))};
        const QStringList kept{p.file(QStringLiteral(".AA0001_03.WAV.0123456789abcdef.partial")), p.file(QStringLiteral(".AA0001_04.WAV.00000000deadbeef.partial"))};
        for (const QString& f : stale + kept)
            QVERIFY(writeFile(f, QByteArray(100, 'z')));
        const int fd = ::open(QFile::encodeName(kept.first()).constData(), O_RDONLY);
        QVERIFY(fd >= 0 && ::flock(fd, LOCK_EX) == 0);
        const mode_t old = ::umask(027);
        Relay relay;
        const bool ok = p.create(3).success;
        ::umask(old);
        ::close(fd);
        QVERIFY2(ok, qPrintable(relay.all()));
        QCOMPARE(partialFiles(p.target), QStringList({".AA0001_03.WAV.0123456789abcdef.partial", ".AA0001_04.WAV.00000000deadbeef.partial"}));
        QCOMPARE(readFile(kept.first()) + readFile(kept.last()), QByteArray(200, 'z'));
        QCOMPARE(QFileInfo(p.track(3)).size(), QFileInfo(p.track(1)).size());
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(p.track(3)).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0640);
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
