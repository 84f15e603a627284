#include "gui/InspectorWindow.h"

#include <algorithm>
#include <cmath>

#include <QClipboard>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMap>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include "jobs/SoundFileReport.h"

namespace {

// The inspector of the windows without a parent.
QPointer<InspectorWindow> unparentedInspector;
// Where the file panel opens: the folder of the file last chosen in it.
QString lastFolder;

// A table whose selected cells Copy puts on the clipboard, a row per line and tab between cells.
class CopyableTable : public QTableWidget {
  public:
    using QTableWidget::QTableWidget;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!event->matches(QKeySequence::Copy)) return QTableWidget::keyPressEvent(event);
        QMap<int, QMap<int, QString>> rows;
        for (const QTableWidgetItem* item : selectedItems())
            rows[item->row()][item->column()] = item->text();
        QStringList lines;
        for (const auto& cells : rows)
            lines << QStringList(cells.values()).join('\t');
        QGuiApplication::clipboard()->setText(lines.join('\n'));
        event->accept();
    }
};

QLabel* SelectableLabel(const QString& objectName, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setWordWrap(true);
    return label;
}

QLabel* Heading(const QString& objectName, QWidget* parent) {
    auto* label = SelectableLabel(objectName, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QTableWidget* Table(const QString& objectName, const QStringList& columns, QWidget* parent) {
    auto* table = new CopyableTable(0, int(columns.size()), parent);
    table->setObjectName(objectName);
    table->setHorizontalHeaderLabels(columns);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // The first column (the names) takes the room the numbers leave.
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->horizontalHeader()->setMinimumSectionSize(
        table->fontMetrics().horizontalAdvance("-000.00 dBFS"));
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    return table;
}

void AddRow(QTableWidget* table, const QStringList& cells) {
    const int row = table->rowCount();
    table->insertRow(row);
    for (int column = 0; column < cells.size(); ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        if (column > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
}

// A duration in seconds to the millisecond; from a minute on as minutes and seconds, from an
// hour on with the hours before them.
QString Duration(double seconds) {
    if (seconds < 60.0) return QString::number(seconds, 'f', 3) + " s";
    const auto milliseconds = static_cast<long long>(std::llround(seconds * 1000.0));
    const long long hours = milliseconds / 3600000;
    const long long minutes = milliseconds / 60000 % 60;
    const QString rest = QString("%1.%2")
                             .arg(milliseconds / 1000 % 60, 2, 10, QChar('0'))
                             .arg(milliseconds % 1000, 3, 10, QChar('0'));
    if (hours == 0) return QString("%1:%2").arg(minutes).arg(rest);
    return QString("%1:%2:%3").arg(hours).arg(minutes, 2, 10, QChar('0')).arg(rest);
}

QString Plural(long long count, const QString& one, const QString& many) {
    return QString("%1 %2").arg(count).arg(count == 1 ? one : many);
}

double SampleRate(const nlohmann::json& info) {
    return info["sampleRate"].get<double>();
}

// "AIFF, 48000 Hz, 24 bits, 2 channels, 4800 frames (0.100 s)", and on a second line the
// channel mask with its speaker positions when the file has one.
QString FormatLine(const nlohmann::json& info) {
    const double rate = SampleRate(info);
    const auto frames = info["frames"].get<long long>();
    QString line = QString("%1, %2 Hz, %3, %4, %5")
                       .arg(QString::fromStdString(info["format"].get<std::string>()))
                       .arg(QString::number(rate, 'g', 12))
                       .arg(Plural(info["bits"].get<long long>(), "bit", "bits"))
                       .arg(Plural(info["channels"].get<long long>(), "channel", "channels"))
                       .arg(Plural(frames, "frame", "frames"));
    if (rate > 0.0 && std::isfinite(rate)) line += QString(" (%1)").arg(Duration(frames / rate));
    if (info.contains("channelMask")) {
        const auto& mask = info["channelMask"];
        line += QString("\nChannel mask 0x%1: %2")
                    .arg(QString::number(mask["value"].get<unsigned>(), 16).toUpper())
                    .arg(QString::fromStdString(mask["speakers"].get<std::string>()));
    }
    return line;
}

QString Decibels(const nlohmann::json& value) {
    return value.is_null() ? QString("silent") : QString::number(value.get<double>(), 'f', 2);
}

} // namespace

InspectorWindow::InspectorWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("inspectorWindow");
    setWindowTitle(kInspectTitle);
    setAttribute(Qt::WA_QuitOnClose, false);
    new QShortcut(QKeySequence::Cancel, this, this, &QWidget::close);

    pathLabel = Heading("pathLabel", this);
    formatLabel = SelectableLabel("formatLabel", this);
    markersHeading = Heading("markersHeading", this);
    markersTable = Table("markersTable", {"Marker", "Frame", "Seconds"}, this);
    levelsHeading = Heading("levelsHeading", this);
    levelsStatus = SelectableLabel("levelsStatus", this);
    levelsTable =
        Table("levelsTable", {"Channel", "Peak dBFS", "True peak dBTP", "RMS dBFS"}, this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName("closeButton");
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pathLabel);
    layout->addWidget(formatLabel);
    layout->addSpacing(6);
    layout->addWidget(markersHeading);
    layout->addWidget(markersTable, 1);
    layout->addSpacing(6);
    layout->addWidget(levelsHeading);
    layout->addWidget(levelsStatus);
    layout->addWidget(levelsTable);
    layout->addStretch(); // takes the room of the tables when a file shows none
    layout->addWidget(buttons);
    resize(520, 520);
}

InspectorWindow::~InspectorWindow() {
    stopReading();
}

InspectorWindow* InspectorWindow::Inspect(QWidget* parent, const QString& path) {
    InspectorWindow* window =
        parent != nullptr
            ? parent->findChild<InspectorWindow*>(QString(), Qt::FindDirectChildrenOnly)
            : unparentedInspector.data();
    if (window == nullptr) {
        window = new InspectorWindow(parent);
        if (parent == nullptr) {
            window->setAttribute(Qt::WA_DeleteOnClose);
            unparentedInspector = window;
        }
    }
    window->inspect(path);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

QFileDialog* InspectorWindow::ChooseAndInspect(QWidget* parent) {
    auto* panel = new QFileDialog(parent, kInspectTitle, lastFolder, kInspectFilters);
    panel->setObjectName("inspectPanel");
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QFileDialog::fileSelected, panel,
            [parent = QPointer<QWidget>(parent)](const QString& file) {
                lastFolder = QFileInfo(file).absolutePath();
                Inspect(parent, file);
            });
    panel->open();
    return panel;
}

void InspectorWindow::inspect(const QString& path) {
    stopReading();
    const int thisReading = ++reading;
    shownPath = path;
    speakers.clear();
    setWindowTitle(QString("%1 — %2").arg(QFileInfo(path).fileName(), kInspectTitle));
    pathLabel->setText(path);
    formatLabel->setText("Reading the file…");
    markersHeading->hide();
    markersTable->hide();
    markersTable->setRowCount(0);
    levelsHeading->setText("Levels");
    levelsHeading->hide();
    levelsStatus->hide();
    levelsTable->hide();
    levelsTable->setRowCount(0);

    const std::string file = QFile::encodeName(path).toStdString();
    worker = std::thread([this, file, thisReading] {
        std::string why;
        const std::optional<nlohmann::json> header = ReadSoundFileReport(file, false, &why);
        QMetaObject::invokeMethod(
            this,
            [this, thisReading, header, why = QString::fromStdString(why)] {
                showHeader(thisReading, header, why);
            },
            Qt::QueuedConnection);
        if (!header) return;
        const std::optional<nlohmann::json> report =
            ReadSoundFileReport(file, true, &why, &stopRequested);
        if (!report && why == kSoundFileReportStopped) return;
        QMetaObject::invokeMethod(
            this,
            [this, thisReading, report = report.value_or(nlohmann::json()),
             why = QString::fromStdString(why)] { showLevels(thisReading, report, why); },
            Qt::QueuedConnection);
    });
}

void InspectorWindow::closeEvent(QCloseEvent* event) {
    stopReading();
    if (unparentedInspector == this) unparentedInspector = nullptr;
    QWidget::closeEvent(event);
}

// The worker polls the request between blocks of samples, so the wait is short; what it posted
// before is dropped by showHeader and showLevels once a new reading has begun, or goes with
// the window.
void InspectorWindow::stopReading() {
    if (!worker.joinable()) return;
    stopRequested = true;
    worker.join();
    stopRequested = false;
    ++reading;
}

void InspectorWindow::showHeader(int thisReading, const std::optional<nlohmann::json>& info,
                                 const QString& why) {
    if (thisReading != reading) return;
    if (!info) {
        formatLabel->setText(why);
        emit readingFinished();
        return;
    }
    formatLabel->setText(FormatLine(*info));
    const std::string mask = info->contains("channelMask")
                                 ? (*info)["channelMask"]["speakers"].get<std::string>()
                                 : std::string();
    speakers = QString::fromStdString(mask).split(' ', Qt::SkipEmptyParts);
    if (speakers.size() != (*info)["channels"].get<qsizetype>()) speakers.clear();

    const auto& markers = (*info)["markers"];
    markersHeading->setText(markers.empty() ? QString("No markers")
                                            : QString("Markers (%1)").arg(markers.size()));
    const double rate = SampleRate(*info);
    for (const auto& marker : markers) {
        const auto position = marker["position"].get<long long>();
        AddRow(markersTable,
               {QString::fromStdString(marker["name"].get<std::string>()),
                QString::number(position),
                rate > 0.0 && std::isfinite(rate) ? QString::number(position / rate, 'f', 3)
                                                  : QString("—")});
    }
    markersHeading->show();
    markersTable->setVisible(!markers.empty());
    levelsHeading->show();
    levelsStatus->setText("Reading the levels…");
    levelsStatus->show();
}

void InspectorWindow::showLevels(int thisReading, const nlohmann::json& report,
                                 const QString& why) {
    if (thisReading != reading) return;
    if (!why.isEmpty()) {
        levelsStatus->setText(why);
        emit readingFinished();
        return;
    }
    levelsStatus->hide();
    const nlohmann::json loudness = report.value("loudness", nlohmann::json());
    if (loudness.is_object() && loudness["integrated"].is_number())
        levelsHeading->setText(QString("Levels: %1 LUFS integrated, loudness range %2 LU")
                                   .arg(loudness["integrated"].get<double>(), 0, 'f', 1)
                                   .arg(loudness["range"].get<double>(), 0, 'f', 1));
    int channel = 0;
    for (const auto& level : report.value("levels", nlohmann::json::array())) {
        QString name = QString::number(channel + 1);
        if (channel < speakers.size()) name += QString(" (%1)").arg(speakers[channel]);
        AddRow(levelsTable,
               {name, Decibels(level["peak"]), Decibels(level.value("truePeak", nlohmann::json())),
                Decibels(level["rms"])});
        ++channel;
    }
    // Up to eight channels are shown without scrolling.
    constexpr int kChannelsInView = 8;
    const int rows = std::min(levelsTable->rowCount(), kChannelsInView);
    levelsTable->setFixedHeight(levelsTable->horizontalHeader()->sizeHint().height() +
                                rows * levelsTable->verticalHeader()->defaultSectionSize() +
                                2 * levelsTable->frameWidth());
    levelsTable->show();
    emit readingFinished();
}
