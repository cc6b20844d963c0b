#pragma once

#include <QByteArray>
#include <QColor>
#include <QHostAddress>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QSize>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

// JPEG images, preview-stream framing and an HTTP peer for the grabber and encoder tests;
// the images are made with the toolkit's own writer, so every test owns its fixtures.
namespace TestMjpeg {

// A plain image of one colour.
QByteArray plain(const QColor &colour, const QSize &size = QSize(16, 16));
// The colour in the middle of a decoded image, with the tolerance JPEG needs.
bool looksLike(const QImage &image, const QColor &colour);

// A block-framing header for an image of size bytes: "mjpeg", the size in eight digits,
// padding and a line feed, length bytes in all (50 for the first header, 51 later).
QByteArray blockHeader(qint64 size, int length);
// One multipart part as ffmpeg's mpjpeg muxer writes it: part headers, the image, and the
// line break and boundary that follow it.
QByteArray multipartPart(const QByteArray &image, const QByteArray &boundary = "ffmpeg");

} // namespace TestMjpeg

// An HTTP peer (127.0.0.1 on a free port unless told otherwise): it collects each request's
// head and hands the connection to a handler, which answers with whatever bytes the test
// wants on the wire, now or later.
class LoopbackHttpServer : public QObject
{
public:
    using Handler = std::function<void(QTcpSocket *connection, const QByteArray &requestHead)>;

    explicit LoopbackHttpServer(
        Handler handler = nullptr, const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    bool listen(const QHostAddress &address, quint16 port) { return server.listen(address, port); }
    bool isListening() const { return server.isListening(); }
    // Stops listening and cuts every open connection, as an encoder that goes away.
    void close();
    quint16 port() const { return server.serverPort(); }
    QString url(const QString &path = QStringLiteral("/stream")) const;
    int openConnections() const;

    // Request heads in arrival order.
    QList<QByteArray> requests;
    int disconnections = 0;

    static QByteArray streamHead(const QByteArray &contentType = "multipart/x-mixed-replace;boundary=b");

private:
    void onNewConnection();

    QTcpServer server;
    QList<QPointer<QTcpSocket>> connections;
    Handler handler;
};
