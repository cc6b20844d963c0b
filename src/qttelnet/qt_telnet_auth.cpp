#include "qt_telnet_auth.h"

QtTelnetAuth::QtTelnetAuth(uchar type)
    : authType(type)
{
}

QtTelnetAuth::~QtTelnetAuth() = default;

int QtTelnetAuth::state() const
{
    return currentState;
}

void QtTelnetAuth::setState(int state)
{
    currentState = state;
}

uchar QtTelnetAuth::type() const
{
    return authType;
}
