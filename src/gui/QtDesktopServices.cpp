#include "gui/QtDesktopServices.h"

#include <syslog.h>

#include <cstdio>

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QThread>

QtDesktopServices::QtDesktopServices() {
    openlog("quillwavecaster", LOG_PID, LOG_USER);
}

QtDesktopServices::~QtDesktopServices() {
    closelog();
}

void QtDesktopServices::alert(const std::string& title, const std::string& message,
                              const std::string& reason) {
    const QString qtitle = QString::fromStdString(title);
    const QString qmessage = QString::fromStdString(message);
    const QString qreason = QString::fromStdString(reason);
    if (QThread::currentThread() == thread()) {
        showAlert(qtitle, qmessage, qreason);
        return;
    }
    // The worker waits here until the user has dismissed the box on the main thread.
    QMetaObject::invokeMethod(
        this, [this, qtitle, qmessage, qreason] { showAlert(qtitle, qmessage, qreason); },
        Qt::BlockingQueuedConnection);
}

void QtDesktopServices::log(const std::string& line) {
    syslog(LOG_ERR, "%s", line.c_str());
    std::fprintf(stderr, "quillwavecaster: %s\n", line.c_str());
    std::fflush(stderr);
}

void QtDesktopServices::showAlert(const QString& title, const QString& message,
                                  const QString& reason) {
    if (beforeAlert) beforeAlert();
    QWidget* parent = parentWindow ? parentWindow.data() : QApplication::activeWindow();
    // The message is the headline; the reason (what failed, the path, the system's reason) is
    // below it, selectable so that it can be copied into a report.
    QMessageBox box(QMessageBox::Warning, title, message, QMessageBox::Ok, parent);
    box.setInformativeText(reason);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.setObjectName("alert");
    box.setDefaultButton(QMessageBox::Ok);
    // A message box sizes itself to its text alone, and the window manager then cuts the title
    // short: a strut as wide as the title with room for the frame's buttons keeps it whole.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int width = box.fontMetrics().horizontalAdvance(title) * 5 / 4 + 160;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    box.exec();
}
