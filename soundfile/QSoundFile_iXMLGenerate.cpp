// SPDX-License-Identifier: GPL-3.0-or-later
// Generated iXML documents: the complete document of a mono (or poly) file
// built from its bext, fmt and film records and its name, section by section.
#include "QSoundFile.h"

#include "FileNaming.h"
#include "MessageLoging.h"
#include "QPath.h"

#include <QFile>

namespace {

const QString kVeltaSection = QStringLiteral("VELTA_PAVANE");

// printf's "%w.ws" on an 8-bit text: at most w bytes (and nothing past a NUL),
// right-aligned with leading spaces to w.
QByteArray fixedField(const QByteArray& text, int width)
{
    QByteArray out = text.left(int(qstrnlen(text.constData(), size_t(text.size()))));
    out.truncate(width);
    if (out.size() < width)
        out.prepend(QByteArray(width - out.size(), ' '));
    return out;
}

// A raw, NUL-padded field of the bext record, as "%w.ws" prints it.
QByteArray rawField(const char* p, int fieldBytes, int width)
{
    return fixedField(QByteArray(p, int(qstrnlen(p, size_t(fieldBytes)))), width);
}

// Whether `fileName` is one of the take's sound files as the file-set count
// sees them: root.WAV or root followed by a track separator, .WAV or .BWF,
// without regard to case.
bool countedAsTakeFile(const QString& fileName, const QString& root)
{
    if (!fileName.endsWith(QLatin1String(".WAV"), Qt::CaseInsensitive)
        && !fileName.endsWith(QLatin1String(".BWF"), Qt::CaseInsensitive))
        return false;
    const QString stem = fileName.left(fileName.size() - 4);
    if (stem.compare(root, Qt::CaseInsensitive) == 0)
        return true;
    if (stem.size() <= root.size() || !stem.startsWith(root, Qt::CaseInsensitive))
        return false;
    const QChar separator = stem.at(root.size());
    return separator == QLatin1Char('-') || separator == QLatin1Char('_') || separator == QLatin1Char('#')
           || separator == QLatin1Char('+');
}

} // namespace

QString QSoundFile::GenerateiXMLChunkMono(int t)
{
    if (!m_XmlObject.XmlOk()) {
        if (m_tFmtChunk.NbChannels() == 1)
            CreateNewiXMLchunkMono(t);
        else
            CreateNewiXMLchunkPoly();
    }
    return m_XmlObject.CopyToString();
}

void QSoundFile::CreateNewiXMLchunkMono(int t)
{
    m_XmlObject.ClearDoc();
    if (!m_XmlObject.CreateDoc()) {
        SendToRelay(QStringLiteral("CreateNewiXMLchunkMono()"),
                    QStringLiteral("Unable to create Doc\nfor update iXML Chunk!"), 0, 1, true, 0);
        return;
    }
    const QDomElement root = m_XmlObject.AddFirstElement(QStringLiteral("BWFXML"));
    WriteGeneralInfos(&m_XmlObject, root, t, false);
    WriteSpeedInfos(&m_XmlObject, root);
    WriteHistoryInfos(&m_XmlObject, root);
    WriteFilesetInfos(&m_XmlObject, root, false, t);
    WriteTracklistInfos(&m_XmlObject, root, false, t);
    WriteBextInfos(&m_XmlObject, root, t);
    WriteSyncPointList(&m_XmlObject, root);
    WriteVeltaPavane(&m_XmlObject, root);
}

void QSoundFile::CreateNewiXMLchunkPoly()
{
    // A poly file is its own whole file set: its identifiers carry track 1.
    const int t = 0;
    m_XmlObject.ClearDoc();
    if (!m_XmlObject.CreateDoc()) {
        SendToRelay(QStringLiteral("CreateNewiXMLchunkPoly()"),
                    QStringLiteral("Unable to create Doc\nfor update iXML Chunk!"), 0, 1, true, 0);
        return;
    }
    const QDomElement root = m_XmlObject.AddFirstElement(QStringLiteral("BWFXML"));
    WriteGeneralInfos(&m_XmlObject, root, t, true);
    WriteSpeedInfos(&m_XmlObject, root);
    WriteHistoryInfos(&m_XmlObject, root);
    WriteFilesetInfos(&m_XmlObject, root, true, t);
    WriteTracklistInfos(&m_XmlObject, root, true, t);
    WriteBextInfos(&m_XmlObject, root, t);
    WriteSyncPointList(&m_XmlObject, root);
    WriteVeltaPavane(&m_XmlObject, root);
}

