#include "gui/MainWindow.h"

#include <clocale>
#include <filesystem>

#include <QButtonGroup>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>

#include "gui/AboutWindow.h"
#include "gui/HelpWindow.h"
#include "gui/NumberEntry.h"
#include "gui/WindowFrames.h"
#include "jobs/JobLimits.h"
#include "jobs/OutputNames.h"
#include "jobs/PhaseCheck.h"
#include "shell/Resources.h"
#include "ui_MainWindow.h"
#include "ui_ProgressSheet.h"
#include "ui_SaveOptionsView.h"

namespace {

constexpr int kProgressTickMilliseconds = 200;
constexpr int kSheetDelayMilliseconds = 1000;
constexpr int kBarSteps = 1000; // the bar's maximum; the bar shows fractions 0.0 to 1.0

const char* const kSampleRates[] = {"22050", "32000", "44100",  "48000",
                                    "88200", "96000", "176400", "192000"};

int PageIdentifier(const QWidget* page) {
    return page != nullptr ? page->property("identifier").toInt() : 0;
}

// The leading number of a pop-up's selected title: the rate in Hz.
double PopupValue(const QComboBox* popup) {
    return LeadingNumber(popup->currentText());
}

void FillRatePopup(QComboBox* popup, double selected) {
    for (const char* rate : kSampleRates)
        popup->addItem(rate);
    popup->setCurrentIndex(popup->findText(NumberText(selected)));
}

// Checks the button of `group` whose tag is `tag`; none when no button carries it.
void SelectByTag(QButtonGroup* group, int tag) {
    if (QAbstractButton* button = group->button(tag)) {
        button->setChecked(true);
        return;
    }
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons())
        button->setChecked(false);
    group->setExclusive(true);
}

// A button group over the radio buttons of `box`, each with its "tag" as its id.
QButtonGroup* TaggedGroup(QWidget* box) {
    auto* group = new QButtonGroup(box);
    for (QRadioButton* radio : box->findChildren<QRadioButton*>())
        group->addButton(radio, radio->property("tag").toInt());
    return group;
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), saveUi(new Ui::SaveOptionsView),
      sheetUi(new Ui::ProgressSheet) {
    // Qt takes the process locale from the environment, but names, markers and labels carry
    // numbers in the system's own form ("-10.00 dB", "1.000 kHz") on every desktop.
    std::setlocale(LC_NUMERIC, "C");
    appController = std::make_unique<AppController>();
    ui->setupUi(this);

    saveOptionsView = new QWidget(this);
    saveUi->setupUi(saveOptionsView);
    saveOptionsView->hide();
    progressSheet = new QDialog(this);
    sheetUi->setupUi(progressSheet);
    progressSheet->setWindowModality(Qt::WindowModal);

    setUpEntries();
    setUpWindow();
}

MainWindow::~MainWindow() {
    waitForJob();
}

