#pragma once
// A page of the window made from a job's description: one entry per number the job takes, the
// rate pop-up, the noise's colour, band, RMS level and seed where the job takes a noise, the
// speaker layout for a set of files, and the announcement. Its controls are named
// "<command>_<what>" ("noise_length", "level-check_layout").

#include <QWidget>

#include "gui/NumberEntry.h"
#include "jobs/JobKinds.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

// The rates every rate pop-up offers, from telephone to 384 kHz.
QStringList SampleRateTitles();

class JobPage : public QWidget {
    Q_OBJECT
  public:
    JobPage(const JobDescription& job, QWidget* parent = nullptr);

    const JobDescription& job() const { return description; }
    // The entry of `field`; null when the job does not take it.
    QLineEdit* entry(Field field) const;
    QComboBox* layoutPopup() const { return speakerLayout; }
    double sampleRate() const;

    // The page's values into `settings` (then completed as the kind derives them).
    void copyInto(Settings& settings) const;
    // Every entry's range as the rate, the layout and the file's format now allow.
    void applyLimits(const SaveOptions& options);
    // Commits what was typed into every entry.
    void commitEntries();

  signals:
    // What an entry corrected, for the status line.
    void told(const QString& message);

  private:
    QLineEdit* addEntry(const QString& name, const NumberEntry::Kind& kind, ValueRange range,
                        double value);
    void addNoiseControls();

    const JobDescription& description;
    std::vector<std::pair<Field, QLineEdit*>> entries;
    QComboBox* rate = nullptr;
    QComboBox* speakerLayout = nullptr;
    QComboBox* color = nullptr;
    QLineEdit* bandLow = nullptr;
    QLineEdit* bandHigh = nullptr;
    QLineEdit* noiseLevel = nullptr;
    QLineEdit* seed = nullptr;
    QCheckBox* announce = nullptr;
};
