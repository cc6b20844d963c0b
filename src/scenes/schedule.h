#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QTime>
#include <QVector>

class QTimeZone;

// Something the controller does by itself at a wall-clock time: recall a scene or switch
// every display, on chosen weekdays or once.
struct Schedule
{
    enum class Action { RecallScene, PowerOn, PowerOff };
    enum class Repeat { Weekly, Once };
    static constexpr int ALL_DAYS = 0x7f;

    QString name;
    Action action = Action::RecallScene;
    QString scene;
    Repeat repeat = Repeat::Weekly;
    QTime time;
    // Bit 0 is Monday, bit 6 Sunday.
    int weekdays = ALL_DAYS;
    // Once: the local date and time, as digits; the QDateTime carries no zone of its own.
    QDateTime at;
    bool enabled = true;

    // The instants it falls on in (after, until], reading its wall-clock time in `zone`:
    // one per day, also on the day a clock change repeats or skips that time (a skipped
    // time falls as far past the jump as it lay inside the gap, a repeated one on its second
    // passing).
    QVector<QDateTime> occurrences(const QDateTime &after, const QDateTime &until, const QTimeZone &zone) const;

    // "yyyy-MM-ddTHH:mm" as local digits, also for a time the clock skips; invalid otherwise.
    static QDateTime readLocal(const QString &text);
    // For a time the clock skips on that day, where it runs instead; empty otherwise.
    static QString gapNote(const QDate &date, const QTime &time, const QTimeZone &zone);

    QJsonObject toJson() const;
    static bool fromJson(const QJsonValue &value, Schedule *schedule, QString *reason);
    static QString actionName(Action action);
};