void MainWindow::setUpEntries() {
    const Settings defaults; // the entries start from the defaults on every launch
    Ui::MainWindow& w = *ui;
    freqFormatter = new RangeFormatter(FrequencyRange(defaults.sampleRate()), false, this);
    levelFormatter = new RangeFormatter(LevelRange(), false, this);
    lengthFormatter = new RangeFormatter(
        LengthRange(defaults.sampleRate(), appController->saveOptions()), false, this);
    rateFormatter = new RangeFormatter(SampleRateRange(), false, this);
    silenceFormatter = new RangeFormatter(SilenceRange(), false, this);
    repeatsFormatter = new RangeFormatter(RepeatsRange(), true, this);
    freqFormatter->setObjectName("freqFormatter");
    lengthFormatter->setObjectName("lengthFormatter");

    auto entry = [](QLineEdit* field, RangeFormatter* formatter, double value) {
        field->setValidator(formatter);
        SetEntryValue(field, value);
    };
    entry(w.tab1FrequencyCell, freqFormatter, defaults.freq_from());
    entry(w.tab1LevelCell, levelFormatter, defaults.level_from());
    entry(w.tab1LengthCell, lengthFormatter, defaults.length());
    entry(w.tab2LevelCell, levelFormatter, defaults.level_from());
    entry(w.tab2LengthCell, lengthFormatter, defaults.length());
    entry(w.tab3FromFreqTextField, freqFormatter, defaults.freq_from());
    entry(w.tab3ToFreqTextField, freqFormatter, defaults.freq_to());
    entry(w.tab3FromlevelTextField, levelFormatter, defaults.level_from());
    entry(w.tab3ToLevelTextField, levelFormatter, defaults.level_to());
    entry(w.tab3LengthTextField, lengthFormatter, defaults.length());
    entry(w.tab3SampleRateTextField, rateFormatter, defaults.sampleRate());
    entry(w.tab4SilenceTextField, silenceFormatter, defaults.silence());
    entry(w.tab4NumRepeatsTextField, repeatsFormatter, defaults.numRepeats());
    for (QComboBox* popup : {w.tab1SampleRatePopup, w.tab2SampleRatePopup, w.tab4SampleRatePopup})
        FillRatePopup(popup, defaults.sampleRate());
    for (std::int32_t layout = 0; layout < kLayoutCount; ++layout)
        w.tab4ChannelsPopup->addItem(QString::fromStdString(*LayoutTitle(layout)), layout);
    w.tab4ChannelsPopup->setCurrentIndex(w.tab4ChannelsPopup->findData(defaults.channelSetup()));
    for (QCheckBox* box :
         {w.tab1SpeakCheckbox, w.tab2SpeakCheckbox, w.tab3SpeakCheckbox, w.tab4AllSpeakersCheckbox})
        box->setChecked(defaults.announce());

    for (QComboBox* popup : {w.tab1SampleRatePopup, w.tab2SampleRatePopup, w.tab4SampleRatePopup})
        connect(popup, &QComboBox::activated, this, [this, popup] { handleSampleRate(popup); });
    connect(w.tab3SampleRateTextField, &QLineEdit::editingFinished, this,
            [this] { handleSampleRate(ui->tab3SampleRateTextField); });
    connect(w.upperTabView, &QTabWidget::currentChanged, this, &MainWindow::tabViewDidSelect);
    connect(w.generateButton, &QPushButton::clicked, this, &MainWindow::doGenerateSoundFile);
    connect(w.generateAction, &QAction::triggered, this, &MainWindow::doGenerateSoundFile);
    connect(w.quitAction, &QAction::triggered, this, &QWidget::close);
    connect(w.helpAction, &QAction::triggered, this, &MainWindow::showHelp);
    connect(w.aboutAction, &QAction::triggered, this, &MainWindow::showAboutPanel);

    QButtonGroup* fileTypes = TaggedGroup(saveUi->fileTypeRadioGroup);
    fileTypes->setObjectName("fileTypeButtons");
    connect(fileTypes, &QButtonGroup::idClicked, this, &MainWindow::doSaveOptions);
    QButtonGroup* wordLengths = TaggedGroup(saveUi->simpleWordLengthRadioGroup);
    wordLengths->setObjectName("wordLengthButtons");
    connect(wordLengths, &QButtonGroup::idClicked, this, &MainWindow::doWordLengthOptions);

    connect(sheetUi->stopButton, &QPushButton::clicked, this, &MainWindow::stopWriting);
    // Escape on the sheet is Stop; the sheet itself stays until the job has ended.
    connect(progressSheet, &QDialog::rejected, this, [this] {
        stopWriting();
        if (active) progressSheet->open();
    });
    progressTimer.setInterval(kProgressTickMilliseconds);
    connect(&progressTimer, &QTimer::timeout, this, &MainWindow::updateProgress);
    ui->lowerTabView->tabBar()->hide();
}

