#pragma once

#include <QByteArray>
#include <QHostAddress>

class ApiToken;
class AuthThrottle;
class GuiHandOver;
class HealthMonitor;
struct mg_connection;

// GET /metrics on the control API's web port, with the API token as a bearer like every
// other call there (and over TLS when the port has it): the monitor's figures for a
// Prometheus server to scrape.
class MetricsPage
{
public:
    static constexpr const char *PATH = "/metrics";

    // All three live on the GUI thread and outlive the page.
    MetricsPage(HealthMonitor *monitor, const ApiToken *token, AuthThrottle *throttle);

    // civetweb's thread: answers a request for the metrics; 0 when the path is another.
    int serve(mg_connection *connection, GuiHandOver &handOver);

    struct Reply
    {
        int status = 200;
        QByteArray body;
    };
    // The GUI thread: what a request from peer, with this Authorization header, gets.
    Reply take(const QByteArray &authorization, const QHostAddress &peer);

private:
    HealthMonitor *monitor;
    const ApiToken *token;
    AuthThrottle *throttle;
};
