// quillwavecaster: the desktop application.
#include <csignal>

#include <QApplication>
#include <QIcon>
#include <QSessionManager>

#include "gui/MainWindow.h"
#include "gui/QtDesktopServices.h"
#include "gui/QuitSignals.h"
#include "shell/Resources.h"

int main(int argc, char* argv[]) {
    // Past a file-size limit a write fails (EFBIG) and the job cleans up, rather than the
    // application being ended with an unfinished file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quillwavecaster");
    QApplication::setApplicationVersion(QUILL_VERSION);
    QApplication::setDesktopFileName("quillwavecaster");
    if (auto icon = PathForResource("quillwavecaster", "png"))
        QApplication::setWindowIcon(QIcon(QString::fromStdString(*icon)));
    QtDesktopServices desktop;
    ScopedDesktopServices installed(desktop);
    MainWindow window;
    QObject::connect(&window, &MainWindow::closed, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    // A signal, or the end of the desktop session, quits as Quit does, with nobody to answer.
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &window,
                     &MainWindow::quitUnattended);
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.quitUnattended(); });
    window.show();
    const int status = application.exec();
    return quitSignals.received() != 0 ? 128 + quitSignals.received() : status;
}