void MainWindow::setUpWindow() {
    resize(sizeHint().expandedTo(QSize(520, 0)));
    frame = new WindowFrame(this, "MainWindow");
    SaveOptions& options = appController->saveOptions();
    // A kind this window does not offer (a damaged or foreign preferences file) is a test tone.
    if (options.outputType() < kOutputTestTone || options.outputType() > kOutputPhaseCheck)
        options.setOutputType(kOutputTestTone);
    const int kind = options.outputType();
    {
        QSignalBlocker quiet(ui->upperTabView);
        ui->upperTabView->setCurrentIndex(kind);
    }
    tabViewDidSelect(kind);
    if (auto path = PathForResource("backdrop", "png"))
        ui->bgImage->setImage(QImage(QString::fromStdString(*path)));
    handleSampleRate(kind == kOutputCustomSweep ? static_cast<QWidget*>(ui->tab3SampleRateTextField)
                                                : ui->tab1SampleRatePopup);
}

void MainWindow::tabViewDidSelect(int index) {
    const int k = PageIdentifier(ui->upperTabView->widget(index));
    for (int page = 0; page < ui->lowerTabView->count(); ++page)
        if (PageIdentifier(ui->lowerTabView->widget(page)) == k)
            ui->lowerTabView->setCurrentIndex(page);
    appController->saveOptions().setOutputType(k - 1);
    switch (k) {
    case 1:
    case 2:
    case 3:
        ui->generateButton->setText(tr("&Generate Sound File"));
        handleSampleRate(k == 1   ? static_cast<QWidget*>(ui->tab1SampleRatePopup)
                         : k == 2 ? static_cast<QWidget*>(ui->tab2SampleRatePopup)
                                  : ui->tab3SampleRateTextField);
        break;
    case 4:
        ui->generateButton->setText(tr("&Generate Sound Files"));
        break;
    default:
        break;
    }
}

void MainWindow::handleSampleRate(QWidget* control) {
    auto* rateField = ui->tab3SampleRateTextField;
    const double rate =
        control == rateField ? EntryValue(rateField) : PopupValue(static_cast<QComboBox*>(control));
    // The limit goes through its six-decimal text, as the entries show and read numbers.
    const double limit = LeadingNumber(QString::asprintf("%f", rate * 0.5));
    freqFormatter->setMaximum(limit);
    auto clampToLimit = [limit](QLineEdit* entry) {
        if (EntryValue(entry) > limit) SetEntryValue(entry, limit);
    };
    if (control == ui->tab1SampleRatePopup) {
        clampToLimit(ui->tab1FrequencyCell);
    } else if (control == rateField) {
        clampToLimit(ui->tab3FromFreqTextField);
        clampToLimit(ui->tab3ToFreqTextField);
    }
    if (control == ui->tab1SampleRatePopup || control == ui->tab2SampleRatePopup ||
        control == rateField)
        lengthFormatter->setRange(LengthRange(rate, appController->saveOptions()));
}

void MainWindow::doSaveOptions(int tag) {
    appController->saveOptions().setFileType(tag);
    saveUi->wordLengthTabView->setCurrentIndex(0);
}

void MainWindow::doWordLengthOptions(int tag) {
    appController->saveOptions().setDataFormat(tag);
}

void MainWindow::correctVisibleEntries() {
    for (QLineEdit* entry : ui->upperTabView->currentWidget()->findChildren<QLineEdit*>())
        CorrectEntry(entry);
    if (ui->upperTabView->currentWidget() == ui->tab3)
        handleSampleRate(ui->tab3SampleRateTextField);
}

