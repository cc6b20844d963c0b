#include "web/web_remote.h"

WebRemote::WebRemote(DeviceManager *manager, const ApiToken *token, AuthThrottle *throttle, const WebServer *server)
    : thumbnails(manager, token, throttle, server)
{
}

int WebRemote::serve(mg_connection *connection, GuiHandOver &handOver)
{
    if (const int status = files.serve(connection))
        return status;
    return thumbnails.serve(connection, handOver);
}
