#pragma once
// Window frames kept by name in a window-state file of their own, beside the preferences (the
// preferences hold only the job's save options). A frame is restored when a window comes up,
// or the window is centred when none is saved; it is written when a move or resize has ended,
// not for every step of it, and when the window closes.

#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;

// <preferences folder>/window-state.ini
QString WindowStateFile();

class WindowFrame : public QObject {
    Q_OBJECT
  public:
    // Restores `window`'s frame saved under `name` or centres it, and keeps it saved from then on.
    WindowFrame(QWidget* window, QString name);

    // Writes the frame now.
    void save();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* window;
    QString name;
    QTimer settle;
};
