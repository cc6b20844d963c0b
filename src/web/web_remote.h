#pragma once

#include "web/thumbnail_handler.h"
#include "web/web_remote_files.h"

// The web remote on the control API's port: its page and the encoders' thumbnails. The
// page talks to the controller through the API's own WebSocket.
class WebRemote
{
public:
    // All four outlive the remote.
    WebRemote(DeviceManager *manager, const ApiToken *token, AuthThrottle *throttle, const WebServer *server);

    // Answers a request for the page or a thumbnail; false when the path is neither.
    bool serve(const HttpRequestHead &head, const QHostAddress &peer, HttpReply *reply);

private:
    WebRemoteFiles files;
    ThumbnailHandler thumbnails;
};
