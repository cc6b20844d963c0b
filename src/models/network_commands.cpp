#include "models/network_commands.h"

#include <algorithm>
#include <atomic>

namespace {

// The decoder's shell reads one command per line.
const QString LINE_END = QStringLiteral("\r\n");
// What the decoder calls "no source".
const QString NO_SOURCE = QStringLiteral("NULL");

bool isPlainNameCharacter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
        || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char('_')
        || c == QLatin1Char('.') || c == QLatin1Char(':');
}

bool hasControlCharacter(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

// Plain names go out byte for byte, as decoders have always received them. Anything else
// is taken literally by the shell inside single quotes, where only the quote itself needs
// care: it closes the quoting, is escaped, and the quoting opens again.
QString shellWord(const QString &name)
{
    if (std::all_of(name.cbegin(), name.cend(), isPlainNameCharacter))
        return name;
    QString quoted = name;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

bool isDatagramField(const QString &name)
{
    return !hasControlCharacter(name) && !name.contains(QLatin1Char(':')) && !name.contains(QLatin1Char(' '));
}

// Inside double quotes a POSIX shell still expands "$" and "`", and "\" escapes them and
// the quote itself: all four are escaped so the text arrives as typed.
QString escapeForDoubleQuotes(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size() * 2);
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"') || c == QLatin1Char('$') || c == QLatin1Char('`'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return escaped;
}

// The first value after "-p" places the number so that it stays centred on screen.
int osdHorizontalPosition(int digits)
{
    switch (digits) {
    case 1:
        return 4300;
    case 2:
        return 3700;
    case 3:
        return 3200;
    default:
        return 2500;
    }
}

std::atomic<quint64> udpMessageCounter {0};

} // namespace

INetworkCommand::~INetworkCommand() = default;

QByteArray INetworkCommand::bytes() const
{
    return valid ? text.toUtf8() : QByteArray();
}

TelnetQuerySourceSelect::TelnetQuerySourceSelect()
{
    text = QStringLiteral("gbparam g source_select") + LINE_END;
}

TelnetQueryVwInfo::TelnetQueryVwInfo()
{
    text = QStringLiteral("gbparam g crop_param") + LINE_END;
}

TelnetSwitchSourceCommand::TelnetSwitchSourceCommand(const QString &source)
{
    valid = !hasControlCharacter(source);
    text = QStringLiteral("gbconfig --source-select=%1;e e_reconnect")
               .arg(source.isEmpty() ? NO_SOURCE : shellWord(source))
        + LINE_END;
}

TelnetConfigVW::TelnetConfigVW()
    : TelnetConfigVW(1, 1, 0, 0)
{
}

TelnetConfigVW::TelnetConfigVW(int rows, int columns, int row, int column)
{
    text = QStringLiteral("e e_vw_enable_%1_%2_%3_%4;e e_reconnect").arg(rows - 1).arg(columns - 1).arg(row).arg(column)
        + LINE_END;
}

TelnetOsdShow::TelnetOsdShow(int number)
{
    if (number < 0) {
        text = QStringLiteral("osd_show -c 1") + LINE_END;
        return;
    }
    const QString digits = QString::number(number);
    text = QStringLiteral("osd_show -o 1 -s \"%1\" -f 800 -p %2,2500")
               .arg(digits)
               .arg(osdHorizontalPosition(digits.size()))
        + LINE_END;
}

TelnetDisplayOn::TelnetDisplayOn()
{
    text = QStringLiteral("e e_cec_one_touch_play") + LINE_END;
}

TelnetDisplayOff::TelnetDisplayOff()
{
    text = QStringLiteral("e e_cec_system_standby") + LINE_END;
}

TelnetCecCustomCommand::TelnetCecCustomCommand(const QString &command)
{
    valid = !hasControlCharacter(command);
    text = QStringLiteral("cec -s  \"%1\"").arg(escapeForDoubleQuotes(command)) + LINE_END;
}

UdpConfigSources::UdpConfigSources(const QString &source, const QStringList &names)
{
    const quint64 number = ++udpMessageCounter;
    valid = isDatagramField(source);
    for (const QString &name : names)
        valid = valid && !name.isEmpty() && isDatagramField(name);
    text = QStringLiteral("msg_b_reconnect %1:%2:%3 %4")
               .arg(source, QString::number(number), QString::number(names.size()), names.join(QLatin1Char(' ')));
}
