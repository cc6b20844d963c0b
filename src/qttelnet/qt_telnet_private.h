#pragma once

#include "qt_telnet_auth.h"
#include "telnet_options.h"
#include "terminal_text_filter.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
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

    // Asks the server to enable or disable an option on one side, if that changes anything.
    // Nothing is sent or recorded while not connected.
    void requestOption(TelnetOptions::Side side, uchar option, bool enable);
    bool optionEnabled(TelnetOptions::Side side, uchar option) const { return options.enabled(side, option); }
    // Writes bytes as they are, only while connected.
    void write(const QByteArray &bytes);
    // Writes text in the local 8-bit encoding, data bytes 255 doubled.
    void sendString(const QString &text);
    void sendBytes(const QByteArray &bytes);
    void sendWindowSize();
    bool hasLoginPatterns() const;

    // The options of this connection, on both sides.
    TelnetOptions options;
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
    bool isAllowed(TelnetOptions::Side side, uchar option) const;
    void sendCommand(uchar verb, uchar option);
    // Forgets everything received and not yet delivered.
    void clearPending();
    QString decode(const QByteArray &bytes);
};
