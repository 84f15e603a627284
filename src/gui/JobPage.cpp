#include "gui/JobPage.h"

#include <array>
#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>

#include "jobs/Lineup.h"
#include "jobs/PhaseCheck.h"
#include "synth/NoiseGenerator.h"

namespace {

const char* const kSampleRates[] = {"8000",   "11025",  "16000", "22050", "32000",
                                    "44100",  "48000",  "88200", "96000", "176400",
                                    "192000", "352800", "384000"};
// Seeds are whole numbers that a double still holds exactly.
constexpr double kHighestSeed = 9007199254740991.0;

QString Label(const char* label, const char* unit) {
    const QString text = QString::fromUtf8(label);
    return *unit != '\0' ? QString("%1 (%2):").arg(text, QString::fromUtf8(unit)) : text + ":";
}

// Hours, minutes, seconds and frames of a timecode that TimecodeFrames has taken.
std::array<int, 4> TimecodeParts(const QString& timecode) {
    const QStringList parts = timecode.split(':');
    std::array<int, 4> numbers{};
    for (std::size_t index = 0; index < numbers.size() && index < std::size_t(parts.size());
         ++index)
        numbers[index] = parts[qsizetype(index)].trimmed().toInt();
    return numbers;
}

// A timecode as the entry shows it: two digits each, "01:00:00:00".
QString TimecodeText(const std::array<int, 4>& parts) {
    QStringList texts;
    for (int number : parts)
        texts << QString("%1").arg(number, 2, 10, QChar('0'));
    return texts.join(':');
}

} // namespace

QStringList SampleRateTitles() {
    QStringList titles;
    for (const char* rate : kSampleRates)
        titles << rate;
    return titles;
}

JobPage::JobPage(const JobDescription& job, QWidget* parent) : QWidget(parent), description(job) {
    setObjectName(QString(job.command) + "_page");
    setProperty("identifier", StoredNumber(job.kind) + 1);
    auto* form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    const QString prefix = QString(job.command) + "_";
    for (const FieldUse& use : job.fields) {
        const FieldDescription& field = Describe(use.field);
        QString name = QString(field.option).mid(2); // "--length" -> "length"
        if (use.field == Field::sampleRate) {
            rate = new QComboBox(this);
            rate->setObjectName(prefix + name);
            rate->addItems(SampleRateTitles());
            rate->setCurrentText(QString::number(use.defaultValue, 'f', 0));
            form->addRow(Label(field.label, field.unit), rate);
            continue;
        }
        const char* label = use.help != nullptr && use.field == Field::length && job.speakerSet()
                                ? "Length per speaker"
                                : field.label;
        QLineEdit* edit = addEntry(prefix + name,
                                   {QString::fromUtf8(field.label), QString::fromUtf8(field.unit),
                                    field.integer, field.thousands},
                                   {-1e300, 1e300}, use.defaultValue);
        form->addRow(Label(label, field.unit), edit);
        entries.emplace_back(use.field, edit);
    }
    if (job.noise) addNoiseControls();
    if (job.speakerSet()) {
        speakerLayout = addLayoutPopup(prefix + "layout");
        speakerLayout->setCurrentIndex(kLayoutFiveDotOne);
        form->insertRow(0, tr("Speaker layout:"), speakerLayout);
    }
    if (job.lineup) {
        // Line-up signals are never announced.
        addLineupControls();
    } else {
        announce = new QCheckBox(job.speakerSet() ? tr("Announce every speaker from its own file")
                                                  : tr("Announce the noise, its level and rate"),
                                 this);
        announce->setObjectName(prefix + "announce");
        announce->setChecked(true);
        form->addRow(QString(), announce);
    }
    // Tab goes down the rows as they are shown, whatever order the controls were made in.
    QWidget* previous = nullptr;
    for (int row = 0; row < form->rowCount(); ++row) {
        QLayoutItem* item = form->itemAt(row, QFormLayout::FieldRole);
        if (QWidget* control = item != nullptr ? item->widget() : nullptr) {
            if (previous != nullptr) setTabOrder(previous, control);
            previous = control;
        }
    }
}

QComboBox* JobPage::addLayoutPopup(const QString& name) {
    auto* popup = new QComboBox(this);
    popup->setObjectName(name);
    for (std::int32_t number = 0; number < kLayoutCount; ++number)
        popup->addItem(QString::fromStdString(LayoutTitle(number).value_or("")), number);
    return popup;
}

