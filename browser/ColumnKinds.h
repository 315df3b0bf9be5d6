// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <Qt>

#include <array>

// The column kinds a browsing table knows. Row contents are chosen by the
// kind's index; show/hide rules look at its identifier (equal to the index
// except for the three sample columns, whose identifiers run backwards).
enum ColumnKindIndex {
    BLK_DATA_EMPTY = 0,
    BLK_DATA_INDEX,
    BLK_DATA_FILEID,
    BLK_DATA_CIRCLED,
    BLK_DATA_SCENE,
    BLK_DATA_TAKE,
    BLK_DATA_NOTES,
    BLK_DATA_TRACKS,
    BLK_DATA_TCSTART,
    BLK_DATA_TCEND,
    BLK_DATA_DURATION,
    BLK_DATA_TOTSIZE,
    BLK_DATA_TYPE,
    BLK_DATA_FREQUENCY,
    BLK_DATA_BITS,
    BLK_DATA_TCFPS,
    BLK_DATA_UBITS,
    BLK_DATA_TAPE,
    BLK_DATA_DATE,
    BLK_DATA_TRACK1 = 19,
    BLK_DATA_TRACK24 = 42,
    BLK_DATA_SLATE_A = 43,
    BLK_DATA_SLATE_J = 52,
    BLK_DATA_MARKER_A = 53,
    BLK_DATA_MARKER_J = 62,
    BLK_DATA_SEASON = 63,
    BLK_DATA_EPISODE,
    BLK_DATA_SEQUENCE,
    BLK_DATA_SLATE,
    BLK_DATA_UNIT,
    BLK_DATA_EFFECT,
    BLK_DATA_FILENAME = 69,
    BLK_DATA_IN_SPLTC = 70,
    BLK_DATA_OUT_SPLTC = 71,
    BLK_DATA_INOUT_SPLTC = 72,
    BLK_DATA_LAST = 73
};

// Browser types: what a table lists and which layout it uses.
enum tBrowserType {
    BROWSER_NONE = 0,
    BROWSER_TAKES = 1,          // target table
    BROWSER_TRACKS8 = 2,
    BROWSER_CIRCLED = 3,
    BROWSER_CIRCLED_SIZE = 4,
    BROWSER_REPORTS = 5,
    BROWSER_NOTES = 6,
    BROWSER_TAKES_TC = 7,
    BROWSER_RAW_BWF = 8         // source table
};

struct ColumnKind
{
    int identifier = 0;
    QString longName;
    QString shortName;
    int width = 0;
    int position = -1;                       // column in the table, -1 = not in the layout
    Qt::Alignment alignment = Qt::AlignCenter;
};

using ColumnKindTable = std::array<ColumnKind, BLK_DATA_LAST>;

// The constant default table (every position -1).
const ColumnKindTable& DefaultColumnKinds();

// Copies the default table and gives positions 0, 1, 2 ... to the kinds of
// the layout of `type`; an unknown type gives no positioned kind.
ColumnKindTable ColumnKindsForLayout(int type);

// The advanced-field key (and mask bit) of a Season ... Effect kind, 0 for others.
int AdvancedFieldKeyOfKind(int kindIndex);
