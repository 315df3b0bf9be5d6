// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes -> a file -> the source header reader (RIFF, RF64/BW64, extensible),
// then, when the samples can be decoded, every channel streamed through the
// converter into each take width, with and without dither. Invariants: the
// data found starts inside the file, a decodable format has a whole frame per
// block align, and the reader never yields more than the data holds.
#include "FuzzSupport.h"

#include "SourceFormat.h"
#include "SourceSampleReader.h"

#include <QFile>

#include <vector>

namespace {

QString g_path;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsupport::init(argc, argv);
    g_path = fuzzsupport::scratchFolder("sourceformat") + QStringLiteral("/SOURCE.WAV");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using fuzzsupport::check;
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    if (!fuzzsupport::writeFile(g_path, bytes))
        return 0;

    SourceFormat f;
    QString error;
    if (!ReadSourceFormat(g_path, &f, &error)) {
        check(!error.isEmpty(), "a refusal says why");
        return 0;
    }
    check(f.dataOffset <= quint64(size), "data starts inside the file");
    f.describe();
    f.formatTagText();
    f.subFormatText();
    f.encodingText();
    if (!f.unsupportedReason().isEmpty()) {
        check(f.encoding == SampleEncoding::Unsupported, "an unsupported format has no encoding");
        return 0;
    }
    check(f.blockAlign == f.channels * (f.bitsPerSample / 8), "whole frames");

    // Channels to try: the first and the last (a hostile count may be huge).
    const int channels[] = {0, int(f.channels) - 1};
    for (int ch : channels) {
        for (int bits : {8, 16, 24, 32}) {
            for (DitherKind dither : {DitherKind::None, DitherKind::Tpdf}) {
                const TargetSampleFormat target{bits, false};
                if (!SampleConverter::CannotConvert(f, target).isEmpty())
                    continue;
                ConversionOptions options;
                options.channel = ch;
                options.dither = dither;
                SampleConverter conv(f, target, options);
                QFile file(g_path);
                if (!file.open(QIODevice::ReadOnly) || !file.seek(qint64(f.dataOffset)))
                    continue;
                SourceSampleReader reader(file, f.dataSize, conv);
                std::vector<char> out(size_t(64) * size_t(bits / 8));
                qint64 total = 0;
                for (int pass = 0; pass < 64; ++pass) {
                    const qint64 n = reader.Read(out.data(), 64);
                    check(n >= 0 && n <= 64, "never more than asked");
                    total += n;
                    if (n < 64)
                        break;
                }
                check(quint64(total) <= f.frames(), "never more than the data holds");
                const ConversionCounts& counts = conv.Counts();
                check(counts.clipped + counts.nonFinite <= quint64(total), "counts within the samples");
            }
        }
    }
    return 0;
}
