#include "guard.h"

#include "core/runtimeerror.h"
#include "dialogs.h"

#include <QThread>
#include <QWidget>

namespace Ordavex {

void ShowException(QWidget *parent, std::exception_ptr error)
{
    QString text;
    try {
        std::rethrow_exception(error);
    } catch (const RuntimeError &e) {
        text = e.message();
    } catch (const std::exception &e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    // A box belongs to the window thread; an error elsewhere (the serial reader) is logged.
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
        qWarning("%s", qUtf8Printable(text));
        return;
    }
    Dialogs::instance().error(parent, text);
}

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(activeWindow(), std::current_exception());
        return true;
    }
}

} // namespace Ordavex
