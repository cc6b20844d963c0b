#include "qt_telnet_private.h"

#include "qt_telnet.h"
#include "qt_telnet_auth_null.h"
#include "telnet_protocol.h"

#include <QTcpSocket>
#include <QtDebug>

namespace {

QByteArray escapeIac(QByteArray bytes)
{
    return bytes.replace(QByteArray(1, char(telnet::Iac)), QByteArray(2, char(telnet::Iac)));
}

bool isOptionVerb(uchar byte)
{
    return byte >= telnet::Will && byte <= telnet::Dont;
}

} // namespace

QtTelnetPrivate::QtTelnetPrivate(QtTelnet *q)
    : QObject(q)
    , q(q)
    , loginPattern(QString::fromLatin1(telnet::LoginPattern), Qt::CaseSensitive, QRegExp::RegExp)
    , passwordPattern(QString::fromLatin1(telnet::PasswordPattern), Qt::CaseSensitive, QRegExp::RegExp)
{
    setSocket(new QTcpSocket);
}

QtTelnetPrivate::~QtTelnetPrivate()
{
    // The owner is being destroyed: nothing the socket says while it closes may reach it.
    socket->disconnect(this);
    delete socket;
}

void QtTelnetPrivate::setSocket(QTcpSocket *newSocket)
{
    if (socket) {
        requestOption(TelnetOptions::Side::Remote, telnet::OptLogout, true);
        socket->flush();
        socket->disconnect(this);
        // Later, not now: the caller may be inside one of the old socket's signals.
        socket->deleteLater();
    }
    socket = newSocket;
    socket->setParent(this);
    connected = false;
    connect(socket, &QTcpSocket::connected, this, &QtTelnetPrivate::socketConnected);
    connect(socket, &QTcpSocket::disconnected, this, &QtTelnetPrivate::socketConnectionClosed);
    connect(socket, &QTcpSocket::readyRead, this, &QtTelnetPrivate::socketReadyRead);
    connect(socket, &QTcpSocket::errorOccurred, this, &QtTelnetPrivate::socketError);
}

void QtTelnetPrivate::socketConnected()
{
    // Options and the login belong to one connection: a new one starts again from the plain
    // network virtual terminal, and the server may well ask for a login again.
    options.clear();
    clearPending();
    loginDone = false;
    firstTry = true;
    currentAuth.reset();
    connected = true;

    // No LINEMODE: the decoder shells edit their own lines, and its subnegotiation is
    // something this client would only have to refuse again.
    requestOption(TelnetOptions::Side::Local, telnet::OptAuthentication, true);
    requestOption(TelnetOptions::Side::Remote, telnet::OptSga, true);
    requestOption(TelnetOptions::Side::Remote, telnet::OptStatus, true);
    if (windowSize.isValid())
        requestOption(TelnetOptions::Side::Local, telnet::OptNaws, true);
}

void QtTelnetPrivate::socketConnectionClosed()
{
    // After close() the connection is already over and loggedOut() has been emitted.
    if (!connected)
        return;
    connected = false;
    emit q->loggedOut();
}

void QtTelnetPrivate::socketReadyRead()
{
    receive(socket->readAll());
}

void QtTelnetPrivate::socketError(QAbstractSocket::SocketError error)
{
    emit q->connectionError(error);
}

void QtTelnetPrivate::receive(const QByteArray &bytes)
{
    buffer.append(bytes);
    const QByteArray data = buffer;
    buffer.clear();

    // A Data Mark without IAC is the urgent byte of a Synch sent the way sendSync sends it; it
    // is no data. A step of 0 is a command still waiting for the rest of its bytes.
    int p = 0;
    int step = 1;
    while (step > 0 && p < data.size()) {
        const QByteArray rest = QByteArray::fromRawData(data.constData() + p, data.size() - p);
        const uchar byte = uchar(rest.at(0));
        const bool escapedData = rest.size() > 1 && uchar(rest.at(1)) == telnet::Iac;
        if (byte == telnet::Dm)
            step = 1;
        else if (byte == telnet::Iac && !escapedData)
            step = parseIAC(rest);
        else
            step = parseText(rest);
        p += step;
    }

    buffer = data.mid(p);
    if (buffer.size() > telnet::MaxPendingBytes) {
        qWarning("QtTelnetPrivate::receive: dropping %d pending bytes of a telnet command that does not end",
            int(buffer.size()));
        clearPending();
    }
}

void QtTelnetPrivate::clearPending()
{
    buffer.clear();
    subnegotiationScanned = 0;
    subnegotiationPayload.clear();
    textDecoder.reset();
    terminalFilter.reset();
}

