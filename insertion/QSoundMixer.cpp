// SPDX-License-Identifier: GPL-3.0-or-later
#include "QSoundMixer.h"

#include "BwfRecords.h"
#include "DebugOutput.h"
#include "FileNaming.h"
#include "FileWriteSeam.h"
#include "MessageLoging.h"
#include "QPath.h"
#include "QSoundFile.h"
#include "QSoundPerform.h"
#include "TimeFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QString& title()
{
    static const QString t = QStringLiteral("QSoundMixer::SonalignMono()");
    return t;
}

void report(const QString& text, int kind = 0)
{
    SendToRelay(title(), text, 0, kind, true, 0);
}

QByteArray local8(const QString& s) { return s.toLocal8Bit(); }

// "HH:MM:SS" of a sample position since midnight.
QString clockText(quint64 samples, quint32 rate)
{
    const quint64 t = rate ? samples / rate : 0;
    return QString::asprintf("%02d:%02d:%02d", int(t / 3600), int(t % 3600 / 60), int(t % 60));
}

// "HH:MM:SS:FF" of a sample position since midnight, at the take's frame rate.
QString timecodeText(quint64 samples, quint32 rate, int fps)
{
    if (rate == 0 || fps < 1)
        return clockText(samples, rate);
    const quint64 frames = samples / rate * quint64(fps) + samples % rate * quint64(fps) / rate;
    return GetTimeCode(static_cast<unsigned long>(frames), short(fps));
}

// The take's sample format as its reference file stores it. Extensible takes
// name their encoding in the subformat, which the take's records do not keep.
TargetSampleFormat takeSampleFormat(const QSoundFile& ref)
{
    TargetSampleFormat target;
    target.bits = ref.GetBitsPerSample();
    target.isFloat = ref.m_tFmtChunk.FormatTag() == wavfmt::kTagFloat;
    if (ref.m_tFmtChunk.FormatTag() == wavfmt::kTagExtensible) {
        SourceFormat f;
        if (ReadSourceFormat(ref.m_sPath, &f, nullptr))
            target.isFloat = f.encoding == SampleEncoding::Float;
    }
    return target;
}

// A header larger than this comes from a damaged reference, not from a recorder.
constexpr quint64 kMaxHeaderBytes = 64ull * 1024 * 1024;

// Runs `f` on every way out of the engine.
template <typename F>
struct OnExit
{
    F f;
    ~OnExit() { f(); }
};
template <typename F>
OnExit<F> makeOnExit(F f) { return OnExit<F>{f}; }

// The new track's temporary file, created exclusively under a name no other
// run can hold and locked for as long as this run owns it, so a later run's
// clean-up never takes it for an orphan. Removed unless released.
class OwnedTemporaryFile
{
public:
    OwnedTemporaryFile() = default;
    ~OwnedTemporaryFile()
    {
        if (!m_path.isEmpty())
            QFile::remove(m_path);
        if (m_lockFd >= 0)
            ::close(m_lockFd);
    }
    OwnedTemporaryFile(const OwnedTemporaryFile&) = delete;
    OwnedTemporaryFile& operator=(const OwnedTemporaryFile&) = delete;

    // Creates the file (permissions from the umask) and opens `out` on it for
    // writing. False when no file could be made.
    bool create(const QString& folder, const QString& finalName, QFile& out)
    {
        for (int attempt = 0; attempt < 8; ++attempt) {
            const QString unique =
                QString::number(QRandomGenerator::system()->generate64(), 16)
                    .rightJustified(QSoundMixer::kUniquePartLength, QLatin1Char('0'));
            const QString path =
                QDir::cleanPath(folder + QLatin1Char('/') + QSoundMixer::TemporaryNameFor(finalName, unique));
            // The seam may refuse (tests), and a take's journal records the
            // name before the file exists.
            if (!FileWriteSeam::mayCreate(path))
                return false;
            const QByteArray encoded = QFile::encodeName(path);
            const int fd = ::open(encoded.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (fd < 0) {
                if (errno == EEXIST)
                    continue;
                return false;
            }
            m_path = path;
            ::flock(fd, LOCK_EX);   // fresh and uniquely named: nobody else holds it
            m_lockFd = fd;
            out.setFileName(path);
            // Opened again by name so that every write names the file it
            // goes to; the lock stays with the descriptor kept here.
            return out.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        }
        return false;
    }
    const QString& path() const { return m_path; }
    // The file got its final name: nothing to remove any more.
    void release() { m_path.clear(); }

private:
    QString m_path;
    int m_lockFd = -1;
};

// The new file's bytes pass through here: logical blocks are collected and
// handed to the OS about 1 MiB at a time, through the write seam. Two buffers
// alternate, so that the peak worker can still read the one just written
// while the next one is filled; `beforeReuse` waits for it.
class BlockWriter
{
public:
    explicit BlockWriter(QFile& file)
        : m_file(file)
    {
        for (std::vector<char>& b : m_buffers)
            b.resize(size_t(QSoundMixer::kIoBytes));
    }

    std::function<void(int buffer)> beforeReuse;

    int currentBuffer() const { return m_current; }
    qint64 freeBytes() const { return qint64(m_buffers[size_t(m_current)].size() - m_fill); }

    // Room for n contiguous bytes (n <= capacity); flushes first when needed.
    char* space(qint64 n)
    {
        if (n > freeBytes() && !flush())
            return nullptr;
        return data() + m_fill;
    }
    void commit(qint64 n) { m_fill += size_t(n); }

    bool append(const char* bytes, qint64 n)
    {
        while (n > 0) {
            if (freeBytes() == 0 && !flush())
                return false;
            const qint64 piece = std::min(n, freeBytes());
            std::memcpy(data() + m_fill, bytes, size_t(piece));
            m_fill += size_t(piece);
            bytes += piece;
            n -= piece;
        }
        return true;
    }

    bool appendZeros(quint64 n)
    {
        while (n > 0) {
            if (freeBytes() == 0 && !flush())
                return false;
            const qint64 piece = qint64(std::min<quint64>(n, quint64(freeBytes())));
            std::memset(data() + m_fill, 0, size_t(piece));
            m_fill += size_t(piece);
            n -= quint64(piece);
        }
        return true;
    }

    bool flush()
    {
        if (m_failed)
            return false;
        if (m_fill == 0)
            return true;
        const qint64 want = qint64(m_fill);
        const qint64 done = FileWriteSeam::write(m_file, data(), want);
        m_fill = 0;
        m_current ^= 1;
        if (beforeReuse)
            beforeReuse(m_current);
        if (done != want) {
            MyQDebug("Error on write");
            m_failed = true;
            return false;
        }
        return true;
    }

    bool failed() const { return m_failed; }

private:
    char* data() { return m_buffers[size_t(m_current)].data(); }

