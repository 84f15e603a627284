#pragma once
// SIGINT, SIGTERM and SIGHUP ask the application to quit the way the Quit command does: a running
// job is stopped and cleans up first. The handler only writes the signal's number into a pipe;
// the main thread reads it when its event loop sees the pipe ready.

#include <QObject>

class QSocketNotifier;

class QuitSignals : public QObject {
    Q_OBJECT
  public:
    // One per process, on the main thread.
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // The first signal received; 0 when none.
    int received() const { return first; }

  signals:
    void quitRequested(int signal);

  private:
    void readSignal();

    QSocketNotifier* notifier = nullptr;
    int first = 0;
};
