#pragma once

#include <QSize>
#include <QString>

// A decoder's place in a video wall. A stand-alone decoder is a 1 x 1 wall at (0, 0);
// a decoder whose geometry has not been read yet is all zeros.
struct VwInfo
{
    static constexpr int MAX_EXTENT = 8;

    int columns = 0;
    int rows = 0;
    int column = 0;
    int row = 0;

    // Wall extents outside 1..MAX_EXTENT become 1; the position is kept as given.
    static VwInfo normalised(int columns, int rows, int column, int row);
    // Reads the decoder's "rows-1:columns-1:row:column" answer; all zeros when absent.
    static VwInfo parse(const QString &text);
    static VwInfo standAlone() { return normalised(1, 1, 0, 0); }

    QSize size() const { return QSize(columns, rows); }
    bool isStandAlone() const { return columns == 1 && rows == 1; }
    bool operator==(const VwInfo &other) const;
};
