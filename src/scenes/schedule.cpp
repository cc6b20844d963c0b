#include "scenes/schedule.h"

#include "base/name_rules.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonValue>
#include <QTimeZone>

namespace {

const QString NAME = QStringLiteral("name");
const QString ACTION = QStringLiteral("action");
const QString SCENE = QStringLiteral("scene");
const QString TIME = QStringLiteral("time");
const QString DAYS = QStringLiteral("weekdays");
const QString AT = QStringLiteral("at");
const QString ENABLED = QStringLiteral("enabled");
const QString TIME_FORMAT = QStringLiteral("HH:mm");
const QString AT_FORMAT = QStringLiteral("yyyy-MM-ddTHH:mm");

// One instant per wall-clock time. A time the clock skips is read with the offset in force
// before the jump, which puts it as far after the jump as it lay inside the gap, whatever
// the gap's length and also when the gap crosses midnight.
QDateTime wallClock(const QDate &date, const QTime &time, const QTimeZone &zone)
{
    // Inside a gap the local reading names no instant, and the moment is not valid.
    const QDateTime moment(date, time, zone);
    if (moment.isValid())
        return moment;
    const QDateTime reading(date, time, Qt::UTC);
    // No zone changes its offset twice within a day.
    const int before = zone.offsetFromUtc(reading.addSecs(-24 * 3600));
    return reading.addSecs(-before).toTimeZone(zone);
}

} // namespace

// Kept as digits: a time the clock skips that day is still a time someone may mean.
QDateTime Schedule::readLocal(const QString &text)
{
    const int split = text.indexOf(QLatin1Char('T'));
    const QDate date = QDate::fromString(text.left(split), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(split + 1), TIME_FORMAT);
    return split == 10 && date.isValid() && time.isValid() ? QDateTime(date, time, Qt::UTC) : QDateTime();
}

QString Schedule::gapNote(const QDate &date, const QTime &time, const QTimeZone &zone)
{
    if (QDateTime(date, time, zone).isValid())
        return QString();
    const QDateTime moment = wallClock(date, time, zone);
    return QCoreApplication::translate("Schedule", "The clock skips %1 on %2; it runs at %3.")
        .arg(time.toString(TIME_FORMAT), date.toString(Qt::ISODate), moment.time().toString(TIME_FORMAT));
}

QVector<QDateTime> Schedule::occurrences(const QDateTime &after, const QDateTime &until, const QTimeZone &zone) const
{
    QVector<QDateTime> found;
    if (!enabled || !(after < until))
        return found;
    if (repeat == Repeat::Once) {
        const QDateTime moment = wallClock(at.date(), at.time(), zone);
        if (moment > after && moment <= until)
            found.append(moment);
        return found;
    }
    const QDate last = until.toTimeZone(zone).date();
    // A time the clock skips late on one day falls on the next.
    for (QDate day = after.toTimeZone(zone).date().addDays(-1); day <= last; day = day.addDays(1)) {
        if (!(weekdays & (1 << (day.dayOfWeek() - 1))))
            continue;
        const QDateTime moment = wallClock(day, time, zone);
        if (moment > after && moment <= until)
            found.append(moment);
    }
    return found;
}

QString Schedule::actionName(Action action)
{
    switch (action) {
    case Action::RecallScene:
        return QStringLiteral("scene");
    case Action::PowerOn:
        return QStringLiteral("power_on");
    case Action::PowerOff:
        return QStringLiteral("power_off");
    }
    return QString();
}

QJsonObject Schedule::toJson() const
{
    QJsonObject object {{NAME, name}, {ACTION, actionName(action)}, {ENABLED, enabled}};
    if (action == Action::RecallScene)
        object.insert(SCENE, scene);
    if (repeat == Repeat::Once) {
        object.insert(AT, at.toString(AT_FORMAT));
    } else {
        object.insert(TIME, time.toString(TIME_FORMAT));
        QJsonArray days;
        for (int day = 1; day <= 7; ++day) {
            if (weekdays & (1 << (day - 1)))
                days.append(day);
        }
        object.insert(DAYS, days);
    }
    return object;
}

bool Schedule::fromJson(const QJsonValue &value, Schedule *schedule, QString *reason)
{
    const QJsonObject object = value.toObject();
    Schedule read;
    read.name = object.value(NAME).toString();
    if (!value.isObject() || !NameRules::sceneName(read.name)) {
        *reason = QStringLiteral("a schedule without a valid name");
        return false;
    }
    const auto refuse = [&](const QString &what) {
        *reason = QStringLiteral("schedule \"%1\": %2").arg(read.name, what);
        return false;
    };
    const QString action = object.value(ACTION).toString();
    if (action == actionName(Action::RecallScene))
        read.action = Action::RecallScene;
    else if (action == actionName(Action::PowerOn))
        read.action = Action::PowerOn;
    else if (action == actionName(Action::PowerOff))
        read.action = Action::PowerOff;
    else
        return refuse(QStringLiteral("unknown action"));
    read.scene = object.value(SCENE).toString();
    if (read.action == Action::RecallScene && !NameRules::sceneName(read.scene))
        return refuse(QStringLiteral("no scene named"));
    const QJsonValue enabled = object.value(ENABLED);
    if (!enabled.isUndefined() && !enabled.isBool())
        return refuse(QStringLiteral("enabled must be true or false"));
    read.enabled = enabled.toBool(true);
    if (object.contains(AT)) {
        read.repeat = Repeat::Once;
        read.at = Schedule::readLocal(object.value(AT).toString());
        if (!read.at.isValid())
            return refuse(QStringLiteral("the date and time must read YYYY-MM-DDTHH:MM"));
    } else {
        read.time = QTime::fromString(object.value(TIME).toString(), TIME_FORMAT);
        if (!read.time.isValid())
            return refuse(QStringLiteral("the time must read HH:MM"));
        const QJsonValue days = object.value(DAYS);
        if (!days.isArray() || days.toArray().isEmpty() || days.toArray().size() > 7)
            return refuse(QStringLiteral("weekdays must list days 1 (Monday) to 7 (Sunday)"));
        read.weekdays = 0;
        for (const QJsonValue &day : days.toArray()) {
            const int number = day.toInt(0);
            if (!day.isDouble() || number < 1 || number > 7 || day.toDouble() != number)
                return refuse(QStringLiteral("weekdays must list days 1 (Monday) to 7 (Sunday)"));
            read.weekdays |= 1 << (number - 1);
        }
    }
    *schedule = read;
    return true;
}
