#include "models/rx_device.h"

#include "models/network_commands.h"
#include "qttelnet/qt_telnet.h"

#include <QDebug>
#include <QMetaEnum>
#include <QRegExp>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

namespace {

const QString LOGIN_TEXT = QStringLiteral("root\r\n");
const QString SHELL_PROMPT_PATTERN = QStringLiteral("[\\/] [#] ");
const QString SHELL_PROMPT = QStringLiteral("/ # ");
const QString LINE_END = QStringLiteral("\r\n");

} // namespace

RxDevice::RxDevice(const DeviceDiscoveryResponsePtr &record, QObject *parent, quint16 telnetPort)
    : RxDeviceBase(record, parent)
    , telnet(new QtTelnet(this))
    , reconnectTimer(new QTimer(this))
    , responseTimer(new QTimer(this))
    , port(telnetPort)
{
    reconnectTimer->setObjectName(QStringLiteral("reconnectTimer"));
    responseTimer->setObjectName(QStringLiteral("responseTimer"));
    responseTimer->setSingleShot(true);
    responseTimer->setInterval(RESPONSE_TIMEOUT_MS);
    connect(responseTimer, &QTimer::timeout, this, &RxDevice::onResponseTimeout);
    initialise();
}

QString RxDevice::category() const
{
    return QStringLiteral("rx");
}

void RxDevice::initialise()
{
    if (linkState != Start)
        return;
    telnet->login(LOGIN_TEXT, QString());
    telnet->setPromptPattern(QRegExp(SHELL_PROMPT_PATTERN));
    updateState(Disconnected);
    connect(telnet, &QtTelnet::loginRequired, this, &RxDevice::onLoginRequired);
    connect(telnet, &QtTelnet::message, this, &RxDevice::onTelnetMessage);
    connect(telnet, &QtTelnet::connectionError, this, &RxDevice::onTelnetError);
    connect(telnet, &QtTelnet::loggedIn, this, &RxDevice::onTelnetLoggedIn);
    readState();
    connect(this, &RxDevice::haveNewCommand, this, &RxDevice::checkAndSendNextCommand);
    if (meta()->address.isNull()) {
        updateState(Failed);
        return;
    }
    reconnectTimer->setSingleShot(true);
    reconnectTimer->setInterval(RECONNECT_DELAY_MS);
    connect(reconnectTimer, &QTimer::timeout, this, &RxDevice::doReconnect);
    connect(this, &RxDevice::stateChanged, this, &RxDevice::onStateChanged);
    doReconnect();
}

QString RxDevice::stateName(TS state)
{
    return QString::fromLatin1(QMetaEnum::fromType<TS>().valueToKey(state));
}

void RxDevice::updateState(TS state)
{
    linkState = state;
    qDebug().noquote() << "RX Device" << name() << "Changed state to" << stateName(state);
    emit stateChanged(state);
}

void RxDevice::enqueue(const INetworkCommand &command, ResponseHandler handler)
{
    if (!command.isValid()) {
        qWarning().noquote() << "Device" << name() << "refuses a command that could not be built safely";
        emit commandFailed(true);
        return;
    }
    if (linkState == Close || linkState == Failed)
        return;
    // While the decoder cannot be reached, only the newest command of each kind still
    // matters; it goes last, so that the decoder ends in the state asked for last.
    const std::type_index kind(typeid(command));
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                    [&kind](const QueuedCommand &queued) { return !queued.sent && queued.kind == kind; }),
        queue.end());
    if (int(queue.size()) >= QUEUE_LIMIT) {
        emit commandFailed(true);
        return;
    }
    queue.push_back(QueuedCommand {command.bytes(), handler, kind});
    emit haveNewCommand();
}

void RxDevice::readState()
{
    const std::type_index placeQuery(typeid(TelnetQueryVwInfo));
    if (std::any_of(queue.begin(), queue.end(), [&](const QueuedCommand &queued) { return queued.kind == placeQuery; }))
        return;
    enqueue(TelnetQuerySourceSelect(), &RxDevice::parseSourceSelect);
    enqueue(TelnetQueryVwInfo(), &RxDevice::parseVwInfo);
}

void RxDevice::setSource(const QString &sourceName)
{
    if (!acceptsSource(sourceName))
        return;
    setIntendedSource(sourceName);
    setCurrentSource(sourceName);
    enqueue(TelnetSwitchSourceCommand(sourceName));
}

void RxDevice::querySource()
{
    enqueue(TelnetQuerySourceSelect(), &RxDevice::parseSourceSelect);
}

void RxDevice::setDisplayPower(bool on, const QString &customCommand)
{
    if (!customCommand.isEmpty())
        enqueue(TelnetCecCustomCommand(customCommand));
    else if (on)
        enqueue(TelnetDisplayOn());
    else
        enqueue(TelnetDisplayOff());
}

void RxDevice::showOsdSeq()
{
    enqueue(TelnetOsdShow(seq()));
}

void RxDevice::hideOsd()
{
    enqueue(TelnetOsdShow(-1));
}

void RxDevice::configVw(int rows, int columns, int row, int column)
{
    wallInfo = VwInfo::normalised(columns, rows, column, row);
    enqueue(TelnetConfigVW(rows, columns, row, column));
}

void RxDevice::resetVw()
{
    wallInfo = VwInfo::standAlone();
    enqueue(TelnetConfigVW());
}

void RxDevice::setDemoVwInfo(const VwInfo &info)
{
    wallInfo = info;
}

void RxDevice::setResponseTimeout(int milliseconds)
{
    responseTimer->setInterval(milliseconds);
}

