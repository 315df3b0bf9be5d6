// SPDX-License-Identifier: GPL-3.0-or-later
// Listing benchmark: a folder of N mono takes of 8 tracks (iXML chunks of
// 61440 bytes, tiny data) is listed and every take assembled quickly, as the
// target table and `sonalign-cli list` do it. The baseline, run in the same
// process on the same (cached) files, only reads the bytes the listing has to
// read: the folder entries, and for each take its first file's chunk headers,
// fixed records and iXML chunk.
//
// usage: bench_listing [N] [--dir DIR]   (N = 1000 by default; with --dir the
// folder is kept, and reused when it already holds the takes)

#include "QSoundPerform.h"
#include "RecorderFileWriter.h"
#include "TakeGrouping.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kTracks = 8;
constexpr int kRuns = 3;

quint32 le32(const char* p)
{
    return quint32(quint8(p[0])) | quint32(quint8(p[1])) << 8 | quint32(quint8(p[2])) << 16
        | quint32(quint8(p[3])) << 24;
}

QString rootOf(int i)
{
    // AA0000 ... AA9999, AB0000 ...: six characters like the recorder's IDs.
    const char first = char('A' + (i / 260000) % 26);
    const char second = char('A' + (i / 10000) % 26);
    return QString(QLatin1Char(first)) + QLatin1Char(second) + QStringLiteral("%1").arg(i % 10000, 4, 10, QLatin1Char('0'));
}

bool generate(const QString& folder, int takes)
{
    // The eight files of one take are built once and written under every
    // take's names; the listing reads nothing that depends on the name.
    RecorderFileSpec base;
    base.frames = 16;
    base.timeReference = quint64(48000) * 3600;
    std::vector<QByteArray> files;
    for (int n = 1; n <= kTracks; ++n)
        files.push_back(RecorderFileWriter::build(RecorderFileWriter::monoTrackSpec(base, kTracks, n)));
    for (int i = 0; i < takes; ++i) {
        const QString root = rootOf(i);
        for (int n = 1; n <= kTracks; ++n) {
            QFile f(folder + QLatin1Char('/') + root + QStringLiteral("_0%1.WAV").arg(n));
            const QByteArray& bytes = files[size_t(n - 1)];
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
                return false;
            }
        }
    }
    return true;
}

// Reads what the quick assembly reads of one file: the chunk headers, the
// fixed records and the iXML text. Returns the number of bytes read.
qint64 readLikeTheListing(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    qint64 total = 0;
    char header[12];
    if (f.read(header, 12) != 12)
        return 0;
    total += 12;
    qint64 pos = 12;
    QByteArray record;
    for (;;) {
        char chunk[8];
        if (!f.seek(pos) || f.read(chunk, 8) != 8)
            break;
        total += 8;
        const quint32 size = le32(chunk + 4);
        const QByteArray id(chunk, 4);
        int want = 0;
        if (id == "fmt ")
            want = 16;
        else if (id == "bext")
            want = 858;
        else if (id == "film")
            want = 1572;
        else if (id == "iXML")
            want = int(size);
        else if (id.startsWith("ond"))
            want = 8;
        if (want > 0) {
            record.resize(want);
            total += f.read(record.data(), want);
        }
        pos += 8 + qint64(size);
    }
    return total;
}

double medianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int takes = 1000;
    QString keepDir;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        bool ok = true;
        if (args.at(i) == QLatin1String("--dir") && i + 1 < args.size())
            keepDir = args.at(++i);
        else
            takes = args.at(i).toInt(&ok);
        if (!ok || takes < 1) {
            std::fprintf(stderr, "usage: bench_listing [N] [--dir DIR]\n");
            return 2;
        }
    }

    QTemporaryDir tmpDir;
    if (keepDir.isEmpty() && !tmpDir.isValid())
        return 1;
    const QString folder = keepDir.isEmpty() ? tmpDir.path() : keepDir;
    QElapsedTimer timer;
    timer.start();
    const bool reuse = !keepDir.isEmpty()
        && QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot).size() == takes * kTracks;
    if (!reuse) {
        std::printf("generating %d takes of %d tracks in %s ...\n", takes, kTracks, qPrintable(folder));
        std::fflush(stdout);
        if (!QDir().mkpath(folder) || !generate(folder, takes))
            return 1;
        std::printf("generated in %.2f s\n", timer.elapsed() / 1000.0);
    }

    std::vector<double> listTimes, baseTimes;
    int listed = 0;
    int failed = 0;
    qint64 baselineBytes = 0;
    for (int run = 0; run < kRuns + 1; ++run) {   // the first run warms the page cache
        timer.restart();
        int bad = 0;
        listed = BuildTakesOfFolder(folder, [&bad](std::unique_ptr<QSoundPerform>, int, int status) {
            if (status != kTakeOk)
                ++bad;
        });
        const double listSeconds = timer.nsecsElapsed() / 1e9;
        failed = bad;

        timer.restart();
        const QStringList names = QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
        qint64 bytes = 0;
        for (const QString& n : names)
            bytes += n.size() * 2;   // the names themselves
        for (int i = 0; i < takes; ++i)
            bytes += readLikeTheListing(folder + QLatin1Char('/') + rootOf(i) + QStringLiteral("_01.WAV"));
        const double baseSeconds = timer.nsecsElapsed() / 1e9;
        baselineBytes = bytes;
        if (run > 0) {
            listTimes.push_back(listSeconds);
            baseTimes.push_back(baseSeconds);
        }
    }

    // The part the parser takes: one padded document, whole and without its padding.
    QFile first(folder + QLatin1Char('/') + rootOf(0) + QStringLiteral("_01.WAV"));
    QByteArray whole;
    if (first.open(QIODevice::ReadOnly))
        whole = first.readAll();
    const int at = whole.indexOf("<?xml");
    const int end = whole.indexOf("</BWFXML>");
    const QString padded = at >= 0 ? QString::fromUtf8(whole.mid(at, 61440)) : QString();
    const QString trimmed = end > at ? QString::fromUtf8(whole.mid(at, end + 9 - at)) : QString();
    auto parseMs = [](const QString& text) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 200; ++i) {
            QDomDocument doc;
            doc.setContent(text);
        }
        return t.nsecsElapsed() / 1e6 / 200;
    };

    const double list = medianOf(listTimes);
    const double base = medianOf(baseTimes);
    std::printf("takes listed:        %d (%d not assembled with iXML)\n", listed, failed);
    std::printf("listing:             %.3f s  (%.0f takes/s, %.3f ms per take)\n", list, listed / list,
                list * 1000 / std::max(listed, 1));
    std::printf("baseline (raw read): %.3f s  (%lld bytes, %.3f ms per take)\n", base,
                static_cast<long long>(baselineBytes), base * 1000 / std::max(takes, 1));
    std::printf("ratio listing/base:  %.1f\n", list / base);
    const double parsePadded = parseMs(padded);
    const double parseTrimmed = parseMs(trimmed);
    std::printf("iXML parse, padded:  %.3f ms; without padding: %.3f ms\n", parsePadded, parseTrimmed);
    // Less sensitive to a busy machine than seconds: the cost of one take in
    // units of one parse of its (unpadded) iXML document.
    std::printf("one take costs:      %.1f unpadded iXML parses\n", list * 1000 / std::max(listed, 1) / parseTrimmed);
    const double per1000 = list / std::max(listed, 1) * 1000;
    std::printf("1000 takes would take %.3f s (aim: under 0.5 s) -> %s\n", per1000, per1000 < 0.5 ? "met" : "NOT met");
    return failed == 0 && listed == takes ? 0 : 1;
}
