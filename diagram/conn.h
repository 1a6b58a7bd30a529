// SPDX-License-Identifier: MIT
// The connector diagram window: a fixed picture of the port's 25-way
// connector, opened from the panel's menu command "Shema konektorja".
#pragma once

#include <QWidget>

class QLabel;

class Conn : public QWidget {
    Q_OBJECT
public:
    /// The shared instance while it is loaded; nullptr before the first
    /// opening and after the user has closed it.
    static Conn* loaded();
    /// Loads the shared instance: when it is not loaded, creates it hidden and
    /// runs its Form_Load, which shows it; when it is loaded, does nothing
    /// (no second window, not raised, no focus).
    static void load();

    /// Shows the window.
    void Form_Load();

    /// The picture box that holds the connector picture.
    QLabel* Picture1 = nullptr;

protected:
    explicit Conn(QWidget* parent = nullptr);
    /// The close box unloads the window: it stops being the shared instance
    /// and is destroyed without waiting for a deferred delete.
    void closeEvent(QCloseEvent* event) override;
};
