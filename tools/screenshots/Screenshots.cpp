// Renders the application's windows offscreen into PNG files for the README:
//   quillwavecaster_screenshots OUTPUT_FOLDER
// Every window is shown as a user meets it, on settings of its own (a fresh preferences folder),
// so the pictures do not depend on the machine they are made on.
#include <cstdlib>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "gui/AboutWindow.h"
#include "gui/HelpWindow.h"
#include "gui/InspectorWindow.h"
#include "gui/MainWindow.h"
#include "gui/QtDesktopServices.h"
#include "jobs/JobProgress.h"

namespace {

bool Save(const QPixmap& picture, const QString& folder, const char* name) {
    const QString path = QDir(folder).filePath(name);
    if (!picture.save(path)) {
        std::fprintf(stderr, "screenshots: could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The window with its sheet drawn over it, hanging from below the menu bar as a sheet does.
QPixmap WithSheet(MainWindow* window, QWidget* sheet) {
    QPixmap picture = window->grab();
    QPainter painter(&picture);
    const QPoint at((picture.width() - sheet->width()) / 2, window->menuBar()->height());
    painter.fillRect(picture.rect(), QColor(0, 0, 0, 40));
    painter.drawPixmap(at, sheet->grab());
    painter.setPen(QColor(0, 0, 0, 90));
    painter.drawRect(QRect(at, sheet->size()).adjusted(0, 0, -1, -1));
    return picture;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillwavecaster_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    QApplication application(argc, argv);
    QDir().mkpath(QString::fromLocal8Bit(argv[1]));
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    // The save panel opens on the current folder: an empty one of its own.
    QTemporaryDir scratch;
    QDir::setCurrent(scratch.path());
    QtDesktopServices desktop;
    ScopedDesktopServices installed(desktop);

    MainWindow window;
    desktop.setParentWindow(&window);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    bool ok = true;
    auto* tabs = window.findChild<QTabWidget*>("upperTabView");
    const char* tabNames[] = {"tab1-test-tone.png", "tab2-full-sweep.png", "tab3-custom-sweep.png",
                              "tab4-phase-check.png"};
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        QTest::qWait(50);
        // The pages made from a kind's description are named after its command.
        const QString name = tab < 4 ? QString(tabNames[tab])
                                     : QString("tab%1-%2.png")
                                           .arg(tab + 1)
                                           .arg(tabs->widget(tab)->objectName().remove("_page"));
        ok &= Save(window.grab(), folder, qPrintable(name));
    }

    // The save panel of a full sweep, with its file options.
    tabs->setCurrentIndex(1);
    window.doGenerateSoundFile();
    QFileDialog* panel = window.savePanel();
    panel->resize(760, 520);
    QTest::qWait(300);
    ok &= Save(panel->grab(), folder, "save-panel.png");

    // The progress sheet as a running job shows it, a little under half way: drawn from its own
    // widgets, so the picture does not depend on how fast this machine writes a sweep.
    panel->reject();
    auto* sheet = window.findChild<QDialog*>("progressSheet");
    const double fraction = 0.46;
    sheet->findChild<QProgressBar*>("bar")->setValue(static_cast<int>(fraction * 1000));
    sheet->findChild<QLabel*>("messageTextField")
        ->setText(QString::fromStdString(ProgressMessage(fraction)));
    sheet->adjustSize();
    ok &= Save(WithSheet(&window, sheet), folder, "progress-sheet.png");

    // A file written: the status line names it and offers its folder.
    window.statusBar()->showMessage(
        "Written: /home/studio/VivuZira 1000 Hz, -10.00 dB, 10 sec.aif");
    window.findChild<QPushButton*>("showInFolderButton")->show();
    QTest::qWait(50);
    ok &= Save(window.grab(), folder, "written.png");

    // The inspector on a short tone written by the window's own job, named as the panel
    // proposes, in the current folder.
    tabs->setCurrentIndex(0);
    window.findChild<QLineEdit*>("tab1LengthCell")->setText("2");
    QSignalSpy finished(&window, &MainWindow::jobFinished);
    window.doGenerateSoundFile();
    panel = window.savePanel();
    const QString tone = panel->findChild<QLineEdit*>("fileNameEdit")->text() + ".aif";
    static_cast<QDialog*>(panel)->accept();
    InspectorWindow* inspector = nullptr;
    if (finished.wait(60000)) {
        inspector = InspectorWindow::Inspect(&window, tone);
        QSignalSpy read(inspector, &InspectorWindow::readingFinished);
        read.wait(10000);
    }
    if (inspector == nullptr || !inspector->findChild<QWidget*>("levelsTable")->isVisible()) {
        std::fprintf(stderr, "screenshots: the tone for the inspector was not written or read\n");
        return 1;
    }
    ok &= Save(inspector->grab(), folder, "inspector.png");
    inspector->close();

    window.showAboutPanel();
    QTest::qWait(100);
    ok &= Save(window.aboutWindow()->grab(), folder, "about.png");
    window.showHelp();
    QTest::qWait(100);
    if (window.helpWindow() != nullptr) ok &= Save(window.helpWindow()->grab(), folder, "help.png");
    window.close();
    return ok ? 0 : 1;
}