QString QSoundFile::GenerateUID(int t, bool family) const
{
    // Five characters of the recorder's name/serial area of the Originator.
    const QByteArray creator = fixedField(GetCreator().mid(7, 5).toLocal8Bit(), 5);

    // 2019:05:14 and 2019-05-14 both become 20190514.
    QByteArray date = rawField(m_tBextChunk.OriginationDate(), bwf::kBextOriginationDateBytes, 10);
    date[4] = '-';
    date[7] = '-';
    date.replace("-", "");

    QByteArray time = rawField(m_tBextChunk.OriginationTime(), bwf::kBextOriginationTimeBytes, 8);
    time.replace(":", "");

    const QByteArray root = fixedField(QPath(NamingPath()).GetRoot().mid(3, 3).toLocal8Bit(), 3);

    QByteArray uid("VELPAV");
    uid += creator;
    uid += fixedField(date, 8);
    uid += fixedField(time, 6);
    uid += root;
    uid += QByteArray::number(family ? 0 : t + 1).rightJustified(4, '0');
    return QString::fromLocal8Bit(uid);
}

void QSoundFile::WriteGeneralInfos(QXmlObject* xml, QDomElement parent, int t, bool poly)
{
    Q_UNUSED(poly);
    xml->AddElement(parent, QStringLiteral("IXML_VERSION"), QStringLiteral("2.01"));

    // The project is the volume or folder name written as <project>_PV1 by the
    // recorder: the text after the last "/" before "PV1", minus the one
    // separator character in front of "PV1".
    const QString path = NamingPath();
    QString project = QStringLiteral("N/A");
    const int pv1 = path.indexOf(QLatin1String("PV1"));
    if (pv1 >= 0) {
        const int slash = path.lastIndexOf(QLatin1Char('/'), pv1);
        if (slash >= 0)
            project = path.mid(slash + 1, qMax(0, pv1 - slash - 2));
    }
    xml->AddElement(parent, QStringLiteral("PROJECT"), project);

    const QString take = GetBextTake();
    xml->AddElement(parent, QStringLiteral("SCENE"), GetBextScene());
    xml->AddElement(parent, QStringLiteral("TAKE"), take);
    xml->AddElement(parent, QStringLiteral("TAPE"), GetBextTape());
    const bool notGood = !take.isEmpty() && (take.at(0) == QLatin1Char('n') || take.at(0) == QLatin1Char('N'));
    xml->AddElement(parent, QStringLiteral("CIRCLED"), notGood ? QStringLiteral("FALSE") : QStringLiteral("TRUE"));
    xml->AddElement(parent, QStringLiteral("UBITS"), GetBextUbits());
    xml->AddElement(parent, QStringLiteral("NOTE"), GetBextNote());
    xml->AddElement(parent, QStringLiteral("FILE_UID"), GenerateUID(t, false));
}

