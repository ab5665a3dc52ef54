// Dropping Qt's diagnostics unless the user asks for them.
#include "app/QtMessages.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarvex {

namespace {

void onlyFatal(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace

void hideQtMessagesUnlessAsked()
{
    const char* asked = std::getenv(kQtMessagesVariable);
    if (asked && asked[0] != '\0' && std::strcmp(asked, "0") != 0)
        return;
    qInstallMessageHandler(onlyFatal);
}

} // namespace tarvex