QString QtTelnetPrivate::decode(const QByteArray &bytes)
{
    if (!textDecoder)
        textDecoder.reset(QTextCodec::codecForLocale()->makeDecoder());
    return textDecoder->toUnicode(bytes);
}

int QtTelnetPrivate::parseIAC(const QByteArray &data)
{
    if (data.size() < 2)
        return 0;
    const uchar command = uchar(data.at(1));
    if (isOptionVerb(command)) {
        if (data.size() < 3)
            return 0;
        parseOption(command, uchar(data.at(2)));
        return 3;
    }
    if (command == telnet::Sb)
        return parseSubnegotiation(data);
    // DM, NOP, GA and every other two-byte command carry nothing this client acts on.
    return 2;
}

void QtTelnetPrivate::parseOption(uchar verb, uchar option)
{
    if (verb == telnet::Wont && option == telnet::OptLogout) {
        q->close();
        return;
    }
    if (verb == telnet::Dont && option == telnet::OptAuthentication && !hasLoginPatterns())
        emit q->loggedIn();

    const TelnetOptions::Side side
        = verb == telnet::Do || verb == telnet::Dont ? TelnetOptions::Side::Local : TelnetOptions::Side::Remote;
    const bool sizeWasOn = options.enabled(TelnetOptions::Side::Local, telnet::OptNaws);
    if (const uchar reply = options.receive(verb, option, isAllowed(side, option)))
        sendCommand(reply, option);
    if (!sizeWasOn && options.enabled(TelnetOptions::Side::Local, telnet::OptNaws))
        sendWindowSize();
}

int QtTelnetPrivate::parseSubnegotiation(const QByteArray &data)
{
    // data starts with IAC SB; it ends at the first IAC SE, and a doubled IAC inside stands
    // for one byte 255 (RFC 855). An unfinished one stays at the front of the buffer, so the
    // scan can resume where the previous read left it.
    int i = qMax(2, subnegotiationScanned);
    for (; i + 1 < data.size(); ++i) {
        const uchar byte = uchar(data.at(i));
        const uchar next = uchar(data.at(i + 1));
        if (byte == telnet::Iac && next == telnet::Se) {
            const QByteArray payload = subnegotiationPayload;
            subnegotiationScanned = 0;
            subnegotiationPayload.clear();
            parseSuboption(payload);
            return i + 2;
        }
        if (byte == telnet::Iac && next == telnet::Iac)
            ++i;
        subnegotiationPayload.append(char(byte));
    }
    subnegotiationScanned = i;
    return 0;
}

void QtTelnetPrivate::parseSuboption(const QByteArray &payload)
{
    if (payload.isEmpty())
        return;
    switch (uchar(payload.at(0))) {
    case telnet::OptAuthentication:
        parseAuthentication(payload);
        break;
    case telnet::OptTtype:
        if (payload.size() >= 2 && uchar(payload.at(1)) == telnet::SubSend) {
            const char head[] = {char(telnet::Iac), char(telnet::Sb), char(telnet::OptTtype), char(telnet::SubIs)};
            const char tail[] = {char(telnet::Iac), char(telnet::Se)};
            write(QByteArray(head, sizeof head));
            sendString(QString::fromLatin1(telnet::TerminalType));
            write(QByteArray(tail, sizeof tail));
        }
        break;
    case telnet::OptNaws:
        break;
    default:
        qWarning("QtTelnetPrivate::parseIAC: unknown suboption %d", int(uchar(payload.at(0))));
        break;
    }
}

void QtTelnetPrivate::parseAuthentication(const QByteArray &payload)
{
    if (!currentAuth) {
        if (payload.size() < 2 || uchar(payload.at(1)) != telnet::SubSend)
            return;
        // No mechanism of our own is registered, whatever the server offers: NULL tells it to
        // go on to its login prompt, which the prompt patterns then answer.
        currentAuth.reset(new QtTelnetAuthNull);
        if (!hasLoginPatterns())
            loginDone = true;
    }
    write(currentAuth->authenticate(payload));
    if (currentAuth->state() == QtTelnetAuth::Failure)
        emit q->loginFailed();
    else if (currentAuth->state() == QtTelnetAuth::Success && !hasLoginPatterns())
        emit q->loggedIn();
}

