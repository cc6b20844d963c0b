#pragma once

#include <QByteArray>
#include <QString>

class HealthMonitor;

// The monitor's figures in Prometheus' text exposition format (version 0.0.4).
namespace metricstext {

constexpr const char *CONTENT_TYPE = "text/plain; version=0.0.4; charset=utf-8";

// Every family once, with its HELP and TYPE, devices labelled by name, alias and kind.
QByteArray render(HealthMonitor &monitor);
// A label value as the format wants it: backslash, double quote and line feed escaped.
QByteArray labelValue(const QString &value);

} // namespace metricstext