void QSoundFile::WriteSpeedInfos(QXmlObject* xml, QDomElement parent)
{
    const QString speed = GetBextSpeed();
    const QString rate = speed.mid(1, 2);
    const QString mode = speed.mid(8, 2);
    const unsigned int r = m_tFmtChunk.SampleRate();

    QString flag = QStringLiteral("Unknown");
    QString tcRate = QStringLiteral("Unknown");
    bool withRates = false;
    bool pullDown = false;
    if (rate == QLatin1String("24") && mode == QLatin1String("ND")) {
        flag = QStringLiteral("NDF"); tcRate = QStringLiteral("24/1"); withRates = true;
    } else if (rate == QLatin1String("25") && mode == QLatin1String("ND")) {
        flag = QStringLiteral("NDF"); tcRate = QStringLiteral("25/1"); withRates = true;
    } else if (rate == QLatin1String("29") && mode == QLatin1String("DF")) {
        flag = QStringLiteral("DF"); tcRate = QStringLiteral("30000/1001"); withRates = true;
    } else if (rate == QLatin1String("29") && mode == QLatin1String("ND")) {
        flag = QStringLiteral("NDF"); tcRate = QStringLiteral("30000/1001"); pullDown = true;
    } else if (rate == QLatin1String("30") && mode == QLatin1String("ND")) {
        flag = QStringLiteral("NDF"); tcRate = QStringLiteral("30/1"); withRates = true;
    } else if (rate == QLatin1String("23") && mode == QLatin1String("ND")) {
        flag = QStringLiteral("NDF"); tcRate = QStringLiteral("24000/1001"); pullDown = true;
    }

    unsigned int digitizer = r;
    unsigned int timestamp = r;
    if (pullDown) {
        // The film code's pull-down family: A records at the pulled-down rate,
        // C stamps at the pulled-up one, B at neither.
        const QString frameRate = GetFrameRate();
        if (frameRate.endsWith(QLatin1Char('A'))) {
            digitizer = r - r / 1000;
            withRates = true;
        } else if (frameRate.endsWith(QLatin1Char('B'))) {
            withRates = true;
        } else if (frameRate.endsWith(QLatin1Char('C'))) {
            timestamp = r + r / 1000;
            withRates = true;
        }
    }

    QDomElement speedElement = xml->AddElement(parent, QStringLiteral("SPEED"));
    xml->AddElement(speedElement, QStringLiteral("TIMECODE_FLAG"), flag);
    xml->AddElement(speedElement, QStringLiteral("TIMECODE_RATE"), tcRate);
    xml->AddElement(speedElement, QStringLiteral("FILE_SAMPLE_RATE"), r);
    xml->AddElement(speedElement, QStringLiteral("AUDIO_BIT_DEPTH"), unsigned(m_tFmtChunk.BitsPerSample()));
    if (withRates)
        xml->AddElement(speedElement, QStringLiteral("DIGITIZER_SAMPLE_RATE"), digitizer);
    xml->AddElement(speedElement, QStringLiteral("TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI"),
                    unsigned(m_tBextChunk.TimeReferenceHigh()));
    xml->AddElement(speedElement, QStringLiteral("TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO"),
                    unsigned(m_tBextChunk.TimeReferenceLow()));
    if (withRates)
        xml->AddElement(speedElement, QStringLiteral("TIMESTAMP_SAMPLE_RATE"), timestamp);
}

void QSoundFile::WriteHistoryInfos(QXmlObject* xml, QDomElement parent)
{
    QDomElement history = xml->AddElement(parent, QStringLiteral("HISTORY"));
    xml->AddElement(history, QStringLiteral("ORIGINAL_FILENAME"), QPath(NamingPath()).GetFilename(true));
}

void QSoundFile::WriteFilesetInfos(QXmlObject* xml, QDomElement parent, bool poly, int t)
{
    QDomElement fileSet = xml->AddElement(parent, QStringLiteral("FILE_SET"));
    if (poly) {
        xml->AddElement(fileSet, QStringLiteral("TOTAL_FILES"), 1u);
    } else {
        const QPath naming(NamingPath());
        const QString groupPath = QStringLiteral("%1%2%3%4.%5")
                                      .arg(naming.GetPath(), naming.GetRoot(), naming.GetSeparator(),
                                           QString::number(1), naming.GetExtension());
        int total = QAll_HowManySoundFilesInGroup(groupPath);
        if (!m_sPath.isEmpty() && QPath(m_sPath).Path() != naming.Path() && !QFile::exists(naming.Path())) {
            // The file is being written under a temporary name and will be
            // renamed to its final name: count it as the take's file it will
            // become, and not under the temporary name should that name look
            // like one of the take's files.
            total += 1;
            const QPath temporary(m_sPath);
            if (temporary.GetPath() == naming.GetPath() && QFile::exists(m_sPath)
                && countedAsTakeFile(temporary.GetFilename(true), QPath(groupPath).GetRoot()))
                total -= 1;
        }
        xml->AddElement(fileSet, QStringLiteral("TOTAL_FILES"), unsigned(qMax(0, total)));
    }
    xml->AddElement(fileSet, QStringLiteral("FAMILY_UID"), GenerateUID(t, true));
    xml->AddElement(fileSet, QStringLiteral("FAMILY_NAME"),
                    QStringLiteral("%1/%2").arg(GetBextScene(), GetBextTake()));
    if (poly)
        xml->AddElement(fileSet, QStringLiteral("FILE_SET_INDEX"), QStringLiteral("A"));
    else
        xml->AddElement(fileSet, QStringLiteral("FILE_SET_INDEX"), unsigned(t + 1));
}

