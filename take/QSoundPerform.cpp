// SPDX-License-Identifier: GPL-3.0-or-later
#include "QSoundPerform.h"

#include "DebugOutput.h"
#include "FileNaming.h"
#include "MessageLoging.h"
#include "MyFileInfoList.h"
#include "QPath.h"

#include <QDomElement>
#include <QFileInfo>

namespace {

const QString kSpace = QStringLiteral(" ");

enum class Family { Classik, MS, Diese, Plus };

struct NameForm
{
    QChar separator;
    bool twoDigits;   // TrkIndexToNN, else TrkIndexToCharOld
    Family family;
};

// The five names under which track n of a take may be stored, in the order
// they are tried.
constexpr int kNameForms = 5;
const NameForm kForms[kNameForms] = {
    {QLatin1Char('_'), true, Family::Classik},
    {QLatin1Char('_'), false, Family::Classik},
    {QLatin1Char('-'), false, Family::MS},
    {QLatin1Char('#'), false, Family::Diese},
    {QLatin1Char('+'), false, Family::Plus},
};

QString trackFileName(const QString& key, const NameForm& form, int n, const QString& ext)
{
    const QString code = form.twoDigits ? TrkIndexToNN(n) : QString(TrkIndexToCharOld(n));
    return key + form.separator + code + QLatin1Char('.') + ext;
}

quint32 sizeOnDisk(const QSoundFile& file)
{
    const qint64 size = file.IsOpen() ? file.m_File.size() : QFileInfo(file.m_sPath).size();
    if (size < 0)
        return 0;
    return size > qint64(0xFFFFFFFFu) ? 0xFFFFFFFFu : quint32(size);
}

QDomElement firstChildNamed(const QDomElement& parent, const QString& name)
{
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.tagName() == name)
            return e;
    }
    return QDomElement();
}

// Names and active texts of all 24 tracks from the vendor track table, in one
// pass. Gives what GetiXMLVeltaTracknames(k) and GetiXMLVeltaTrackActive(k)
// give for every k (the first of the first 24 DATA entries whose INDICE is k),
// without walking the table 48 times for every take of a listing.
void readVendorTrackTable(QSoundFile& file, std::array<QString, QSoundPerform::kMaxSlots>& names,
                          std::array<QString, QSoundPerform::kMaxSlots>& actives)
{
    for (int k = 0; k < QSoundPerform::kMaxSlots; ++k) {
        names[size_t(k)].clear();
        actives[size_t(k)].clear();
    }
    if (!file.m_XmlObject.XmlOk())
        return;
    const QDomElement table =
        file.m_XmlObject.GetPtrElement(QStringLiteral("ALL_TRK_NAME"), QStringList{QStringLiteral("VELTA_PAVANE")});
    if (table.isNull())
        return;
    const QString data = QStringLiteral("DATA");
    const QString indiceTag = QStringLiteral("INDICE");
    const QString nameTag = QStringLiteral("NAME");
    const QString activeTag = QStringLiteral("ACTIVE");
    std::array<bool, QSoundPerform::kMaxSlots> seen{};
    int position = 0;
    for (QDomElement e = table.firstChildElement(); !e.isNull() && position < QSoundPerform::kMaxSlots;
         e = e.nextSiblingElement()) {
        if (e.tagName() != data)
            continue;
        ++position;
        bool ok = false;
        const int indice = firstChildNamed(e, indiceTag).text().trimmed().toInt(&ok);
        if (!ok || indice < 0 || indice >= QSoundPerform::kMaxSlots || seen[size_t(indice)])
            continue;
        seen[size_t(indice)] = true;
        names[size_t(indice)] = firstChildNamed(e, nameTag).text();
        actives[size_t(indice)] = firstChildNamed(e, activeTag).text();
    }
}

} // namespace

QSoundPerform::QSoundPerform()
{
    for (auto& f : m_Files)
        f = std::make_unique<QSoundFile>();
    ResetVariables();
}

