#pragma once

#include "web/thumbnail_handler.h"
#include "web/web_remote_files.h"

class GuiHandOver;
struct mg_connection;

// The web remote on the control API's port: its page and the encoders' thumbnails. The
// page talks to the controller through the API's own WebSocket.
class WebRemote
{
public:
    // All four live on the GUI thread and outlive the remote; made on the GUI thread.
    WebRemote(DeviceManager *manager, const ApiToken *token, AuthThrottle *throttle, const WebServer *server);

    // civetweb's thread: answers a request for the page or a thumbnail; 0 when the path is
    // neither.
    int serve(mg_connection *connection, GuiHandOver &handOver);

private:
    WebRemoteFiles files;
    ThumbnailHandler thumbnails;
};
