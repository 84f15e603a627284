#pragma once
// The faint picture behind the main window's controls: the whole image scaled into the view,
// drawn at one tenth opacity so that it never competes with the controls.

#include <QImage>
#include <QWidget>

class BackgroundImageView : public QWidget {
    Q_OBJECT
  public:
    explicit BackgroundImageView(QWidget* parent = nullptr);

    const QImage& image() const { return picture; }
    void setImage(QImage image);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture;
};
