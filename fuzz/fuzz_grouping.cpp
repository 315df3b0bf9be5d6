// SPDX-License-Identifier: GPL-3.0-or-later
// A list of file names -> the naming rules and QPath on each, then a folder
// holding them as files -> listing, lookup, grouping into takes and the quick
// take assembly.
//
// Input: names separated by '\n' (UTF-8, at most 48 used). A name starting with
// '*' is written as a small recorder file (the '*' dropped), others are empty.
// Names the file system refuses ('/', too long, ...) are skipped.
// Invariants: every listed file is found by the lookup at its own index;
// listing order is by local 8-bit bytes; a take's first file has a name of
// seven characters or more and starts its take.
#include "FuzzSupport.h"

#include "FileNaming.h"
#include "MyFileInfoList.h"
#include "QPath.h"
#include "QSoundPerform.h"
#include "RecorderFileWriter.h"
#include "TakeGrouping.h"

#include <QDir>
#include <QFile>

#include <memory>

namespace {

QString g_root;
QByteArray g_wav;
unsigned g_round = 0;

void nameRules(const QString& name)
{
    IsMonoFile(name);
    const QString racine = AudioPathFileShortenedToRacine(name);
    fuzzsupport::check(racine.size() <= name.size(), "racine no longer than the name");
    const QStringList forms{name, QString(QStringLiteral("/a/b/") + name), QString(name + QLatin1Char('/')),
                            QString(QStringLiteral("./") + name)};
    for (const QString& p : forms) {
        const QPath path(p);
        path.GetPath();
        path.GetFilename(true);
        path.GetFilename(false);
        path.GetExtension();
        path.GetRoot();
        path.GetSeparator();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsupport::init(argc, argv);
    g_root = fuzzsupport::scratchFolder("grouping");
    RecorderFileSpec spec;
    spec.frames = 4;
    spec.ixml.padTo = 0;
    g_wav = RecorderFileWriter::build(spec);
    for (int n : {-1, 0, 1, 9, 10, 24, 35, 36, 99, 100, 12345})
        TrkIndexToNN(n), TrkIndexToCharOld(n);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using fuzzsupport::check;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    QStringList names = text.split(QLatin1Char('\n'));
    if (names.size() > 48)
        names = names.mid(0, 48);

    for (const QString& name : names)
        nameRules(name);

    const QString folder = g_root + QStringLiteral("/d") + QString::number(g_round++);
    QDir().mkpath(folder);
    int written = 0;
    for (QString name : names) {
        const bool wav = name.startsWith(QLatin1Char('*'));
        if (wav)
            name.remove(0, 1);
        if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QChar(0))
            || name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        if (name.toLocal8Bit().size() > 255)
            continue;
        QFile file(folder + QLatin1Char('/') + name);
        if (!file.open(QIODevice::WriteOnly))
            continue;   // refused by the file system
        if (wav)
            file.write(g_wav);
        file.close();
        ++written;
    }

    MyFileInfoList listing;
    const int result = listing.LoadEntryInfoList(folder, QStringList{QStringLiteral(".WAV")});
    check((result == 0) == (listing.count() > 0), "listing result matches its count");
    for (int i = 0; i < listing.count(); ++i) {
        const QString name = listing.GetFileName(i);
        check(name.endsWith(QLatin1String(".WAV")) && name.size() > 4, "only .WAV names listed");
        check(listing.indexOfBoosted(listing.GetAbsoluteFilePath(i)) == i, "every listed file is found");
        check(listing.GetAbsoluteFilePath(i).endsWith(name), "path ends with the name");
        if (i > 0)
            check(listing.GetFileName(i - 1).toLocal8Bit() <= name.toLocal8Bit(), "byte order of names");
        QAll_HowManySoundFilesInGroup(listing.GetAbsoluteFilePath(i));
    }
    check(listing.GetFileName(listing.count()).isNull() && listing.GetFileName(-1).isNull(), "out of range is null");
    const QString absent = folder + QStringLiteral("/no such file.WAV");
    if (!QFile::exists(absent))
        check(listing.indexOfBoosted(absent) == -1, "a path not listed is not found");

    const QVector<TakeKey> takes = GroupListingIntoTakes(listing);
    int assembled = 0;
    for (const TakeKey& key : takes) {
        check(key.listingIndex >= 0 && key.listingIndex < listing.count(), "take starts at a listed file");
        check(listing.GetFileName(key.listingIndex).size() > 6, "take file names have seven characters or more");
        check(key.fileId == listing.GetFileName(key.listingIndex).left(6), "file ID is the first six characters");
        if (assembled++ < 8) {
            auto record = std::make_unique<QSoundPerform>();
            const int status = AssembleTakeQuick(key, &listing, record.get());
            check(status == kTakeOk || status == kTakeNoIxml || status == kTakeError, "known take status");
            for (int t = 0; t < QSoundPerform::kMaxSlots; ++t) {
                QString path;
                record->GetMonoFilePath(t, path);
            }
        }
    }
    QDir(folder).removeRecursively();
    Q_UNUSED(written);
    return 0;
}
