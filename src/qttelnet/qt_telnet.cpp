#include "qt_telnet.h"

#include "platform/platform.h"
#include "qt_telnet_private.h"
#include "telnet_protocol.h"

#include <QTcpSocket>
#include <QtDebug>

#include <iterator>

QtTelnet::QtTelnet(QObject *parent)
    : QObject(parent)
    , d(new QtTelnetPrivate(this))
{
}

QtTelnet::~QtTelnet()
{
    // Now, while this object is whole: the socket may still report its closing to us.
    delete d;
}

void QtTelnet::connectToHost(const QString &host, quint16 port)
{
    if (!d->connected)
        d->socket->connectToHost(host, port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
}

void QtTelnet::login(const QString &username, const QString &password)
{
    d->triedLogin = false;
    d->triedPassword = false;
    d->loginText = username;
    d->passwordText = password;
}

void QtTelnet::setPromptPattern(const QRegExp &pattern)
{
    d->promptPattern = pattern;
}

void QtTelnet::setLoginPattern(const QRegExp &pattern)
{
    d->loginPattern = pattern;
}

void QtTelnet::setPasswordPattern(const QRegExp &pattern)
{
    d->passwordPattern = pattern;
}

void QtTelnet::setWindowSize(const QSize &size)
{
    setWindowSize(size.width(), size.height());
}

void QtTelnet::setWindowSize(int width, int height)
{
    // Whether we offer the option follows whether we have a size at all; the size itself goes
    // out only once the server has asked for it (sendWindowSize checks).
    const bool had = d->windowSize.isValid();
    d->windowSize = QSize(width, height);
    const bool has = d->windowSize.isValid();
    if (had && has)
        d->sendWindowSize();
    else if (has)
        d->requestOption(TelnetOptions::Side::Local, telnet::OptNaws, true);
    else if (had)
        d->requestOption(TelnetOptions::Side::Local, telnet::OptNaws, false);
}

QSize QtTelnet::windowSize() const
{
    return d->optionEnabled(TelnetOptions::Side::Local, telnet::OptNaws) ? d->windowSize : QSize();
}

bool QtTelnet::isValidWindowSize() const
{
    return windowSize().isValid();
}

void QtTelnet::setSocket(QTcpSocket *socket)
{
    d->setSocket(socket);
}

QTcpSocket *QtTelnet::socket() const
{
    return d->socket;
}

void QtTelnet::close()
{
    if (!d->connected)
        return;
    d->connected = false;
    d->socket->close();
    emit loggedOut();
}

void QtTelnet::logout()
{
    d->requestOption(TelnetOptions::Side::Remote, telnet::OptLogout, true);
}

void QtTelnet::sendControl(QtTelnet::Control ctrl)
{
    // Indexed by Control. The codes that interrupt or discard output also send a Synch, so
    // that the server skips what is still in transit before acting on them (RFC 854).
    struct ControlCode
    {
        uchar code;
        bool synch;
    };
    static constexpr ControlCode codes[] = {{telnet::Ga, false}, {telnet::Ip, true}, {telnet::Ayt, true},
        {telnet::Ao, true}, {telnet::Ec, false}, {telnet::El, false}, {telnet::Brk, false}, {telnet::Eof, false},
        {telnet::Susp, false}, {telnet::Abort, false}};
    if (ctrl < 0 || size_t(ctrl) >= std::size(codes))
        return;
    const char command[] = {char(telnet::Iac), char(codes[ctrl].code)};
    d->write(QByteArray(command, sizeof command));
    if (codes[ctrl].synch)
        sendSync();
}

void QtTelnet::sendData(const QString &data)
{
    d->sendString(data);
}

void QtTelnet::sendBytes(const QByteArray &data)
{
    d->sendBytes(data);
}

void QtTelnet::sendSync()
{
    if (!d->connected)
        return;
    // The Data Mark has to follow everything written so far, so the buffer goes out first.
    d->socket->flush();
    const char dataMark = char(telnet::Dm);
    if (platform::sendOutOfBand(d->socket->socketDescriptor(), &dataMark, 1) != 1)
        qWarning("QtTelnet::sendSync: the urgent Data Mark could not be sent");
}
