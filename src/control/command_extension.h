#pragma once

#include "control/access.h"
#include "control/command_answer.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QVector>

// One line of a command table: a method and the right it needs.
struct CommandEntry
{
    QString name;
    Right right;
};

// Methods that another part of the program adds to the command set, so that the command set
// never has to know the parts built on top of it.
class CommandExtension : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual QVector<CommandEntry> methods() const = 0;
    // Only called with a method that methods() lists, by an actor that may send it.
    virtual RemoteAnswer execute(const QString &method, const QJsonObject &params) = 0;
    // This extension's part of the state.
    virtual QJsonObject state() const = 0;
    // The screens and sources an Operate method would change, as device names, for an actor
    // limited to some: false when they cannot be told apart from every screen, which refuses
    // the method to such an actor.
    virtual bool reach(const QString &method, const QJsonObject &params, QStringList *screens,
        QStringList *sources) const
    {
        Q_UNUSED(method)
        Q_UNUSED(params)
        Q_UNUSED(screens)
        Q_UNUSED(sources)
        return false;
    }

signals:
    void event(const QString &name, const QJsonObject &data);
};