void JobPage::addLineupControls() {
    auto* form = static_cast<QFormLayout*>(layout());
    const QString prefix = QString(description.command) + "_";
    lineupSignal = new QComboBox(this);
    lineupSignal->setObjectName(prefix + "signal");
    for (int number = 0; number < kLineupSignalCount; ++number)
        lineupSignal->addItem(QString::fromUtf8(LineupSignalTitle(LineupSignal(number))), number);
    speakerLayout = addLayoutPopup(prefix + "layout");
    pictureRate = new QComboBox(this);
    pictureRate->setObjectName(prefix + "fps");
    for (double fps : kLineupFrameRates)
        pictureRate->addItem(NumberText(fps), fps);
    pictureRate->setCurrentIndex(pictureRate->findData(LineupParameters().fps));
    pictureRate->setToolTip(tr("The picture rate of the sync pop and of the timecode"));
    timecode = new QLineEdit(this);
    timecode->setObjectName(prefix + "timecode");
    timecode->setPlaceholderText(tr("HH:MM:SS:FF, empty for none"));
    timecode->setToolTip(tr("Where a Broadcast WAVE file starts on the timeline (non-drop "
                            "frames); empty: the file is not placed"));
    split = new QCheckBox(tr("One file per spea&ker"), this);
    split->setObjectName(prefix + "split");
    split->setToolTip(tr("A folder of mono files, one per speaker, instead of one interleaved "
                         "file"));
    form->insertRow(0, tr("&Signal:"), lineupSignal);
    form->insertRow(1, tr("Speaker la&yout:"), speakerLayout);
    form->insertRow(2, tr("Fra&me rate (fps):"), pictureRate);
    form->insertRow(3, tr("Tim&ecode:"), timecode);
    form->addRow(QString(), split);
    lineupSignalChosen();
    // Chosen by the user, a signal brings its own layout; restored, it keeps the one restored.
    connect(lineupSignal, &QComboBox::activated, this, &JobPage::lineupSignalChosen);
    connect(lineupSignal, &QComboBox::currentIndexChanged, this, &JobPage::enableLineupControls);
    connect(speakerLayout, &QComboBox::currentIndexChanged, this, &JobPage::enableLineupControls);
    connect(timecode, &QLineEdit::textChanged, this, &JobPage::enableLineupControls);
    connect(timecode, &QLineEdit::editingFinished, this, &JobPage::commitTimecode);
    connect(pictureRate, &QComboBox::currentIndexChanged, this, &JobPage::fitTimecode);
    connect(split, &QCheckBox::toggled, this, &JobPage::outputShapeChanged);
    connect(lineupSignal, &QComboBox::currentIndexChanged, this, &JobPage::outputShapeChanged);
}

void JobPage::lineupSignalChosen() {
    const auto signal = LineupSignal(lineupSignal->currentData().toInt());
    speakerLayout->setCurrentIndex(speakerLayout->findData(LineupDefaultLayout(signal)));
    enableLineupControls();
}

void JobPage::enableLineupControls() {
    const auto signal = LineupSignal(lineupSignal->currentData().toInt());
    speakerLayout->setEnabled(LineupTakesLayout(signal));
    pictureRate->setEnabled(signal == LineupSignal::pop || !timecode->text().trimmed().isEmpty());
    split->setEnabled(
        LineupChannelsOf(signal, speakerLayout->currentData().toInt(), false).speakers.size() > 1);
}

double JobPage::frameRate() const {
    return pictureRate != nullptr ? pictureRate->currentData().toDouble() : 0.0;
}

bool JobPage::commitTimecode() {
    if (timecode == nullptr) return false;
    const QString typed = timecode->text().trimmed();
    std::string problem;
    if (typed.isEmpty()) {
        takenTimecode.clear();
    } else if (TimecodeFrames(typed.toStdString(), frameRate(), sampleRate(), &problem)) {
        takenTimecode = TimecodeText(TimecodeParts(typed));
    } else {
        const QString why = tr("Timecode: “%1” is not HH:MM:SS:FF (hours 0–23, frames 0–%2)")
                                .arg(typed.left(20))
                                .arg(std::lround(frameRate()) - 1);
        emit told(takenTimecode.isEmpty() ? tr("%1; not placed.").arg(why)
                                          : tr("%1; kept %2.").arg(why, takenTimecode));
    }
    const bool changed = timecode->text() != takenTimecode;
    timecode->setText(takenTimecode);
    return changed;
}