int QtTelnetPrivate::parseText(const QByteArray &data)
{
    // A run ends at a NUL (dropped) or where a command begins; a doubled IAC is one data byte.
    QByteArray run;
    int consumed = 0;
    bool endedAtNul = false;
    while (consumed < data.size()) {
        const uchar byte = uchar(data.at(consumed));
        if (byte == telnet::Nul) {
            ++consumed;
            endedAtNul = true;
            break;
        }
        if (byte == telnet::Iac) {
            if (consumed + 1 >= data.size() || uchar(data.at(consumed + 1)) != telnet::Iac)
                break;
            ++consumed;
        }
        run.append(char(byte));
        ++consumed;
    }
    const QString text = terminalFilter.filter(decode(run));
    if (endedAtNul) {
        // Nothing begun before a NUL continues after it.
        textDecoder.reset();
        terminalFilter.reset();
    }
    handleText(text);
    return consumed;
}

void QtTelnetPrivate::handleText(QString run)
{
    // The prompts are looked for until the shell prompt shows, whether or not the server
    // negotiated authentication: NULL authentication, a refused option and a server that never
    // answers the offer all leave the login to the prompts.
    if (!loginDone && !promptPattern.isEmpty() && promptPattern.indexIn(run) != -1) {
        loginDone = true;
        emit q->loggedIn();
    }
    if (!loginDone) {
        answerPrompt(run, loginPattern, triedLogin, loginText);
        if (answerPrompt(run, passwordPattern, triedPassword, passwordText)) {
            // The password is not kept once it has gone out.
            passwordText.fill(QLatin1Char(' '));
            passwordText.clear();
        }
    }
    if (!run.isEmpty())
        emit q->message(run);
}

bool QtTelnetPrivate::answerPrompt(QString &run, const QRegExp &pattern, bool &tried, QString &answer)
{
    if (pattern.isEmpty() || pattern.indexIn(run) == -1)
        return false;
    if (tried || firstTry) {
        emit q->message(run);
        run.clear();
        emit q->loginRequired();
        firstTry = false;
    }
    // Tested after loginRequired(): a receiver that calls login() from its slot has its new
    // text written right here.
    if (tried)
        return false;
    sendString(answer);
    tried = true;
    return true;
}

bool QtTelnetPrivate::isAllowed(TelnetOptions::Side side, uchar option) const
{
    // What we do ourselves: suppress go-ahead, name a terminal type, authenticate (NULL),
    // and report a size when we have one. What the server may do: suppress go-ahead, report
    // status, and log out. Everything else, ECHO and LINEMODE among it, is refused.
    if (side == TelnetOptions::Side::Local) {
        switch (option) {
        case telnet::OptSga:
        case telnet::OptTtype:
        case telnet::OptAuthentication:
            return true;
        case telnet::OptNaws:
            return windowSize.isValid();
        default:
            return false;
        }
    }
    return option == telnet::OptSga || option == telnet::OptStatus || option == telnet::OptLogout;
}

bool QtTelnetPrivate::hasLoginPatterns() const
{
    return !loginPattern.isEmpty() || !passwordPattern.isEmpty();
}

void QtTelnetPrivate::requestOption(TelnetOptions::Side side, uchar option, bool enable)
{
    if (!connected)
        return;
    if (const uchar verb = options.request(side, option, enable))
        sendCommand(verb, option);
}

void QtTelnetPrivate::sendCommand(uchar verb, uchar option)
{
    const char command[] = {char(telnet::Iac), char(verb), char(option)};
    write(QByteArray(command, sizeof command));
}

void QtTelnetPrivate::sendString(const QString &text)
{
    sendBytes(text.toLocal8Bit());
}

void QtTelnetPrivate::sendBytes(const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        write(escapeIac(bytes));
}

void QtTelnetPrivate::sendWindowSize()
{
    if (!options.enabled(TelnetOptions::Side::Local, telnet::OptNaws) || !windowSize.isValid())
        return;
    const int width = qMin(windowSize.width(), 0xFFFF);
    const int height = qMin(windowSize.height(), 0xFFFF);
    const char size[] = {char(width >> 8), char(width), char(height >> 8), char(height)};
    const char head[] = {char(telnet::Iac), char(telnet::Sb), char(telnet::OptNaws)};
    const char tail[] = {char(telnet::Iac), char(telnet::Se)};
    // RFC 1073: a size byte 255 goes out doubled like any other.
    write(QByteArray(head, sizeof head) + escapeIac(QByteArray(size, sizeof size)) + QByteArray(tail, sizeof tail));
}

void QtTelnetPrivate::write(const QByteArray &bytes)
{
    if (connected && !bytes.isEmpty())
        socket->write(bytes);
}
