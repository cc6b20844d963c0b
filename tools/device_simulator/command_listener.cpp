#include "command_listener.h"

#include <QTextStream>

void CommandListener::onDatagram(const QNetworkDatagram &datagram)
{
    QTextStream(stdout) << "command on " << socket.localPort() << " from " << datagram.senderAddress().toString()
                        << ": " << QString::fromLatin1(datagram.data()) << Qt::endl;
}