    QFile& m_file;
    std::array<std::vector<char>, 2> m_buffers;
    int m_current = 0;
    size_t m_fill = 0;
    bool m_failed = false;
};

// Reads exactly n bytes unless the file ends first; returns the bytes read.
qint64 readFully(QFile& file, char* data, qint64 n)
{
    qint64 done = 0;
    while (done < n) {
        const qint64 got = file.read(data + done, n - done);
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

// The largest magnitude of n little-endian samples. These loops see every
// sample of a take: they are written so the compiler vectorizes them, and on
// x86-64 they are also built for AVX2 and picked at run time (a plain branch,
// not an ifunc, so sanitizer and fuzzing builds load them safely).
template <int Bytes>
inline quint32 maxAbsLoop(const unsigned char* u, qint64 n)
{
    qint32 m = 0;
    for (qint64 i = 0; i < n; ++i) {
        qint32 v;
        if (Bytes == 2) {
            v = qint16(quint16(u[2 * i] | (u[2 * i + 1] << 8)));
        } else {
            const quint32 raw = quint32(u[3 * i]) | (quint32(u[3 * i + 1]) << 8) | (quint32(u[3 * i + 2]) << 16);
            v = qint32(raw << 8) >> 8;
        }
        const qint32 a = v < 0 ? -v : v;
        m = a > m ? a : m;
    }
    return quint32(m);
}

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) quint32 maxAbs16Avx2(const unsigned char* u, qint64 n) { return maxAbsLoop<2>(u, n); }
__attribute__((target("avx2"))) quint32 maxAbs24Avx2(const unsigned char* u, qint64 n) { return maxAbsLoop<3>(u, n); }
bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

quint32 maxAbs16(const unsigned char* u, qint64 n)
{
#if defined(__x86_64__) && defined(__GNUC__)
    if (haveAvx2())
        return maxAbs16Avx2(u, n);
#endif
    return maxAbsLoop<2>(u, n);
}

quint32 maxAbs24(const unsigned char* u, qint64 n)
{
#if defined(__x86_64__) && defined(__GNUC__)
    if (haveAvx2())
        return maxAbs24Avx2(u, n);
#endif
    return maxAbsLoop<3>(u, n);
}

// Peak overview: one byte per point, sampleRate / 10 samples per point,
// carried across blocks. Never stores past its points.
class PeakOverview
{
public:
    PeakOverview(int channels, int bytesPerSample, quint32 samplesPerPoint)
        : m_points(size_t(std::max(channels, 1)) * QSoundMixer::kOverviewPoints, '\0'),
          m_bytes(bytesPerSample), m_period(samplesPerPoint)
    {
        m_max.fill(0);
        m_count.fill(0);
        m_index.fill(0);
    }

    const char* data() const { return m_points.data(); }

    void feed(int ch, const char* p, qint64 bytes)
    {
        if (m_bytes <= 0 || m_period == 0 || ch < 0 || ch >= bwf::kMaxTracks)
            return;
        qint64 samples = bytes / m_bytes;
        while (samples > 0) {
            const qint64 run = std::min<qint64>(samples, qint64(m_period - m_count[size_t(ch)]));
            const quint32 m = maxAbs(p, run);
            if (m > m_max[size_t(ch)])
                m_max[size_t(ch)] = m;
            m_count[size_t(ch)] += quint32(run);
            p += run * m_bytes;
            samples -= run;
            if (m_count[size_t(ch)] == m_period) {
                const quint32 index = m_index[size_t(ch)];
                if (index < quint32(QSoundMixer::kOverviewPoints)) {
                    quint32 point = 0;
                    if (m_bytes == 2 || m_bytes == 3)
                        point = std::min<quint32>(255, m_max[size_t(ch)] >> (8 * m_bytes - 9));
                    m_points[size_t(ch) * QSoundMixer::kOverviewPoints + index] = char(point);
                    m_index[size_t(ch)] = index + 1;
                }
                m_count[size_t(ch)] = 0;
                m_max[size_t(ch)] = 0;
            }
        }
    }

private:
    quint32 maxAbs(const char* p, qint64 n) const
    {
        if (m_bytes == 2)
            return maxAbs16(reinterpret_cast<const unsigned char*>(p), n);
        if (m_bytes == 3)
            return maxAbs24(reinterpret_cast<const unsigned char*>(p), n);
        return 0;
    }

    std::vector<char> m_points;
    int m_bytes;
    quint32 m_period;
    std::array<quint32, bwf::kMaxTracks> m_max;
    std::array<quint32, bwf::kMaxTracks> m_count;
    std::array<quint32, bwf::kMaxTracks> m_index;
};

// Runs the peak detection of the copy on a second thread, in order, so that
// it overlaps the reads and writes of the main thread. The worker reads the
// writer's buffers only; the main thread refills a buffer only after
// waitFor() says the worker is done with it. Nothing here touches Qt objects.
class PeakWorker
{
public:
    explicit PeakWorker(PeakOverview& overview)
        : m_overview(overview), m_thread([this]() { run(); })
    {
    }
    ~PeakWorker() { stop(); }
    PeakWorker(const PeakWorker&) = delete;
    PeakWorker& operator=(const PeakWorker&) = delete;

    // Queues a run of samples; returns its ticket.
    quint64 post(const char* p, qint64 n)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(Job{p, n});
        ++m_posted;
        m_wake.notify_one();
        return m_posted;
    }

    // Waits until every run up to `ticket` has been examined.
    void waitFor(quint64 ticket)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [&]() { return m_finished >= ticket; });
    }

    void waitAll()
    {
        quint64 last;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            last = m_posted;
        }
        waitFor(last);
    }

    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
            m_wake.notify_one();
        }
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    struct Job
    {
        const char* p;
        qint64 n;
    };

    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&]() { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                return;
            const Job job = m_jobs.front();
            m_jobs.pop_front();
            lock.unlock();
            m_overview.feed(0, job.p, job.n);
            lock.lock();
            ++m_finished;
            m_done.notify_all();
        }
    }

    PeakOverview& m_overview;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<Job> m_jobs;
    quint64 m_posted = 0;
    quint64 m_finished = 0;
    bool m_stop = false;
    std::thread m_thread;
};

// The header emulates positioned writes: a chunk that declares less than its
// record overwrites the record's tail, one that declares more leaves zeros.
class HeaderImage
{
public:
    void put(quint64 pos, const char* data, quint64 n)
    {
        if (m_bytes.size() < pos + n)
            m_bytes.resize(size_t(pos + n), '\0');
        std::memcpy(m_bytes.data() + pos, data, size_t(n));
    }
    void resize(quint64 n) { m_bytes.resize(size_t(n), '\0'); }
    std::vector<char>& bytes() { return m_bytes; }

private:
    std::vector<char> m_bytes;
};

// Copies the value after a key, at most `width` characters, from a text whose
// CR and LF were turned into NUL (so a value ends at its line).
void takeValue(const char* text, int width, std::string& field)
{
    field.assign(text, qstrnlen(text, uint(width)));
}

// Cuts a byte string to at most `limit` bytes without splitting a UTF-8 sequence.
std::string cutBytes(const std::string& s, size_t limit)
{
    if (s.size() <= limit)
        return s;
    size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return s.substr(0, n);
}

// A caller's text as one line: a CR or LF in it (a track name from a file, a
// file ID from a hostile name) would split the Description's lines, and the
// type line written after them could be pushed out of the field.
std::string fromC(const char* s, size_t maxLen)
{
    if (!s)
        return std::string();
    std::string text(s, qstrnlen(s, uint(maxLen)));
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

} // namespace

QSoundMixer::QSoundMixer(QObject* parent)
    : QObject(parent)
{
}

QString QSoundMixer::SourceConversionKey(const SourceFormat& source, const QSoundFile& takeFile)
{
    if (source.sampleRate != takeFile.GetSampleRate())
        return QStringLiteral("resample");
    const TargetSampleFormat target = takeSampleFormat(takeFile);
    if (!SampleConverter::CannotConvert(source, target).isEmpty())
        return QStringLiteral("unsupported");
    if (SampleConverter(source, target, ConversionOptions()).IsCopy())
        return QStringLiteral("copy");
    return QStringLiteral("convert");
}

QString QSoundMixer::TemporaryNameFor(const QString& finalName, const QString& uniquePart)
{
    const QString suffix = QLatin1Char('.') + uniquePart + QLatin1String(".partial");
    const QString name = QLatin1Char('.') + finalName + suffix;
    // A final name near the file system's limit (255 bytes) leaves no room
    // for the dots and the suffixes: the middle of the name gives way, the
    // track suffix ("_03.WAV") stays, so the take can still get its new track.
    constexpr int kNameMax = 255;
    if (QFile::encodeName(name).size() <= kNameMax || finalName.size() <= 7)
        return name;
    const QString tail = finalName.right(7);
    QString head = finalName.left(finalName.size() - 7);
    auto shortened = [&]() -> QString { return QLatin1Char('.') + head + QLatin1Char('~') + tail + suffix; };
    while (!head.isEmpty() && QFile::encodeName(shortened()).size() > kNameMax) {
        head.chop(1);
        if (!head.isEmpty() && head.at(head.size() - 1).isHighSurrogate())
            head.chop(1);
    }
    return shortened();
}

