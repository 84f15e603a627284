#pragma once
// The desktop services of the window application. An alert raised on a worker thread is shown
// on the main thread as a modal message box while the worker waits for its dismissal; an alert
// raised on the main thread is shown directly. Log lines go to the system log and to stderr.

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

    void alert(const std::string& title, const std::string& message) override;
    void log(const std::string& line) override;

  private:
    void showAlert(const QString& title, const QString& message);

    QPointer<QWidget> parentWindow;
};
