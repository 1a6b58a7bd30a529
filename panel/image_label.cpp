// SPDX-License-Identifier: MIT
#include "panel/image_label.h"

#include <QMouseEvent>
#include <QPixmap>

ImageLabel::ImageLabel(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setContentsMargins(0, 0, 0, 0);
    setFocusPolicy(Qt::NoFocus);
}

void ImageLabel::setPicture(const QImage& picture) {
    // The lamps are set on every pass of the monitor loop, whether or not a
    // level changed. A new pixmap schedules a repaint, and repainting eight
    // lamps per pass would cost more than the rest of the pass; a picture with
    // the same pixels looks the same, so only a different one is handed on.
    if (picture == shown_)
        return;
    shown_ = picture;
    setPixmap(QPixmap::fromImage(picture));
    resize(picture.size());
}

void ImageLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    event->accept();
}

void ImageLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const bool wasPressed = pressed_;
    pressed_ = false;
    event->accept();
    if (wasPressed && rect().contains(event->position().toPoint()))
        emit clicked();
}
