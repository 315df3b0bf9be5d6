// SPDX-License-Identifier: GPL-3.0-or-later
#include "QSoundFile.h"

#include <QDomElement>

#include <limits>

// Queries never fail: a missing document gives the "no document" value, a
// missing element the documented placeholder (" ", -1 or an empty text).

namespace {

const QString kSpace = QStringLiteral(" ");

QStringList rootPath() { return XmlPath(QString()); }
QStringList trackPath() { return XmlPath(QStringLiteral("TRACK_LIST\tTRACK")); }
QStringList trackListPath() { return XmlPath(QStringLiteral("TRACK_LIST")); }
QStringList veltaPath() { return XmlPath(QStringLiteral("VELTA_PAVANE")); }
QStringList syncListPath() { return XmlPath(QStringLiteral("SYNC_POINT_LIST")); }

// A decimal number, with surrounding white space allowed.
int toNumber(const QString& text, bool* ok)
{
    return text.trimmed().toInt(ok);
}

QString orSpace(const QString& text) { return text.isEmpty() ? kSpace : text; }

QDomElement firstChildNamed(const QDomElement& parent, const QString& name)
{
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.tagName() == name)
            return e;
    }
    return QDomElement();
}

} // namespace

bool QSoundFile::GetiXMLFileInfos()
{
    if (m_siXML.isEmpty()) {
        m_sXmlError.clear();
        return false;
    }
    if (!m_XmlObject.OpenDocFromTxt(m_siXML, &m_sXmlError, &m_nXmlErrorLine, &m_nXmlErrorColumn)) {
        m_siXML.clear();
        return false;
    }
    const QDomElement root = m_XmlObject.GetFirstElement();
    if (root.tagName() != QLatin1String("BWFXML")) {
        m_siXML.clear();
        m_sXmlError = QStringLiteral("No <BWFXML> tag !");
        m_nXmlErrorLine = 1;
        m_nXmlErrorColumn = 0;
        return false;
    }
    return true;
}

QString QSoundFile::GetiXMLScene()
{
    if (!m_XmlObject.XmlOk())
        return QString();
    return orSpace(m_XmlObject.GetElement(QStringLiteral("SCENE"), rootPath()));
}

QString QSoundFile::GetiXMLTape()
{
    if (!m_XmlObject.XmlOk())
        return QString();
    return orSpace(m_XmlObject.GetElement(QStringLiteral("TAPE"), rootPath()));
}

QString QSoundFile::GetiXMLNotes()
{
    if (!m_XmlObject.XmlOk())
        return QString();
    return orSpace(m_XmlObject.GetElement(QStringLiteral("NOTE"), rootPath()));
}

QString QSoundFile::GetiXMLUbits()
{
    if (!m_XmlObject.XmlOk())
        return QString();
    return orSpace(m_XmlObject.GetElement(QStringLiteral("UBITS"), rootPath()));
}

QString QSoundFile::GetiXMLCircled()
{
    if (!m_XmlObject.XmlOk())
        return QString();
    return orSpace(m_XmlObject.GetElement(QStringLiteral("CIRCLED"), rootPath()));
}

QString QSoundFile::GetiXMLMonoTrackName()
{
    if (!m_XmlObject.XmlOk())
        return QString();
    return orSpace(m_XmlObject.GetElement(QStringLiteral("NAME"), trackPath()));
}

QString QSoundFile::GetiXMLVeltaRefLevel()
{
    if (!m_XmlObject.XmlOk())
        return QString();
    return orSpace(m_XmlObject.GetElement(QStringLiteral("REF_LEVEL"), veltaPath()));
}

QString QSoundFile::GetiXMLAdvancedScTkTemplateCompostion()
{
    if (!m_XmlObject.XmlOk())
        return QString();
    return m_XmlObject.GetElement(QStringLiteral("COMP"), XmlPath(QStringLiteral("VELTA_PAVANE\tADV_TPL")));
}

int QSoundFile::GetiXMLMonoTrackNumber()
{
    if (!m_XmlObject.XmlOk())
        return -1;
    const QString text = m_XmlObject.GetElement(QStringLiteral("CHANNEL_INDEX"), trackPath());
    if (text.isEmpty())
        return -1;
    bool ok = false;
    const int n = toNumber(text, &ok);
    // The smallest int has no predecessor: such an index is as good as none.
    return (ok && n != std::numeric_limits<int>::min() ? n : 0) - 1;
}

int QSoundFile::GetiXMLScTkTemplate()
{
    if (!m_XmlObject.XmlOk())
        return -1;
    const QString text = m_XmlObject.GetElement(QStringLiteral("SCTK_TEMPLATE"), veltaPath());
    if (text.isEmpty())
        return -1;
    bool ok = false;
    const int n = toNumber(text, &ok);
    return ok ? n : 0;
}

namespace {
// Templates 2 and 3 keep the take type in TAKE_TYPE instead of a letter in TAKE.
bool usesTakeTypeElement(QXmlObject& xml)
{
    bool ok = false;
    const int n = toNumber(xml.GetElement(QStringLiteral("SCTK_TEMPLATE"), veltaPath()), &ok);
    return ok && (n == 2 || n == 3);
}
} // namespace

