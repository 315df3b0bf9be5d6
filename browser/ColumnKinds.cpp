// SPDX-License-Identifier: GPL-3.0-or-later
#include "ColumnKinds.h"

#include <vector>

namespace {

ColumnKind kind(int id, const char* longName, const char* shortName, int width,
                Qt::Alignment align = Qt::AlignCenter)
{
    ColumnKind k;
    k.identifier = id;
    k.longName = QString::fromLatin1(longName);
    k.shortName = QString::fromLatin1(shortName);
    k.width = width;
    k.alignment = align;
    return k;
}

ColumnKindTable buildDefaults()
{
    const Qt::Alignment leftCentred = Qt::AlignLeft | Qt::AlignVCenter;
    ColumnKindTable t;
    t[0] = kind(0, "Empty", "-", 35);
    t[1] = kind(1, "Index", "Idx", 35);
    t[2] = kind(2, "File ID", "FileID", 73);
    t[3] = kind(3, "Circled", "C", 30);
    t[4] = kind(4, "Scene", "Sc", 78);
    t[5] = kind(5, "Take", "Tk", 35);
    t[6] = kind(6, "Notes", "Notes", 245, Qt::AlignLeft);
    t[7] = kind(7, "Tracks", "Trcks", 55);
    t[8] = kind(8, "TC Start ", "TC in", 76);
    t[9] = kind(9, "TC End", "TC out", 99);
    t[10] = kind(10, "Duration", "Dur.", 80);
    t[11] = kind(11, "Tot Size", "Size", 50);
    t[12] = kind(12, "Type", "Type", 45);
    t[13] = kind(13, "Frequency", "Freq.", 40);
    t[14] = kind(14, "Bits     ", "Bits", 56);
    t[15] = kind(15, "TC Fps", "TC Fps", 54);
    t[16] = kind(16, "User bits", "Ubits", 81);
    t[17] = kind(17, "Tape Ref", "Tape", 54);
    t[18] = kind(18, "Date", "Date", 93);
    for (int n = 1; n <= 24; ++n) {
        const int i = BLK_DATA_TRACK1 + n - 1;
        t[size_t(i)] = kind(i, "", "", 70);
        t[size_t(i)].longName = QStringLiteral("Track %1").arg(n);
        t[size_t(i)].shortName = QStringLiteral("T%1").arg(n);
    }
    for (int n = 0; n < 10; ++n) {
        const QChar letter = QChar(QLatin1Char('A').unicode() + n);
        const int s = BLK_DATA_SLATE_A + n;
        t[size_t(s)] = kind(s, "", "", (n == 1 || n == 4) ? 89 : 99);
        t[size_t(s)].longName = QStringLiteral("TC Slate ") + letter;
        t[size_t(s)].shortName = QStringLiteral("Slt ") + letter;
        const int m = BLK_DATA_MARKER_A + n;
        t[size_t(m)] = kind(m, "", "", n == 4 ? 89 : 99);
        t[size_t(m)].longName = QStringLiteral("TC Marker ") + letter;
        t[size_t(m)].shortName = QStringLiteral("Mrk ") + letter;
    }
    t[63] = kind(63, "Season", "Seas.", 40);
    t[64] = kind(64, "Episode", "Ep.", 50);
    t[65] = kind(65, "Sequence", "Seq.", 80);
    t[66] = kind(66, "Slate", "Slt", 40);
    t[67] = kind(67, "Unit", "Un.", 25);
    t[68] = kind(68, "Effect", "Eff.", 40);
    t[69] = kind(69, "File Name", "Fname.", 100, leftCentred);
    // The three sample columns carry their identifiers in reverse order.
    t[70] = kind(72, "In SplTc", "ISplT.", 100, leftCentred);
    t[71] = kind(71, "Out SplTc", "OSplTc", 100, leftCentred);
    t[72] = kind(70, "In Out Sample Tc", "SplTc", 100, leftCentred);
    return t;
}

std::vector<int> tracks(int first, int last)
{
    std::vector<int> v;
    for (int n = first; n <= last; ++n)
        v.push_back(BLK_DATA_TRACK1 + n - 1);
    return v;
}

std::vector<int> layoutOf(int type)
{
    std::vector<int> v;
    auto add = [&v](std::initializer_list<int> kinds) { v.insert(v.end(), kinds); };
    auto addTracks = [&v](int first, int last) {
        const std::vector<int> t = tracks(first, last);
        v.insert(v.end(), t.begin(), t.end());
    };
    switch (type) {
    case BROWSER_TAKES:
        add({BLK_DATA_FILEID, BLK_DATA_SCENE, BLK_DATA_SEASON, BLK_DATA_EPISODE, BLK_DATA_SEQUENCE,
             BLK_DATA_SLATE, BLK_DATA_UNIT, BLK_DATA_EFFECT, BLK_DATA_TAKE, BLK_DATA_TRACKS,
             BLK_DATA_INOUT_SPLTC, BLK_DATA_OUT_SPLTC, BLK_DATA_DURATION, BLK_DATA_NOTES});
        addTracks(1, 24);
        break;
    case BROWSER_TRACKS8:
        add({BLK_DATA_FILEID});
        addTracks(1, 8);
        break;
    case BROWSER_CIRCLED:
    case BROWSER_CIRCLED_SIZE:
        add({BLK_DATA_FILEID, BLK_DATA_CIRCLED, BLK_DATA_SCENE, BLK_DATA_TAKE, BLK_DATA_TOTSIZE});
        break;
    case BROWSER_REPORTS:
        add({BLK_DATA_FILEID, BLK_DATA_TYPE});
        break;
    case BROWSER_NOTES:
        add({BLK_DATA_FILEID, BLK_DATA_NOTES, BLK_DATA_SCENE, BLK_DATA_TAKE});
        break;
    case BROWSER_TAKES_TC:
        add({BLK_DATA_FILEID, BLK_DATA_SCENE, BLK_DATA_SEASON, BLK_DATA_EPISODE, BLK_DATA_SEQUENCE,
             BLK_DATA_SLATE, BLK_DATA_UNIT, BLK_DATA_EFFECT, BLK_DATA_TAKE, BLK_DATA_TRACKS,
             BLK_DATA_TCSTART, BLK_DATA_TCEND, BLK_DATA_NOTES});
        addTracks(1, 24);
        break;
    case BROWSER_RAW_BWF:
        add({BLK_DATA_FILEID, BLK_DATA_FILENAME});
        break;
    default:
        break;
    }
    return v;
}

} // namespace

const ColumnKindTable& DefaultColumnKinds()
{
    static const ColumnKindTable table = buildDefaults();
    return table;
}

ColumnKindTable ColumnKindsForLayout(int type)
{
    ColumnKindTable t = DefaultColumnKinds();
    int position = 0;
    for (int k : layoutOf(type))
        t[size_t(k)].position = position++;
    if (type == BROWSER_NOTES)
        t[BLK_DATA_NOTES].width = 120;
    return t;
}

int AdvancedFieldKeyOfKind(int kindIndex)
{
    switch (kindIndex) {
    case BLK_DATA_SEQUENCE: return 1;
    case BLK_DATA_SLATE: return 2;
    case BLK_DATA_SEASON: return 3;
    case BLK_DATA_EPISODE: return 4;
    case BLK_DATA_EFFECT: return 5;
    case BLK_DATA_UNIT: return 6;
    default: return 0;
    }
}
