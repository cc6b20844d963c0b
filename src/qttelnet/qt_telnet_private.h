#pragma once

#include "qt_telnet_auth.h"
#include "terminal_text_filter.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QRegExp>
#include <QSize>
#include <QString>
#include <QTextCodec>

#include <memory>

class QTcpSocket;
class QtTelnet;

// The protocol state of one QtTelnet and the receiver of its socket's signals.
class QtTelnetPrivate : public QObject
{
    Q_OBJECT

public:
    explicit QtTelnetPrivate(QtTelnet *q);
    ~QtTelnetPrivate() override;

    void setSocket(QTcpSocket *newSocket);

    // The receive path: appends the bytes to what is pending and consumes all it can.
    void receive(const QByteArray &bytes);

    // Writes a command. A 3-byte option command that answers one of our own requests is
    // not sent (RFC 855 loop prevention). Nothing is written or recorded while not connected.
    void sendCommand(const QByteArray &command);
    void sendCommand(uchar verb, uchar option);
    // Writes text in the local 8-bit encoding, data bytes 255 doubled.
    void sendString(const QString &text);
    void sendBytes(const QByteArray &bytes);
    void sendWindowSize();
    bool hasLoginPatterns() const;

    // Option state as the server asked for it (DO sets, DONT clears), for this connection.
    QMap<uchar, bool> modes;
    // (verb, option) pairs sent and not yet echoed by the server.
    QList<QPair<uchar, uchar>> sentRequests;
    QtTelnet *q;
    QTcpSocket *socket = nullptr;
    QByteArray buffer;
    // How far the scan of the unfinished subnegotiation at the front of `buffer` got, and
    // its payload up to there: a later read goes on from there instead of starting over.
    int subnegotiationScanned = 0;
    QByteArray subnegotiationPayload;
    // Text is decoded across reads, so that a character whose bytes arrive apart stays whole.
    std::unique_ptr<QTextDecoder> textDecoder;
    TerminalTextFilter terminalFilter;
    QSize windowSize;
    bool connected = false;
    bool loginDone = false;
    bool triedLogin = false;
    bool triedPassword = false;
    bool firstTry = true;
    std::unique_ptr<QtTelnetAuth> currentAuth;
    QRegExp loginPattern;
    QRegExp passwordPattern;
    QRegExp promptPattern;
    QString loginText;
    QString passwordText;

public slots:
    void socketConnected();
    void socketConnectionClosed();
    void socketReadyRead();
    void socketError(QAbstractSocket::SocketError error);

private:
    int parseIAC(const QByteArray &data);
    int parseSubnegotiation(const QByteArray &data);
    void parseSuboption(const QByteArray &payload);
    int parseText(const QByteArray &data);
    void parseOption(uchar verb, uchar option);
    void parseAuthentication(const QByteArray &payload);
    void handleText(QString run);
    // Answers one prompt in the run; true when the answer was written now.
    bool answerPrompt(QString &run, const QRegExp &pattern, bool &tried, QString &answer);
    bool isAllowed(uchar option) const;
    void write(const QByteArray &bytes);
    // Forgets everything received and not yet delivered.
    void clearPending();
    QString decode(const QByteArray &bytes);
};
