#pragma once

#include <QByteArray>
#include <QHostAddress>

class ApiToken;
class AuthThrottle;
class HealthMonitor;
struct HttpReply;
struct HttpRequestHead;

// GET /metrics on the control API's web port, with the API token as a bearer like every
// other call there (and over TLS when the port has it): the monitor's figures for a
// Prometheus server to scrape.
class MetricsPage
{
public:
    static constexpr const char *PATH = "/metrics";

    // All three outlive the page.
    MetricsPage(HealthMonitor *monitor, const ApiToken *token, AuthThrottle *throttle);

    // Answers a request for the metrics; false when the path is another.
    bool serve(const HttpRequestHead &head, const QHostAddress &peer, HttpReply *reply);

    struct Reply
    {
        int status = 200;
        QByteArray body;
    };
    // What a request from peer, with this Authorization header, gets.
    Reply take(const QByteArray &authorization, const QHostAddress &peer);

private:
    HealthMonitor *monitor;
    const ApiToken *token;
    AuthThrottle *throttle;
};
