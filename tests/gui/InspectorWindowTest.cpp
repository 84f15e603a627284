// The inspector as the main window uses it: files written through the engine shown with their
// format, markers and levels; unreadable files with the reason; a long reading stopped when the
// window goes; the file panel and the window reused for the next file.
#include <cmath>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "formats/CAIFFFile.h"
#include "formats/CWAVEFile.h"
#include "gui/InspectorWindow.h"
#include "shell/PascalString.h"

namespace {

struct Marker {
    std::int32_t position;
    const char* name;
};

// Writes `frames` frames through the engine: a 1 kHz sine at `level` dB on the first channel,
// silence on the others.
bool WriteTone(CSoundFile&& file, const QString& path, std::int16_t channels, std::int16_t bits,
               float rate, std::int32_t frames, double level, const std::vector<Marker>& markers) {
    FSSpec fileRef;
    std::uint8_t specifics[256] = {0};
    if (!MakeFSSpec(QFileInfo(path).absolutePath().toStdString(),
                    QFileInfo(path).fileName().toStdString(), &fileRef) ||
        file.ISoundFile(&fileRef) != kNoErr ||
        file.Create(channels, bits, rate, specifics, 0, nullptr) != kNoErr)
        return false;
    std::vector<double> samples(std::size_t(frames) * std::size_t(channels), 0.0);
    for (std::int32_t f = 0; f < frames; ++f)
        samples[std::size_t(f) * std::size_t(channels)] =
            std::pow(10.0, level / 20.0) * std::sin(2 * M_PI * 1000.0 * f / rate);
    double* block = samples.data();
    std::int32_t count = frames;
    if (file.Write(0, &count, &block) != kNoErr) return false;
    std::int32_t id = 1;
    for (const Marker& m : markers) {
        SFTMarker marker{id++, m.position, {}, kMarkerTypeOrdinary, -1};
        if (!getPascalString(m.name, marker.name) || file.AddMarker(&marker) != kNoErr)
            return false;
    }
    return file.Close() == kNoErr;
}

// A stereo 16-bit WAVE file of `dataBytes` bytes of silence, written as a hole in the file so
// that it costs no disk space and takes seconds to read.
bool WriteLongSilence(const QString& path, std::uint32_t dataBytes) {
    std::uint8_t header[44] = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'W', 'A', 'V', 'E',
                               'f', 'm', 't', ' ', 16, 0, 0, 0, 1,   0,   2,   0};
    const auto put32 = [&](int at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = std::uint8_t(value >> (8 * i));
    };
    put32(4, 36 + dataBytes);
    put32(24, 48000);
    put32(28, 48000 * 4);
    header[32] = 4;
    header[34] = 16;
    std::memcpy(header + 36, "data", 4);
    put32(40, dataBytes);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool ok = ::write(fd, header, sizeof header) == ssize_t(sizeof header) &&
                    ::ftruncate(fd, off_t(sizeof header) + dataBytes) == 0;
    return ::close(fd) == 0 && ok;
}

// The cells of a table's rows, tab between cells.
QStringList Rows(const QTableWidget* table) {
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column)
            cells << table->item(row, column)->text();
        rows << cells.join('\t');
    }
    return rows;
}

} // namespace

class InspectorWindowTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir folder;
    std::unique_ptr<QWidget> mainWindow;

    QString file(const QString& name) const { return folder.filePath(name); }
    template <typename T> static T* child(InspectorWindow* window, const char* name) {
        T* found = window->findChild<T*>(name);
        if (found == nullptr) qFatal("no control named %s", name);
        return found;
    }
    static QString text(InspectorWindow* window, const char* label) {
        return child<QLabel>(window, label)->text();
    }

  private slots:
    void initTestCase() {
        QVERIFY(WriteTone(CAIFFFile(), file("tone.aif"), 1, 16, 48000.0f, 4800, -6.0,
                          {{0, "Start"}, {2400, "Middle"}}));
        CWAVEFile stereo;
        stereo.SetChannelMask(0x3);
        QVERIFY(
            WriteTone(std::move(stereo), file("stereo.wav"), 2, 24, 96000.0f, 192000, -20.0, {}));
        QVERIFY(WriteTone(CAIFFFile(), file("long silence.aif"), 1, 16, 8000.0f, 600000, -INFINITY,
                          {}));
        QFile text(file("notes.wav"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write(QByteArray(100, 'x')) == 100);
        QVERIFY(WriteLongSilence(file("long.wav"), 2000000000u));
    }
    void init() { mainWindow = std::make_unique<QWidget>(); }
    void cleanup() { mainWindow.reset(); }

    void showsWhatTheFileHolds_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("format"); // %1: the file's path
        QTest::addColumn<QStringList>("markers");
        QTest::addColumn<QStringList>("levels");
        QTest::addColumn<QString>("heading"); // the levels' heading; "Levels: " goes on with the
                                              // loudness
        QTest::newRow("mono tone with markers")
            << "tone.aif"
            << "AIFF, 48000 Hz, 16 bits, 1 channel, 4800 frames (0.100 s)"
            << QStringList{"Start\t0\t0.000", "Middle\t2400\t0.050"}
            << QStringList{"1\t-6.00\t-5.99\t-9.01"} << "Levels";
        QTest::newRow("stereo with a channel mask")
            << "stereo.wav"
            << "WAVE, 96000 Hz, 24 bits, 2 channels, 192000 frames (2.000 s)\n"
               "Channel mask 0x3: FL FR"
            << QStringList{}
            << QStringList{"1 (FL)\t-20.00\t-19.99\t-23.01", "2 (FR)\tsilent\tsilent\tsilent"}
            << "Levels: ";
        QTest::newRow("longer than a minute")
            << "long silence.aif"
            << "AIFF, 8000 Hz, 16 bits, 1 channel, 600000 frames (1:15.000)" << QStringList{}
            << QStringList{"1\tsilent\tsilent\tsilent"} << "Levels";
        QTest::newRow("missing") << "gone.aif"
                                 << "cannot open '%1': No such file or directory" << QStringList{}
                                 << QStringList{} << "Levels";
        QTest::newRow("not a sound file")
            << "notes.wav"
            << "'%1' is not an AIFF or WAVE file" << QStringList{} << QStringList{} << "Levels";
    }
    void showsWhatTheFileHolds() {
        QFETCH(QString, name);
        QFETCH(QString, format);
        QFETCH(QStringList, markers);
        QFETCH(QStringList, levels);
        QFETCH(QString, heading);
        InspectorWindow* window = InspectorWindow::Inspect(mainWindow.get(), file(name));
        QSignalSpy finished(window, &InspectorWindow::readingFinished);
        // Read on the worker: nothing of the file is shown before the window goes on.
        QCOMPARE(text(window, "formatLabel"), "Reading the file…");
        QVERIFY(finished.wait(10000));
        QCOMPARE(window->windowTitle(), name + " — Inspect Sound File");
        QCOMPARE(text(window, "pathLabel"), file(name));
        QCOMPARE(text(window, "formatLabel"), format.replace("%1", file(name)));
        const bool readable = !levels.isEmpty();
        QCOMPARE(child<QLabel>(window, "markersHeading")->isVisible(), readable);
        auto* markersTable = child<QTableWidget>(window, "markersTable");
        QCOMPARE(Rows(markersTable), markers);
        QCOMPARE(markersTable->isVisible(), !markers.isEmpty());
        QCOMPARE(Rows(child<QTableWidget>(window, "levelsTable")), levels);
        QCOMPARE(child<QTableWidget>(window, "levelsTable")->isVisible(), readable);
        const QString shownHeading = text(window, "levelsHeading");
        QVERIFY2(heading.endsWith(' ')
                     ? shownHeading.startsWith(heading) && shownHeading.contains(" LUFS integrated")
                     : shownHeading == heading,
                 qPrintable(shownHeading));
        // The rows selected are copied as shown.
        if (!markers.isEmpty()) {
            markersTable->selectAll();
            QTest::keyClick(markersTable, Qt::Key_C, Qt::ControlModifier);
            QCOMPARE(QGuiApplication::clipboard()->text(), markers.join('\n'));
        }
    }

    // The levels of a long file are still being read when the window is closed or deleted:
    // the reading stops at once, and nothing arrives afterwards.
    void leavingStopsTheReading_data() {
        QTest::addColumn<bool>("deleted");
        QTest::newRow("closed") << false;
        QTest::newRow("deleted") << true;
    }
    void leavingStopsTheReading() {
        QFETCH(bool, deleted);
        QPointer<InspectorWindow> window =
            InspectorWindow::Inspect(mainWindow.get(), file("long.wav"));
        QTRY_VERIFY(text(window, "formatLabel").startsWith("WAVE, 48000 Hz, 16 bits, 2 channels"));
        QTest::qWait(50);
        QCOMPARE(text(window, "levelsStatus"), "Reading the levels…");
        QElapsedTimer timer;
        timer.start();
        if (deleted)
            delete window.data();
        else
            window->close();
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QTest::qWait(100);
        if (deleted)
            QVERIFY(window.isNull());
        else
            QVERIFY(!child<QTableWidget>(window, "levelsTable")->isVisible());
    }

    // The main window's menu entry: the panel offers sound files, and the file chosen is shown
    // in the inspector, which the next file reuses; Escape closes it.
    void panelInspectsTheChosenFileInOneWindow() {
        mainWindow->show();
        QFileDialog* panel = InspectorWindow::ChooseAndInspect(mainWindow.get());
        QCOMPARE(panel->nameFilters().first(), "Sound Files (*.aif *.aiff *.wav)");
        QCOMPARE(panel->windowModality(), Qt::WindowModal);
        panel->selectFile(file("tone.aif"));
        static_cast<QDialog*>(panel)->accept();
        auto* window = mainWindow->findChild<InspectorWindow*>();
        QVERIFY(window != nullptr && window->isVisible());
        QCOMPARE(window->path(), file("tone.aif"));
        QCOMPARE(InspectorWindow::Inspect(mainWindow.get(), file("stereo.wav")), window);
        QCOMPARE(window->path(), file("stereo.wav"));
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(InspectorWindowTest)
#include "InspectorWindowTest.moc"
