#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

// Publishes the stand-in for the manager, as start-up publishes the real one.
class Setup : public QObject
{
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        QQmlComponent component(engine, QUrl::fromLocalFile(QStringLiteral(QUICK_TEST_SOURCE_DIR "/FakeManager.qml")));
        QObject *manager = component.create();
        if (!manager)
            qFatal("%s", qPrintable(component.errorString()));
        manager->setParent(engine);
        engine->rootContext()->setContextProperty(QStringLiteral("manager"), manager);
    }
};

QUICK_TEST_MAIN_WITH_SETUP(interface, Setup)

#include "tst_qml.moc"
