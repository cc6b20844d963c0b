#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QRegExp>
#include <QSize>
#include <QString>

class QTcpSocket;
class QtTelnetPrivate;

// A telnet client (RFC 854) on a QTcpSocket: negotiates options, answers the terminal-type,
// window-size and authentication subnegotiations, answers login and password prompts and
// recognises the shell prompt. Everything else the server sends arrives as message() text runs.
class QtTelnet : public QObject
{
    Q_OBJECT

public:
    enum Control {
        GoAhead = 0,
        InterruptProcess = 1,
        AreYouThere = 2,
        AbortOutput = 3,
        EraseCharacter = 4,
        EraseLine = 5,
        Break = 6,
        EndOfFile = 7,
        Suspend = 8,
        Abort = 9,
    };
    Q_ENUM(Control)

    explicit QtTelnet(QObject *parent = nullptr);
    ~QtTelnet() override;

    void connectToHost(const QString &host, quint16 port);

    // The texts are written exactly as given when the prompts appear; a caller that wants a
    // line end includes it. An empty password is never written.
    void login(const QString &username, const QString &password);

    void setPromptPattern(const QRegExp &pattern);
    void setLoginPattern(const QRegExp &pattern);
    void setPasswordPattern(const QRegExp &pattern);

    void setWindowSize(const QSize &size);
    void setWindowSize(int width, int height);
    // The size the server has been told about: invalid while the server has not asked for it.
    QSize windowSize() const;
    bool isValidWindowSize() const;

    // Takes ownership of the socket; the previous one is told DO LOGOUT and deleted.
    void setSocket(QTcpSocket *socket);
    QTcpSocket *socket() const;

signals:
    void loginRequired();
    void loginFailed();
    void loggedIn();
    void loggedOut();
    void connectionError(QAbstractSocket::SocketError error);
    void message(const QString &data);

public slots:
    void close();
    void logout();
    void sendControl(QtTelnet::Control ctrl);
    void sendData(const QString &data);
    // Bytes already in the encoding the peer expects, sent unchanged: text through sendData
    // goes out in the local 8-bit encoding, which on Windows is a code page, not UTF-8.
    void sendBytes(const QByteArray &data);
    void sendSync();

private:
    friend class QtTelnetPrivate;
    QtTelnetPrivate *d;
};
