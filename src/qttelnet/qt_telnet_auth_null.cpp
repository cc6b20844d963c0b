#include "qt_telnet_auth_null.h"

#include "telnet_protocol.h"

QtTelnetAuthNull::QtTelnetAuthNull()
    : QtTelnetAuth(telnet::AuthNull)
{
}

QByteArray QtTelnetAuthNull::authenticate(const QByteArray &subnegotiation)
{
    if (subnegotiation.size() < 2 || uchar(subnegotiation.at(1)) != telnet::SubSend)
        return QByteArray();
    setState(Success);
    const char reply[] = {char(telnet::Iac), char(telnet::Sb), char(telnet::OptAuthentication), char(telnet::SubIs),
        char(telnet::AuthNull), char(telnet::AuthNullModifier), char(telnet::Iac), char(telnet::Se)};
    return QByteArray(reply, sizeof reply);
}
