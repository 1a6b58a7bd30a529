// SPDX-License-Identifier: MIT
// An image control: shows a picture unscaled at its own size, with the
// picture's top-left corner at the control's position, and reports clicks.
#pragma once

#include <QImage>
#include <QLabel>

class ImageLabel : public QLabel {
    Q_OBJECT
public:
    explicit ImageLabel(QWidget* parent = nullptr);

    /// Shows picture and sizes the control to it, as an auto-sizing image
    /// control does: a larger picture reaches beyond the control's place, a
    /// smaller one leaves the rest of it empty.
    void setPicture(const QImage& picture);
    /// The picture shown; a null image while the control is still empty.
    const QImage& picture() const { return shown_; }

signals:
    /// A left-button press and release, both inside the control.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage shown_;
    bool pressed_ = false;
};
