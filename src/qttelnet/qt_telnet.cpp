#include "qt_telnet.h"

#include "platform/platform.h"
#include "qt_telnet_private.h"
#include "telnet_protocol.h"

#include <QTcpSocket>
#include <QtDebug>

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
        d->sendCommand(telnet::Will, telnet::OptNaws);
    else if (had)
        d->sendCommand(telnet::Wont, telnet::OptNaws);
}

QSize QtTelnet::windowSize() const
{
    return d->modes.value(telnet::OptNaws) ? d->windowSize : QSize();
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
    d->sendCommand(telnet::Do, telnet::OptLogout);
}

void QtTelnet::sendControl(QtTelnet::Control ctrl)
{
    uchar code = 0;
    bool synch = false;
    switch (ctrl) {
    case GoAhead:
        code = telnet::Ga;
        break;
    case InterruptProcess:
        code = telnet::Ip;
        synch = true;
        break;
    case AreYouThere:
        code = telnet::Ayt;
        synch = true;
        break;
    case AbortOutput:
        code = telnet::Ao;
        synch = true;
        break;
    case EraseCharacter:
        code = telnet::Ec;
        break;
    case EraseLine:
        code = telnet::El;
        break;
    case Break:
        code = telnet::Brk;
        break;
    case EndOfFile:
        code = telnet::Eof;
        break;
    case Suspend:
        code = telnet::Susp;
        break;
    case Abort:
        code = telnet::Abort;
        break;
    default:
        return;
    }
    const char command[] = {char(telnet::Iac), char(code)};
    d->sendCommand(QByteArray(command, sizeof command));
    if (synch)
        sendSync();
}

void QtTelnet::sendData(const QString &data)
{
    d->sendString(data);
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
