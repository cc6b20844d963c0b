#include "web/web_remote.h"

WebRemote::WebRemote(DeviceManager *manager, const ApiToken *token, AuthThrottle *throttle, const WebServer *server)
    : thumbnails(manager, token, throttle, server)
{
}

bool WebRemote::serve(const HttpRequestHead &head, const QHostAddress &peer, HttpReply *reply)
{
    return files.serve(head, reply) || thumbnails.serve(head, peer, reply);
}
