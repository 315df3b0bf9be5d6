// SPDX-License-Identifier: GPL-3.0-or-later
// A whole file -> the two chunk writers that change users' files in place:
// AddiXMLChunk (after the setters, as the update pass does) and AddOndeChunk.
// Invariant: whatever the layout, no byte of any other chunk changes (the
// audio above all), and a refused write leaves the file as it was.
#include "FuzzSupport.h"

#include "QSoundFile.h"

#include <vector>

namespace {

QString g_path;

struct Extent
{
    qint64 from = 0;
    qint64 to = 0;   // exclusive
};

// Every chunk the walk meets, except those of the kind being written (the
// writer retires the old one), clipped to the file.
std::vector<Extent> protectedChunks(const QString& path, qint64 fileSize, const QByteArray& replaced)
{
    std::vector<Extent> out;
    QList<tyChunkEntry> chunks;
    quint32 riff = 0;
    if (!QSoundFile::ListChunks(path, chunks, &riff))
        return out;
    for (const tyChunkEntry& c : chunks) {
        if (c.id.startsWith(replaced))
            continue;
        out.push_back(Extent{qint64(c.offset), qMin(fileSize, qint64(c.offset) + 8 + qint64(c.size))});
    }
    return out;
}

void checkKept(const QByteArray& before, const QByteArray& after, const std::vector<Extent>& kept, const char* what)
{
    for (const Extent& e : kept) {
        const bool same = after.size() >= e.to
                          && std::memcmp(before.constData() + e.from, after.constData() + e.from, size_t(e.to - e.from)) == 0;
        fuzzsupport::check(same, what);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsupport::init(argc, argv);
    g_path = fuzzsupport::scratchFolder("chunkwrite") + QStringLiteral("/AA0001_02.WAV");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using fuzzsupport::check;
    const QByteArray before(reinterpret_cast<const char*>(data), int(size));
    if (!fuzzsupport::writeFile(g_path, before))
        return 0;
    const std::vector<Extent> keptByIxml = protectedChunks(g_path, before.size(), "iXML");
    const std::vector<Extent> keptByOnde = protectedChunks(g_path, before.size(), "ond");

    bool written = false;
    {
        QSoundFile file;
        if (file.Open(g_path, 2) && file.ReadChunks(false, true)) {
            file.GetiXMLFileInfos();
            file.SetiXMLMonoTrackNumber(1, 2);
            file.SetiXMLNote(1, QStringLiteral("fuzz"));
            QString text = file.GenerateiXMLChunkMono(1);
            // Half the inputs get the recorder's padding, the others a bare text.
            if (size % 2 == 0)
                text += QString(qMax(0, bwf::kIxmlPaddedLength - text.toUtf8().size()), QLatin1Char(' '));
            written = file.AddiXMLChunk(text);
            file.Close();
        }
    }
    const QByteArray afterIxml = fuzzsupport::readFile(g_path);
    checkKept(before, afterIxml, keptByIxml, "iXML writer keeps every other chunk");
    if (!written)
        check(afterIxml == before, "a refused iXML write leaves the file as it was");

    {
        QSoundFile file;
        if (file.Open(g_path, 2) && file.ReadChunks(false, true)) {
            std::vector<char> peaks(64, '\x40');
            written = file.AddOndeChunk(peaks.data(), int(peaks.size()), 1, 4800);
            file.Close();
        } else {
            written = false;
        }
    }
    const QByteArray afterOnde = fuzzsupport::readFile(g_path);
    std::vector<Extent> keptByBoth;
    for (const Extent& e : keptByOnde)
        for (const Extent& f : keptByIxml)
            if (e.from == f.from)
                keptByBoth.push_back(e);
    checkKept(before, afterOnde, keptByBoth, "onde writer keeps every other chunk");
    if (!written)
        check(afterOnde == afterIxml, "a refused onde write leaves the file as it was");
    return 0;
}
