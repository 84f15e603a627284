#pragma once
// The main window: four tabs, one per kind of job, the save panel with its file options and
// the progress sheet. It is the window half of the job controller: it fills the controller's
// records from its entries, starts the job on a worker thread when the save panel is
// confirmed, and polls the job's progress on the main thread. The worker never touches a
// widget; it reaches the user only through the desktop services' alert.

#include <cstdint>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include <QFileDialog>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include "jobs/AppController.h"
#include "jobs/JobKinds.h"

namespace Ui {
class MainWindow;
class SaveOptionsView;
class ProgressSheet;
} // namespace Ui
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class AboutWindow;
class HelpWindow;
class SavePanel;
class WindowFrame;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    AppController& controller() { return *appController; }
    // The save panel while it is open.
    QFileDialog* savePanel() const;
    // From the confirmed save panel until the job has finished and the window is usable again.
    bool jobActive() const { return active; }
    AboutWindow* aboutWindow() const { return aboutController.get(); }
    HelpWindow* helpWindow() const { return helpController.get(); }

  public slots:
    // Copies the visible tab's entries into the job's settings and opens the save panel.
    void doGenerateSoundFile();
    // The progress sheet's Stop: asks the running job to stop at its next check.
    void stopWriting();
    void showHelp();
    void showAboutPanel();
    // Quit, from the menu, Ctrl+Q, the close button or a signal: a running job is stopped and
    // cleans up first, then the window closes and the application quits.
    void requestQuit();
    // As requestQuit, and alerts that are up are dismissed, for nobody may be there to answer
    // them (a signal, the end of the session).
    void quitUnattended();

  signals:
    // The job has ended, its sheet is closed and the window takes input again.
    void jobFinished();
    // The window was closed: the application is to quit. Closing while a job runs stops the job
    // and closes the window once it has ended.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void setUpWindow();
    void addMadePages();
    void setUpEntries();
    void connectControls();
    void setUpFileOptions();
    void tabViewDidSelect(int index);
    // "Generate Sound Files" when the job writes a folder of files, else "Generate Sound File".
    void updateGenerateTitle();
    void handleSampleRate(QWidget* control);
    void doSaveOptions(int tag);
    // Applies each tab's sample rate to its frequency and length entries.
    void applyRateLimits();
    void rememberEntries() const;
    void restoreEntries();
    void tell(const QString& message);
    void showOutcome();
    void doWordLengthOptions(int tag);
    void correctVisibleEntries();
    void copyEntriesIntoSettings();
    // The values of the page of `kind`, as its job would take them.
    void copyPageInto(JobKind kind, Settings& settings) const;
    QString proposedFileName() const;
    // The title of the speaker layout chosen on the visible page of a set.
    QString layoutTitle() const;
    void showSavePanel();
    void savePanelDidEnd(int result);
    // Confirms the values and the replacing of an existing target, then starts the job.
    void generateInto(std::string chosenPath);
    bool confirmReplacing(const std::string& target);
    bool checkSettings();
    void startJob(const std::string& chosenPath);
    void startProgressSheet(std::uint64_t job);
    void updateProgress();
    void finishJob();
    void waitForJob();
    void setLocked(bool locked);

    std::unique_ptr<AppController> appController;
    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<Ui::SaveOptionsView> saveUi;
    std::unique_ptr<Ui::ProgressSheet> sheetUi;
    QWidget* saveOptionsView = nullptr;
    QDialog* progressSheet = nullptr;
    WindowFrame* frame = nullptr;

    // The entries, rate pop-ups and announcement boxes of the window definition's pages, and the
    // kind and number each stands for.
    struct DefinedEntry {
        QLineEdit* field;
        JobKind kind;
        Field number;
    };
    std::vector<DefinedEntry> definedEntries;
    std::vector<std::pair<QComboBox*, JobKind>> ratePopups;
    std::vector<std::pair<QCheckBox*, JobKind>> announceBoxes;

    QPointer<SavePanel> panel;
    QPushButton* showInFolderButton = nullptr;
    QPushButton* inspectButton = nullptr;
    QCheckBox* ditherBox = nullptr;
    QCheckBox* interleavedBox = nullptr;
    QPointer<QWidget> focusBeforeJob;
    std::string jobTarget; // the file or folder the running or last job writes
    std::thread worker;
    QTimer progressTimer;
    std::uint64_t jobSerial = 0;
    bool active = false;
    bool confirming = false; // between an accepted save panel and the job's start
    bool quitWhenDone = false;

    std::unique_ptr<AboutWindow> aboutController;
    std::unique_ptr<HelpWindow> helpController;
};
