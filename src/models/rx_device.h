#pragma once

#include "models/rx_device_base.h"
#include "models/vw_info.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QElapsedTimer>
#include <deque>
#include <typeindex>

class INetworkCommand;
class QtTelnet;
class QTimer;

// One decoder: a telnet link to its shell that is kept up for the life of the program,
// and a queue of shell commands run strictly one after the other on it. On the first
// connection it reads the decoder's source and wall geometry.
class RxDevice : public RxDeviceBase
{
    Q_OBJECT

public:
    // Connection states; the names appear in the log.
    enum TS {
        Start = 0,
        Disconnected = 1,
        ErrorWaiting = 2,
        Connecting = 3,
        Connected = 4,
        NeedLogin = 5,
        LoginWaitPrompt = 6,
        Ready = 7,
        CmdRunning = 8,
        CmdHaveResponse = 9,
        Close = 10,
        Failed = 11
    };
    Q_ENUM(TS)

    static constexpr quint16 TELNET_PORT = 24;
    static constexpr int RECONNECT_DELAY_MS = 10000;
    // Far longer than any decoder command takes; past it the link counts as broken.
    static constexpr int RESPONSE_TIMEOUT_MS = 30000;
    // The command being run counts, as it stays queued until its answer is complete. A new
    // command replaces a waiting one of the same kind, so the limit is hardly ever reached.
    static constexpr int QUEUE_LIMIT = 10;
    // A command whose answer has not completed after this many sends is given up, so that
    // one command a decoder never finishes cannot block the queue, nor interrupt the picture
    // for ever when it holds "e e_reconnect".
    static constexpr int COMMAND_ATTEMPTS = 3;
    // Only the end of the received text decides, and no answer comes near this size; what a
    // decoder sends beyond it is dropped from the front.
    static constexpr int RECEIVE_LIMIT = 16 * 1024;

    explicit RxDevice(
        const DeviceDiscoveryResponsePtr &record, QObject *parent = nullptr, quint16 telnetPort = TELNET_PORT);

    DeviceModel deviceModel() const override { return DeviceModel::Rx; }
    QString category() const override;

    void setSource(const QString &sourceName) override;
    void setDisplayPower(bool on, const QString &customCommand) override;
    void showOsdSeq() override;
    void hideOsd() override;

    void configVw(int rows, int columns, int row, int column);
    void resetVw();
    // Demo decoders have no shell to configure: their geometry is only recorded.
    void setDemoVwInfo(const VwInfo &info);
    VwInfo vwInfo() const { return wallInfo; }

    // Asks the decoder which source it shows; sourceReported carries the answer.
    void querySource();
    // Reads the decoder's source and wall place again, unless that is already under way.
    void readState();
    // Logged-in connections so far; the first is 1. A later one means the decoder or its
    // link was down in between, and what it shows may have changed.
    int connectionNumber() const { return connections; }

    TS state() const { return linkState; }
    QString errorText() const { return lastErrorText; }
    int pendingCommandCount() const { return int(queue.size()); }
    void setResponseTimeout(int milliseconds);

    // The output of one command: the shell's echo of the command line and the
    // closing prompt taken off.
    static QString extractResponse(const QString &response);

signals:
    void deviceInfoFetched(RxDevice *pThis);
    void deviceInfoFetchFailed(RxDevice *pThis);
    void haveNewCommand();
    void stateChanged(int state);
    // What the decoder answered when asked for its source ("" for none).
    void sourceReported(const QString &sourceName);
    // A command's answer was complete this long after it was last sent.
    void commandAnswered(int roundTripMs);
    // A command was refused before it was queued (refused), or given up after its attempts.
    void commandFailed(bool refused);

protected:
    void addressUpdated(const QHostAddress &oldAddress, const QHostAddress &newAddress) override;

private slots:
    void onLoginRequired();
    void onTelnetMessage(const QString &text);
    void onTelnetError(QAbstractSocket::SocketError error);
    void onTelnetLoggedIn();
    void onStateChanged(int ts);
    void checkAndSendNextCommand();
    void doReconnect();
    void onResponseTimeout();

private:
    using ResponseHandler = void (RxDevice::*)(const QString &);
    struct QueuedCommand
    {
        QByteArray bytes;
        ResponseHandler handler;
        std::type_index kind;
        // Sent at least once: it runs, or runs again after a broken link.
        bool sent = false;
    };

    void initialise();
    void updateState(TS state);
    void enqueue(const INetworkCommand &command, ResponseHandler handler = nullptr);
    void onCommandFinished(QString response);
    void parseSourceSelect(const QString &response);
    void parseVwInfo(const QString &response);
    static QString stateName(TS state);

    QString lastErrorText;
    VwInfo wallInfo;
    QtTelnet *telnet;
    std::deque<QueuedCommand> queue;
    TS linkState = Start;
    QString rxBuffer;
    // How often the command at the front of the queue has been sent.
    int frontAttempts = 0;
    // Since the command at the front was last sent.
    QElapsedTimer sentAt;
    int connections = 0;
    QTimer *reconnectTimer;
    QTimer *responseTimer;
    quint16 port;
};