void MainWindow::copyEntriesIntoSettings() {
    Settings& s = appController->settings();
    const Ui::MainWindow& w = *ui;
    switch (appController->saveOptions().outputType()) {
    case kOutputTestTone:
        s.setSampleRate(PopupValue(w.tab1SampleRatePopup));
        s.setFreq_from(EntryValue(w.tab1FrequencyCell));
        s.setFreq_to(s.freq_from());
        s.setLevel_from(EntryValue(w.tab1LevelCell));
        s.setLevel_to(s.level_from());
        s.setLength(EntryValue(w.tab1LengthCell));
        s.setAnnounce(w.tab1SpeakCheckbox->isChecked());
        break;
    case kOutputFullSweep:
        s.setSampleRate(PopupValue(w.tab2SampleRatePopup));
        s.setFreq_from(5.0);
        s.setFreq_to(s.sampleRate() * 0.5);
        s.setLevel_from(EntryValue(w.tab2LevelCell));
        s.setLevel_to(s.level_from());
        s.setLength(EntryValue(w.tab2LengthCell));
        s.setAnnounce(w.tab2SpeakCheckbox->isChecked());
        break;
    case kOutputCustomSweep:
        s.setSampleRate(EntryValue(w.tab3SampleRateTextField));
        s.setFreq_from(EntryValue(w.tab3FromFreqTextField));
        s.setFreq_to(EntryValue(w.tab3ToFreqTextField));
        s.setLevel_from(EntryValue(w.tab3FromlevelTextField));
        s.setLevel_to(EntryValue(w.tab3ToLevelTextField));
        s.setLength(EntryValue(w.tab3LengthTextField));
        s.setAnnounce(w.tab3SpeakCheckbox->isChecked());
        break;
    case kOutputPhaseCheck:
        s.setSampleRate(PopupValue(w.tab4SampleRatePopup));
        s.setLevel_from(0.0);
        s.setLevel_to(0.0);
        s.setSilence(EntryValue(w.tab4SilenceTextField));
        s.setNumRepeats(static_cast<std::int32_t>(EntryValue(w.tab4NumRepeatsTextField)));
        s.setChannelSetup(w.tab4ChannelsPopup->currentData().toInt());
        s.setAnnounce(w.tab4AllSpeakersCheckbox->isChecked());
        break;
    default:
        break;
    }
}

QString MainWindow::proposedFileName() const {
    auto name = appController->fileName(ui->tab4ChannelsPopup->currentText().toStdString());
    return name ? QString::fromStdString(*name) : QString();
}

void MainWindow::doGenerateSoundFile() {
    if (active || panel || confirming) return;
    correctVisibleEntries();
    copyEntriesIntoSettings();
    showSavePanel();
}

void MainWindow::showSavePanel() {
    const SaveOptions& options = appController->saveOptions();
    SelectByTag(saveUi->fileTypeRadioGroup->findChild<QButtonGroup*>("fileTypeButtons"),
                options.fileType());
    SelectByTag(saveUi->simpleWordLengthRadioGroup->findChild<QButtonGroup*>("wordLengthButtons"),
                options.dataFormat());
    saveUi->wordLengthTabView->setCurrentIndex(0);

    panel = new QFileDialog(this, options.outputType() == kOutputPhaseCheck
                                      ? tr("Save Phase Check Files")
                                      : tr("Save Sound File"));
    panel->setObjectName("savePanel");
    // The platform's own dialog cannot carry the file options.
    panel->setOption(QFileDialog::DontUseNativeDialog);
    // The question is asked about the path really written, which carries the extension.
    panel->setOption(QFileDialog::DontConfirmOverwrite);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setWindowModality(Qt::WindowModal);
    panel->selectFile(proposedFileName());
    if (auto* grid = qobject_cast<QGridLayout*>(panel->layout())) {
        grid->addWidget(saveOptionsView, grid->rowCount(), 0, 1, grid->columnCount());
        saveOptionsView->show();
    }
    connect(panel, &QFileDialog::finished, this, &MainWindow::savePanelDidEnd);
    panel->open();
}

void MainWindow::savePanelDidEnd(int result) {
    const QString chosen = panel->selectedFiles().value(0);
    // The accessory is the window's for its whole life: take it back before the panel goes.
    saveOptionsView->hide();
    saveOptionsView->setParent(this);
    QFileDialog* ended = panel;
    panel = nullptr;
    const bool accepted = result == QDialog::Accepted && !chosen.isEmpty();
    confirming = accepted;
    // The panel is still inside its own done() here. The questions asked next run event loops
    // of their own, which could delete it under that call, so the rest waits until it returns.
    QMetaObject::invokeMethod(
        this,
        [this, ended, accepted, chosen] {
            delete ended; // no longer on the stack here
            if (accepted) generateInto(chosen.toStdString());
        },
        Qt::QueuedConnection);
}

