#pragma once
// A page of the window made from a job's description: one entry per number the job takes, the
// rate pop-up, the noise's colour, band, RMS level and seed where the job takes a noise, the
// speaker layout for a set of files, and the announcement. A line-up page takes the signal, its
// layout, picture rate and timecode and the choice of one file per speaker instead, and has no
// announcement. Its controls are named "<command>_<what>" ("noise_length", "lineup_signal").

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
    // Takes the typed timecode when it is one at the chosen picture rate (or empty: none);
    // otherwise shows the last one taken again and says why. True when it changed the text.
    bool commitTimecode();

  signals:
    // What an entry corrected, for the status line.
    void told(const QString& message);
    // The output changed between one file and a folder of files.
    void outputShapeChanged();

  private:
    QLineEdit* addEntry(const QString& name, const NumberEntry::Kind& kind, ValueRange range,
                        double value);
    void addNoiseControls();
    QComboBox* addLayoutPopup(const QString& name);
    void addLineupControls();
    // The layout a newly chosen signal is offered with.
    void lineupSignalChosen();
    // Which of the line-up controls apply to the signal and layout as chosen.
    void enableLineupControls();
    // The timecode taken, brought within the frames of the chosen picture rate.
    void fitTimecode();
    double frameRate() const;

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
    QComboBox* lineupSignal = nullptr;
    QComboBox* pictureRate = nullptr;
    QLineEdit* timecode = nullptr;
    QString takenTimecode; // the last timecode taken; empty: the file is not placed
    QCheckBox* split = nullptr;
};
