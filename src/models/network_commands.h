#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// One instruction for a device, reduced to the exact bytes that go on the wire.
// Built on the stack, its bytes taken at once, then dropped.
class INetworkCommand
{
public:
    virtual ~INetworkCommand();

    // The text as UTF-8; empty for a refused command, so that nothing of an unsafe
    // name can leave the program even through a caller that forgot to ask isValid().
    QByteArray bytes() const;

    // False when a parameter could not be put into the command safely; the caller
    // logs a warning and sends nothing.
    bool isValid() const { return valid; }

protected:
    QString text;
    bool valid = true;
};

class TelnetQuerySourceSelect : public INetworkCommand
{
public:
    TelnetQuerySourceSelect();
};

class TelnetQueryVwInfo : public INetworkCommand
{
public:
    TelnetQueryVwInfo();
};

// An empty source switches the decoder to no source ("NULL"). Source names come from
// discovery replies, which anyone on the LAN can send: a name outside the plain set
// (letters, digits, "-", "_", ".", ":") is single-quoted for the decoder's shell, and one
// with a control character, which the decoder's terminal would act on, is refused.
class TelnetSwitchSourceCommand : public INetworkCommand
{
public:
    explicit TelnetSwitchSourceCommand(const QString &source);
};

// A decoder's place in a wall; the default is the stand-alone decoder (1 x 1 at 0, 0).
class TelnetConfigVW : public INetworkCommand
{
public:
    TelnetConfigVW();
    TelnetConfigVW(int rows, int columns, int row, int column);
};

// Shows the number on the decoder's display; a negative number clears it.
class TelnetOsdShow : public INetworkCommand
{
public:
    explicit TelnetOsdShow(int number);
};

class TelnetDisplayOn : public INetworkCommand
{
public:
    TelnetDisplayOn();
};

class TelnetDisplayOff : public INetworkCommand
{
public:
    TelnetDisplayOff();
};

// A user-defined HDMI-CEC command, handed to the decoder's cec tool exactly as typed.
// Refused when it holds a control character: the decoder's terminal would act on it
// (end the line, erase, interrupt) before the shell ever sees it.
class TelnetCecCustomCommand : public INetworkCommand
{
public:
    explicit TelnetCecCustomCommand(const QString &command);
};

// Tells the encoders which decoders of a wall now show `source`. Every command carries
// the next number of one process-wide counter, starting at 1. The encoders split the text
// at ":" and blanks and cannot unquote, so a name holding either, or a control character,
// is refused, as is an empty decoder name, which would shift the list.
class UdpConfigSources : public INetworkCommand
{
public:
    UdpConfigSources(const QString &source, const QStringList &names);
};
