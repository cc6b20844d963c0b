#pragma once

#include <QByteArray>

// One authentication mechanism of RFC 2941, answering the server's subnegotiations.
class QtTelnetAuth
{
public:
    enum State { Pending = 0, Success = 1, Failure = 2 };

    explicit QtTelnetAuth(uchar type);
    virtual ~QtTelnetAuth();

    // The reply to one AUTHENTICATION subnegotiation (payload without IAC SB and IAC SE),
    // complete with its framing; empty when nothing is to be sent.
    virtual QByteArray authenticate(const QByteArray &subnegotiation) = 0;

    int state() const;
    void setState(int state);
    uchar type() const;

private:
    Q_DISABLE_COPY(QtTelnetAuth)

    int currentState = Pending;
    uchar authType;
};
