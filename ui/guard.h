#pragma once

#include <QApplication>
#include <QObject>

#include <exception>
#include <utility>

class QWidget;

namespace Ordavex {

// Shows an exception that abandoned a user action in the error box: the message of a
// RuntimeError or std::exception, an empty message for anything else.
void ShowException(QWidget *parent, std::exception_ptr error);

// Runs one user action. An error raised inside it abandons the action, is shown in the
// error box, and the program goes on: every handler of every window comes through here.
template <typename Action>
void Guarded(QWidget *parent, Action &&action)
{
    try {
        std::forward<Action>(action)();
    } catch (...) {
        ShowException(parent, std::current_exception());
    }
}

// connect() for handlers: the slot runs guarded.
template <typename Sender, typename Signal, typename Window>
QMetaObject::Connection ConnectHandler(Sender *sender, Signal signal, Window *window,
                                       void (Window::*handler)())
{
    return QObject::connect(sender, signal, window, [window, handler] {
        Guarded(window, [window, handler] { (window->*handler)(); });
    });
}

// The application object: an error that escapes an event handler anyway is shown the
// same way instead of ending the program.
class Application final : public QApplication
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Application)

public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace Ordavex
