#pragma once

#include "control/command_answer.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>

// Methods that another part of the program adds to the command set, so that the command set
// never has to know the parts built on top of it.
class CommandExtension : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual QStringList methods() const = 0;
    // Only called with a method that methods() lists.
    virtual RemoteAnswer execute(const QString &method, const QJsonObject &params) = 0;
    // This extension's part of the state.
    virtual QJsonObject state() const = 0;

signals:
    void event(const QString &name, const QJsonObject &data);
};