void RxDevice::addressUpdated(const QHostAddress &oldAddress, const QHostAddress &newAddress)
{
    // The link keeps its peer; the next reconnection goes to the new address.
    logAddressChange(oldAddress, newAddress);
}

void RxDevice::doReconnect()
{
    if (linkState != ErrorWaiting && linkState != Disconnected)
        return;
    updateState(Connecting);
    telnet->connectToHost(meta()->address.toString(), port);
}

void RxDevice::onLoginRequired()
{
    updateState(NeedLogin);
    // Re-arms the client, which writes the login text as soon as this slot returns.
    telnet->login(LOGIN_TEXT, QString());
}

void RxDevice::onTelnetLoggedIn()
{
    updateState(LoginWaitPrompt);
}

void RxDevice::onTelnetError(QAbstractSocket::SocketError)
{
    lastErrorText = telnet->socket()->errorString();
    qWarning().noquote() << "Device" << name() << "got network error:" << lastErrorText;
    updateState(ErrorWaiting);
}

void RxDevice::onResponseTimeout()
{
    if (linkState != Connecting && linkState != NeedLogin && linkState != LoginWaitPrompt && linkState != CmdRunning)
        return;
    lastErrorText = QStringLiteral("no shell prompt within %1 ms").arg(responseTimer->interval());
    qWarning().noquote() << "Device" << name() << "got network error:" << lastErrorText;
    // Dropped like a broken link, so that the running command is sent again once the
    // shell is back. The abort also ends an attempt that is still connecting.
    telnet->close();
    telnet->socket()->abort();
    updateState(ErrorWaiting);
}

void RxDevice::onStateChanged(int)
{
    switch (linkState) {
    case ErrorWaiting:
        responseTimer->stop();
        rxBuffer.clear();
        reconnectTimer->start();
        break;
    case Connecting:
    case CmdRunning:
        responseTimer->start();
        break;
    case NeedLogin:
    case LoginWaitPrompt:
        // Logging in is part of the wait for the first prompt.
        break;
    case Ready:
        responseTimer->stop();
        checkAndSendNextCommand();
        break;
    default:
        responseTimer->stop();
        break;
    }
}

void RxDevice::checkAndSendNextCommand()
{
    if (linkState != Ready || queue.empty())
        return;
    if (frontAttempts >= COMMAND_ATTEMPTS) {
        qWarning().noquote() << "Device" << name() << "gives up on command"
                             << QString::fromUtf8(queue.front().bytes).trimmed() << "after" << frontAttempts
                             << "tries without a complete answer";
        queue.pop_front();
        frontAttempts = 0;
        emit commandFailed(false);
        if (queue.empty())
            return;
    }
    ++frontAttempts;
    rxBuffer.clear();
    queue.front().sent = true;
    const QByteArray bytes = queue.front().bytes;
    sentAt.start();
    updateState(CmdRunning);
    // The decoder's shell reads UTF-8, whatever the encoding of this machine.
    telnet->sendBytes(bytes);
    qDebug().noquote() << "Rx Send Command" << QString::fromUtf8(bytes);
}

void RxDevice::onTelnetMessage(const QString &text)
{
    qDebug().noquote() << "Received message " << text << "in state" << stateName(linkState);
    if (linkState != CmdRunning && linkState != Connecting && linkState != NeedLogin && linkState != LoginWaitPrompt) {
        // Nobody waits for it, and the next command starts afresh: the text is not kept.
        qWarning().noquote() << "Recevied text in unexpected state" << stateName(linkState) << ", this may be a bug!";
        return;
    }
    rxBuffer.append(text);
    if (rxBuffer.size() > RECEIVE_LIMIT)
        rxBuffer.remove(0, rxBuffer.size() - RECEIVE_LIMIT);
    if (!rxBuffer.endsWith(SHELL_PROMPT))
        return;
    if (linkState == CmdRunning) {
        onCommandFinished(rxBuffer);
        return;
    }
    // Logged in: a decoder that was down may show something else now, and one whose first
    // reading was given up is read again.
    ++connections;
    readState();
    updateState(Ready);
}

void RxDevice::onCommandFinished(QString response)
{
    rxBuffer.clear();
    if (queue.empty()) {
        updateState(Ready);
        return;
    }
    updateState(CmdHaveResponse);
    emit commandAnswered(int(sentAt.elapsed()));
    const ResponseHandler handler = queue.front().handler;
    queue.pop_front();
    frontAttempts = 0;
    if (handler)
        (this->*handler)(response);
    updateState(Ready);
}

QString RxDevice::extractResponse(const QString &response)
{
    const int lineEnd = response.indexOf(LINE_END);
    const bool endsWithPrompt = response.endsWith(SHELL_PROMPT);
    if (lineEnd < 0)
        return endsWithPrompt ? response.chopped(SHELL_PROMPT.size()) : response;
    const int outputStart = lineEnd + LINE_END.size();
    if (!endsWithPrompt)
        return response.mid(outputStart);
    return response.mid(outputStart, response.size() - outputStart - SHELL_PROMPT.size()).trimmed();
}

void RxDevice::parseSourceSelect(const QString &response)
{
    setCurrentSource(extractResponse(response));
    emit sourceReported(currentSource());
}

void RxDevice::parseVwInfo(const QString &response)
{
    wallInfo = VwInfo::parse(extractResponse(response));
    // A receiver may drop the last reference to this device. Announced from the event loop,
    // so that neither this device nor its telnet client is still at work when it goes.
    QMetaObject::invokeMethod(
        this, [this] { emit deviceInfoFetched(this); }, Qt::QueuedConnection);
}
