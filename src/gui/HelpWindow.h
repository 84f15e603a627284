#pragma once
// The Help window: the manual from the "help" resource. Its frame is kept under "HelpWindow".

#include <memory>

#include <QWidget>

namespace Ui {
class HelpWindow;
}
class WindowFrame;

class HelpWindow : public QWidget {
    Q_OBJECT
  public:
    explicit HelpWindow(QWidget* parent = nullptr);
    ~HelpWindow() override;

    // Whether the manual was loaded; when it was not, the user has been told.
    bool hasText() const { return loaded; }

  private:
    std::unique_ptr<Ui::HelpWindow> ui;
    WindowFrame* frame = nullptr;
    bool loaded = false;
};

inline constexpr const char* kNoHelpTitle = "No Help Available";
inline constexpr const char* kNoHelpMessage = "Could not load the Help text. Sorry.";