void MainWindow::generateInto(std::string chosenPath) {
    AppController& c = *appController;
    if (c.saveOptions().outputType() == kOutputPhaseCheck) {
        // The stem carries the word length chosen in the panel ("24b").
        c.setPhaseCheckFileName(
            PhaseCheckFileName(c.settings().sampleRate(), c.saveOptions().wordLength(),
                               ui->tab4ChannelsPopup->currentText().toStdString()));
        while (chosenPath.size() > 1 && chosenPath.back() == '/')
            chosenPath.pop_back();
    } else {
        chosenPath = StripOutputExtension(chosenPath, c.outputExtension());
    }
    const bool confirmed = checkSettings() && confirmReplacing(c.targetPath(chosenPath));
    confirming = false;
    if (!confirmed) return;
    c.storeSaveOptions();
    startJob(chosenPath);
}

bool MainWindow::checkSettings() {
    auto violation = CheckJobSettings(appController->settings(), appController->saveOptions());
    if (!violation) return true;
    QMessageBox box(QMessageBox::Warning, tr("Value out of range"),
                    tr("The value %1 cannot be written.").arg(NumberText(violation->given)),
                    QMessageBox::Ok, this);
    box.setObjectName("rangeAlert");
    box.setInformativeText(tr("Accepted: %1.").arg(QString::fromStdString(violation->accepted)));
    box.exec();
    return false;
}

bool MainWindow::confirmReplacing(const std::string& target) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(target, error))) return true;
    const QString name = QString::fromStdString(std::filesystem::path(target).filename().string());
    QMessageBox box(QMessageBox::Question, tr("Replace"),
                    tr("“%1” already exists. Do you want to replace it?").arg(name),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName("replaceQuestion");
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::startJob(const std::string& chosenPath) {
    worker = appController->startJob(chosenPath);
    if (!worker.joinable()) return; // another job of this process is still running
    active = true;
    setLocked(true);
    const std::uint64_t job = ++jobSerial;
    sheetUi->bar->setValue(0);
    sheetUi->messageTextField->setText(QString::fromStdString(ProgressMessage(0.0)));
    progressTimer.start();
    QTimer::singleShot(kSheetDelayMilliseconds, this, [this, job] { startProgressSheet(job); });
}

void MainWindow::startProgressSheet(std::uint64_t job) {
    // Only for this job, and only while it runs (an alert it raised does not hide the sheet).
    if (job != jobSerial || !active || appController->progress().done) return;
    progressSheet->open();
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
    emit jobFinished();
    if (quitWhenDone) {
        quitWhenDone = false;
        close();
    }
}

void MainWindow::stopWriting() {
    appController->stopWriting();
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
    ui->bgImage->setEnabled(!locked);
    ui->generateAction->setEnabled(!locked);
}

void MainWindow::showHelp() {
    if (!helpController) {
        helpController = std::make_unique<HelpWindow>();
        helpController->addAction(ui->quitAction); // Ctrl+Q quits from Help too
    }
    if (!helpController->hasText()) {
        // The user has been told; the next Help command tries again.
        helpController.reset();
        return;
    }
    helpController->show();
    helpController->raise();
    helpController->activateWindow();
}

void MainWindow::showAboutPanel() {
    if (!aboutController) {
        aboutController = std::make_unique<AboutWindow>();
        aboutController->addAction(ui->quitAction); // Ctrl+Q quits from About too
    }
    aboutController->show();
    aboutController->raise();
    aboutController->activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (panel) panel->reject();
    if (active) {
        // The job is stopped and cleans up as after Stop; the window closes when it has ended.
        // Waiting here instead could sit inside the event loop of an alert the job is waiting
        // on, which could then never return.
        quitWhenDone = true;
        stopWriting();
        event->ignore();
        return;
    }
    frame->save();
    if (aboutController) aboutController->close();
    if (helpController) helpController->close();
    event->accept();
    emit closed();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Return anywhere in the window starts the job; an entry has corrected itself by then.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        doGenerateSoundFile();
        return;
    }
    QMainWindow::keyPressEvent(event);
}
