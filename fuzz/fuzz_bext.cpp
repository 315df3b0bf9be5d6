// SPDX-License-Identifier: GPL-3.0-or-later
// A 256-byte bext Description (and texts after it) -> the eight line readers,
// the type line writer on a real file, and the engine's Description rewrite.
//
// Input: [layout byte][256 Description bytes][type]\0[scene]\0[take]\0[note]\0
//        [tape]\0[tag]\0[frame rate]\0[track name]\0[track index: 4 bytes]
// Invariants: the type writer never touches a byte outside the Description
// and never changes the file's size; the rewrite stays inside its 256 bytes,
// keeps the last one, leaves a NUL-terminated text; after the engine's own
// sequence (rewrite with the file ID and a track name, then the type line)
// the file reads as a mono track of that channel.
#include "FuzzSupport.h"

#include "QSoundFile.h"
#include "QSoundMixer.h"
#include "RecorderFileWriter.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

QString g_path;
QByteArray g_base[3];      // full bext, short bext (255 bytes), no bext
quint32 g_descriptionAt[3] = {0, 0, 0};

QByteArray baseFile(quint32 bextSize, bool withBext, quint32* descriptionAt)
{
    RecorderFileSpec spec;
    spec.frames = 8;
    spec.withBext = withBext;
    spec.bextDataSize = bextSize;
    spec.autoDescription = false;
    spec.description = QByteArray(256, 'x');
    spec.ixml.padTo = 0;
    QList<RecorderChunkPlace> places;
    const QByteArray bytes = RecorderFileWriter::build(spec, &places);
    *descriptionAt = 0;
    for (const RecorderChunkPlace& p : places)
        if (p.id == "bext")
            *descriptionAt = p.offset + 8;
    return bytes;
}

// A NUL-terminated copy on the heap of exactly its size, so a read past the
// end is caught.
std::unique_ptr<char[]> heapText(const QByteArray& text)
{
    std::unique_ptr<char[]> out(new char[size_t(text.size()) + 1]);
    std::memcpy(out.get(), text.constData(), size_t(text.size()));
    out[size_t(text.size())] = '\0';
    return out;
}

bool isPlainAscii(const QByteArray& text)
{
    for (char c : text)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

void readAll(const QSoundFile& file)
{
    file.GetBextScene();
    file.GetBextTake();
    file.GetBextNote();
    file.GetBextUbits();
    file.GetBextTape();
    file.GetBextTag();
    file.GetBextType();
    file.GetBextSpeed();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsupport::init(argc, argv);
    g_path = fuzzsupport::scratchFolder("bext") + QStringLiteral("/AA0001_01.WAV");
    g_base[0] = baseFile(858, true, &g_descriptionAt[0]);
    g_base[1] = baseFile(255, true, &g_descriptionAt[1]);
    g_base[2] = baseFile(858, false, &g_descriptionAt[2]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using fuzzsupport::check;
    fuzzsupport::Reader in(data, size);
    const int layout = in.byte() % 3;
    QByteArray description = in.bytes(256);
    description.append(QByteArray(256 - description.size(), '\0'));
    const QByteArray type = in.text();
    const QByteArray scene = in.text();
    const QByteArray take = in.text();
    const QByteArray note = in.text();
    const QByteArray tape = in.text();
    const QByteArray tag = in.text();
    const QByteArray frameRate = in.text();
    const QByteArray trackName = in.text();
    const QByteArray indexBytes = in.bytes(4) + QByteArray(4, '\0');
    int trackIndex = 0;
    std::memcpy(&trackIndex, indexBytes.constData(), sizeof trackIndex);

    // 1. Readers and the type line writer on a file holding the Description.
    QByteArray before = g_base[layout];
    const quint32 at = g_descriptionAt[layout];
    if (at != 0)
        before.replace(int(at), 256, description);
    if (!fuzzsupport::writeFile(g_path, before))
        return 0;
    {
        QSoundFile file;
        if (file.Open(g_path, 2) && file.ReadChunks(false, true)) {
            readAll(file);
            const bool written = file.InsertInBextDescrType(QString::fromLocal8Bit(type));
            readAll(file);
            file.Close();
            const QByteArray after = fuzzsupport::readFile(g_path);
            check(after.size() == before.size(), "type line writer keeps the file size");
            if (at != 0 && layout == 0) {
                check(after.left(int(at)) == before.left(int(at)), "nothing written before the Description");
                check(after.mid(int(at) + 256) == before.mid(int(at) + 256), "nothing written after the Description");
                if (written)
                    check(std::memcmp(after.constData() + at, file.m_tBextChunk.Description(), 256) == 0,
                          "memory and file agree");
            } else {
                check(!written, "no type line without a whole Description");
                check(after == before, "file untouched when refused");
            }
        }
    }

    // 2. The rewrite with every argument fuzzed (null for empty ones).
    {
        std::unique_ptr<char[]> buffer(new char[256]);
        std::memcpy(buffer.get(), description.constData(), 256);
        const char last = buffer[255];
        auto sceneC = heapText(scene), takeC = heapText(take), noteC = heapText(note), tapeC = heapText(tape),
             tagC = heapText(tag), rateC = heapText(frameRate), nameC = heapText(trackName);
        QSoundMixer::RewriteBextDescriptor(buffer.get(), scene.isEmpty() ? nullptr : sceneC.get(), takeC.get(),
                                           note.isEmpty() ? nullptr : noteC.get(), tapeC.get(), tagC.get(),
                                           frameRate.isEmpty() ? nullptr : rateC.get(), trackIndex,
                                           trackName.isEmpty() ? nullptr : nameC.get());
        check(buffer[255] == last, "last Description byte kept");
        check(qstrnlen(buffer.get(), 256) < 256, "rewritten text is NUL-terminated");
        check(std::strstr(buffer.get(), "aTYP=mono") != nullptr, "rewritten text carries the mono type");
        QSoundMixer::RewriteBextDescriptor(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0,
                                           nullptr);
    }

    // 3. The engine's own sequence: a Description found in a take's file is
    // rewritten with the file ID as tag and a track name, written, and the
    // type line put in. The result must read as a mono track.
    if (layout == 0 && trackIndex >= 0 && trackIndex < 24) {
        const QByteArray fileId = isPlainAscii(tag) ? tag.left(6) : QByteArray("AA0001");
        const QByteArray name = QString::fromUtf8(trackName).toLocal8Bit();
        QByteArray engineBytes = g_base[0];
        std::vector<char> d(description.constData(), description.constData() + 256);
        QSoundMixer::RewriteBextDescriptor(d.data(), nullptr, nullptr, nullptr, nullptr, fileId.constData(), nullptr,
                                           trackIndex, name.constData());
        engineBytes.replace(int(at), 256, QByteArray(d.data(), 256));
        if (!fuzzsupport::writeFile(g_path, engineBytes))
            return 0;
        QSoundFile file;
        if (file.Open(g_path, 2) && file.ReadChunks(false, true)) {
            check(file.InsertInBextDescrType(QStringLiteral("mono")), "type line written");
            check(file.GetBextType() == QStringLiteral("mono "), "new track reads as mono");
            file.Close();
        }
    }
    return 0;
}
