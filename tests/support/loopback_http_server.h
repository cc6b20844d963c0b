#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

// An HTTP peer on 127.0.0.1 (a free port) for the grabbers: it collects each request's
// head and hands the connection to a handler, which answers with whatever bytes the test
// wants on the wire, now or later.
class LoopbackHttpServer : public QObject
{
public:
    using Handler = std::function<void(QTcpSocket *connection, const QByteArray &requestHead)>;

    explicit LoopbackHttpServer(Handler handler = nullptr);
    quint16 port() const { return server.serverPort(); }
    QString url(const QString &path = QStringLiteral("/stream")) const;
    void setHandler(Handler newHandler) { handler = std::move(newHandler); }

    // Request heads in arrival order, and the connections they came on.
    QList<QByteArray> requests;
    QList<QPointer<QTcpSocket>> connections;
    int disconnections = 0;

    static QByteArray streamHead(const QByteArray &contentType);
    static QByteArray snapshotResponse(const QByteArray &body);

private:
    void onNewConnection();

    QTcpServer server;
    Handler handler;
};
