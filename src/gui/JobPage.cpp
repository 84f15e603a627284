#include "gui/JobPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>

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
        speakerLayout = new QComboBox(this);
        speakerLayout->setObjectName(prefix + "layout");
        for (std::int32_t number = 0; number < kLayoutCount; ++number)
            speakerLayout->addItem(QString::fromStdString(LayoutTitle(number).value_or("")),
                                   number);
        speakerLayout->setCurrentIndex(kLayoutFiveDotOne);
        form->insertRow(0, tr("Speaker layout:"), speakerLayout);
    }
    announce = new QCheckBox(job.speakerSet() ? tr("Announce every speaker from its own file")
                                              : tr("Announce the noise, its level and rate"),
                             this);
    announce->setObjectName(prefix + "announce");
    announce->setChecked(true);
    form->addRow(QString(), announce);
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
    settings.setAnnounce(announce->isChecked());
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
}