QSoundPerform::~QSoundPerform()
{
    for (auto& f : m_Files) {
        if (f && f->IsOpen())
            f->Close();
    }
}

void QSoundPerform::ResetVariables()
{
    for (int t = 0; t < kMaxSlots; ++t) {
        QSoundFile& f = File(t);
        if (f.IsOpen())
            f.Close();
        f.InitVariables();
        m_bPresent[size_t(t)] = false;
    }

    m_nNbFiles = 0;
    m_bPoly = false;
    m_sFolderPath.clear();
    m_sRoot.clear();
    m_sExtension.clear();

    m_nSampleRate = 0;
    m_nBitsPerSample = 0;
    m_nNbChannels = 0;
    m_nDataSize = 0;
    m_nSizeOnDisk = 0;
    m_nNumerikSize = 0;
    m_sCreationDate.clear();
    m_sUbits.clear();
    m_sTape.clear();
    m_bLowerCaseTag = false;
    m_sTimeCode.clear();
    m_sFrameRate.clear();
    m_nFrameRate = 0;
    m_sDuration.clear();
    m_nDurationFrames = 0;
    m_nTimeCodeFrame = 0;

    m_sScene = kSpace;
    m_sTakeIndicator.clear();
    m_sTakeNumber = QStringLiteral("0");
    m_sNotes = kSpace;
    m_sCircled = kSpace;
    m_nScTkTemplate = 0;
    m_sAdvancedComposition.clear();
    m_AdvancedFields.clear();
    m_nSlateCount = 0;
    std::fill(std::begin(m_nSlateSamples), std::end(m_nSlateSamples), 0u);
    std::fill(std::begin(m_nSlateFrames), std::end(m_nSlateFrames), 0u);
    m_slSlateComments.clear();
    m_bSlateAuto = false;
    m_nMarkerCount = 0;
    std::fill(std::begin(m_nMarkerSamples), std::end(m_nMarkerSamples), 0u);
    m_slMarkerComments.clear();

    m_sTrackName.fill(kSpace);
    m_sTrackActive.fill(kSpace);
}

bool QSoundPerform::QuickInitFiles(const QString& key, const QString& ext, MyFileInfoList* list, bool readFileInfos)
{
    ResetVariables();

    QString polyPath = key + QLatin1Char('.') + ext;
    QFileInfo polyInfo(polyPath);
    bool result = true;
    if (polyInfo.isFile()) {
        QPath qpath(polyPath);
        result = InitPolyFiles(&polyInfo, &polyPath, &qpath);
    } else {
        bool first = true;
        for (int n = 1; n <= kMaxSlots; ++n) {
            const unsigned t = unsigned(n - 1);
            int form = -1;
            QString path;
            for (int f = 0; f < kNameForms; ++f) {
                const QString candidate = trackFileName(key, kForms[f], n, ext);
                if (list) {
                    const int index = list->indexOfBoosted(candidate);
                    if (index >= 0) {
                        form = f;
                        path = list->GetAbsoluteFilePath(index);
                        break;
                    }
                } else if (QFileInfo(candidate).isFile()) {
                    form = f;
                    path = candidate;
                    break;
                }
            }
            if (form < 0)
                continue;
            if (!first) {
                // Only the first file is opened; the others are known by name.
                ++m_nNbFiles;
                continue;
            }
            QPath qpath(path);
            switch (kForms[form].family) {
            case Family::Classik: result = InitMonoClassikFiles(&path, &qpath, t, &first, readFileInfos); break;
            case Family::MS: result = InitMonoMSFiles(&path, &qpath, t, &first); break;
            case Family::Diese: result = InitMonoDieseFiles(&path, &qpath, t, &first); break;
            case Family::Plus: result = InitMonoPlusFiles(&path, &qpath, t, &first); break;
            }
        }
    }
    if (!result)
        ResetVariables();
    return result;
}

