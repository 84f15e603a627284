// The main window's half of a running job: the worker started from a confirmed save panel, the
// progress sheet, Stop, the outcome in the status line, and quitting while a job runs.
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

#include "gui/AboutWindow.h"
#include "gui/HelpWindow.h"
#include "gui/MainWindow.h"
#include "gui/SavePanel.h"
#include "gui/WindowFrames.h"
#include "ui_MainWindow.h"
#include "ui_ProgressSheet.h"

namespace {

constexpr int kSheetDelayMilliseconds = 1000;
constexpr int kBarSteps = 1000; // the bar's maximum; the bar shows fractions 0.0 to 1.0

} // namespace

void MainWindow::startJob(const std::string& chosenPath) {
    worker = appController->startJob(chosenPath);
    if (!worker.joinable()) return; // another job of this process is still running
    jobTarget = appController->targetPath(chosenPath);
    statusBar()->clearMessage();
    showInFolderButton->hide();
    inspectButton->hide();
    active = true;
    setLocked(true);
    const std::uint64_t job = ++jobSerial;
    sheetUi->bar->setValue(0);
    sheetUi->messageTextField->setText(QString::fromStdString(ProgressMessage(0.0)));
    progressTimer.start();
    QTimer::singleShot(kSheetDelayMilliseconds, this, [this, job] { startProgressSheet(job); });
}

void MainWindow::startProgressSheet(std::uint64_t job) {
    // Only for this job, only while it runs, and never for a job that has failed: its alert is
    // up or about to be, and nothing may cover it.
    const JobProgress& progress = appController->progress();
    if (job != jobSerial || !active || progress.done || progress.error || quitWhenDone) return;
    progressSheet->show();
}

void MainWindow::updateProgress() {
    JobProgress& progress = appController->progress();
    if (progress.done) {
        sheetUi->bar->setValue(kBarSteps);
        finishJob();
        return;
    }
    const double fraction = std::clamp(progress.Poll(), 0.0, 1.0);
    sheetUi->bar->setValue(static_cast<int>(fraction * kBarSteps + 0.5));
    sheetUi->messageTextField->setText(QString::fromStdString(ProgressMessage(fraction)));
}

void MainWindow::finishJob() {
    if (!active) return;
    progressTimer.stop();
    progressSheet->hide();
    if (worker.joinable()) worker.join();
    active = false;
    setLocked(false);
    showOutcome();
    emit jobFinished();
    if (quitWhenDone) {
        quitWhenDone = false;
        close();
    }
}

void MainWindow::stopWriting() {
    appController->stopWriting();
}

void MainWindow::showOutcome() {
    const JobProgress& progress = appController->progress();
    const QString target = QString::fromStdString(jobTarget);
    if (progress.cancelled) {
        statusBar()->showMessage(tr("Stopped: nothing was written, %1 is as it was.").arg(target));
    } else if (progress.error) {
        statusBar()->showMessage(tr("Not written: %1").arg(target));
    } else {
        statusBar()->showMessage(tr("Written: %1").arg(target));
        showInFolderButton->show();
        // A set's folder holds several files: the inspector takes one file.
        inspectButton->setVisible(QFileInfo(target).isFile());
    }
}

void MainWindow::requestQuit() {
    close();
}

void MainWindow::quitUnattended() {
    // Nobody may be there to answer a question or an alert: each is dismissed, the job then
    // ends as after Stop.
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(top); box != nullptr && box->isVisible())
            box->reject();
    requestQuit();
}

void MainWindow::waitForJob() {
    if (!active) return;
    // The job cleans up as after Stop; alerts it raises meanwhile can still be answered.
    // (Only when the window goes without being closed: closing does not block.)
    stopWriting();
    QEventLoop loop;
    connect(this, &MainWindow::jobFinished, &loop, &QEventLoop::quit);
    if (active) loop.exec();
}

void MainWindow::setLocked(bool locked) {
    // A disabled control loses the focus and nothing gets it back when it is enabled again: the
    // window would then take no keys, not even its shortcuts.
    if (locked) focusBeforeJob = focusWidget();
    ui->bgImage->setEnabled(!locked);
    ui->generateAction->setEnabled(!locked);
    if (!locked) (focusBeforeJob ? focusBeforeJob.data() : ui->generateButton)->setFocus();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (panel) panel->reject();
    if (active) {
        // The job is stopped and cleans up as after Stop; the window closes when it has ended.
        // Waiting here instead could sit inside the event loop of an alert the job is waiting
        // on, which could then never return.
        quitWhenDone = true;
        stopWriting();
        statusBar()->showMessage(tr("Stopping the job, then quitting…"));
        event->ignore();
        return;
    }
    frame->save();
    rememberEntries();
    if (aboutController) aboutController->close();
    if (helpController) helpController->close();
    event->accept();
    emit closed();
}
