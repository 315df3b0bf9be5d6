// SPDX-License-Identifier: GPL-3.0-or-later
// Replays the committed fuzz seeds through a fuzz target without libFuzzer, so
// the normal and sanitizer builds run every parser over those inputs (and the
// invariants each target checks) on every CI run.
//
// usage: replay_<target> DIR...   (every regular file below each DIR, in name order)

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        QDirIterator it(QFile::decodeName(argv[i]), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
    }
    files.sort();
    if (files.isEmpty()) {
        std::fprintf(stderr, "no seed files found\n");
        return 1;
    }
    for (const QString& path : files) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", QFile::encodeName(path).constData());
            return 1;
        }
        const QByteArray bytes = f.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
    // stderr: the targets point stdout at /dev/null.
    std::fprintf(stderr, "%d seeds replayed\n", int(files.size()));
    return 0;
}
