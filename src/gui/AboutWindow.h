#pragma once
// The About window: the About text from the resources with the version filled in and the
// support address and web site turned into links that open in the desktop's mail client and
// browser.

#include <memory>

#include <QWidget>

namespace Ui {
class AboutWindow;
}

// The texts of the About text that become links.
inline constexpr const char* kSupportAddress = "support@kestrelbay.example";
inline constexpr const char* kWebSiteName = "www.kestrelbay.example";

class AboutWindow : public QWidget {
    Q_OBJECT
  public:
    explicit AboutWindow(QWidget* parent = nullptr);
    ~AboutWindow() override;

    // The About text as shown: `aboutText` with the version after the first "version " and the
    // first support address and web-site name made links.
    static QString AboutHtml(QString aboutText, const QString& version);

  private:
    std::unique_ptr<Ui::AboutWindow> ui;
};
