#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

// Publishes the stand-ins for the context objects, as start-up publishes the real ones.
class Setup : public QObject
{
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        publish(engine, QStringLiteral("manager"), QStringLiteral("FakeManager.qml"));
        publish(engine, QStringLiteral("oem"), QStringLiteral("FakeOem.qml"));
    }

private:
    static void publish(QQmlEngine *engine, const QString &name, const QString &file)
    {
        QQmlComponent component(engine, QUrl::fromLocalFile(QStringLiteral(QUICK_TEST_SOURCE_DIR "/") + file));
        QObject *object = component.create();
        if (!object)
            qFatal("%s", qPrintable(component.errorString()));
        object->setParent(engine);
        engine->rootContext()->setContextProperty(name, object);
    }
};

QUICK_TEST_MAIN_WITH_SETUP(interface, Setup)

#include "tst_qml.moc"
