#include "gui/AboutWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>

#include "shell/Resources.h"
#include "ui_About.h"

namespace {

// Replaces the first `text` in `html` with `replacement`.
void ReplaceFirst(QString& html, const QString& text, const QString& replacement) {
    int at = html.indexOf(text);
    if (at >= 0) html.replace(at, text.size(), replacement);
}

QString Link(const QString& href, const QString& text) {
    return QString("<a href=\"%1\" style=\"color:#0000ee; text-decoration:underline; "
                   "font-size:11pt\">%2</a>")
        .arg(href, text);
}

} // namespace

AboutWindow::AboutWindow(QWidget* parent) : QWidget(parent, Qt::Window), ui(new Ui::AboutWindow) {
    ui->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    new QShortcut(QKeySequence::Cancel, this, this, &QWidget::close);
    QString text;
    if (auto path = PathForResource("about", "html")) {
        QFile file(QString::fromStdString(*path));
        if (file.open(QIODevice::ReadOnly)) text = QString::fromUtf8(file.readAll());
        // The text's picture (the icon) lies beside it.
        ui->textView->setSearchPaths({QFileInfo(file).absolutePath()});
    }
    ui->textView->setHtml(AboutHtml(text, QStringLiteral(QUILL_VERSION)));
    resize(420, 360);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

AboutWindow::~AboutWindow() = default;

QString AboutWindow::AboutHtml(QString aboutText, const QString& version) {
    ReplaceFirst(aboutText, "version ", "version " + version);
    const QString address = kSupportAddress;
    const QString site = kWebSiteName;
    ReplaceFirst(aboutText, address, Link("mailto:" + address, address));
    ReplaceFirst(aboutText, site, Link(QString("http://%1/").arg(site), site));
    return "<div align=\"center\">" + aboutText + "</div>";
}
