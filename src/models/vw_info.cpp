#include "models/vw_info.h"

#include <QRegularExpression>

namespace {

int extentOrOne(qint64 extent)
{
    return extent >= 1 && extent <= VwInfo::MAX_EXTENT ? int(extent) : 1;
}

} // namespace

VwInfo VwInfo::normalised(int columns, int rows, int column, int row)
{
    return VwInfo {extentOrOne(columns), extentOrOne(rows), column, row};
}

VwInfo VwInfo::parse(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("(\\d+):(\\d+):(\\d+):(\\d+)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return VwInfo();
    // The decoder counts extents from 0. Numbers too long for an int read as 0, and the
    // extent is formed in 64 bits so that the largest int cannot overflow on the way.
    const qint64 rowsLess1 = match.captured(1).toInt();
    const qint64 columnsLess1 = match.captured(2).toInt();
    VwInfo info;
    info.rows = extentOrOne(rowsLess1 + 1);
    info.columns = extentOrOne(columnsLess1 + 1);
    info.row = match.captured(3).toInt();
    info.column = match.captured(4).toInt();
    return info;
}

bool VwInfo::operator==(const VwInfo &other) const
{
    return columns == other.columns && rows == other.rows && column == other.column && row == other.row;
}
