// SPDX-License-Identifier: MIT
#include "diagram/conn.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

namespace {

// The open diagram window, and one that the user has closed but that has not
// been destroyed yet. A closed window cannot delete itself inside its own
// close event, and the panel's loop runs on processEvents() alone, which never
// delivers deferred deletes, so destruction is done here by hand.
QPointer<Conn> g_loaded;
QPointer<Conn> g_closed;

void destroyClosed() {
    delete g_closed.data(); // QPointer: null if it is already gone
    g_closed = nullptr;
}

} // namespace

Conn* Conn::loaded() {
    return g_loaded.data();
}

void Conn::load() {
    if (g_loaded)
        return;
    destroyClosed();
    g_loaded = new Conn;
    g_loaded->Form_Load();
}

void Conn::Form_Load() {
    setVisible(true);
}

Conn::Conn(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Mivotrel Connector"));
    resize(699, 431);

    // Fixed geometry, no layout: the box keeps its place and size when the
    // window is resized, and the picture is drawn unscaled from the box's
    // inner top-left corner, cut off where the box is smaller.
    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture1->setLineWidth(2);
    Picture1->setMargin(0);
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setGeometry(24, 40, 649, 377);
    const QPixmap picture(QStringLiteral(":/connector.bmp"));
    if (picture.isNull())
        qFatal("lptpanel: the connector picture :/connector.bmp is missing from the build");
    Picture1->setPixmap(picture);
}

void Conn::closeEvent(QCloseEvent* event) {
    event->accept();
    if (g_loaded == this) {
        g_loaded = nullptr;
        destroyClosed();
        g_closed = this;
        // Free the closed window as soon as control is back in the event
        // loop; load() frees it first if the user reopens before that.
        QTimer::singleShot(0, [] { destroyClosed(); });
    }
}
