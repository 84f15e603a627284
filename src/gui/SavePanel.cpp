#include "gui/SavePanel.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "jobs/OutputNames.h"

SavePanel::SavePanel(QWidget* parent, const QString& title, bool folderOfSet)
    : QFileDialog(parent, title), folderOfSet(folderOfSet) {
    setObjectName("savePanel");
    // The platform's own dialog cannot carry the file options.
    setOption(QFileDialog::DontUseNativeDialog);
    // The question is asked about the path really written, which carries the extension.
    setOption(QFileDialog::DontConfirmOverwrite);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setWindowModality(Qt::WindowModal);
    // The file options choose the format; a filter list of its own would only repeat them.
    for (const char* name : {"fileTypeCombo", "fileTypeLabel"})
        if (auto* widget = findChild<QWidget*>(name)) widget->hide();
}

QString SavePanel::typedPath() const {
    const auto* edit = findChild<QLineEdit*>("fileNameEdit");
    const QString typed = edit != nullptr ? edit->text().trimmed() : QString();
    if (typed.isEmpty()) return {};
    return QDir::cleanPath(QDir::isAbsolutePath(typed) ? typed
                                                       : directory().absoluteFilePath(typed));
}

void SavePanel::accept() {
    const QString path = typedPath();
    const QFileInfo info(path);
    if (path.isEmpty() || (!folderOfSet && info.isDir())) {
        QFileDialog::accept(); // nothing typed, or a folder to go into
        return;
    }
    if (folderOfSet && info.exists() && !info.isDir()) {
        QMessageBox box(QMessageBox::Warning, windowTitle(),
                        tr("“%1” is a file, not a folder.").arg(info.fileName()), QMessageBox::Ok,
                        this);
        box.setObjectName("notAFolder");
        box.setInformativeText(tr("The set's files go into a folder of their own. Choose a name "
                                  "that no file has, or an earlier set's folder to replace it."));
        box.exec();
        return;
    }
    if (!folderOfSet)
        if (auto named = FormatNamedByExtension(path.toStdString()))
            emit extensionChoseFileType(named->fileType);
    chosen = path;
    QDialog::accept();
}