bool QSoundPerform::InitFilesZZ(const QString& key, const QString& ext)
{
    ResetVariables();

    QString polyPath = key + QLatin1Char('.') + ext;
    QFileInfo polyInfo(polyPath);
    bool ok = true;
    bool loaded = false;
    if (polyInfo.isFile()) {
        QPath qpath(polyPath);
        ok = InitPolyFiles(&polyInfo, &polyPath, &qpath);
        loaded = m_nNbChannels > 0;
    } else {
        bool first = true;
        for (int n = 1; n <= kMaxSlots; ++n) {
            const unsigned t = unsigned(n - 1);
            for (int f = 0; f < kNameForms; ++f) {
                QString path = trackFileName(key, kForms[f], n, ext);
                if (!QFileInfo(path).isFile())
                    continue;
                QPath qpath(path);
                bool r = false;
                switch (kForms[f].family) {
                case Family::Classik: r = InitMonoClassikFiles(&path, &qpath, t, &first, false); break;
                case Family::MS: r = InitMonoMSFiles(&path, &qpath, t, &first); break;
                case Family::Diese: r = InitMonoDieseFiles(&path, &qpath, t, &first); break;
                case Family::Plus: r = InitMonoPlusFiles(&path, &qpath, t, &first); break;
                }
                // Every file of the take must load: the take is about to be
                // written to, and a file that could not be read would be left
                // out of the rewrite and disagree with the others.
                ok = ok && r;
                loaded = true;
                break;
            }
        }
    }
    if (!ok || !loaded) {
        ResetVariables();
        return false;
    }
    if (!TestCoherenceFiles()) {
        ResetVariables();
        return false;
    }
    return true;
}

bool QSoundPerform::InitPolyFiles(QFileInfo* info, QString* path, QPath* qpath)
{
    Q_UNUSED(info)
    QSoundFile& f = File(0);
    f.InitVariables();
    if (!f.Open(*path, 0))
        return false;
    const bool ok = f.ReadChunks(true, false);
    m_bPoly = true;
    m_bPresent[0] = true;
    m_sFolderPath = qpath->GetPath();
    m_sRoot = qpath->GetFilename(false);
    m_sExtension = qpath->GetExtension();
    GetAllInfos(0);
    GetiXMLInfos(0);
    m_nNbFiles = 1;
    f.Close();
    return ok;
}

bool QSoundPerform::LoadMonoFile(const QString& path, QPath* qpath, unsigned t, bool* first, bool stopOnChunkFailure)
{
    if (t >= unsigned(kMaxSlots))
        return false;
    QSoundFile& f = File(int(t));
    f.InitVariables();
    if (!f.Open(path, 0))
        return false;
    const bool chunksOk = f.ReadChunks(true, false);
    if (!chunksOk && stopOnChunkFailure) {
        f.Close();
        return false;
    }

    m_bPresent[t] = true;
    ++m_nNbFiles;

    // Parsed once here and used both for the track table below and by the
    // metadata read that follows.
    const bool hadText = !f.m_siXML.isEmpty();
    const bool parsed = hadText && f.GetiXMLFileInfos();

    if (*first) {
        m_bPoly = false;
        m_sFolderPath = qpath->GetPath();
        m_sRoot = qpath->GetRoot();
        m_sExtension = qpath->GetExtension();
        GetAllInfos(short(t));
        *first = false;
        if (f.HasiXMLChunk() && parsed) {
            readVendorTrackTable(f, m_sTrackName, m_sTrackActive);
        } else {
            for (int k = 0; k < kMaxSlots; ++k) {
                m_sTrackName[size_t(k)].clear();
                m_sTrackActive[size_t(k)].clear();
            }
        }
    }
    ReadiXMLInfos(short(t), hadText, parsed);
    f.Close();
    return chunksOk;
}

bool QSoundPerform::InitMonoClassikFiles(QString* path, QPath* qpath, unsigned t, bool* first, bool readFileInfos)
{
    Q_UNUSED(readFileInfos)
    return LoadMonoFile(*path, qpath, t, first, false);
}

