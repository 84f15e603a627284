#include "gui/QtDesktopServices.h"

#include <syslog.h>

#include <cstdio>

#include <QApplication>
#include <QMessageBox>
#include <QThread>

QtDesktopServices::QtDesktopServices() {
    openlog("quillwavecaster", LOG_PID, LOG_USER);
}

QtDesktopServices::~QtDesktopServices() {
    closelog();
}

void QtDesktopServices::alert(const std::string& title, const std::string& message) {
    const QString qtitle = QString::fromStdString(title);
    const QString qmessage = QString::fromStdString(message);
    if (QThread::currentThread() == thread()) {
        showAlert(qtitle, qmessage);
        return;
    }
    // The worker waits here until the user has dismissed the box on the main thread.
    QMetaObject::invokeMethod(
        this, [this, qtitle, qmessage] { showAlert(qtitle, qmessage); },
        Qt::BlockingQueuedConnection);
}

void QtDesktopServices::log(const std::string& line) {
    syslog(LOG_ERR, "%s", line.c_str());
    std::fprintf(stderr, "quillwavecaster: %s\n", line.c_str());
    std::fflush(stderr);
}

void QtDesktopServices::showAlert(const QString& title, const QString& message) {
    QWidget* parent = parentWindow ? parentWindow.data() : QApplication::activeWindow();
    // The title is the box's headline too: many window managers draw no title on dialogs.
    QMessageBox box(QMessageBox::Warning, title, title, QMessageBox::Ok, parent);
    box.setInformativeText(message);
    box.setObjectName("alert");
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}
