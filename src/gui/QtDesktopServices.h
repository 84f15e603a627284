#pragma once
// The desktop services of the window application. An alert raised on a worker thread is shown
// on the main thread as a modal message box while the worker waits for its dismissal; an alert
// raised on the main thread is shown directly. Log lines go to the system log and to stderr.

#include <functional>

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "shell/DesktopServices.h"

class QtDesktopServices : public QObject, public DesktopServices {
    Q_OBJECT
  public:
    // Lives on the thread that creates it, which must be the main (GUI) thread.
    QtDesktopServices();
    ~QtDesktopServices() override;

    // The window alerts are shown over (none: the active window).
    void setParentWindow(QWidget* window) { parentWindow = window; }
    // Called on the main thread just before an alert is shown, so that the window can take away
    // whatever would cover it (the progress sheet of a job that has failed).
    void setBeforeAlert(std::function<void()> action) { beforeAlert = std::move(action); }

    void alert(const std::string& title, const std::string& message,
               const std::string& reason) override;
    void log(const std::string& line) override;

  private:
    void showAlert(const QString& title, const QString& message, const QString& reason);

    QPointer<QWidget> parentWindow;
    std::function<void()> beforeAlert;
};