void JobPage::fitTimecode() {
    std::string problem;
    if (takenTimecode.isEmpty() ||
        TimecodeFrames(takenTimecode.toStdString(), frameRate(), sampleRate(), &problem))
        return;
    // Taken at another picture rate: only its frames can be beyond this one's last frame.
    std::array<int, 4> parts = TimecodeParts(takenTimecode);
    const int frame = parts[3];
    parts[3] = std::min(frame, int(std::lround(frameRate())) - 1);
    takenTimecode = TimecodeText(parts);
    timecode->setText(takenTimecode);
    emit told(tr("Timecode: there is no frame %1 at %2 fps; set to %3.")
                  .arg(frame)
                  .arg(NumberText(frameRate()), takenTimecode));
}

QLineEdit* JobPage::addEntry(const QString& name, const NumberEntry::Kind& kind, ValueRange range,
                             double value) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    auto* number = new NumberEntry(edit, kind, range, value);
    connect(number, &NumberEntry::told, this, &JobPage::told);
    return edit;
}

void JobPage::addNoiseControls() {
    auto* form = static_cast<QFormLayout*>(layout());
    const QString prefix = QString(description.command) + "_";
    const NoiseParameters defaults;
    color = new QComboBox(this);
    color->setObjectName(prefix + "color");
    color->addItem(tr("Pink (falls 3 dB per octave)"), int(NoiseColor::pink));
    color->addItem(tr("White"), int(NoiseColor::white));
    form->addRow(tr("Colour:"), color);
    noiseLevel = addEntry(prefix + "level", {tr("Level"), "dBFS RMS", false, false},
                          NoiseLevelRange(), defaults.level);
    form->addRow(tr("Level (dBFS RMS):"), noiseLevel);
    // Both edges 0: the full band.
    bandLow = addEntry(prefix + "bandLow", {tr("Band from"), "Hz", false, true}, {0.0, 1e300},
                       defaults.bandLow);
    bandHigh = addEntry(prefix + "bandHigh", {tr("Band to"), "Hz", false, true}, {0.0, 1e300},
                        defaults.bandHigh);
    form->addRow(tr("Band from (Hz, 0 for full):"), bandLow);
    form->addRow(tr("Band to (Hz, 0 for full):"), bandHigh);
    seed = addEntry(prefix + "seed", {tr("Seed"), "", true, false}, {0.0, kHighestSeed},
                    double(defaults.seed));
    form->addRow(tr("Random seed:"), seed);
}

QLineEdit* JobPage::entry(Field field) const {
    for (const auto& [taken, edit] : entries)
        if (taken == field) return edit;
    return nullptr;
}

double JobPage::sampleRate() const {
    return rate != nullptr ? LeadingNumber(rate->currentText()) : 0.0;
}

void JobPage::copyInto(Settings& settings) const {
    for (const auto& [field, edit] : entries)
        SetFieldValue(field, settings, EntryValue(edit));
    settings.setSampleRate(sampleRate());
    if (speakerLayout != nullptr) settings.setChannelSetup(speakerLayout->currentData().toInt());
    if (announce != nullptr) settings.setAnnounce(announce->isChecked());
    if (description.lineup) {
        LineupParameters lineup;
        lineup.signal = LineupSignal(lineupSignal->currentData().toInt());
        lineup.fps = frameRate();
        lineup.timecode = takenTimecode.toStdString();
        lineup.split = split->isChecked();
        settings.setLineup(lineup);
        settings.setAnnounce(false);
        // A signal with channels of its own keeps the layout it is planned for.
        if (!LineupTakesLayout(lineup.signal))
            settings.setChannelSetup(LineupDefaultLayout(lineup.signal));
    }
    if (description.noise) {
        NoiseParameters noise;
        noise.color = NoiseColor(color->currentData().toInt());
        noise.level = EntryValue(noiseLevel);
        noise.bandLow = EntryValue(bandLow);
        noise.bandHigh = EntryValue(bandHigh);
        noise.seed = static_cast<std::uint64_t>(EntryValue(seed));
        settings.setNoise(noise);
    }
    CompleteSettings(description.kind, settings);
}

void JobPage::applyLimits(const SaveOptions& options) {
    Settings settings;
    copyInto(settings);
    for (const auto& [field, edit] : entries)
        NumberEntry::Of(edit)->setRange(FieldRange(description.kind, field, settings, options));
    if (description.noise) {
        const ValueRange band{0.0, settings.sampleRate() * 0.5};
        NumberEntry::Of(bandLow)->setRange(band);
        NumberEntry::Of(bandHigh)->setRange(band);
    }
}

void JobPage::commitEntries() {
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        CorrectEntry(edit);
    commitTimecode();
}