bool QSoundPerform::InitMonoMSFiles(QString* path, QPath* qpath, unsigned t, bool* first)
{
    if (t >= unsigned(kMaxSlots))
        return false;
    // M and S come in pairs: tracks 1-2, 3-4, ... A lone half is not loaded.
    const unsigned partner = (t % 2 == 0) ? t + 1 : t - 1;
    const QString base = qpath->GetPath() + qpath->GetRoot() + QLatin1Char('-');
    const QString ext = QLatin1Char('.') + qpath->GetExtension();
    const bool partnerExists = QFileInfo(base + TrkIndexToNN(int(partner) + 1) + ext).isFile()
        || QFileInfo(base + TrkIndexToCharOld(int(partner) + 1) + ext).isFile();
    if (!partnerExists)
        return false;
    return LoadMonoFile(*path, qpath, t, first, true);
}

bool QSoundPerform::InitMonoDieseFiles(QString* path, QPath* qpath, unsigned t, bool* first)
{
    return LoadMonoFile(*path, qpath, t, first, true);
}

bool QSoundPerform::InitMonoPlusFiles(QString* path, QPath* qpath, unsigned t, bool* first)
{
    return LoadMonoFile(*path, qpath, t, first, true);
}

void QSoundPerform::GetAllInfos(short t)
{
    if (t < 0 || t >= kMaxSlots)
        return;
    const QSoundFile& f = File(t);
    m_nSampleRate = f.GetSampleRate();
    m_nBitsPerSample = qint16(f.GetBitsPerSample());
    m_nNbChannels = qint16(f.GetNbChannels());
    m_nDataSize = f.GetDataSize();
    m_nNumerikSize = f.GetNumerikSize();
    m_sCreationDate = f.GetCreationDate();
    m_sUbits = f.GetBextUbits();
    m_sTape = f.GetBextTape();
    const QString tag = f.GetBextTag();
    m_bLowerCaseTag = !tag.isEmpty() && tag.at(0) >= QLatin1Char('a');
    m_sTimeCode = f.GetTimeCode(m_bLowerCaseTag);
    m_sFrameRate = f.GetFrameRate();
    m_nFrameRate = f.GetNumerikFrameRate();
    m_sDuration = f.GetDuration();
    m_nDurationFrames = f.GetDurationFrameBool(m_bLowerCaseTag);
    m_nTimeCodeFrame = f.GetTimeCodeFrame(m_bLowerCaseTag);
    m_nSizeOnDisk = sizeOnDisk(f);
}

bool QSoundPerform::GetiXMLInfos(short t)
{
    if (t < 0 || t >= kMaxSlots) {
        MyQDebug("QSoundPerform::GetiXMLInfos() Invalid file number %d !", int(t));
        return true;
    }
    QSoundFile& f = File(t);
    const bool hadText = !f.m_siXML.isEmpty();
    const bool parsed = hadText && f.GetiXMLFileInfos();
    return ReadiXMLInfos(t, hadText, parsed);
}