QString QSoundFile::GetiXMLTakeIndicator()
{
    if (!m_XmlObject.XmlOk())
        return QString();
    const QString take = m_XmlObject.GetElement(QStringLiteral("TAKE"), rootPath()).trimmed();
    if (usesTakeTypeElement(m_XmlObject)) {
        const QString type = m_XmlObject.GetElement(QStringLiteral("TAKE_TYPE"), rootPath());
        struct Row { const char* type; const char* letter; };
        static const Row rows[] = {
            {"REHEARSAL", "r"}, {"WILD_SOUND", "w"}, {"SOUND_GUIDE", "g"},
            {"ANNOUNCEMENT", "a"}, {"NOT_GOOD", "n"}, {"TAKE", "t"},
        };
        for (const Row& row : rows) {
            if (type == QLatin1String(row.type))
                return QString::fromLatin1(row.letter);
        }
        return take.isEmpty() ? kSpace : QString();
    }
    if (take.isEmpty())
        return kSpace;
    const QChar first = take.at(0);
    if (QStringLiteral("tnpwarg").contains(first))
        return QString(first);
    return QString();
}

QString QSoundFile::GetiXMLTakeNumber()
{
    if (!m_XmlObject.XmlOk())
        return QString();
    const QString take = m_XmlObject.GetElement(QStringLiteral("TAKE"), rootPath()).trimmed();
    if (take.isEmpty())
        return kSpace;
    if (usesTakeTypeElement(m_XmlObject))
        return take;
    return GetiXMLTakeIndicator().isEmpty() ? take : take.mid(1);
}

QHash<int, QString> QSoundFile::GetiXMLAdvancedScTkFields()
{
    QHash<int, QString> fields;
    if (!m_XmlObject.XmlOk())
        return fields;
    const QDomElement tpl = m_XmlObject.GetPtrElement(QStringLiteral("ADV_TPL"), veltaPath());
    if (tpl.isNull())
        return fields;
    static const struct { const char* tag; int key; } named[] = {
        {"SEQUENCE", 1}, {"SLATE", 2}, {"SEASON", 3}, {"EPISODE", 4}, {"EFFECT", 5}, {"UNIT", 6},
    };
    for (QDomElement e = tpl.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        const QString tag = e.tagName();
        bool found = false;
        int key = 0;
        for (const auto& n : named) {
            if (tag == QLatin1String(n.tag)) {
                key = n.key;
                found = true;
                break;
            }
        }
        if (!found && tag.startsWith(QLatin1String("SEP"))) {
            bool ok = false;
            const int n = tag.mid(3).toInt(&ok);
            if (ok && n != 0) {
                key = 1 - n;
                found = true;
            }
        }
        if (found)
            fields.insert(key, e.text());
    }
    return fields;
}

namespace {
// TRACK elements to examine: TRACK_COUNT of them, and never more than exist
// (a huge count must not turn into a long loop).
int trackLimit(QXmlObject& xml)
{
    bool ok = false;
    const int count = toNumber(xml.GetElement(QStringLiteral("TRACK_COUNT"), trackListPath()), &ok);
    if (!ok || count < 1)
        return 0;
    const int present = int(xml.GetCountElement(QStringLiteral("TRACK"), trackListPath()));
    return qMin(count, present);
}

// The field of the first TRACK (among the first TRACK_COUNT) whose CHANNEL_INDEX
// is channel + 1; null text when there is none.
QString polyTrackField(QXmlObject& xml, int channel, const QString& field, bool* found)
{
    *found = false;
    const int n = trackLimit(xml);
    const QString track = QStringLiteral("TRACK");
    for (int i = 0; i < n; ++i) {
        bool ok = false;
        const int c = toNumber(xml.GetElementAt(QStringLiteral("CHANNEL_INDEX"), i, track, trackListPath()), &ok);
        if (ok && qint64(c) == qint64(channel) + 1) {
            *found = true;
            return xml.GetElementAt(field, i, track, trackListPath());
        }
    }
    return QString();
}
} // namespace

int QSoundFile::GetiXMLPolyTrackOriginalIndex(int interleave)
{
    if (!m_XmlObject.XmlOk())
        return -1;
    const int n = trackLimit(m_XmlObject);
    const QString track = QStringLiteral("TRACK");
    for (int i = 0; i < n; ++i) {
        bool ok = false;
        const int ii = toNumber(m_XmlObject.GetElementAt(QStringLiteral("INTERLEAVE_INDEX"), i, track, trackListPath()), &ok);
        if (!ok || qint64(ii) != qint64(interleave) + 1)
            continue;
        const int c = toNumber(m_XmlObject.GetElementAt(QStringLiteral("CHANNEL_INDEX"), i, track, trackListPath()), &ok);
        return ok && c != std::numeric_limits<int>::min() ? c - 1 : -1;
    }
    return -1;
}

