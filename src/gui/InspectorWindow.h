#pragma once
// The inspector: a small window that shows what one sound file holds, as `quillgen info
// --levels` reads it: the format, the markers, and each channel's peak and RMS level. The
// header is read and the levels measured on a worker thread, so that a long file does not hold
// up the window; closing or deleting the window while it reads stops the reading.

#include <atomic>
#include <optional>
#include <thread>

#include <QString>
#include <QWidget>

#include <nlohmann/json.hpp>

class QFileDialog;
class QLabel;
class QTableWidget;

inline constexpr const char* kInspectTitle = "Inspect Sound File";
inline constexpr const char* kInspectFilters = "Sound Files (*.aif *.aiff *.wav);;All Files (*)";

class InspectorWindow : public QWidget {
    Q_OBJECT
  public:
    explicit InspectorWindow(QWidget* parent = nullptr);
    ~InspectorWindow() override;

    // Shows `path` in the inspector of `parent` (made on first use, then reused for every file)
    // and brings it to the front.
    static InspectorWindow* Inspect(QWidget* parent, const QString& path);
    // Opens a file panel, window-modal to `parent`, and inspects the file chosen in it. The
    // panel deletes itself when it closes.
    static QFileDialog* ChooseAndInspect(QWidget* parent);

    // Starts reading `path`, stopping any reading still under way.
    void inspect(const QString& path);
    QString path() const { return shownPath; }

  signals:
    // The reading is over: the levels are shown, or why the file or its samples could not be
    // read.
    void readingFinished();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void stopReading();
    void showHeader(int reading, const std::optional<nlohmann::json>& info, const QString& why);
    // The loudness in the heading and each channel's levels, from the report of the file.
    void showLevels(int reading, const nlohmann::json& report, const QString& why);

    QLabel* pathLabel;
    QLabel* formatLabel;
    QLabel* markersHeading;
    QTableWidget* markersTable;
    QLabel* levelsHeading;
    QLabel* levelsStatus;
    QTableWidget* levelsTable;

    QString shownPath;
    QStringList speakers; // the channels' speaker positions, when the file names them
    int reading = 0;      // counts the readings started; a late result of an earlier one is dropped
    std::atomic<bool> stopRequested{false};
    std::thread worker;
};
