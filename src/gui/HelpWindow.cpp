#include "gui/HelpWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QShortcut>

#include "gui/WindowFrames.h"
#include "shell/DesktopServices.h"
#include "shell/Resources.h"
#include "ui_Help.h"

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), ui(new Ui::HelpWindow) {
    ui->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    new QShortcut(QKeySequence::Cancel, this, this, &QWidget::close);
    resize(640, 560);
    frame = new WindowFrame(this, "HelpWindow");
    if (auto path = PathForResource("help", "html")) {
        QFile file(QString::fromStdString(*path));
        if (file.open(QIODevice::ReadOnly)) {
            // Relative links and pictures of the manual resolve beside it.
            ui->textView->setSearchPaths({QFileInfo(file).absolutePath()});
            ui->textView->setHtml(QString::fromUtf8(file.readAll()));
            loaded = true;
        }
    }
    if (!loaded) DesktopServices::Current().alert(kNoHelpTitle, kNoHelpMessage);
}

HelpWindow::~HelpWindow() = default;
