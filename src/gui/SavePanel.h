#pragma once
// The save panel: Qt's own (not the platform's) file dialog, which can carry the file options
// below its file list. It chooses either one sound file or the folder of a set of files.
//
// For a single file, an extension the user types (.wav, .aif, .aiff) chooses the format, as with
// quillgen's -o, and the file options follow it. For a set, the typed name is the set's folder
// itself: an existing folder of that name is chosen (the window then asks before replacing it)
// rather than opened, and the name of an existing file is refused.

#include <QFileDialog>

class SavePanel : public QFileDialog {
    Q_OBJECT
  public:
    SavePanel(QWidget* parent, const QString& title, bool folderOfSet);

    // The path chosen once the panel was accepted: the file as typed, or the set's folder.
    QString chosenPath() const { return chosen; }

  public slots:
    void accept() override;

  signals:
    // The typed name's extension names this file type (kFileTypeAIFF, kFileTypeBroadcastWave).
    void extensionChoseFileType(int fileType);

  private:
    QString typedPath() const;

    bool folderOfSet;
    QString chosen;
};
