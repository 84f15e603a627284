// The main window driven as a user drives it: entries typed, pop-ups chosen, the save panel
// answered, jobs run, stopped, failed and quit, offscreen.
#include <sndfile.h>

#include <cmath>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "gui/MainWindow.h"
#include "gui/NumberEntry.h"
#include "gui/QtDesktopServices.h"
#include "gui/WindowFrames.h"
#include "shell/Preferences.h"

namespace {

// Presses `button` in the next message box named `name` once it is up (it runs its own event
// loop, so it is answered from a timer); `text` gets its texts.
void Answer(const QString& name, QMessageBox::StandardButton button, QString* text = nullptr) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || box->objectName() != name) return;
        if (text != nullptr)
            *text = box->windowTitle() + "\n" + box->text() + "\n" + box->informativeText();
        timer->stop();
        timer->deleteLater();
        box->button(button)->click();
    });
    timer->start(20);
}

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

void LeaveField(QWidget* field) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(field, &out);
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir config;
    int launches = 0;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<ScopedSharedPreferences> preferencesInstalled;
    QtDesktopServices* desktop = nullptr;
    std::unique_ptr<ScopedDesktopServices> installed;
    std::unique_ptr<MainWindow> window;

    template <typename T> T* child(const char* name) {
        T* found = window->findChild<T*>(name);
        if (found == nullptr) qFatal("no control named %s", name);
        return found;
    }
    QLineEdit* entry(const QString& name) { return child<QLineEdit>(name.toUtf8().constData()); }
    void chooseTab(int index) { child<QTabWidget>("upperTabView")->setCurrentIndex(index); }
    void choosePopup(const QString& name, const QString& title) {
        auto* popup = child<QComboBox>(name.toUtf8().constData());
        popup->setCurrentIndex(popup->findText(title));
        emit popup->activated(popup->currentIndex());
    }
    void chooseOption(const char* radioName) { child<QRadioButton>(radioName)->click(); }
    double frequencyMaximum() {
        return NumberEntry::Of(entry("tab1FrequencyCell"))->range().highest;
    }
    // A new window, as at a launch with these stored save options.
    void launch(const nlohmann::json& storedOptions = nullptr) {
        window.reset();
        preferencesInstalled.reset();
        preferences = std::make_unique<Preferences>(
            QDir(config.path())
                .filePath(QString("preferences-%1.json").arg(++launches))
                .toStdString());
        preferencesInstalled = std::make_unique<ScopedSharedPreferences>(*preferences);
        if (!storedOptions.is_null()) preferences->SetObject(kSaveOptionsKey, storedOptions);
        window = std::make_unique<MainWindow>();
        desktop->setParentWindow(window.get());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    // Opens the save panel and confirms it with `path`; `options` is called on the open panel.
    void generateInto(const QString& path, const std::function<void()>& options = {}) {
        window->doGenerateSoundFile();
        QFileDialog* panel = window->savePanel();
        QVERIFY(panel != nullptr);
        if (options) options();
        panel->selectFile(path);
        static_cast<QDialog*>(panel)->accept();
        QCoreApplication::processEvents(); // the window goes on once the panel has closed
    }
    // A full sweep long enough to be stopped.
    void prepareLongJob() {
        chooseTab(1);
        choosePopup("tab2SampleRatePopup", "192000");
        entry("tab2LengthCell")->setText("3600");
        child<QCheckBox>("tab2SpeakCheckbox")->setChecked(false);
    }

  private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        desktop = new QtDesktopServices;
        installed = std::make_unique<ScopedDesktopServices>(*desktop);
    }
    void cleanupTestCase() {
        window.reset();
        preferencesInstalled.reset();
        installed.reset();
        delete desktop;
    }
    void init() {
        QFile::remove(WindowStateFile());
        launch();
    }
    void cleanup() { window.reset(); }

    // Only the kind and the word length are stored in the preferences: every launch writes
    // AIFF.
    void startsOnTheStoredKind_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("checkedWordLength");
        QTest::newRow("first launch") << "null" << 0 << "Generate Sound File" << 1;
        QTest::newRow("custom sweep") << R"({"Kind":2})" << 2 << "Generate Sound File" << -1;
        QTest::newRow("phase check")
            << R"({"Kind":3,"Format":2})" << 3 << "Generate Sound Files" << 2;
    }
    void startsOnTheStoredKind() {
        QFETCH(QString, stored);
        QFETCH(int, tab);
        QFETCH(QString, button);
        QFETCH(int, checkedWordLength);
        launch(nlohmann::json::parse(stored.toStdString()));
        QCOMPARE(child<QTabWidget>("upperTabView")->currentIndex(), tab);
        QCOMPARE(window->controller().saveOptions().outputType(), tab);
        QCOMPARE(child<QPushButton>("generateButton")->text().remove('&'), button);
        QCOMPARE(entry("tab1FrequencyCell")->text(), "1000");
        QCOMPARE(frequencyMaximum(), 22049.0); // a tone at half the rate would be silence
        window->doGenerateSoundFile();
        QVERIFY(child<QRadioButton>("fileTypeAIFFRadio")->isChecked());
        QCOMPARE(child<QButtonGroup>("wordLengthButtons")->checkedId(), checkedWordLength);
        window->savePanel()->reject();
    }

    // A rate chosen or typed limits the frequencies of its own tab: a value typed at a higher
    // rate is clamped when the rate falls. A tone stays below half the rate, a sweep may end
    // there.
    void sampleRateLimitsTheFrequencies_data() {
        QTest::addColumn<QString>("rateControl");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("tone") << "tab1SampleRatePopup"
                              << "tab1FrequencyCell"
                              << "44100"
                              << "30000"
                              << "22049";
        QTest::newRow("tone kept") << "tab1SampleRatePopup"
                                   << "tab1FrequencyCell"
                                   << "48000"
                                   << "20k"
                                   << "20000";
        QTest::newRow("sweep end") << "tab3SampleRateTextField"
                                   << "tab3ToFreqTextField"
                                   << "48000"
                                   << "40000"
                                   << "24000";
        QTest::newRow("rate in kHz") << "tab3SampleRateTextField"
                                     << "tab3FromFreqTextField"
                                     << "44.1k"
                                     << "30000"
                                     << "22050";
        QTest::newRow("other tab's rate") << "tab2SampleRatePopup"
                                          << "tab1FrequencyCell"
                                          << "8000"
                                          << "30000"
                                          << "30000";
    }
    void sampleRateLimitsTheFrequencies() {
        QFETCH(QString, rateControl);
        QFETCH(QString, cell);
        QFETCH(QString, rate);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        auto setRate = [&](const QString& value) {
            if (auto* field = window->findChild<QLineEdit*>(rateControl)) {
                field->setText(value);
                LeaveField(field);
            } else {
                choosePopup(rateControl, value);
            }
        };
        choosePopup("tab1SampleRatePopup", "192000");
        setRate("192000");
        entry(cell)->setText(typed);
        LeaveField(entry(cell));
        setRate(rate);
        QCOMPARE(entry(cell)->text(), shown);
    }

    // An entry is corrected when it is left, on Return and on Generate: a number out of range is
    // clamped, and text that is not a number gives the last accepted value back (a typing
    // mistake never becomes a range's edge). Return and Generate go on to the save panel.
    void badNumberCorrectsTheEntryThatFailed_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("ending"); // "focus", "return" or "generate"
        QTest::addColumn<QString>("shown");
        QTest::newRow("frequency above the limit") << 0 << "tab1FrequencyCell"
                                                   << "99999"
                                                   << "return"
                                                   << "23999";
        QTest::newRow("level above 0") << 0 << "tab1LevelCell"
                                       << "5"
                                       << "focus"
                                       << "0";
        QTest::newRow("level not a number") << 0 << "tab1LevelCell"
                                            << "loud"
                                            << "generate"
                                            << "-10";
        QTest::newRow("level empty") << 0 << "tab1LevelCell"
                                     << ""
                                     << "return"
                                     << "-10";
        QTest::newRow("frequency with a space") << 0 << "tab1FrequencyCell"
                                                << "1 500"
                                                << "focus"
                                                << "1000";
        QTest::newRow("length zero") << 0 << "tab1LengthCell"
                                     << "0"
                                     << "focus"
                                     << "0.000020833";
        QTest::newRow("fractional repeats") << 3 << "tab4NumRepeatsTextField"
                                            << "2.7"
                                            << "focus"
                                            << "3";
        QTest::newRow("overlong length") << 1 << "tab2LengthCell"
                                         << "1e9"
                                         << "generate"
                                         << "22309.22";
    }
    void badNumberCorrectsTheEntryThatFailed() {
        QFETCH(int, tab);
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(QString, ending);
        QFETCH(QString, shown);
        choosePopup("tab1SampleRatePopup", "48000");
        chooseTab(tab);
        QLineEdit* field = entry(name);
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, typed);
        if (ending == "focus")
            LeaveField(field);
        else if (ending == "return")
            QTest::keyClick(field, Qt::Key_Return);
        else
            window->doGenerateSoundFile();
        QCOMPARE(field->text(), shown);
        const bool told = shown != typed;
        QCOMPARE(child<QStatusBar>("statusBar")->currentMessage().isEmpty(), !told);
        QCOMPARE(window->savePanel() != nullptr, ending != "focus");
        if (window->savePanel()) {
            QVERIFY(!CheckJobSettings(window->controller().settings(),
                                      window->controller().saveOptions()));
            window->savePanel()->reject();
        }
    }

    // What engineers type: the desktop's decimal separator or ".", "k" for thousands where the
    // entry takes it, a leading "+"; anything that could mean two numbers is refused.
    void entryNumbersReadAsTyped_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("thousands");
        QTest::addColumn<double>("value"); // NaN: not a number
        const double no = std::nan("");
        QTest::newRow("plain") << "C"
                               << " 1000 " << false << 1000.0;
        QTest::newRow("k") << "C"
                           << "1k" << true << 1000.0;
        QTest::newRow("rate in kHz") << "C"
                                     << "44.1k" << true << 44100.0;
        QTest::newRow("k where none is taken") << "C"
                                               << "1k" << false << no;
        QTest::newRow("plus") << "C"
                              << "+3" << false << 3.0;
        QTest::newRow("minus sign") << "C"
                                    << "\u22126.5" << false << -6.5;
        QTest::newRow("German comma") << "de_DE"
                                      << "2,5" << false << 2.5;
        QTest::newRow("German point") << "de_DE"
                                      << "1.000" << false << 1.0;
        QTest::newRow("German both") << "de_DE"
                                     << "1.000,5" << false << no;
        QTest::newRow("English comma") << "C"
                                       << "2,5" << false << no;
        QTest::newRow("group space") << "C"
                                     << "1 000" << false << no;
        QTest::newRow("word") << "C"
                              << "abc" << false << no;
        QTest::newRow("empty") << "C"
                               << "" << false << no;
        QTest::newRow("overflow") << "C"
                                  << "1e400" << false << no;
    }
    void entryNumbersReadAsTyped() {
        QFETCH(QString, locale);
        QFETCH(QString, typed);
        QFETCH(bool, thousands);
        QFETCH(double, value);
        const auto read = ParseEntryNumber(typed, QLocale(locale), thousands);
        QCOMPARE(read.has_value(), !std::isnan(value));
        if (read) QCOMPARE(*read, value);
    }

    // The entries come back at the next launch as they were left.
    void entriesAreRememberedBetweenLaunches() {
        entry("tab1LevelCell")->setText("-20.5");
        LeaveField(entry("tab1LevelCell"));
        choosePopup("tab4SampleRatePopup", "96000");
        window->close();
        launch();
        QCOMPARE(entry("tab1LevelCell")->text(), "-20.5");
        QCOMPARE(child<QComboBox>("tab4SampleRatePopup")->currentText(), "96000");
    }

    // Each tab has a rate control of its own, set apart here so that a control read from the
    // wrong tab shows.
    void generateCopiesTheVisibleTab_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QStringList>("entries"); // name=value
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QList<double>>("settings"); // from, to, level from, level to, rate
        QTest::newRow("tone") << 0
                              << QStringList{"tab1FrequencyCell=440", "tab1LevelCell=-3",
                                             "tab1LengthCell=2.5"}
                              << "VivuZira 440 Hz, -3.00 dB, 2 sec"
                              << QList<double>{440, 440, -3, -3, 48000};
        QTest::newRow("full sweep")
            << 1 << QStringList{"tab2LevelCell=-20", "tab2LengthCell=30"}
            << "Full Sweep -20.00 dB, 32.0 kHz, 30 sec" << QList<double>{5, 16000, -20, -20, 32000};
        QTest::newRow("falling custom sweep")
            << 2
            << QStringList{"tab3FromFreqTextField=20000", "tab3ToFreqTextField=20",
                           "tab3FromlevelTextField=0", "tab3ToLevelTextField=-40",
                           "tab3LengthTextField=15"}
            << "Custom Sweep 20000-20 Hz in 15 sec" << QList<double>{20000, 20, 0, -40, 96000};
        QTest::newRow("phase check")
            << 3 << QStringList{"tab4SilenceTextField=0.5", "tab4NumRepeatsTextField=3"}
            << "Phase Check for 5.1" << QList<double>{0, 0, 0, 0, 88200};
    }
    void generateCopiesTheVisibleTab() {
        QFETCH(int, tab);
        QFETCH(QStringList, entries);
        QFETCH(QString, proposed);
        QFETCH(QList<double>, settings);
        choosePopup("tab1SampleRatePopup", "48000");
        choosePopup("tab2SampleRatePopup", "32000");
        entry("tab3SampleRateTextField")->setText("96000");
        choosePopup("tab4SampleRatePopup", "88200");
        choosePopup("tab4ChannelsPopup", "5.1");
        chooseTab(tab);
        for (const QString& assignment : entries)
            entry(assignment.section('=', 0, 0))->setText(assignment.section('=', 1));
        window->doGenerateSoundFile();
        QVERIFY(window->savePanel());
        QCOMPARE(window->savePanel()->findChild<QLineEdit*>("fileNameEdit")->text(), proposed);
        const Settings& s = window->controller().settings();
        if (tab == 3) {
            QCOMPARE((QList<double>{s.silence(), double(s.numRepeats()), double(s.channelSetup())}),
                     (QList<double>{0.5, 3, 3}));
            settings = {s.freq_from(), s.freq_to(), s.level_from(), s.level_to(), settings[4]};
        }
        QCOMPARE((QList<double>{s.freq_from(), s.freq_to(), s.level_from(), s.level_to(),
                                s.sampleRate()}),
                 settings);
        window->savePanel()->reject();
    }

    // The pages made from a kind's description hand their values to the job: the noise's
    // colour, band, RMS level and seed, a set's layout, and the file options per run.
    void madePagesCopyTheirValues_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QStringList>("entries"); // name=value
        QTest::addColumn<QString>("proposed");
        QTest::newRow("noise") << 4 << QStringList{"noise_length=2",    "noise_level=-30",
                                                   "noise_bandLow=500", "noise_bandHigh=2k",
                                                   "noise_seed=7",      "noise_color=White",
                                                   "noise_rate=96000"}
                               << "White Noise 500-2000 Hz, -30.00 dB RMS, 2 sec";
        QTest::newRow("level check")
            << 5
            << QStringList{"level-check_length=3", "level-check_layout=Quad",
                           "level-check_level=-24"}
            << "Level Check for Quad";
    }
    void madePagesCopyTheirValues() {
        QFETCH(int, tab);
        QFETCH(QStringList, entries);
        QFETCH(QString, proposed);
        chooseTab(tab);
        for (const QString& assignment : entries) {
            const QString name = assignment.section('=', 0, 0), value = assignment.section('=', 1);
            if (window->findChild<QComboBox*>(name))
                choosePopup(name, value);
            else
                entry(name)->setText(value);
        }
        window->doGenerateSoundFile();
        QVERIFY(window->savePanel());
        QCOMPARE(window->savePanel()->findChild<QLineEdit*>("fileNameEdit")->text(), proposed);
        const bool set = tab == 5;
        QCOMPARE(child<QCheckBox>("interleavedCheckbox")->isVisibleTo(window->savePanel()), set);
        QCOMPARE(child<QCheckBox>("ditherCheckbox")->isVisibleTo(window->savePanel()), !set);
        child<QCheckBox>(set ? "interleavedCheckbox" : "ditherCheckbox")->click();
        const Settings& s = window->controller().settings();
        const SaveOptions& o = window->controller().saveOptions();
        QCOMPARE(set ? o.interleaved() : o.dither(), true);
        if (set) {
            QCOMPARE((QList<double>{s.length(), double(s.channelSetup()), s.noise().level}),
                     (QList<double>{3, 1, -24}));
        } else {
            const NoiseParameters& n = s.noise();
            QCOMPARE((QList<double>{s.length(), n.level, n.bandLow, n.bandHigh, double(n.seed),
                                    double(n.color == NoiseColor::white), s.sampleRate(),
                                    s.level_from()}),
                     (QList<double>{2, -30, 500, 2000, 7, 1, 96000, -30}));
        }
        window->savePanel()->reject();
    }

    // The line-up page hands its signal, layout, picture rate, timecode and split to the job: a
    // signal with channels of its own keeps them, a timecode that is not one never reaches the
    // job, and a signal split into one file per speaker is saved as a folder.
    void lineupPageCopiesItsValues_data() {
        QTest::addColumn<QStringList>("steps");      // name=value, in turn
        QTest::addColumn<QString>("proposed");       // in the save panel
        QTest::addColumn<QList<double>>("settings"); // signal, layout, fps, split, folder
        QTest::addColumn<QString>("timecode");       // as the job gets it
        QTest::addColumn<QString>("told");           // in the status line
        QTest::newRow("film ident placed")
            << QStringList{"lineup_signal=Film ident", "lineup_layout=7.1.4",
                           "lineup_timecode= 1:0:0:0"}
            << "Film ident 7.1.4" << QList<double>{5, 11, 25, 0, 0} << "01:00:00:00"
            << "";
        QTest::newRow("BLITS keeps its channels")
            << QStringList{"lineup_layout=Quad", "lineup_signal=BLITS", "lineup_split=1"} << "BLITS"
            << QList<double>{4, 3, 25, 1, 1} << ""
            << "";
        QTest::newRow("tone on its own layout, split")
            << QStringList{"lineup_signal=SMPTE RP155 reference tone", "lineup_layout=Quad",
                           "lineup_split=1"}
            << "SMPTE RP155 reference tone Quad" << QList<double>{1, 1, 25, 1, 1} << ""
            << "";
        QTest::newRow("one pop is one file")
            << QStringList{"lineup_signal=Sync pop", "lineup_fps=23.976", "lineup_split=1"}
            << "Sync pop 23.976 fps" << QList<double>{6, 3, 23.976, 1, 0} << ""
            << "";
        QTest::newRow("hour 25")
            << QStringList{"lineup_timecode=10:00:00:00", "lineup_timecode=25:00:00:00"}
            << "EBU R68 alignment tone Stereo" << QList<double>{0, 0, 25, 0, 0} << "10:00:00:00"
            << "“25:00:00:00” is not HH:MM:SS:FF (hours 0–23, frames 0–24); kept 10:00:00:00.";
        QTest::newRow("text") << QStringList{"lineup_timecode=ten o'clock"}
                              << "EBU R68 alignment tone Stereo" << QList<double>{0, 0, 25, 0, 0}
                              << ""
                              << "; not placed.";
        QTest::newRow("frame beyond a slower rate")
            << QStringList{"lineup_fps=30", "lineup_timecode=10:00:00:29", "lineup_fps=25"}
            << "EBU R68 alignment tone Stereo" << QList<double>{0, 0, 25, 0, 0} << "10:00:00:24"
            << "set to 10:00:00:24";
    }
    void lineupPageCopiesItsValues() {
        QFETCH(QStringList, steps);
        QFETCH(QString, proposed);
        QFETCH(QList<double>, settings);
        QFETCH(QString, timecode);
        QFETCH(QString, told);
        chooseTab(6);
        for (const QString& step : steps) {
            const QString name = step.section('=', 0, 0), value = step.section('=', 1);
            if (name == "lineup_split") {
                child<QCheckBox>("lineup_split")->setChecked(true);
            } else if (name == "lineup_timecode") {
                entry(name)->setText(value);
                emit entry(name)->editingFinished();
            } else {
                choosePopup(name, value);
            }
        }
        const bool folder = settings[4] != 0;
        QCOMPARE(child<QPushButton>("generateButton")->text().remove('&'),
                 folder ? "Generate Sound Files" : "Generate Sound File");
        window->doGenerateSoundFile();
        QVERIFY(window->savePanel());
        QCOMPARE(window->savePanel()->findChild<QLineEdit*>("fileNameEdit")->text(), proposed);
        QCOMPARE(window->savePanel()->windowTitle(),
                 folder ? "Save Sound Files" : "Save Sound File");
        const Settings& s = window->controller().settings();
        const LineupParameters& p = s.lineup();
        QCOMPARE((QList<double>{double(p.signal), double(s.channelSetup()), p.fps, double(p.split),
                                double(window->controller().writesFolder())}),
                 settings);
        QCOMPARE(QString::fromStdString(p.timecode), timecode);
        QVERIFY(!s.announce());
        const QString message = window->statusBar()->currentMessage();
        QVERIFY2(told.isEmpty() ? message.isEmpty() : message.contains(told), qPrintable(message));
        window->savePanel()->reject();
    }

    void cancelledPanelStoresAndStartsNothing() {
        QTemporaryDir folder;
        Preferences::Shared().SetObject(kSaveOptionsKey, nlohmann::json{{"Kind", 0}});
        window->doGenerateSoundFile();
        chooseOption("fileTypeBroadcastWaveRadio");
        QCOMPARE(window->controller().saveOptions().fileType(), kFileTypeBroadcastWave);
        window->savePanel()->selectFile(folder.filePath("tone"));
        window->savePanel()->reject();
        QCoreApplication::processEvents(); // where an accepted panel goes on
        QVERIFY(!window->savePanel());
        QVERIFY(!window->jobActive());
        QCOMPARE(Entries(folder.path()), QStringList{});
        QCOMPARE(Preferences::Shared().GetObject(kSaveOptionsKey)->value("FileType", -1), -1);
    }

    // The file type and word length chosen in the panel reach the file and the preferences.
    void wholeJobWritesTheFileChosenInThePanel() {
        QTemporaryDir folder;
        entry("tab1LengthCell")->setText("0.5");
        child<QCheckBox>("tab1SpeakCheckbox")->setChecked(false);
        QSignalSpy finished(window.get(), &MainWindow::jobFinished);
        // The extension typed chooses the format over the option chosen, and is not doubled.
        generateInto(folder.filePath("tone.wav"), [this] {
            chooseOption("fileTypeAIFFRadio");
            chooseOption("wordLength24Radio");
        });
        QVERIFY(window->jobActive());
        QVERIFY(finished.wait(10000));
        QCOMPARE(Entries(folder.path()), QStringList{"tone.wav"});
        SF_INFO info{};
        SNDFILE* file = sf_open(qPrintable(folder.filePath("tone.wav")), SFM_READ, &info);
        QVERIFY(file != nullptr);
        sf_close(file);
        QCOMPARE(info.frames, sf_count_t{22050});
        QCOMPARE(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
        QVERIFY(Preferences(Preferences::Shared().File()).GetObject(kSaveOptionsKey) ==
                (nlohmann::json{{"FileType", 1}, {"Format", 2}, {"Kind", 0}}));
        QVERIFY(child<QWidget>("bgImage")->isEnabled());
    }

    // The custom sweep's check box writes the inverse filter beside an AIFF sweep, as float WAVE.
    void sweepPageWritesTheInverseFilter() {
        QTemporaryDir folder;
        chooseTab(2);
        entry("tab3LengthTextField")->setText("1");
        child<QCheckBox>("tab3SpeakCheckbox")->setChecked(false);
        child<QCheckBox>("tab3InverseCheckbox")->setChecked(true);
        QSignalSpy finished(window.get(), &MainWindow::jobFinished);
        generateInto(folder.filePath("m.aif"));
        QVERIFY(finished.wait(10000));
        QCOMPARE(Entries(folder.path()), (QStringList{"m.aif", "m.inverse.wav"}));
        SF_INFO info{};
        SNDFILE* file = sf_open(qPrintable(folder.filePath("m.inverse.wav")), SFM_READ, &info);
        QVERIFY(file != nullptr);
        sf_close(file);
        QCOMPARE(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
        QCOMPARE(info.frames, sf_count_t{48000});
    }

    void longJobShowsTheSheetAndStopKeepsTheOldFile() {
        QTemporaryDir folder;
        const QByteArray old = "the file the user had";
        QFile earlier(folder.filePath("long.aif"));
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write(old) == old.size());
        earlier.close();
        prepareLongJob();
        Answer("replaceQuestion", QMessageBox::Yes);
        QSignalSpy finished(window.get(), &MainWindow::jobFinished);
        generateInto(folder.filePath("long"));
        // The window is locked until the job is done: a second Generate starts nothing.
        window->doGenerateSoundFile();
        QVERIFY(!window->savePanel());
        QVERIFY(!child<QWidget>("bgImage")->isEnabled());
        auto* sheet = child<QDialog>("progressSheet");
        QTRY_VERIFY_WITH_TIMEOUT(sheet->isVisible(), 3000);
        child<QPushButton>("stopButton")->click();
        QVERIFY(finished.wait(2000));
        QVERIFY(!sheet->isVisible());
        QCOMPARE(Entries(folder.path()), QStringList{"long.aif"});
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), old);
        QVERIFY(child<QWidget>("bgImage")->isEnabled());
    }

    void failingJobShowsItsAlertAndTheWindowStaysUsable() {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir("taken.aif"));
        entry("tab1LengthCell")->setText("0.5");
        QString question, alert;
        Answer("replaceQuestion", QMessageBox::Yes, &question);
        Answer("alert", QMessageBox::Ok, &alert);
        QSignalSpy finished(window.get(), &MainWindow::jobFinished);
        generateInto(folder.filePath("taken"));
        QVERIFY(finished.wait(10000));
        QVERIFY(question.contains("“taken.aif” already exists"));
        // The title and message, and below them why: the path and what is wrong with it.
        QVERIFY2(alert.startsWith(
                     QString("%1\n%2\n").arg(kSoundFileAlertTitle, kSoundFileAlertMessage)) &&
                     alert.contains(folder.filePath("taken.aif") + "' exists and is not a file"),
                 qPrintable(alert));
        QCOMPARE(Entries(folder.path()), QStringList{"taken.aif"});
        window->doGenerateSoundFile();
        QVERIFY(window->savePanel());
        window->savePanel()->reject();
    }

    void quittingDuringAJobLeavesNothingBehind() {
        QTemporaryDir folder;
        prepareLongJob();
        QSignalSpy closed(window.get(), &MainWindow::closed);
        generateInto(folder.filePath("long"));
        QVERIFY(AppController::jobRunning());
        window->close();
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 3000);
        QVERIFY(!AppController::jobRunning());
        QCOMPARE(Entries(folder.path()), QStringList{});
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
