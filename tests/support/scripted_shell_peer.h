#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSharedPointer>
#include <functional>

class QtTelnet;
class RxDevice;
class QtTelnetPrivate;
class WireSocket;

// The server end of a telnet client's connection, played inside the test without a network:
// the client's socket is swapped for one that keeps what the client writes, and what the
// server says goes straight into the client's receive path. As a decoder shell it echoes
// each line the client wrote and ends the answer with the "/ # " prompt.
class ScriptedShellPeer
{
public:
    explicit ScriptedShellPeer(QtTelnet *client);

    // The connection comes up (again); returns the client's opening requests.
    QByteArray accept();
    // The server's bytes, as one read.
    void send(const QByteArray &bytes);
    // The server closes the connection.
    void hangUp();
    // Everything the client wrote since the last call.
    QByteArray takeWritten();
    // Answers every line written so far, and the lines those answers bring; a line that
    // starts with silentPrefix gets no answer at all, not even a prompt.
    void answerLines();

    QByteArray silentPrefix;
    // What the shell prints for a line, by the line as written; other lines print nothing.
    QHash<QByteArray, QByteArray> outputs;
    // Runs for each line before it is answered, as the decoder would act on it.
    std::function<void(const QByteArray &)> onLine;
    // The lines as the shell read them, login names included.
    QList<QByteArray> lines;

private:
    WireSocket *wire;
    QtTelnetPrivate *receivePath;
    QByteArray unread;
};

// A decoder's shell played by script: it shows a source and stands at a place in a wall,
// and takes the routes and places it is sent unless it is stubborn. The lines it answers
// are the ones the decoder sends over its telnet link.
struct ScriptedDecoder
{
    static const QByteArray QUERY_SOURCE;
    static const QByteArray QUERY_PLACE;
    static const QByteArray SWITCH;
    static const QByteArray PLACE;

    ScriptedDecoder(
        const QSharedPointer<RxDevice> &decoder, const QByteArray &source, const QByteArray &place = "0:0:0:0");

    // The link comes up (again) and everything queued runs.
    void connect();
    // Power cut: the link goes, and the decoder comes back showing `source`.
    void powerCycle(const QByteArray &source);
    // Lines sent that start with the text.
    int count(const QByteArray &start) const;

    QSharedPointer<RxDevice> decoder;
    ScriptedShellPeer peer;
    bool stubborn = false;
};