bool QSoundPerform::ReadiXMLInfos(short t, bool hadText, bool parsed)
{
    QSoundFile& f = File(t);
    if (!parsed) {
        if (!hadText)
            return false;
        MyPrintf("XML ERROR ON FILE Number %d\n", int(t));
        return true;
    }

    if (!m_bPoly) {
        if (!m_bPresent[size_t(t)]) {
            int firstPresent = -1;
            for (int k = 0; k < kMaxSlots; ++k) {
                if (m_bPresent[size_t(k)]) {
                    firstPresent = k;
                    break;
                }
            }
            if (firstPresent >= 0)
                m_sTrackActive[size_t(t)] = File(firstPresent).GetiXMLVeltaTrackActive(t);
            return false;
        }
        const int m = f.GetiXMLMonoTrackNumber();
        const QString name = f.GetiXMLMonoTrackName();
        // A missing CHANNEL_INDEX gives -1: no track to name then.
        if (m >= 0 && m < kMaxSlots) {
            m_sTrackName[size_t(m)] = name;
            m_sTrackActive[size_t(m)] = f.GetiXMLVeltaTrackActive(m);
        }
        m_sScene = f.GetiXMLScene();
        m_sTakeIndicator = f.GetiXMLTakeIndicator();
        m_sTakeNumber = f.GetiXMLTakeNumber();
        m_sNotes = f.GetiXMLNotes();
        m_sCircled = f.GetiXMLCircled();
        m_nScTkTemplate = f.GetiXMLScTkTemplate();
        if (m_nScTkTemplate == 4 || m_nScTkTemplate == 5) {
            m_sAdvancedComposition = f.GetiXMLAdvancedScTkTemplateCompostion();
            m_AdvancedFields = f.GetiXMLAdvancedScTkFields();
        }
        f.GetiXMLSyncPoint(&m_nSlateCount, m_nSlateSamples, m_nSlateFrames, &m_slSlateComments, m_bLowerCaseTag,
                           &m_nMarkerCount, m_nMarkerSamples, &m_slMarkerComments, &m_bSlateAuto);
        return false;
    }

    for (int k = 0; k < kMaxSlots; ++k) {
        const QString name = f.GetiXMLPolyTrackName(k);
        QString active = f.GetiXMLVeltaTrackActive(k);
        if (active.isEmpty())
            active = name.trimmed().isEmpty() ? QStringLiteral("no") : QStringLiteral("yes");
        m_sTrackName[size_t(k)] = name;
        m_sTrackActive[size_t(k)] = active;
    }
    m_sScene = f.GetiXMLScene();
    m_nScTkTemplate = f.GetiXMLScTkTemplate();
    if (m_nScTkTemplate == 4 || m_nScTkTemplate == 5) {
        m_sAdvancedComposition = f.GetiXMLAdvancedScTkTemplateCompostion();
        m_AdvancedFields = f.GetiXMLAdvancedScTkFields();
    }
    m_sTakeIndicator = f.GetiXMLTakeIndicator();
    m_sTakeNumber = f.GetiXMLTakeNumber();
    m_sNotes = f.GetiXMLNotes();
    m_sCircled = f.GetiXMLCircled();
    return false;
}

bool QSoundPerform::TestCoherenceFiles()
{
    for (int t = 0; t < kMaxSlots; ++t) {
        if (!m_bPresent[size_t(t)])
            continue;
        const QSoundFile& f = File(t);
        QString text;
        if (f.GetSampleRate() != m_nSampleRate)
            text = QStringLiteral("All files haven't the same sample rate !\n");
        else if (qint16(f.GetBitsPerSample()) != m_nBitsPerSample)
            text = QStringLiteral("All files haven't the same sample bits rate !\n");
        else if (f.GetDataSize() != m_nDataSize)
            text = QStringLiteral("All files haven't the same Data size (%1 %2)!\n")
                       .arg(qint32(f.GetDataSize()))
                       .arg(qint32(m_nDataSize));
        else if (sizeOnDisk(f) != m_nSizeOnDisk)
            text = QStringLiteral("All files haven't the same  size on disk !\n");
        if (!text.isEmpty()) {
            SendToRelay(QStringLiteral("TestCoherenceFiles"), text + f.m_sPath, 0, 1, true, 0);
            return false;
        }
    }
    return true;
}

short QSoundPerform::GetFirstTrack() const
{
    for (int t = 0; t < kMaxSlots; ++t) {
        if (m_bPresent[size_t(t)])
            return short(t);
    }
    return 0;
}

QString QSoundPerform::FindMonoTrackFile(const QString& takeKey, int n, const QString& extension)
{
    for (const NameForm& form : kForms) {
        const QString path = trackFileName(takeKey, form, n, extension);
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

void QSoundPerform::GetMonoFilePath(int t, QString& out) const
{
    out = m_sFolderPath + m_sRoot + QLatin1Char('_') + TrkIndexToNN(t + 1) + QLatin1Char('.') + m_sExtension;
}
