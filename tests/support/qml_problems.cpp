#include "qml_problems.h"

#include <QStringList>
#include <QtGlobal>

namespace {

QStringList problems;
QtMessageHandler previousHandler = nullptr;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtDebugMsg && type != QtInfoMsg
        && (QByteArray(context.file).startsWith("qrc:/qml") || text.contains(QLatin1String("qrc:/qml"))))
        problems << text;
    previousHandler(type, context, text);
}

} // namespace

namespace qmlproblems {

void install()
{
    problems.clear();
    previousHandler = qInstallMessageHandler(collect);
}

QString finish()
{
    qInstallMessageHandler(previousHandler);
    return problems.join(QLatin1Char('\n'));
}

} // namespace qmlproblems
