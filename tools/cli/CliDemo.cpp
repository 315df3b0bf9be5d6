// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli demo DIR: writes a small demo project, DIR/target with takes of
// the recorder and DIR/source with files of another recorder whose spans
// cover those takes in each of the four ways.

#include "CliCommand.h"
#include "CliSupport.h"

#include "RecorderFileWriter.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr quint32 kRate = 48000;
constexpr quint16 kBits = 24;
constexpr quint64 kTenOClock = quint64(10) * 3600 * kRate;   // 10:00:00:00 in samples

quint64 at(double secondsAfterTen) { return kTenOClock + quint64(qint64(secondsAfterTen * kRate)); }

struct DemoTake
{
    const char* root;
    const char* scene;
    const char* take;
    const char* note;
    int tracks;               // mono files; 0 = one poly file of two channels
    double start;             // seconds after 10:00:00
    QStringList names;
};

struct DemoSource
{
    const char* name;
    double start;
    double seconds;
    const char* covers;       // what the window should show for it
};

RecorderFileSpec takeSpec(const DemoTake& t, quint32 seed)
{
    RecorderFileSpec s;
    s.sampleRate = kRate;
    s.bitsPerSample = kBits;
    s.frames = 2 * kRate;                 // two-second takes keep the demo small
    s.timeReference = at(t.start);
    s.audioSeed = seed;
    s.frameRateCode = "25.00";
    s.ixml.scene = QString::fromLatin1(t.scene);
    s.ixml.take = QString::fromLatin1(t.take);
    s.ixml.note = QString::fromLatin1(t.note);
    s.ixml.tape = QStringLiteral("DEMO");
    s.ixml.circled = t.tracks == 3 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    s.ixml.allTrackNames = t.names;
    return s;
}

RecorderFileSpec sourceSpec(const DemoSource& src, quint32 seed)
{
    RecorderFileSpec s;
    s.sampleRate = kRate;
    s.bitsPerSample = kBits;
    s.channels = 1;
    s.frames = quint32(src.seconds * kRate);
    s.timeReference = at(src.start);
    s.audioSeed = seed;
    // Another maker's recorder: bext only, no iXML, no vendor chunks.
    s.description = "Boom recorder\r\n";
    s.originator = "FIELDREC X2";
    s.originatorReference = "FRX2000000000000";
    s.withFilm = false;
    s.withVlta = false;
    s.withOnde = false;
    s.withIxml = false;
    return s;
}

bool folderHasSoundFiles(const QString& path)
{
    return !QDir(path).entryList({QStringLiteral("*.WAV"), QStringLiteral("*.wav")}, QDir::Files).isEmpty();
}

int runDemo(const QStringList& args)
{
    if (args.size() != 1) {
        cliErr() << "usage: sonalign-cli demo DIR\n";
        cliErr().flush();
        return kExitUsage;
    }
    const QString dir = QFileInfo(args.first()).absoluteFilePath();
    const QString target = dir + QStringLiteral("/target");
    const QString source = dir + QStringLiteral("/source");
    // Never mix demo files into folders that already hold sound files.
    if (folderHasSoundFiles(target) || folderHasSoundFiles(source)) {
        cliErr() << "sonalign-cli demo: " << dir << " already holds sound files; choose an empty folder\n";
        cliErr().flush();
        return kExitFailure;
    }
    if (!QDir().mkpath(target) || !QDir().mkpath(source)) {
        cliErr() << "sonalign-cli demo: cannot create " << target << " and " << source << '\n';
        cliErr().flush();
        return kExitFailure;
    }

    // Takes three seconds apart; each BOOM file covers one take in one of
    // the four ways, and LAV_0001 spans several takes at once.
    const QList<DemoTake> takes = {
        {"AA0001", "12A", "1", "wide, good", 2, 0.0, {QStringLiteral("Mix"), QStringLiteral("Boom")}},
        {"AA0002", "12A", "2", "plane at the end", 3, 3.0,
         {QStringLiteral("Mix"), QStringLiteral("Boom"), QStringLiteral("Lav Anna")}},
        {"AA0003", "14", "1", "", 2, 6.0, {QStringLiteral("Mix"), QStringLiteral("Boom")}},
        {"AA0004", "14", "2", "best", 4, 9.0,
         {QStringLiteral("Mix"), QStringLiteral("Boom"), QStringLiteral("Lav Anna"), QStringLiteral("Lav Paul")}},
        {"AA0005", "15", "1", "poly take", 0, 12.0, {}},
    };
    const QList<DemoSource> sources = {
        {"BOOM_0001.WAV", -0.5, 3.0, "entire take of AA0001"},
        {"BOOM_0002.WAV", 4.0, 2.0, "missing start of AA0002"},
        {"BOOM_0003.WAV", 6.5, 1.0, "partial coverage of AA0003"},
        {"BOOM_0004.WAV", 8.0, 2.0, "missing end of AA0004"},
        {"LAV_0001.WAV", 1.0, 9.0, "missing start of AA0001, entire AA0002 and AA0003, missing end of AA0004"},
    };

    QString error;
    quint32 seed = 11;
    for (const DemoTake& t : takes) {
        RecorderFileSpec spec = takeSpec(t, seed);
        seed += 10;
        bool ok = false;
        if (t.tracks > 0) {
            ok = RecorderFileWriter::writeMonoTake(target, QString::fromLatin1(t.root), t.tracks, spec, &error);
        } else {
            spec.channels = 2;
            spec.ixml.trackCount = 2;
            spec.ixml.polyTrackNames = QStringList{QStringLiteral("Mix L"), QStringLiteral("Mix R")};
            // The recorder names a poly take after its file ID and a two-character tail.
            ok = RecorderFileWriter::write(target + QLatin1Char('/') + QLatin1String(t.root) + QStringLiteral("PX.WAV"),
                                           spec, &error);
        }
        if (!ok) {
            cliErr() << "sonalign-cli demo: " << error << '\n';
            cliErr().flush();
            return kExitFailure;
        }
        cliOut() << "target/" << t.root << "  scene " << t.scene << " take " << t.take << "  "
                 << (t.tracks > 0 ? QStringLiteral("%1 mono tracks").arg(t.tracks) : QStringLiteral("poly, 2 channels"))
                 << '\n';
    }
    for (const DemoSource& s : sources) {
        if (!RecorderFileWriter::write(source + QLatin1Char('/') + QLatin1String(s.name), sourceSpec(s, seed), &error)) {
            cliErr() << "sonalign-cli demo: " << error << '\n';
            cliErr().flush();
            return kExitFailure;
        }
        seed += 10;
        cliOut() << "source/" << s.name << "  " << s.covers << '\n';
    }
    cliOut().flush();
    return kExitOk;
}

CliCommandRegistration reg("demo", "demo DIR", "Writes a small demo project: DIR/target with takes of the field recorder, DIR/source with files covering them.", &runDemo);

} // namespace