void QSoundFile::WriteTracklistInfos(QXmlObject* xml, QDomElement parent, bool poly, int t)
{
    const unsigned int channels = m_tFmtChunk.NbChannels();
    QDomElement list = xml->AddElement(parent, QStringLiteral("TRACK_LIST"));
    xml->AddElement(list, QStringLiteral("TRACK_COUNT"), channels);
    if (poly) {
        for (unsigned int c = 1; c <= channels; ++c) {
            QDomElement track = xml->AddElement(list, QStringLiteral("TRACK"));
            xml->AddElement(track, QStringLiteral("CHANNEL_INDEX"), c);
            xml->AddElement(track, QStringLiteral("INTERLEAVE_INDEX"), c);
            xml->AddElement(track, QStringLiteral("NAME"), QStringLiteral(" "));
            xml->AddElement(track, QStringLiteral("FUNCTION"), QString());
        }
        return;
    }
    QDomElement track = xml->AddElement(list, QStringLiteral("TRACK"));
    xml->AddElement(track, QStringLiteral("CHANNEL_INDEX"), unsigned(t + 1));
    xml->AddElement(track, QStringLiteral("INTERLEAVE_INDEX"), 1u);
    xml->AddElement(track, QStringLiteral("NAME"), QStringLiteral(" "));
    xml->AddElement(track, QStringLiteral("FUNCTION"), QString());
}

void QSoundFile::WriteBextInfos(QXmlObject* xml, QDomElement parent, int t)
{
    QDomElement bext = xml->AddElement(parent, QStringLiteral("BEXT"));
    xml->AddElement(bext, QStringLiteral("BWF_TIME_REFERENCE_LOW"), unsigned(m_tBextChunk.TimeReferenceLow()));
    xml->AddElement(bext, QStringLiteral("BWF_TIME_REFERENCE_HIGH"), unsigned(m_tBextChunk.TimeReferenceHigh()));
    xml->AddElement(bext, QStringLiteral("BWF_ORIGINATOR"),
                    QString::fromLocal8Bit(rawField(m_tBextChunk.Originator(), bwf::kBextOriginatorBytes, 32)));
    xml->AddElement(bext, QStringLiteral("BWF_ORIGINATOR_REFERENCE"), GenerateUID(t, false));
    xml->AddElement(bext, QStringLiteral("BWF_ORIGINATION_DATE"),
                    QString::fromLocal8Bit(rawField(m_tBextChunk.OriginationDate(), bwf::kBextOriginationDateBytes, 10)));
    xml->AddElement(bext, QStringLiteral("BWF_ORIGINATION_TIME"),
                    QString::fromLocal8Bit(rawField(m_tBextChunk.OriginationTime(), bwf::kBextOriginationTimeBytes, 8)));
    xml->AddElement(bext, QStringLiteral("BWF_VERSION"), unsigned(m_tBextChunk.Version()));
}

void QSoundFile::WriteSyncPointList(QXmlObject* xml, QDomElement parent)
{
    xml->AddElement(parent, QStringLiteral("SYNC_POINT_LIST"));
}

void QSoundFile::WriteVeltaPavane(QXmlObject* xml, QDomElement parent)
{
    QDomElement velta = xml->AddElement(parent, kVeltaSection);
    xml->AddElement(velta, QStringLiteral("INPUT_SETTINGS"));
    xml->AddElement(velta, QStringLiteral("REF_LEVEL"), QStringLiteral(" "));
    QDomElement table = xml->AddElement(velta, QStringLiteral("ALL_TRK_NAME"));
    for (unsigned int i = 0; i < unsigned(bwf::kMaxTracks); ++i) {
        QDomElement data = xml->AddElement(table, QStringLiteral("DATA"));
        xml->AddElement(data, QStringLiteral("INDICE"), i);
        xml->AddElement(data, QStringLiteral("ACTIVE"), QStringLiteral("NO"));
    }
}
