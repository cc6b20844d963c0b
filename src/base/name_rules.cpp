#include "base/name_rules.h"

#include <QVector>
#include <algorithm>

namespace {

constexpr uint ZERO_WIDTH_NON_JOINER = 0x200c;
constexpr uint ZERO_WIDTH_JOINER = 0x200d;
// Flags of a region are written with these after the black flag.
constexpr uint FIRST_TAG = 0xe0020;
constexpr uint LAST_TAG = 0xe007f;

bool allowed(uint c)
{
    if (c == ZERO_WIDTH_NON_JOINER || c == ZERO_WIDTH_JOINER || (c >= FIRST_TAG && c <= LAST_TAG))
        return true;
    // A line or paragraph separator would break a log line or a line of the API.
    const QChar::Category category = QChar::category(c);
    return QChar::isPrint(c) && category != QChar::Separator_Line && category != QChar::Separator_Paragraph;
}

} // namespace

bool NameRules::printable(const QString &text)
{
    const QVector<uint> characters = text.toUcs4();
    // A half without its other half comes back as the replacement character.
    const bool whole = QString::fromUcs4(characters.constData(), characters.size()) == text;
    return whole && std::all_of(characters.cbegin(), characters.cend(), allowed);
}

bool NameRules::within(const QString &text, int limit)
{
    // Counting UTF-16 units first keeps a huge text from being converted at all.
    return !text.isEmpty() && text.size() <= 2 * limit && text.toUcs4().size() <= limit && printable(text);
}

bool NameRules::displayName(const QString &name)
{
    return within(name, DISPLAY_NAME_LIMIT);
}

bool NameRules::sceneName(const QString &name)
{
    return name == name.trimmed() && within(name, SCENE_NAME_LIMIT);
}

bool NameRules::deviceName(const QString &name)
{
    return !name.contains(QLatin1Char('/')) && within(name, DEVICE_NAME_LIMIT);
}
