#include "scenes/scene_recall.h"

#include "manager/device_manager.h"
#include "models/device_list_model.h"
#include "models/rx_device.h"
#include "models/vw_device.h"

#include <QDebug>
#include <QTimer>

SceneRecall::SceneRecall(DeviceManager *manager, QObject *parent)
    : QObject(parent)
    , manager(manager)
    , timer(new QTimer(this))
    , pacer(new QTimer(this))
{
    timer->setSingleShot(true);
    timer->setInterval(READ_BACK_TIMEOUT_MS);
    connect(timer, &QTimer::timeout, this, &SceneRecall::onTimeout);
    pacer->setSingleShot(true);
    pacer->setInterval(0);
    connect(pacer, &QTimer::timeout, this, &SceneRecall::sendSlice);
}

bool SceneRecall::running() const
{
    return sending || timer->isActive();
}

void SceneRecall::setReadBackTimeout(int milliseconds)
{
    timer->setInterval(milliseconds);
}

bool SceneRecall::start(const Scene &recalled)
{
    if (running())
        return false;
    scene = recalled;
    checks.clear();
    decoders.clear();
    qInfo().noquote() << "Recalling scene" << scene.name << "on" << scene.sources.size() << "screens";
    send(scene);
    return true;
}

bool SceneRecall::retry()
{
    if (running())
        return false;
    Scene part;
    part.name = scene.name;
    part.power = scene.power;
    for (const Check &check : qAsConst(checks)) {
        if (check.outcome != Outcome::Confirmed)
            part.sources.insert(check.target, check.wanted);
    }
    if (part.sources.isEmpty())
        return false;
    checks.clear();
    decoders.clear();
    qInfo().noquote() << "Retrying scene" << scene.name << "on" << part.sources.size() << "screens";
    send(part);
    return true;
}

// Every command is queued before any answer is looked at: each decoder works through its
// own queue on its own link, so the slowest decoder, not the sum of them, sets the pace.
void SceneRecall::send(const Scene &part)
{
    unsent = part;
    powered.clear();
    sending = true;
    sendSlice();
}

void SceneRecall::sendSlice()
{
    int decodersRouted = 0;
    auto it = unsent.sources.begin();
    while (it != unsent.sources.end() && decodersRouted < decodersPerTurn) {
        const QSharedPointer<RxDeviceBase> entry
            = manager->rxlist()->findDevice(it.key(), false).objectCast<RxDeviceBase>();
        if (!entry) {
            checks.append(unlisted(it.key(), it.value()));
            decoders.append(nullptr);
            ++decodersRouted;
            it = unsent.sources.erase(it);
            continue;
        }
        QVector<QSharedPointer<RxDevice>> targets;
        if (const auto decoder = entry.objectCast<RxDevice>())
            targets.append(decoder);
        else if (const auto *wall = qobject_cast<const VWDevice *>(entry.data()))
            targets = wall->members();
        QVector<bool> busy;
        for (const QSharedPointer<RxDevice> &decoder : qAsConst(targets))
            busy.append(decoder && decoder->pendingCommandCount() > 0);
        // A route to an encoder that is gone would be obeyed by the decoders and then read
        // back as confirmed, while nothing reaches the screen.
        const bool sourceListed = it.value().isEmpty() || manager->txlist()->findDevice(it.value(), false);
        if (!sourceListed)
            qWarning().noquote() << "Scene" << scene.name << "names the encoder" << it.value()
                                 << "which is not listed; not routed to" << it.key();
        const bool sent
            = sourceListed && manager->routeSource(it.value(), it.key()) == DeviceManager::RouteResult::Routed;
        powered.append(entry);
        decodersRouted += qMax(1, int(targets.size()));
        for (int i = 0; i < targets.size(); ++i) {
            if (targets.at(i))
                expect(targets.at(i), it.key(), it.value(), sent, busy.at(i));
        }
        it = unsent.sources.erase(it);
    }
    if (!unsent.sources.isEmpty()) {
        pacer->start();
        return;
    }
    sending = false;
    if (unsent.power != Scene::Power::Unchanged && !powered.isEmpty())
        manager->switchMonitors(unsent.power == Scene::Power::On, powered);
    powered.clear();
    timer->start();
    emit progress(resolvedCount(), checks.size());
    if (resolvedCount() == checks.size())
        finish();
}

