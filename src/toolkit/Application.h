#pragma once
// The application object's services: its title, the application-level error handler, and
// the one wrapper through which every event handler is entered, so that no exception ever
// crosses Qt's own frames.
#include <QObject>
#include <exception>
#include <functional>
#include <string>
#include <utility>

class QWidget;

namespace toolkit {

inline constexpr const char* kApplicationTitle = "Corvalite Product Update Assistant";

// Shows the error's text in a message box titled with the application's title.
void ShowException(const std::exception& error);
void ShowErrorText(const std::string& text);

// Tests replace the message box; the returned guard puts the previous presenter back.
using ErrorPresenter = std::function<void(const std::string&)>;
class ScopedErrorPresenter {
  public:
    explicit ScopedErrorPresenter(ErrorPresenter presenter);
    ~ScopedErrorPresenter();
    ScopedErrorPresenter(const ScopedErrorPresenter&) = delete;
    ScopedErrorPresenter& operator=(const ScopedErrorPresenter&) = delete;

  private:
    ErrorPresenter previous_;
};

// Runs a handler; an error ends it and is shown, and the program goes on.
template <class F>
void RunGuarded(F&& handler) noexcept {
    try {
        std::forward<F>(handler)();
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        ShowErrorText("Unexpected error");
    }
}

// connect() for event handlers: the slot runs inside RunGuarded.
template <class Sender, class Signal, class Receiver>
QMetaObject::Connection ConnectHandler(Sender* sender, Signal signal, Receiver* receiver,
                                       void (Receiver::*handler)()) {
    return QObject::connect(sender, signal, receiver,
                            [receiver, handler] { RunGuarded([&] { (receiver->*handler)(); }); });
}

// SIGTERM, SIGINT and SIGHUP close the window as its close box would, so a logout or a
// kill still saves what closing saves.
void CloseOnTerminationSignals(QWidget* window);

}  // namespace toolkit
