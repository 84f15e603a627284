#include "gui/MainWindow.h"

#include <clocale>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>

#include "gui/AboutWindow.h"
#include "gui/HelpWindow.h"
#include "gui/InspectorWindow.h"
#include "gui/JobPage.h"
#include "gui/NumberEntry.h"
#include "gui/QtDesktopServices.h"
#include "gui/SavePanel.h"
#include "gui/WindowFrames.h"
#include "jobs/JobKinds.h"
#include "jobs/JobLimits.h"
#include "jobs/Lineup.h"
#include "jobs/OutputNames.h"
#include "jobs/PhaseCheck.h"
#include "shell/Resources.h"
#include "soundfile/FileServices.h"
#include "ui_MainWindow.h"
#include "ui_ProgressSheet.h"
#include "ui_SaveOptionsView.h"

namespace {

constexpr int kProgressTickMilliseconds = 200;
constexpr int kMessageMilliseconds = 10000;

const char* const kEntriesGroup = "Entries";

int PageIdentifier(const QWidget* page) {
    return page != nullptr ? page->property("identifier").toInt() : 0;
}

// The leading number of a pop-up's selected title: the rate in Hz.
double PopupValue(const QComboBox* popup) {
    return LeadingNumber(popup->currentText());
}

void FillRatePopup(QComboBox* popup, double selected) {
    popup->addItems(SampleRateTitles());
    popup->setCurrentIndex(popup->findText(NumberText(selected)));
}

// The page of `kind` made from its description, for the kinds the window definition has no
// page for.
JobPage* PageOf(QTabWidget* tabs, JobKind kind) {
    for (int index = 0; index < tabs->count(); ++index)
        if (auto* page = qobject_cast<JobPage*>(tabs->widget(index));
            page != nullptr && page->job().kind == kind)
            return page;
    return nullptr;
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
    // Not modal: the window stays locked by setLocked while a job runs, but its close button and
    // Quit must still reach it (the window system's close request to a window that a modal
    // dialog blocks is dropped).
    progressSheet->setWindowModality(Qt::NonModal);
    progressSheet->addAction(ui->quitAction);

    statusBar()->setObjectName("statusBar");
    showInFolderButton = new QPushButton(tr("Show in Fol&der"), this);
    showInFolderButton->setObjectName("showInFolderButton");
    showInFolderButton->hide();
    statusBar()->addPermanentWidget(showInFolderButton);
    inspectButton = new QPushButton(tr("&Inspect"), this);
    inspectButton->setObjectName("inspectButton");
    inspectButton->hide();
    statusBar()->addPermanentWidget(inspectButton);
    connect(inspectButton, &QPushButton::clicked, this,
            [this] { InspectorWindow::Inspect(this, QString::fromStdString(jobTarget)); });
    connect(showInFolderButton, &QPushButton::clicked, this, [this] {
        const QFileInfo written(QString::fromStdString(jobTarget));
        QDesktopServices::openUrl(QUrl::fromLocalFile(written.absolutePath()));
    });
    if (auto* desktop = dynamic_cast<QtDesktopServices*>(&DesktopServices::Current())) {
        desktop->setParentWindow(this);
        // A job's alert is never covered by its sheet: the job has failed, the sheet goes.
        QPointer<QDialog> sheet = progressSheet;
        desktop->setBeforeAlert([sheet] {
            if (sheet) sheet->hide();
        });
    }

    addMadePages();
    setUpEntries();
    connectControls();
    setUpFileOptions();
    setUpWindow();
}

MainWindow::~MainWindow() {
    waitForJob();
}

// The kinds the window definition has no page for get one made from their description; every
// page's title and text come from the descriptions.
void MainWindow::addMadePages() {
    Ui::MainWindow& w = *ui;
    for (const JobDescription& job : JobDescriptions()) {
        if (StoredNumber(job.kind) <= kOutputPhaseCheck) continue;
        auto* page = new JobPage(job, w.upperTabView);
        connect(page, &JobPage::told, this, &MainWindow::tell);
        connect(page, &JobPage::outputShapeChanged, this, &MainWindow::updateGenerateTitle);
        // The rate, the layout and the announcement change what the entries accept.
        for (QComboBox* popup : page->findChildren<QComboBox*>())
            connect(popup, &QComboBox::activated, this, [this] { applyRateLimits(); });
        for (QCheckBox* box : page->findChildren<QCheckBox*>())
            connect(box, &QCheckBox::toggled, this, [this] { applyRateLimits(); });
        w.upperTabView->addTab(page, QString());
        auto* about = new QLabel(w.lowerTabView);
        about->setWordWrap(true);
        about->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        about->setProperty("identifier", StoredNumber(job.kind) + 1);
        w.lowerTabView->addTab(about, QString());
    }
    // Under each page, what its kind of job writes.
    for (int index = 0; index < w.lowerTabView->count(); ++index) {
        QWidget* lower = w.lowerTabView->widget(index);
        auto* text = qobject_cast<QLabel*>(lower);
        if (text == nullptr) text = lower->findChild<QLabel*>();
        if (text != nullptr)
            text->setText(tr(Describe(JobKindFromStored(PageIdentifier(lower) - 1)).about));
    }
    for (int index = 0; index < w.upperTabView->count(); ++index) {
        const int k = PageIdentifier(w.upperTabView->widget(index));
        w.upperTabView->setTabText(index, tr(Describe(JobKindFromStored(k - 1)).title));
    }
    // Every page's tab stays in sight.
    w.upperTabView->setUsesScrollButtons(false);
    ui->lowerTabView->tabBar()->hide();
    // The lower pages only describe the job: with its tab bar hidden, the focus it would take
    // goes nowhere, and Tab would stop there.
    ui->lowerTabView->setFocusPolicy(Qt::NoFocus);
}

void MainWindow::setUpEntries() {
    // The entries start from each kind's defaults, then from the last launch.
    Ui::MainWindow& w = *ui;
    // Frequencies and lengths get the ranges of their tab's rate once the values are in.
    const ValueRange any{-1e300, 1e300};
    definedEntries = {{w.tab1FrequencyCell, JobKind::testTone, Field::frequency},
                      {w.tab1LevelCell, JobKind::testTone, Field::level},
                      {w.tab1LengthCell, JobKind::testTone, Field::length},
                      {w.tab2LevelCell, JobKind::fullSweep, Field::level},
                      {w.tab2LengthCell, JobKind::fullSweep, Field::length},
                      {w.tab3FromFreqTextField, JobKind::customSweep, Field::startFrequency},
                      {w.tab3ToFreqTextField, JobKind::customSweep, Field::endFrequency},
                      {w.tab3FromlevelTextField, JobKind::customSweep, Field::startLevel},
                      {w.tab3ToLevelTextField, JobKind::customSweep, Field::endLevel},
                      {w.tab3LengthTextField, JobKind::customSweep, Field::length},
                      {w.tab3SampleRateTextField, JobKind::customSweep, Field::sampleRate},
                      {w.tab4SilenceTextField, JobKind::phaseCheck, Field::silence},
                      {w.tab4NumRepeatsTextField, JobKind::phaseCheck, Field::repeats}};
    for (const DefinedEntry& defined : definedEntries) {
        const FieldDescription& d = Describe(defined.number);
        auto* entry =
            new NumberEntry(defined.field, {tr(d.label), d.unit, d.integer, d.thousands}, any,
                            Describe(defined.kind).defaultValue(defined.number).value_or(0.0));
        connect(entry, &NumberEntry::told, this, &MainWindow::tell);
    }
    ratePopups = {{w.tab1SampleRatePopup, JobKind::testTone},
                  {w.tab2SampleRatePopup, JobKind::fullSweep},
                  {w.tab4SampleRatePopup, JobKind::phaseCheck}};
    announceBoxes = {{w.tab1SpeakCheckbox, JobKind::testTone},
                     {w.tab2SpeakCheckbox, JobKind::fullSweep},
                     {w.tab3SpeakCheckbox, JobKind::customSweep},
                     {w.tab4AllSpeakersCheckbox, JobKind::phaseCheck}};
    for (const auto& [popup, kind] : ratePopups)
        FillRatePopup(popup, Describe(kind).defaultValue(Field::sampleRate).value_or(44100.0));
    const Settings defaults;
    for (std::int32_t layout = 0; layout < kLayoutCount; ++layout)
        w.tab4ChannelsPopup->addItem(QString::fromStdString(*LayoutTitle(layout)), layout);
    w.tab4ChannelsPopup->setCurrentIndex(w.tab4ChannelsPopup->findData(defaults.channelSetup()));
    for (QCheckBox* box :
         {w.tab1SpeakCheckbox, w.tab2SpeakCheckbox, w.tab3SpeakCheckbox, w.tab4AllSpeakersCheckbox})
        box->setChecked(defaults.announce());

    restoreEntries();
}

void MainWindow::connectControls() {
    Ui::MainWindow& w = *ui;
    for (QComboBox* popup : {w.tab1SampleRatePopup, w.tab2SampleRatePopup, w.tab4SampleRatePopup})
        connect(popup, &QComboBox::activated, this, [this, popup] { handleSampleRate(popup); });
    connect(w.tab3SampleRateTextField, &QLineEdit::editingFinished, this,
            [this] { handleSampleRate(ui->tab3SampleRateTextField); });
    // An announcement takes its share of the file: the longest length follows the check box.
    for (QCheckBox* box : {w.tab1SpeakCheckbox, w.tab2SpeakCheckbox, w.tab3SpeakCheckbox})
        connect(box, &QCheckBox::toggled, this, [this] { applyRateLimits(); });
    connect(w.upperTabView, &QTabWidget::currentChanged, this, &MainWindow::tabViewDidSelect);
    connect(w.generateButton, &QPushButton::clicked, this, &MainWindow::doGenerateSoundFile);
    connect(w.generateAction, &QAction::triggered, this, &MainWindow::doGenerateSoundFile);
    connect(w.quitAction, &QAction::triggered, this, &MainWindow::requestQuit);
    connect(w.helpAction, &QAction::triggered, this, &MainWindow::showHelp);
    connect(w.inspectAction, &QAction::triggered, this,
            [this] { InspectorWindow::ChooseAndInspect(this); });
    connect(w.aboutAction, &QAction::triggered, this, &MainWindow::showAboutPanel);
    connect(sheetUi->stopButton, &QPushButton::clicked, this, &MainWindow::stopWriting);
    // Escape on the sheet is Stop; the sheet itself stays until the job has ended.
    connect(progressSheet, &QDialog::rejected, this, [this] {
        stopWriting();
        if (active && !appController->progress().error) progressSheet->show();
    });
    // Escape and the sheet's close button stop the job, as Stop does.
    progressTimer.setInterval(kProgressTickMilliseconds);
    connect(&progressTimer, &QTimer::timeout, this, &MainWindow::updateProgress);
}

void MainWindow::setUpFileOptions() {
    // Per run, never kept: dither for a single file, one interleaved file for a set.
    auto* extras = new QGroupBox(tr("Options"), saveOptionsView);
    extras->setObjectName("extraOptionsGroup");
    auto* extrasLayout = new QVBoxLayout(extras);
    ditherBox = new QCheckBox(tr("&TPDF dither (±1 LSB)"), extras);
    ditherBox->setObjectName("ditherCheckbox");
    interleavedBox = new QCheckBox(tr("One &interleaved file"), extras);
    interleavedBox->setObjectName("interleavedCheckbox");
    interleavedBox->setToolTip(tr("One file with a channel per speaker instead of one file per "
                                  "speaker; Broadcast WAVE files carry the layout's channel "
                                  "mask"));
    extrasLayout->addWidget(ditherBox);
    extrasLayout->addWidget(interleavedBox);
    extrasLayout->addStretch();
    saveOptionsView->layout()->addWidget(extras);
    connect(ditherBox, &QCheckBox::toggled, this,
            [this](bool on) { appController->saveOptions().setDither(on); });
    connect(interleavedBox, &QCheckBox::toggled, this,
            [this](bool on) { appController->saveOptions().setInterleaved(on); });

    QButtonGroup* fileTypes = TaggedGroup(saveUi->fileTypeRadioGroup);
    fileTypes->setObjectName("fileTypeButtons");
    connect(fileTypes, &QButtonGroup::idClicked, this, &MainWindow::doSaveOptions);
    QButtonGroup* wordLengths = TaggedGroup(saveUi->simpleWordLengthRadioGroup);
    wordLengths->setObjectName("wordLengthButtons");
    connect(wordLengths, &QButtonGroup::idClicked, this, &MainWindow::doWordLengthOptions);
}

void MainWindow::setUpWindow() {
    resize(sizeHint().expandedTo(QSize(520, 0)));
    frame = new WindowFrame(this, "MainWindow");
    SaveOptions& options = appController->saveOptions();
    // A kind no page is for (a damaged or newer preferences file) is a test tone.
    options.setOutputType(StoredNumber(JobKindFromStored(options.outputType())));
    int tab = 0;
    for (int index = 0; index < ui->upperTabView->count(); ++index)
        if (PageIdentifier(ui->upperTabView->widget(index)) == options.outputType() + 1)
            tab = index;
    {
        QSignalBlocker quiet(ui->upperTabView);
        ui->upperTabView->setCurrentIndex(tab);
    }
    tabViewDidSelect(tab);
    if (auto path = PathForResource("backdrop", "png"))
        ui->bgImage->setImage(QImage(QString::fromStdString(*path)));
    applyRateLimits();
}

void MainWindow::tabViewDidSelect(int index) {
    const int k = PageIdentifier(ui->upperTabView->widget(index));
    for (int page = 0; page < ui->lowerTabView->count(); ++page)
        if (PageIdentifier(ui->lowerTabView->widget(page)) == k)
            ui->lowerTabView->setCurrentIndex(page);
    appController->saveOptions().setOutputType(k - 1);
    if (k < 1) return;
    updateGenerateTitle();
    applyRateLimits();
}

void MainWindow::updateGenerateTitle() {
    const JobKind kind = JobKindFromStored(appController->saveOptions().outputType());
    bool files = Describe(kind).speakerSet();
    if (const JobPage* page = PageOf(ui->upperTabView, kind); page && page->job().lineup) {
        Settings settings;
        page->copyInto(settings);
        files = LineupWritesFolder(settings);
    }
    ui->generateButton->setText(files ? tr("&Generate Sound Files") : tr("&Generate Sound File"));
}

void MainWindow::handleSampleRate(QWidget*) {
    // Every tab keeps its own rate, so every tab's limits are brought up to date.
    applyRateLimits();
}

void MainWindow::applyRateLimits() {
    const SaveOptions& options = appController->saveOptions();
    for (const JobDescription& job : JobDescriptions()) {
        if (JobPage* page = PageOf(ui->upperTabView, job.kind)) {
            page->applyLimits(options);
            continue;
        }
        // The ranges follow the page's own rate and announcement as they stand.
        Settings settings;
        copyPageInto(job.kind, settings);
        for (const DefinedEntry& defined : definedEntries)
            if (defined.kind == job.kind)
                NumberEntry::Of(defined.field)
                    ->setRange(FieldRange(job.kind, defined.number, settings, options));
    }
}

void MainWindow::doSaveOptions(int tag) {
    appController->saveOptions().setFileType(tag);
    saveUi->wordLengthTabView->setCurrentIndex(0);
    // The longest length a file holds depends on its format.
    applyRateLimits();
}

void MainWindow::doWordLengthOptions(int tag) {
    appController->saveOptions().setDataFormat(tag);
    applyRateLimits();
}

void MainWindow::correctVisibleEntries() {
    // The rate first: the other entries' ranges follow from it.
    CorrectEntry(ui->tab3SampleRateTextField);
    applyRateLimits();
    QWidget* visible = ui->upperTabView->currentWidget();
    if (auto* page = qobject_cast<JobPage*>(visible)) {
        page->commitEntries();
        return;
    }
    for (QLineEdit* entry : visible->findChildren<QLineEdit*>())
        CorrectEntry(entry);
}

void MainWindow::copyEntriesIntoSettings() {
    copyPageInto(JobKindFromStored(appController->saveOptions().outputType()),
                 appController->settings());
}

void MainWindow::copyPageInto(JobKind kind, Settings& s) const {
    if (JobPage* page = PageOf(ui->upperTabView, kind)) {
        page->copyInto(s);
        return;
    }
    for (const DefinedEntry& defined : definedEntries)
        if (defined.kind == kind) SetFieldValue(defined.number, s, EntryValue(defined.field));
    for (const auto& [popup, taking] : ratePopups)
        if (taking == kind) s.setSampleRate(PopupValue(popup));
    for (const auto& [box, taking] : announceBoxes)
        if (taking == kind) s.setAnnounce(box->isChecked());
    if (kind == JobKind::phaseCheck)
        s.setChannelSetup(ui->tab4ChannelsPopup->currentData().toInt());
    if (kind == JobKind::fullSweep || kind == JobKind::customSweep) {
        SweepMeasurement measurement;
        measurement.inverse =
            (kind == JobKind::fullSweep ? ui->tab2InverseCheckbox : ui->tab3InverseCheckbox)
                ->isChecked();
        s.setMeasurement(measurement);
    }
    CompleteSettings(kind, s);
}

QString MainWindow::layoutTitle() const {
    const JobKind kind = JobKindFromStored(appController->saveOptions().outputType());
    const JobPage* page = PageOf(ui->upperTabView, kind);
    const QComboBox* popup = page != nullptr && page->layoutPopup() != nullptr
                                 ? page->layoutPopup()
                                 : ui->tab4ChannelsPopup;
    return popup->currentText();
}

QString MainWindow::proposedFileName() const {
    auto name = appController->fileName(layoutTitle().toStdString());
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
    ditherBox->setChecked(options.dither());
    interleavedBox->setChecked(options.interleaved());

    const JobDescription& job = Describe(JobKindFromStored(options.outputType()));
    // A set, or a line-up signal split into one file per speaker, is a folder of files.
    const bool folder = appController->writesFolder();
    // Only tones, sweeps and noises are dithered; a line-up signal takes its own split.
    ditherBox->setVisible(!folder && !job.lineup);
    interleavedBox->setVisible(job.speakerSet());
    // No empty "Options" box for a job that has none.
    ditherBox->parentWidget()->setVisible(!ditherBox->isHidden() || !interleavedBox->isHidden());
    const QString title = !folder            ? tr("Save Sound File")
                          : job.speakerSet() ? tr("Save %1 Files").arg(tr(job.folderTitle))
                                             : tr("Save Sound Files");
    panel = new SavePanel(this, title, folder);
    panel->selectFile(proposedFileName());
    // The extension typed chooses the format, and the file options show it.
    connect(panel, &SavePanel::extensionChoseFileType, this, [this](int fileType) {
        SelectByTag(saveUi->fileTypeRadioGroup->findChild<QButtonGroup*>("fileTypeButtons"),
                    fileType);
        doSaveOptions(fileType);
    });
    if (auto* grid = qobject_cast<QGridLayout*>(panel->layout())) {
        grid->addWidget(saveOptionsView, grid->rowCount(), 0, 1, grid->columnCount());
        saveOptionsView->show();
    }
    connect(panel, &QFileDialog::finished, this, &MainWindow::savePanelDidEnd);
    panel->open();
}

void MainWindow::savePanelDidEnd(int result) {
    const QString chosen = panel->chosenPath();
    // The accessory is the window's for its whole life: take it back before the panel goes.
    saveOptionsView->hide();
    saveOptionsView->setParent(this);
    SavePanel* ended = panel;
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
    if (c.writesFolder()) {
        // The stem carries the word length chosen in the panel ("24b").
        c.setPhaseCheckFileName(c.speakerSetStem());
        while (chosenPath.size() > 1 && chosenPath.back() == '/')
            chosenPath.pop_back();
    } else if (auto named = FormatNamedByExtension(chosenPath)) {
        // The file keeps the extension as typed ("take.WAV"); the format follows it.
        c.setTargetExtension(named->extension);
        chosenPath = named->stem;
    } else {
        c.setTargetExtension({});
        chosenPath = StripOutputExtension(chosenPath, c.outputExtension());
    }
    const bool confirmed = checkSettings() && confirmReplacing(c.targetPath(chosenPath));
    confirming = false;
    if (!confirmed) return;
    c.storeSaveOptions();
    rememberEntries();
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
    EntryKind there = EntryKind::none;
    // When the target cannot be looked at, the question is asked all the same.
    if (CurrentFileServices().Kind(target, false, &there) == kNoErr && there == EntryKind::none)
        return true;
    const QString name = QFileInfo(QString::fromStdString(target)).fileName();
    QMessageBox box(QMessageBox::Question, tr("Replace"),
                    tr("“%1” already exists. Do you want to replace it?").arg(name),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName("replaceQuestion");
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::tell(const QString& message) {
    statusBar()->showMessage(message, kMessageMilliseconds);
}

void MainWindow::rememberEntries() const {
    QSettings state(WindowStateFile(), QSettings::IniFormat);
    state.beginGroup(kEntriesGroup);
    for (const QLineEdit* field : findChildren<QLineEdit*>())
        if (NumberEntry::Of(field) != nullptr)
            state.setValue(field->objectName(), EntryValue(field));
    for (const QComboBox* popup : ui->upperTabView->findChildren<QComboBox*>())
        state.setValue(popup->objectName(), popup->currentText());
    for (const QCheckBox* box : ui->upperTabView->findChildren<QCheckBox*>())
        state.setValue(box->objectName(), box->isChecked());
}

void MainWindow::restoreEntries() {
    QSettings state(WindowStateFile(), QSettings::IniFormat);
    state.beginGroup(kEntriesGroup);
    for (QLineEdit* field : findChildren<QLineEdit*>()) {
        bool number = false;
        const double value = state.value(field->objectName()).toDouble(&number);
        if (number && NumberEntry::Of(field) != nullptr) SetEntryValue(field, value);
    }
    for (QComboBox* popup : ui->upperTabView->findChildren<QComboBox*>()) {
        const int index = popup->findText(state.value(popup->objectName()).toString());
        if (index >= 0) popup->setCurrentIndex(index);
    }
    for (QCheckBox* box : ui->upperTabView->findChildren<QCheckBox*>())
        box->setChecked(state.value(box->objectName(), box->isChecked()).toBool());
}

QFileDialog* MainWindow::savePanel() const {
    return panel;
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

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Return anywhere in the window starts the job; an entry has corrected itself by then.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        doGenerateSoundFile();
        return;
    }
    QMainWindow::keyPressEvent(event);
}