SceneRecall::Check SceneRecall::unlisted(const QString &target, const QString &wanted) const
{
    if (const DeviceBasePtr member = manager->rxlist()->findDevice(target, true))
        return {member->name(), target, wanted, QString(), Outcome::Moved};
    // Discovered but not read yet: it exists, it just cannot be reached now.
    if (manager->pendingRxList()->findDevice(target, false))
        return {target, target, wanted, QString(), Outcome::Offline};
    return {target, target, wanted, QString(), Outcome::NotFound};
}

void SceneRecall::expect(
    const QSharedPointer<RxDevice> &decoder, const QString &target, const QString &wanted, bool sent, bool busy)
{
    const int index = checks.size();
    checks.append({decoder->name(), target, wanted, QString(), sent ? Outcome::Waiting : Outcome::Refused});
    decoders.append(decoder.data());
    if (!sent)
        return;
    // Made-up decoders have no shell to ask; what was routed to them is what they show.
    if (manager->demoMode()) {
        checks[index].outcome = Outcome::Confirmed;
        checks[index].reported = wanted;
        return;
    }
    // Questions of one kind that were still waiting are replaced by the new one, which goes
    // after the route; only a question already on the wire stays ahead of it, and it is the
    // first command the decoder finishes. A command given up instead of finished is counted
    // one command late, which only makes the wait one command longer.
    auto finishedBefore = QSharedPointer<int>::create(busy ? 1 : 0);
    connections.append(connect(decoder.data(), &RxDevice::stateChanged, this, [finishedBefore](int state) {
        if (state == RxDevice::CmdHaveResponse)
            --*finishedBefore;
    }));
    connections.append(connect(
        decoder.data(), &RxDevice::sourceReported, this, [this, index, finishedBefore](const QString &reported) {
            if (*finishedBefore >= 0)
                return;
            resolve(index, reported == checks.at(index).wanted ? Outcome::Confirmed : Outcome::Refused, reported);
        }));
    decoder->querySource();
}

void SceneRecall::resolve(int index, Outcome outcome, const QString &reported)
{
    if (checks.at(index).outcome != Outcome::Waiting)
        return;
    checks[index].outcome = outcome;
    checks[index].reported = reported;
    // While routes are still being handed out, the total is not known yet; the last slice
    // reports.
    if (!timer->isActive())
        return;
    emit progress(resolvedCount(), checks.size());
    if (resolvedCount() == checks.size())
        finish();
}

void SceneRecall::onTimeout()
{
    for (int i = 0; i < checks.size(); ++i) {
        if (checks.at(i).outcome != Outcome::Waiting)
            continue;
        const RxDevice *decoder = decoders.at(i);
        const bool reachable = decoder && decoder->online() && decoder->state() >= RxDevice::Ready
            && decoder->state() <= RxDevice::CmdHaveResponse;
        checks[i].outcome = reachable ? Outcome::TimedOut : Outcome::Offline;
    }
    finish();
}

void SceneRecall::finish()
{
    timer->stop();
    for (const QMetaObject::Connection &connection : qAsConst(connections))
        disconnect(connection);
    connections.clear();
    qInfo().noquote() << "Scene" << scene.name << "recalled:" << confirmedCount() << "of" << checks.size()
                      << "decoders confirmed";
    for (const Check &check : qAsConst(checks)) {
        if (check.outcome != Outcome::Confirmed)
            qWarning().noquote() << "Scene" << scene.name << ": decoder" << check.decoder << outcomeName(check.outcome)
                                 << "(wanted" << check.wanted << ", reported" << check.reported << ")";
    }
    emit finished();
}

int SceneRecall::confirmedCount() const
{
    return int(std::count_if(
        checks.cbegin(), checks.cend(), [](const Check &check) { return check.outcome == Outcome::Confirmed; }));
}

int SceneRecall::resolvedCount() const
{
    return int(std::count_if(
        checks.cbegin(), checks.cend(), [](const Check &check) { return check.outcome != Outcome::Waiting; }));
}

QString SceneRecall::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Waiting:
        return QStringLiteral("waiting");
    case Outcome::Confirmed:
        return QStringLiteral("confirmed");
    case Outcome::Offline:
        return QStringLiteral("offline");
    case Outcome::Refused:
        return QStringLiteral("refused");
    case Outcome::TimedOut:
        return QStringLiteral("timed_out");
    case Outcome::NotFound:
        return QStringLiteral("not_found");
    case Outcome::Moved:
        return QStringLiteral("moved");
    }
    return QString();
}
