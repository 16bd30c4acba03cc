#include "connectwarningguard.h"

#include <QTest>

namespace {

QtMessageHandler previousHandler = nullptr;

void failOnConnectWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && QTest::currentTestFunction()
        && (message.startsWith(QLatin1String("QObject::connect"))
            || message.startsWith(QLatin1String("QObject::disconnect")))) {
        QTest::qFail(qPrintable(message), context.file ? context.file : "connection", context.line);
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

namespace ConnectWarningGuard {

void install()
{
    QtMessageHandler previous = qInstallMessageHandler(failOnConnectWarning);
    if (previous != failOnConnectWarning)
        previousHandler = previous;
}

} // namespace ConnectWarningGuard