QString QSoundFile::GetiXMLPolyTrackName(int channel)
{
    if (!m_XmlObject.XmlOk())
        return QString();
    bool found = false;
    const QString name = polyTrackField(m_XmlObject, channel, QStringLiteral("NAME"), &found);
    return found ? orSpace(name) : QString();
}

QString QSoundFile::GetiXMLPolyTrackFunction(int channel)
{
    if (!m_XmlObject.XmlOk())
        return QString();
    bool found = false;
    const QString function = polyTrackField(m_XmlObject, channel, QStringLiteral("FUNCTION"), &found);
    return found ? orSpace(function) : QString();
}

namespace {
// The vendor table of all tracks: the first of its first 24 DATA entries whose
// INDICE equals `index` gives its `field` text.
QString veltaTrackField(QXmlObject& xml, int index, const char* field)
{
    if (!xml.XmlOk())
        return QString();
    const QDomElement table = xml.GetPtrElement(QStringLiteral("ALL_TRK_NAME"), veltaPath());
    if (table.isNull())
        return QString();
    const QString data = QStringLiteral("DATA");
    int position = 0;
    for (QDomElement e = table.firstChildElement(); !e.isNull() && position < bwf::kMaxTracks;
         e = e.nextSiblingElement()) {
        if (e.tagName() != data)
            continue;
        ++position;
        bool ok = false;
        const int indice = toNumber(firstChildNamed(e, QStringLiteral("INDICE")).text(), &ok);
        if (ok && indice == index)
            return firstChildNamed(e, QString::fromLatin1(field)).text();
    }
    return QString();
}
} // namespace

QString QSoundFile::GetiXMLVeltaTracknames(int index) { return veltaTrackField(m_XmlObject, index, "NAME"); }
QString QSoundFile::GetiXMLVeltaTrackActive(int index) { return veltaTrackField(m_XmlObject, index, "ACTIVE"); }
QString QSoundFile::GetiXMLVeltaTrackInGrid(int index) { return veltaTrackField(m_XmlObject, index, "IN_GRID"); }
QString QSoundFile::GetiXMLVeltaTrackPanPot(int index) { return veltaTrackField(m_XmlObject, index, "PAN_POT"); }

void QSoundFile::GetiXMLSyncPoint(unsigned int* slateCount, unsigned int* slateSamples, unsigned int* slateFrames,
                                  QStringList* slateComments, bool pullDown, unsigned int* markerCount,
                                  unsigned int* markerSamples, QStringList* markerComments, bool* slateAuto)
{
    constexpr unsigned int kMaxPoints = 10;
    unsigned int slates = 0;
    unsigned int markers = 0;
    if (slateCount)
        *slateCount = 0;
    if (markerCount)
        *markerCount = 0;
    if (slateComments)
        slateComments->clear();
    if (markerComments)
        markerComments->clear();
    for (unsigned int i = 0; i < kMaxPoints; ++i) {
        if (slateSamples)
            slateSamples[i] = 0;
        if (markerSamples)
            markerSamples[i] = 0;
    }
    if (!m_XmlObject.XmlOk())
        return;

    // Frame count of a slate, rounded to the nearest frame (half a frame added).
    auto framesOf = [&](quint32 samples) -> quint32 {
        quint32 r = GetSampleRate();
        if (r == 0)
            return 0;
        if (pullDown)
            r += r / 1000;
        const quint32 f = quint32(qint32(GetNumerikFrameRate()));
        if (f == 0 || r == 0)
            return 0;
        const quint32 v = r / (2 * f) + samples;
        return f * (v / r) + f * (v % r) / r;
    };

    const QString group = QStringLiteral("SYNC_POINT");
    const int n = int(m_XmlObject.GetCountElement(group, syncListPath()));
    for (int i = 0; i < n; ++i) {
        const QString function = m_XmlObject.GetElementAt(QStringLiteral("SYNC_POINT_FUNCTION"), i, group, syncListPath());
        const bool slate = function == QLatin1String("SLATE_GENERIC");
        const bool marker = function == QLatin1String("MARKER_GENERIC");
        if ((!slate || slates >= kMaxPoints) && (!marker || markers >= kMaxPoints))
            continue;
        const QString comment = m_XmlObject.GetElementAt(QStringLiteral("SYNC_POINT_COMMENT"), i, group, syncListPath());
        bool ok = false;
        const quint32 low = m_XmlObject.GetElementAt(QStringLiteral("SYNC_POINT_LOW"), i, group, syncListPath())
                                .trimmed().toUInt(&ok);
        const quint32 samples = ok ? low : 0;
        if (slate) {
            if (slateSamples)
                slateSamples[slates] = samples;
            if (slateFrames)
                slateFrames[slates] = framesOf(samples);
            ++slates;
            if (slateAuto)
                *slateAuto = comment == QLatin1String("AUTO");
            if (slateComments)
                slateComments->append(comment);
        } else {
            if (markerSamples)
                markerSamples[markers] = samples;
            ++markers;
            if (markerComments)
                markerComments->append(comment);
        }
    }
    if (slateCount)
        *slateCount = slates;
    if (markerCount)
        *markerCount = markers;
}