int QSoundMixer::RemoveStaleTemporaries(const QString& folder, const QString& finalName)
{
    // Every temporary name of this final name, whatever its unique part, and
    // the fixed name earlier versions used.
    const QString probe = TemporaryNameFor(finalName, QString(kUniquePartLength, QLatin1Char('0')));
    const QString prefix = probe.left(probe.size() - kUniquePartLength - int(qstrlen(".partial")));
    int removed = 0;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& n : names) {
        if (!n.startsWith(prefix) || !n.endsWith(QLatin1String(".partial")))
            continue;
        const QString path = folder + QLatin1Char('/') + n;
        const QByteArray encoded = QFile::encodeName(path);
        const int fd = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        // A run still writing it holds a lock on it: only an orphan is removed.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(encoded.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

namespace {

// The fields of a Description, as found in it and then as rewritten.
struct DescriptionFields
{
    std::string scene, take, speed, ubits, tape, channel, type, tag, note;
};

// The fields a Description holds: every position is tried against every
// key, on a copy with CR and LF turned into NUL; a later match wins.
DescriptionFields readDescriptionFields(const char* description)
{
    constexpr int kLen = bwf::kBextDescriptionBytes;
    // A copy with CR and LF turned into NUL, plus a NUL guard past its end.
    char copy[kLen + 1];
    std::memcpy(copy, description, kLen);
    copy[kLen] = '\0';
    for (int i = 0; i < kLen; ++i)
        if (copy[i] == '\r' || copy[i] == '\n')
            copy[i] = '\0';

    struct Key
    {
        const char* key;
        int width;
        std::string DescriptionFields::*field;
    };
    DescriptionFields f;
    const Key keys[] = {
        {"SCENE=", 8, &DescriptionFields::scene}, {"TAKE=", 9, &DescriptionFields::take},
        {"SPEED=", 10, &DescriptionFields::speed}, {"UBITS=$", 8, &DescriptionFields::ubits},
        {"TAPE=", 8, &DescriptionFields::tape},   {"aCHNL=", 4, &DescriptionFields::channel},
        {"aTYP=", 4, &DescriptionFields::type},   {"aTAG=", 6, &DescriptionFields::tag},
        {"NOTE=", 49, &DescriptionFields::note},
    };
    for (int pos = 0; pos < kLen; ++pos) {
        for (const Key& k : keys) {
            const int keyLen = int(std::strlen(k.key));
            if (pos + keyLen > kLen)
                continue;
            if (std::memcmp(copy + pos, k.key, size_t(keyLen)) == 0)
                takeValue(copy + pos + keyLen, std::min(k.width, kLen - pos - keyLen), f.*k.field);
        }
    }
    return f;
}

// The speed field for a film frame-rate code.
std::string speedOfFrameRate(const char* frameRate)
{
    const std::string fr = fromC(frameRate, 64);
    std::string value;
    if (fr == "29.97")
        value = "0" + fr + "0-DF";
    else if (fr == "24.DRIFT" || fr == "24.DRIF2" || fr == "24.DRIF3")
        value = "023.980-ND";
    else if (fr == "30.DRIFT" || fr == "30.DRIF2" || fr == "30.DRIF3")
        value = "029.970-ND";
    else
        value = "0" + fr + "0-ND";
    return value.substr(0, 10);
}

// The Description's lines into `out` (NUL-terminated), with the track line
// last but one; returns the length of the text.
int formatDescription(const DescriptionFields& f, const std::string& trackLine, std::vector<char>& out)
{
    const int needed = std::snprintf(nullptr, 0,
        "aUBITS=$%s\r\naSCENE=%-9.9s\r\naTAKE=%-6.6s\r\naTAPE=%4.4s\r\naSPEED=%s\r\naTAG=%6.6s\r\n"
        "aTYP=%4.4s\r\naCHNL=%-4.4s\r\n%s\r\naNOTE=%1.49s\r\n",
        f.ubits.c_str(), f.scene.c_str(), f.take.c_str(), f.tape.c_str(), f.speed.c_str(), f.tag.c_str(),
        f.type.c_str(), f.channel.c_str(), trackLine.c_str(), f.note.c_str());
    out.assign(size_t(std::max(needed, 0)) + 1, '\0');
    std::snprintf(out.data(), out.size(),
        "aUBITS=$%s\r\naSCENE=%-9.9s\r\naTAKE=%-6.6s\r\naTAPE=%4.4s\r\naSPEED=%s\r\naTAG=%6.6s\r\n"
        "aTYP=%4.4s\r\naCHNL=%-4.4s\r\n%s\r\naNOTE=%1.49s\r\n",
        f.ubits.c_str(), f.scene.c_str(), f.take.c_str(), f.tape.c_str(), f.speed.c_str(), f.tag.c_str(),
        f.type.c_str(), f.channel.c_str(), trackLine.c_str(), f.note.c_str());
    return needed;
}

// Writes the text into the Description field, NUL-filled, its last byte kept.
void storeDescription(char* description, const std::vector<char>& text)
{
    constexpr int kLen = bwf::kBextDescriptionBytes;
    std::memset(description, 0, kLen - 1);
    const size_t textLen = std::strlen(text.data());
    const size_t n = std::min(textLen, size_t(kLen - 1));
    std::memcpy(description, text.data(), n);
    if (n < size_t(kLen))
        description[n] = '\0';
}

} // namespace

void QSoundMixer::RewriteBextDescriptor(char* description, const char* scene, const char* take,
                                        const char* note, const char* tape, const char* tag,
                                        const char* frameRate, int trackIndex, const char* trackName)
{
    if (!description)
        return;
    constexpr int kDescriptionTextLimit = bwf::kBextDescriptionBytes - 3;

    DescriptionFields f = readDescriptionFields(description);

    // Given texts replace what was found.
    if (scene && *scene)
        f.scene = fromC(scene, 8);
    if (take && *take)
        f.take = fromC(take, 6);
    if (note && *note)
        f.note = fromC(note, 49);
    if (tape && *tape)
        f.tape = fromC(tape, 4);
    if (tag && *tag)
        f.tag = fromC(tag, 6);

    // Counted in 64 bits: any int a caller passes has a number to print.
    f.channel = "C" + std::to_string(qint64(trackIndex) + 1);
    f.type = "mono";

    // Speed from the film frame-rate code, only when the Description had none.
    if (frameRate && *frameRate && f.speed.empty())
        f.speed = speedOfFrameRate(frameRate);

    // Everything but the track name is bounded by its field width; the name
    // is cut so that the text and its NUL fit, with room to spare for the
    // type line written after it (one byte longer than the "aTYP=" line
    // here, and only lines ending before position 253 survive that rewrite).
    const std::string trackPrefix = "aTRK" + std::to_string(qint64(trackIndex) + 1) + "=";
    const std::string name = fromC(trackName, 4096);
    std::vector<char> text;
    const int withoutName = formatDescription(f, trackPrefix, text);
    const int room = kDescriptionTextLimit - withoutName;
    formatDescription(f, trackPrefix + cutBytes(name, size_t(std::max(room, 0))), text);

    storeDescription(description, text);
}

bool QSoundMixer::SonalignMono(const QString& sourcePath, const QString& targetFolder, const QString& fileId,
                               int trackIndex, const QString& trackName, QSoundPerform* take, bool* keepGoing,
                               QString* newFileName)
{
    return Synthesize(QStringList{sourcePath}, nullptr, targetFolder, fileId, trackIndex, trackName, take, keepGoing,
                      newFileName);
}

bool QSoundMixer::SonalignRanges(const QVector<SourceRange>& ranges, int nameSource, const QString& targetFolder,
                                 const QString& fileId, int trackIndex, const QString& trackName, QSoundPerform* take,
                                 bool* keepGoing, QString* newFileName)
{
    if (ranges.isEmpty() || nameSource < 0 || nameSource >= ranges.size()) {
        report(fileId + QLatin1String(" \nNo source to fill the new track from."));
        emit signal_ImportSourceProgressPct(100);
        return true;
    }
    // The source that names the new file comes first: its messages and
    // debug lines are then those of SonalignMono.
    QStringList paths{ranges.at(nameSource).sourcePath};
    for (const SourceRange& r : ranges)
        if (!paths.contains(r.sourcePath))
            paths << r.sourcePath;
    return Synthesize(paths, &ranges, targetFolder, fileId, trackIndex, trackName, take, keepGoing, newFileName);
}

namespace {

// One stretch of the new data chunk: silence, or frames read from one source
// (each source fills one stretch of a take).
struct DataSegment
{
    int source = -1;          // -1 = silence
    quint64 frames = 0;
    quint64 sourceFrom = 0;   // first frame in the source's audio
    quint64 takeFrom = 0;
};

// Where the new file's chunks go, copied from the reference's records so that
// the new track's header has the layout of its siblings'.
struct HeaderLayout
{
    quint32 fmtSize = 0;
    bool withFilm = false;
    quint32 filmSize = 0;
    bool withVlta = false;
    quint32 vltaSize = 0;
    quint64 fmtPos = 0;
    quint64 filmPos = 0;
    quint64 vltaPos = 0;
    quint64 dataHeaderPos = 0;
    quint64 firstSamplePos = 0;
    quint64 riffSize64 = 0;
};

// What the steps of one new track share: the request, then what each step
// finds or makes for the next ones.
struct Synthesis
{
    Synthesis(const QStringList& sourcePaths, const QVector<QSoundMixer::SourceRange>* ranges,
              const QString& targetFolder, const QString& fileId, int trackIndex, const QString& trackName,
              QSoundPerform* take, bool* goOn, const QSoundMixer::SourceOptions& options,
              OwnedTemporaryFile& temp, std::function<void(qint64)> progress)
        : sourcePaths(sourcePaths), ranges(ranges), targetFolder(targetFolder), fileId(fileId),
          trackIndex(trackIndex), trackName(trackName), take(take), goOn(goOn), options(options), temp(temp),
          progress(std::move(progress))
    {
    }

    // The request. The first source path names the new file; ranges null =
    // the one source, located against the take by its time code.
    const QStringList& sourcePaths;
    const QVector<QSoundMixer::SourceRange>* ranges;
    const QString& targetFolder;
    const QString& fileId;
    const int trackIndex;
    const QString& trackName;
    QSoundPerform* take;
    bool* goOn;
    const QSoundMixer::SourceOptions options;
    OwnedTemporaryFile& temp;
    const std::function<void(qint64)> progress;   // percent of the data chunk written

    // Found by the checks.
    std::vector<SourceFormat> formats;   // one per source path
    const QSoundFile* ref = nullptr;     // the take's first present file
    TargetSampleFormat targetFormat;
    QString newName;
    QString newPath;
    int channels = 0;         // the reference's
    int bytesPerSample = 0;
    int bytesPerFrame = 0;
    quint32 rate = 0;
    quint32 dataSize = 0;     // the reference's data chunk: the new track's too
    quint32 takeFrames() const { return dataSize / quint32(channels) / quint32(bytesPerSample); }
    HeaderLayout layout;

    // Made by the writing steps.
    QString tempPath;
    QFile out;
    std::vector<std::unique_ptr<QFile>> srcFiles;
    std::vector<DataSegment> segments;
    std::vector<std::unique_ptr<SampleConverter>> converters;
    std::unique_ptr<PeakOverview> overview;
    qint64 written = 0;
    QString ixmlText;
    quint32 newRiff = 0;
};

void reportCannotOpen(const QString& newPath)
{
    report(QLatin1String("Unable to open files (IO_write)\n") + newPath + QLatin1Char('!'), 1);
}

void reportWriteFailure(const QString& newPath)
{
    report(newPath + QLatin1String("\nError on write: the disk may be full. The new track was not written."));
}

void reportCancelled(const QString& newPath)
{
    report(newPath + QLatin1String("\nCancelled: the new track was not written."));
}

// Each source's header, through the reader that knows every source format
// (RF64, extensible, float, several channels); the open goes through the
// sound-file layer first so that its message is the one users know.
bool readSourceFormats(Synthesis& s)
{
    for (const QString& path : s.sourcePaths) {
        SourceFormat fmt;
        {
            QSoundFile src;
            if (!src.Open(path, 0)) {
                report(path + QLatin1String("\nError returned by clSoundFile.Open()."));
                return true;
            }
            src.Close();
            QString why;
            if (!ReadSourceFormat(path, &fmt, &why)) {
                report(path + QLatin1Char('\n') + why);
                return true;
            }
        }
        const qint64 in = qint64(fmt.timeReference);
        const qint64 count = qint64(fmt.frames());
        MyQDebug("%s [%d/%d/%d] %lld InTC %s TcSpl [%s ..%s.. %s] %s", local8(path).constData(), int(fmt.sampleRate),
                 int(fmt.bitsPerSample), int(fmt.channels), static_cast<long long>(fmt.timeReference),
                 local8(clockText(fmt.timeReference, fmt.sampleRate)).constData(),
                 local8(Long64ToString(in)).constData(), local8(Long64ToString(count)).constData(),
                 local8(Long64ToString(in + count)).constData(), local8(fmt.describe()).constData());
        s.formats.push_back(fmt);
    }
    return false;
}

// Reports every reason this source cannot fill the take's track (all of them,
// so one run tells the user everything); true = at least one.
bool reportUnusableSource(const QString& sourcePath, const SourceFormat& srcFormat, const QSoundPerform& take,
                          int channelChoice)
{
    constexpr quint64 kMaxSamples = quint64(1) << 48;
    bool formatFailed = false;
    const quint32 srcRate = srcFormat.sampleRate;
    const int srcBits = srcFormat.bitsPerSample;
    const int srcChannels = srcFormat.channels;
    if (srcRate != take.m_nSampleRate) {
        // Changing the rate here would move every time code: refused.
        report(sourcePath + QLatin1String(" [") + QString::number(srcRate) + QLatin1Char('/')
               + QString::number(srcBits) + QLatin1String(" bits] \nTarget [") + QString::number(take.m_nSampleRate)
               + QLatin1Char('/') + QString::number(take.m_nBitsPerSample) + QLatin1String(" bits]")
               + QLatin1String("\nThe source is at ") + QString::number(srcRate) + QLatin1String(" Hz and the take at ")
               + QString::number(take.m_nSampleRate) + QLatin1String(" Hz: the source must be resampled to ")
               + QString::number(take.m_nSampleRate) + QLatin1String(" Hz first."));
        formatFailed = true;
    }
    const QString unsupported = srcFormat.unsupportedReason();
    if (!unsupported.isEmpty()) {
        report(sourcePath + QLatin1Char('\n') + unsupported);
        formatFailed = true;
    }
    // A mono source is used as it is, whatever channel was asked for: a
    // conform may mix mono files and files of several channels.
    if (srcChannels == 1) {
    } else if (channelChoice == 0) {
        report(sourcePath + QLatin1String(" \n Is not a monophonic file.") + QLatin1String("\nIt has ")
               + QString::number(srcChannels)
               + QLatin1String(" channels: choose one with --channel K (the channel choice beside the track in the window)."));
        formatFailed = true;
    } else if (channelChoice < 0 || channelChoice > srcChannels) {
        report(sourcePath + QLatin1String("\nThere is no channel ") + QString::number(channelChoice)
               + QLatin1String(": this source has ") + QString::number(srcChannels)
               + (srcChannels == 1 ? QLatin1String(" channel.") : QLatin1String(" channels.")));
        formatFailed = true;
    }
    // A hostile header must not overflow the sample arithmetic of the copy;
    // 2^48 samples are centuries of audio.
    if (srcFormat.timeReference > kMaxSamples || srcFormat.frames() > kMaxSamples) {
        report(sourcePath + QLatin1String("\nThe source's time reference or length is out of range: its header is damaged."));
        formatFailed = true;
    }
    if (!srcFormat.hasTimeReference) {
        report(sourcePath
               + (srcFormat.hasBext
                      ? QLatin1String("\nIts bext chunk is too short to hold a time reference")
                      : QLatin1String("\nThis source has no bext chunk, so no time reference"))
               + QLatin1String(": it cannot be placed in the take (it would land at midnight)."));
        formatFailed = true;
    }
    return formatFailed;
}

// The take must exist and be mono, and every source usable; the sources'
// faults are all reported before the take's channel count stops the run.
bool checkSourcesAndTake(Synthesis& s)
{
    if (!s.take) {
        report(s.fileId + QLatin1String(" \nNo valid index detected."));
        return true;
    }
    bool formatFailed = false;
    for (size_t si = 0; si < s.formats.size(); ++si)
        if (reportUnusableSource(s.sourcePaths.at(int(si)), s.formats[si], *s.take, s.options.channel))
            formatFailed = true;
    if (s.take->m_nNbChannels != 1) {
        report(QLatin1Char('[') + s.fileId + QLatin1String("] Is not a monophoni file."));
        return true;
    }
    return formatFailed;
}

// The take's first present file is the model of the new one; every source
// must be convertible to its sample format.
bool findReference(Synthesis& s)
{
    int refSlot = -1;
    for (int slot = 0; slot < QSoundPerform::kMaxSlots; ++slot) {
        if (s.take->m_bPresent[size_t(slot)]) {
            refSlot = slot;
            break;
        }
    }
    if (refSlot < 0) {
        report(s.fileId + QLatin1String(" \nNo valid index detected."));
        return true;
    }
    s.ref = &s.take->File(refSlot);
    if (s.ref->m_nRiffSize == 0) {
        report(QStringLiteral("Error Riff source size == 0"));
        return true;
    }
    s.targetFormat = takeSampleFormat(*s.ref);
    for (size_t si = 0; si < s.formats.size(); ++si) {
        const QString why = SampleConverter::CannotConvert(s.formats[si], s.targetFormat);
        if (!why.isEmpty()) {
            report(s.sourcePaths.at(int(si)) + QLatin1Char('\n') + why);
            return true;
        }
    }
    return false;
}

// The new track's name must be free, and the reference's samples of a kind
// this engine writes whole.
bool checkTargetTrack(Synthesis& s, QString* newFileName)
{
    const int t = s.trackIndex;
    const QSoundFile& ref = *s.ref;
    // The new name (asked before the occupancy check so that a file of that
    // name which the take could not load also counts as occupying the track).
    s.newName = s.fileId + QLatin1Char('_') + TrkIndexToNN(t + 1) + QLatin1String(".WAV");
    s.newPath = QDir::cleanPath(s.targetFolder + QLatin1Char('/') + s.newName);
    if (t < 0 || t >= QSoundPerform::kMaxSlots) {
        report(s.fileId + QLatin1String(" \nInvalid track #") + QString::number(t + 1) + QLatin1String(" (1 ... 24)."));
        return true;
    }
    if (s.take->m_bPresent[size_t(t)] || QFileInfo::exists(s.newPath) || QFileInfo(s.newPath).isSymLink()) {
        report(s.fileId + QLatin1String(" \nTargeted track #") + QString::number(t + 1)
               + QLatin1String(" is not empty. Process aborted."));
        return true;
    }

    s.channels = ref.GetNbChannels();
    s.bytesPerSample = ref.GetBitsPerSample() / 8;
    s.rate = ref.GetSampleRate();
    s.dataSize = ref.m_tDataChunk.ChunkSize();
    s.bytesPerFrame = s.bytesPerSample * s.channels;
    if (s.bytesPerSample <= 0 || s.channels != 1 || s.rate == 0) {
        report(ref.m_sPath + QLatin1String("\nUnsupported sample format: ") + QString::number(s.channels)
               + QLatin1String(" channel(s), ") + QString::number(ref.GetBitsPerSample()) + QLatin1String(" bits, ")
               + QString::number(s.rate) + QLatin1String(" Hz."));
        return true;
    }
    // A data size that is not a whole number of frames cannot be filled with
    // whole samples: stop here rather than write a file that never completes.
    if (s.dataSize % quint32(s.bytesPerFrame) != 0) {
        report(ref.m_sPath + QLatin1String("\nThe take's data size (") + QString::number(s.dataSize)
               + QLatin1String(" bytes) is not a whole number of ") + QString::number(s.bytesPerFrame)
               + QLatin1String("-byte samples."));
        return true;
    }

    if (newFileName)
        *newFileName = s.newName;
    MyQDebug("czNewFileAbsPath %s", local8(s.newPath).constData());
    return false;
}

// Places the chunks as the reference's records say; a damaged reference
// could otherwise ask for a huge header or a RIFF size past 4 GiB.
bool layOutHeader(Synthesis& s)
{
    const QSoundFile& ref = *s.ref;
    HeaderLayout& h = s.layout;
    h.fmtSize = ref.m_tFmtChunk.ChunkSize();
    h.withFilm = ref.m_tFilmChunk.IsPresent();
    h.filmSize = h.withFilm ? ref.m_tFilmChunk.ChunkSize() : 0;
    h.withVlta = ref.m_tVeltaChunk.IsPresent();
    h.vltaSize = h.withVlta ? ref.m_tVeltaChunk.ChunkSize() : 0;
    h.fmtPos = 12 + bwf::kBextRecordBytes;
    quint64 nextPos = h.fmtPos + 8 + h.fmtSize;
    h.filmPos = nextPos;
    if (h.withFilm)
        nextPos += 8 + quint64(h.filmSize);
    h.vltaPos = nextPos;
    if (h.withVlta)
        nextPos += 8 + quint64(h.vltaSize);
    h.dataHeaderPos = nextPos;
    h.firstSamplePos = h.dataHeaderPos + 8;
    h.riffSize64 = h.firstSamplePos - 8 + s.dataSize;
    if (h.firstSamplePos > kMaxHeaderBytes || h.riffSize64 > 0xFFFFFFFFull) {
        report(ref.m_sPath + QLatin1String("\nThe chunk sizes of this file are out of range; no track was written."));
        return true;
    }
    return false;
}

// Exclusive creation under the temporary name, with the permissions the
// user's umask gives (never world-writable by force).
bool createTemporaryFile(Synthesis& s)
{
    QSoundMixer::RemoveStaleTemporaries(QDir::cleanPath(s.targetFolder), s.newName);
    if (!s.temp.create(s.targetFolder, s.newName, s.out)) {
        reportCannotOpen(s.newPath);
        return true;
    }
    s.tempPath = s.temp.path();
    return false;
}

// The header up to the first sample: the reference's records, with the bext
// and film fields that name this track and this source rewritten.
std::vector<char> buildHeader(const Synthesis& s)
{
    const QSoundFile& ref = *s.ref;
    const HeaderLayout& h = s.layout;
    const int t = s.trackIndex;
    HeaderImage header;
    char riff[12];
    std::memcpy(riff, "RIFF", 4);
    bwf::writeU32(riff + 4, quint32(h.riffSize64));
    std::memcpy(riff + 8, "WAVE", 4);
    header.put(0, riff, 12);

    tyBextChunk bext = ref.m_tBextChunk;
    bext.SetChunkID("bext");   // a take file without bext still gets one
    bext.SetChunkSize(bwf::kBextDataBytes);
    char* origRef = bext.OriginatorReference();
    if (std::memcmp(origRef, "VEL", 3) == 0)
        origRef[bwf::kBextOriginatorReferenceBytes - 1] = char('1' + t);
    bext.Umid()[31] = char(t);
    const QByteArray tag = local8(s.fileId);
    const QByteArray name = local8(s.trackName);
    QSoundMixer::RewriteBextDescriptor(bext.Description(), nullptr, nullptr, nullptr, nullptr, tag.constData(),
                                       nullptr, t, name.constData());
    header.put(12, bext.Data(), bwf::kBextRecordBytes);

    header.put(h.fmtPos, ref.m_tFmtChunk.Data(), bwf::kFmtRecordBytes);
    header.resize(h.fmtPos + 8 + h.fmtSize);
    if (h.withFilm) {
        tyFilmChunk film = ref.m_tFilmChunk;
        char* sourceName = film.Data() + bwf::kFilmSourceName;
        std::memset(sourceName, 0, bwf::kFilmSourceNameBytes);
        const QByteArray srcName = local8(QPath(s.sourcePaths.first()).GetFilename(true));
        std::memcpy(sourceName, srcName.constData(), size_t(std::min(srcName.size(), bwf::kFilmSourceNameBytes - 1)));
        header.put(h.filmPos, film.Data(), bwf::kFilmRecordBytes);
        header.resize(h.filmPos + 8 + h.filmSize);
    }
    if (h.withVlta) {
        char vltaHeader[8];
        std::memcpy(vltaHeader, ref.m_tVeltaChunk.Data(), 8);
        header.put(h.vltaPos, vltaHeader, 8);
        header.resize(h.vltaPos + 8 + h.vltaSize);   // zero body
    }
    char dataHeader[8];
    std::memcpy(dataHeader, ref.m_tDataChunk.Data(), 4);
    bwf::writeU32(dataHeader + 4, s.dataSize);
    header.put(h.dataHeaderPos, dataHeader, 8);
    header.resize(h.firstSamplePos);
    return std::move(header.bytes());
}

// Every source is opened once, for the whole copy.
bool openSources(Synthesis& s)
{
    for (const QString& path : s.sourcePaths) {
        s.srcFiles.push_back(std::make_unique<QFile>(path));
        if (!s.srcFiles.back()->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            report(QStringLiteral("Unable to open source file for reading audio data!"));
            return true;
        }
    }
    return false;
}

// One source gives silence before, the copy, silence after, as the
// coverage classes name the four ways a source can meet the take.
// Differences are unsigned 32-bit.
bool locateSingleSource(Synthesis& s)
{
    const SourceFormat& srcFormat = s.formats.front();
    const qint64 Tin = qint64(s.ref->GetTimeReference());
    const quint32 Nt = s.takeFrames();
    const qint64 Sin = qint64(srcFormat.timeReference);
    // Source frames: one sample of every channel (RF64 sources may pass 4 GB).
    const quint64 Ns = srcFormat.frames();
    const qint64 Sout = Sin + qint64(Ns);
    const qint64 Tout = Tin + Nt;
    quint32 before = 0, copied = 0, after = 0;
    quint64 offset = 0;   // source frames skipped
    if (Sin <= Tin && Tout <= Sout) {
        MyQDebug("FULL MATCH SELECTION BLUE");
        copied = Nt;
        offset = quint64(Tin - Sin);
    } else if (Tin < Sin && Sin < Tout && Tout <= Sout) {
        MyQDebug("FULL MATCH SELECTION DARK PINK");
        before = quint32(Sin - Tin);
        copied = quint32(Tout - Sin);
    } else if (Tin < Sin && Sin < Tout && Sout < Tout) {
        MyQDebug("FULL MATCH SELECTION DARK RED");
        before = quint32(Sin - Tin);
        copied = quint32(Ns);
        after = quint32(Tout - Sout);
    } else if (Tin < Sout && Sout < Tout) {
        MyQDebug("FULL MATCH SELECTION DARK BLUE");
        copied = quint32(Sout - Tin);
        after = quint32(Tout - Sout);
        offset = quint64(Tin - Sin);
    } else {
        report(QStringLiteral("Unable to in point Tc sample!"));
        return true;
    }
    if (copied == 0) {
        report(QStringLiteral("Unable to find audio source data to be added!"));
        return true;
    }
    s.segments = {DataSegment{-1, before, 0, 0}, DataSegment{0, copied, offset, before}, DataSegment{-1, after, 0, 0}};
    return false;
}

// Ranges in take order, inside the take, without overlap, each inside its
// source's audio; silence fills what they leave.
bool placeRanges(Synthesis& s)
{
    const quint32 Nt = s.takeFrames();
    quint64 at = 0;
    for (const QSoundMixer::SourceRange& r : *s.ranges) {
        const int index = s.sourcePaths.indexOf(r.sourcePath);
        const quint64 Ns = s.formats[size_t(index)].frames();
        if (r.takeFrom < qint64(at) || r.takeTo <= r.takeFrom || r.takeTo > qint64(Nt) || r.sourceFrom < 0
            || quint64(r.sourceFrom) + quint64(r.takeTo - r.takeFrom) > Ns) {
            report(r.sourcePath + QLatin1String("\nThis source does not cover the part of take ") + s.fileId
                   + QLatin1String(" it was chosen for; no track was written."));
            return true;
        }
        if (quint64(r.takeFrom) > at)
            s.segments.push_back(DataSegment{-1, quint64(r.takeFrom) - at, 0, 0});
        s.segments.push_back(
            DataSegment{index, quint64(r.takeTo - r.takeFrom), quint64(r.sourceFrom), quint64(r.takeFrom)});
        at = quint64(r.takeTo);
    }
    s.segments.push_back(DataSegment{-1, quint64(Nt) - at, 0, 0});
    return false;
}

// Each source's file is put at the first byte its segment reads.
bool seekSources(Synthesis& s)
{
    for (const DataSegment& seg : s.segments) {
        if (seg.source < 0)
            continue;
        const SourceFormat& fmt = s.formats[size_t(seg.source)];
        const quint64 start = fmt.dataOffset + quint64(fmt.blockAlign) * seg.sourceFrom;
        if (!s.srcFiles[size_t(seg.source)]->seek(qint64(start))) {
            report(s.sourcePaths.at(seg.source)
                   + QLatin1String("\nThe source file holds fewer audio bytes than its data chunk declares."));
            return true;
        }
    }
    return false;
}

// The copy's own state: the writer and peak worker it feeds, and how it ended.
struct CopyRun
{
    CopyRun(BlockWriter& writer, PeakWorker& peaks, qint64 blockFrames, qint64 blockBytes)
        : writer(writer), peaks(peaks), blockFrames(blockFrames), blockBytes(blockBytes)
    {
    }

    BlockWriter& writer;
    PeakWorker& peaks;
    qint64 blockFrames;
    qint64 blockBytes;
    std::array<quint64, 2> lastTicket{{0, 0}};   // the last peak job reading each buffer
    bool cancelled = false;
    bool shortSource = false;
    QString shortSourcePath;
};

// One converter per source. A source already in the take's format is copied
// byte for byte, as it always was; any other goes through the converter, one
// channel of it.
void makeConverters(Synthesis& s)
{
    ConversionOptions conversion;
    conversion.channel = std::max(s.options.channel, 1) - 1;
    conversion.dither = s.options.dither;
    conversion.ditherSeed = s.options.ditherSeed;
    for (const SourceFormat& fmt : s.formats) {
        ConversionOptions own = conversion;
        if (fmt.channels == 1)
            own.channel = 0;
        s.converters.push_back(std::make_unique<SampleConverter>(fmt, s.targetFormat, own));
    }
}

// Progress and the keep-going check go by logical block, whatever the size of
// the run that holds them; false = cancelled before the whole run counted.
bool countBlocks(Synthesis& s, CopyRun& run, qint64 runBytes)
{
    for (qint64 off = 0; off < runBytes; off += run.blockBytes) {
        const qint64 n = std::min(run.blockBytes, runBytes - off);
        if (!*s.goOn) {
            run.cancelled = true;
            return false;
        }
        if (n < QSoundMixer::kBlockBytes)
            MyQDebug("%d tot = %lld", int(n), static_cast<long long>(s.written));
        s.written += n;
        qint64 percent;
        if (s.dataSize == 0)
            percent = 100;
        else if (s.dataSize <= 10000)
            percent = s.written * 100 / s.dataSize;
        else
            percent = s.written / (s.dataSize / 100);
        s.progress(percent);
    }
    return true;
}

// One segment into the writer's buffers, many blocks per run: silence, the
// source's bytes as they are, or its samples converted to the take's format.
void copySegment(Synthesis& s, CopyRun& run, const DataSegment& seg)
{
    BlockWriter& writer = run.writer;
    quint64 remaining = seg.frames;
    QFile* src = seg.source >= 0 ? s.srcFiles[size_t(seg.source)].get() : nullptr;
    const SourceFormat* fmt = seg.source >= 0 ? &s.formats[size_t(seg.source)] : nullptr;
    const quint64 skipped = fmt ? quint64(fmt->blockAlign) * seg.sourceFrom : 0;
    quint64 sourceRemaining = fmt && fmt->dataSize > skipped ? fmt->dataSize - skipped : 0;
    SampleConverter* converter = src ? s.converters[size_t(seg.source)].get() : nullptr;
    std::unique_ptr<SourceSampleReader> sourceReader;
    if (src)
        sourceReader = std::make_unique<SourceSampleReader>(*src, sourceRemaining, *converter);
    const bool copyAsIs = converter && converter->IsCopy();
    while (remaining > 0) {
        if (writer.freeBytes() < run.blockBytes && !writer.flush())
            break;
        const quint64 runFrames =
            std::min<quint64>(remaining, quint64(writer.freeBytes() / run.blockBytes) * quint64(run.blockFrames));
        const qint64 runBytes = qint64(runFrames) * s.bytesPerFrame;
        char* dst = writer.space(runBytes);
        if (!dst)
            break;
        if (src && copyAsIs) {
            const qint64 want = qint64(std::min<quint64>(quint64(runBytes), sourceRemaining));
            const qint64 got = readFully(*src, dst, want);
            if (got != runBytes) {
                run.shortSource = true;
                run.shortSourcePath = s.sourcePaths.at(seg.source);
                break;
            }
            sourceRemaining -= quint64(got);
        } else if (src) {
            // Converted into the take's format before peaks and writing,
            // so the overview describes the samples the file holds.
            if (sourceReader->Read(dst, qint64(runFrames)) != qint64(runFrames)) {
                run.shortSource = true;
                run.shortSourcePath = s.sourcePaths.at(seg.source);
                break;
            }
        } else {
            std::memset(dst, 0, size_t(runBytes));
        }
        if (!countBlocks(s, run, runBytes))
            break;
        run.lastTicket[size_t(writer.currentBuffer())] = run.peaks.post(dst, runBytes);
        writer.commit(runBytes);
        remaining -= runFrames;
    }
}

// Every segment in take order, in logical blocks for peak, progress and the
// keep-going check; the bytes move through the OS in runs of many blocks,
// while a second thread computes the overview of what was written.
bool copySegments(Synthesis& s, BlockWriter& writer)
{
    const qint64 blockFrames = QSoundMixer::kBlockBytes / s.bytesPerFrame;
    s.overview = std::make_unique<PeakOverview>(s.channels, s.bytesPerSample, s.rate / 10);
    PeakWorker peaks(*s.overview);
    CopyRun run(writer, peaks, blockFrames, blockFrames * s.bytesPerFrame);
    writer.beforeReuse = [&](int buffer) { peaks.waitFor(run.lastTicket[size_t(buffer)]); };
    makeConverters(s);
    for (size_t si = 0; si < s.segments.size() && !run.cancelled && !run.shortSource && !writer.failed(); ++si)
        copySegment(s, run, s.segments[si]);
    if (!run.cancelled && !run.shortSource)
        writer.flush();
    peaks.waitAll();
    writer.beforeReuse = nullptr;
    s.srcFiles.clear();
    s.out.close();

    if (run.shortSource) {
        report(run.shortSourcePath
               + QLatin1String("\nThe source file holds fewer audio bytes than its data chunk declares."));
        return true;
    }
    if (run.cancelled || !*s.goOn) {
        reportCancelled(s.newPath);
        return true;
    }
    if (writer.failed() || s.written != qint64(s.dataSize)) {
        reportWriteFailure(s.newPath);
        return true;
    }
    return false;
}

// The header, then every sample, through one writer.
bool writeHeaderAndSamples(Synthesis& s)
{
    BlockWriter writer(s.out);
    const std::vector<char> header = buildHeader(s);
    // A failed write shows in writer.failed() once the copy is over.
    writer.append(header.data(), qint64(header.size()));
    if (openSources(s) || (s.ranges ? placeRanges(s) : locateSingleSource(s)) || seekSources(s))
        return true;
    MyQDebug("DataChunkSize %u NbChannels %d nStep %d nNbSamples %u nbbits %d", s.dataSize, s.channels,
             s.bytesPerSample, s.takeFrames(), int(s.ref->GetBitsPerSample()));
    return copySegments(s, writer);
}

// A warning, not a failure: the track is written all the same, but the user
// learns where a conversion clipped or met samples that are not numbers.
void reportConversionWarnings(const Synthesis& s)
{
    const qint64 Tin = qint64(s.ref->GetTimeReference());
    for (const DataSegment& seg : s.segments) {
        if (seg.source < 0)
            continue;
        const ConversionCounts& counts = s.converters[size_t(seg.source)]->Counts();
        if (!counts.clipped && !counts.nonFinite)
            continue;
        const SourceFormat& fmt = s.formats[size_t(seg.source)];
        const int fps = s.ref->GetNumerikFrameRate();
        auto firstAt = [&](qint64 index) -> QString {
            return QLatin1String(" (first at ")
                   + timecodeText(quint64(Tin) + seg.takeFrom + quint64(index), s.rate, fps) + QLatin1Char(')');
        };
        QString text = s.sourcePaths.at(seg.source) + QLatin1String("\nConverted from ") + fmt.describe()
                       + QLatin1String(" to ") + QString::number(s.targetFormat.bits) + QLatin1String("-bit: ")
                       + QString::number(counts.clipped) + QLatin1String(" sample(s) clipped");
        if (counts.clipped)
            text += firstAt(counts.firstClipped);
        text += QLatin1String(", ") + QString::number(counts.nonFinite)
                + QLatin1String(" NaN or infinite sample(s) set to 0");
        if (counts.nonFinite)
            text += firstAt(counts.firstNonFinite);
        report(text + QLatin1Char('.'));
    }
}

// On the complete samples: the type line, the onde overview, and the iXML
// text the track will carry (generated here, appended later).
bool writeTrackMetadata(Synthesis& s)
{
    const int t = s.trackIndex;
    const QString trackNameForIxml = s.trackName.isEmpty()
        ? QString::fromLocal8Bit(QByteArray("T") + QByteArray::number(t + 1))
        : QString::fromLocal8Bit(local8(s.trackName));
    QSoundFile sf;
    sf.SetNamingPath(s.newPath);
    if (!sf.Open(s.tempPath, 2)) {
        reportCannotOpen(s.newPath);
        return true;
    }
    if (!sf.ReadChunks(true, false)) {
        sf.Close();
        reportWriteFailure(s.newPath);
        return true;
    }
    sf.SetNamingPath(s.newPath);
    if (!sf.InsertInBextDescrType(QStringLiteral("mono"))) {
        sf.Close();
        reportWriteFailure(s.newPath);
        return true;
    }
    const quint32 ondeSize = s.ref->m_tOndeChunk.IsPresent() ? s.ref->m_tOndeChunk.ChunkSize() : 0;
    if (ondeSize >= 8) {
        // The overview holds kOverviewPoints bytes: a larger reference
        // chunk gets an onde chunk that carries the whole overview and no
        // more. (An onde chunk has at least its 8-byte record: sizes 4 to 7
        // cannot be written and are left out.)
        const int n = int(std::min<quint64>(quint64(ondeSize) - 4, quint64(QSoundMixer::kOverviewPoints) + 4));
        if (!sf.AddOndeChunk(s.overview->data(), n, t, int(s.rate / 10))
            || sf.m_File.size() != qint64(sf.m_nRiffSize) + 8) {
            sf.Close();
            reportWriteFailure(s.newPath);
            return true;
        }
    }
    sf.SetiXMLMonoTrackNumber(t, t + 1);
    if (sf.GetiXMLFileInfos())
        sf.SetiXMLTotalFiles(t, s.channels + 1, false);
    sf.SetiXMLMonoTrackName(t, trackNameForIxml);
    sf.SetiXMLNote(t, s.take->m_sNotes);
    s.ixmlText = sf.GenerateiXMLChunkMono(t);
    sf.Close();
    return false;
}

// Padded, in bytes as the chunk stores them (UTF-8), to the size of the
// reference's own iXML chunk when the text fits in it, so that the new track
// ends as long as its siblings without any of them having to grow; otherwise
// to the recorder's 61440 bytes. Counted in characters, an accented name
// would make the new track longer than the take's files.
void padIxml(Synthesis& s)
{
    const int ixmlBytes = s.ixmlText.toUtf8().size();
    const quint32 refIxmlSize = s.ref->HasiXMLChunk() ? s.ref->m_nSizeiXML : 0;
    const int padTo = refIxmlSize > 0 && refIxmlSize <= quint32(kMaxHeaderBytes) && quint32(ixmlBytes) <= refIxmlSize
        ? int(refIxmlSize)
        : bwf::kIxmlPaddedLength;
    if (ixmlBytes < padTo)
        s.ixmlText += QString(padTo - ixmlBytes, QLatin1Char(' '));
}

// The iXML chunk goes at the end; the file must then be exactly as long as
// its RIFF size says.
bool appendIxml(Synthesis& s)
{
    QSoundFile sf;
    sf.InitVariables();
    sf.SetNamingPath(s.newPath);
    if (!sf.Open(s.tempPath, 2)) {
        reportCannotOpen(s.newPath);
        return true;
    }
    if (!sf.ReadChunks(true, false) || !sf.AddiXMLChunk(s.ixmlText)
        || sf.m_File.size() != qint64(sf.m_nRiffSize) + 8) {
        sf.Close();
        reportWriteFailure(s.newPath);
        return true;
    }
    s.newRiff = sf.m_nRiffSize;
    sf.Close();
    MyQDebug("Ref Riff = %d  New riff = %d", int(s.ref->m_nRiffSize), int(s.newRiff));
    return false;
}

// Length equalisation: a "sonl" filler, headed by the source's name, brings
// the file to the reference's length. Sets the size the file must then have.
bool appendFiller(Synthesis& s, quint64* expectedSize)
{
    const quint32 refRiff = s.ref->m_nRiffSize;
    *expectedSize = quint64(s.newRiff) + 8;
    if (quint64(s.newRiff) + 8 >= refRiff)
        return false;
    QFile fill(s.tempPath);
    if (!FileWriteSeam::mayOpenForWrite(s.tempPath) || !fill.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        reportCannotOpen(s.newPath);
        return true;
    }
    char riff[12];
    std::memcpy(riff, "RIFF", 4);
    bwf::writeU32(riff + 4, refRiff);
    std::memcpy(riff + 8, "WAVE", 4);
    bool ok = FileWriteSeam::write(fill, riff, 12) == 12 && fill.seek(qint64(s.newRiff) + 8);
    const quint32 L = refRiff - s.newRiff - 8;
    BlockWriter fw(fill);
    if (ok) {
        char chunk[8];
        std::memcpy(chunk, "sonl", 4);
        bwf::writeU32(chunk + 4, L);
        ok = fw.append(chunk, 8);
    }
    quint64 bodyLeft = L;
    const QByteArray srcName = local8(QPath(s.sourcePaths.first()).GetFilename(true));
    if (ok && srcName.size() <= 254 && quint64(srcName.size()) <= L) {
        ok = fw.append(srcName.constData(), srcName.size());
        bodyLeft -= quint64(srcName.size());
    }
    while (ok && bodyLeft > 0) {
        if (!*s.goOn) {
            fill.close();
            reportCancelled(s.newPath);
            return true;
        }
        const quint64 piece = std::min<quint64>(bodyLeft, quint64(QSoundMixer::kIoBytes));
        ok = fw.appendZeros(piece);
        bodyLeft -= piece;
    }
    ok = ok && fw.flush();
    fill.close();
    if (!ok) {
        reportWriteFailure(s.newPath);
        return true;
    }
    *expectedSize = quint64(refRiff) + 8;
    return false;
}

// The file is complete: its bytes reach the disk before it gets its name,
// and it never takes the name over an existing file.
bool giveFinalName(Synthesis& s)
{
    if (!FileWriteSeam::syncToDisk(s.tempPath)) {
        reportWriteFailure(s.newPath);
        return true;
    }
    if (!FileWriteSeam::renameNoReplace(s.tempPath, s.newPath)) {
        report(s.newPath + QLatin1String("\nUnable to give the new track file this name; nothing was written."));
        return true;
    }
    s.temp.release();
    return false;
}

} // namespace

bool QSoundMixer::Synthesize(const QStringList& sourcePaths, const QVector<SourceRange>* ranges,
                             const QString& targetFolder, const QString& fileId, int trackIndex,
                             const QString& trackName, QSoundPerform* take, bool* keepGoing, QString* newFileName)
{
    bool localGoOn = true;
    // Outlives the guard below: the last progress signal goes out while the
    // temporary file still exists, and it is removed on every way out until
    // it gets its name.
    OwnedTemporaryFile temp;
    auto onExit = makeOnExit([&]() {
        emit signal_ImportSourceProgressPct(100);
    });
    Synthesis s(sourcePaths, ranges, targetFolder, fileId, trackIndex, trackName, take,
                keepGoing ? keepGoing : &localGoOn, m_sourceOptions, temp,
                [this](qint64 percent) { emit signal_ProgressSize(percent); });

    MyQDebug("----- SonalignMono %s -----", local8(sourcePaths.first()).constData());

    // Every step that fails has reported why; the checks come in this order.
    if (readSourceFormats(s) || checkSourcesAndTake(s) || findReference(s) || checkTargetTrack(s, newFileName)
        || layOutHeader(s) || createTemporaryFile(s) || writeHeaderAndSamples(s))
        return true;
    reportConversionWarnings(s);

    // Finishing steps on the complete samples.
    if (writeTrackMetadata(s))
        return true;
    padIxml(s);
    if (!*s.goOn) {
        reportCancelled(s.newPath);
        return true;
    }
    quint64 expectedSize = 0;
    if (appendIxml(s) || appendFiller(s, &expectedSize))
        return true;
    if (quint64(QFileInfo(s.tempPath).size()) != expectedSize) {
        reportWriteFailure(s.newPath);
        return true;
    }
    return giveFinalName(s);
}
