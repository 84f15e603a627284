#include "gui/WindowFrames.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include "shell/Preferences.h"

namespace {
// A move or resize counts as ended when no further step has come for this long.
constexpr int kSettleMilliseconds = 500;
} // namespace

QString WindowStateFile() {
    return QString::fromStdString(
        (Preferences::DefaultFile().parent_path() / "window-state.ini").string());
}

WindowFrame::WindowFrame(QWidget* window, QString name)
    : QObject(window), window(window), name(std::move(name)) {
    QSettings state(WindowStateFile(), QSettings::IniFormat);
    if (!window->restoreGeometry(state.value(this->name + "/geometry").toByteArray())) {
        QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
        if (screen != nullptr) {
            QRect frame = window->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        }
    }
    settle.setSingleShot(true);
    settle.setInterval(kSettleMilliseconds);
    connect(&settle, &QTimer::timeout, this, &WindowFrame::save);
    window->installEventFilter(this);
}

void WindowFrame::save() {
    settle.stop();
    QSettings state(WindowStateFile(), QSettings::IniFormat);
    state.setValue(name + "/geometry", window->saveGeometry());
}

bool WindowFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
            if (window->isVisible()) settle.start();
            break;
        case QEvent::Close:
            save();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
