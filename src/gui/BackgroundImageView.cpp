#include "gui/BackgroundImageView.h"

#include <QPainter>

BackgroundImageView::BackgroundImageView(QWidget* parent) : QWidget(parent) {}

void BackgroundImageView::setImage(QImage image) {
    picture = std::move(image);
    update();
}

void BackgroundImageView::paintEvent(QPaintEvent*) {
    if (picture.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(0.1);
    painter.drawImage(rect(), picture);
}
