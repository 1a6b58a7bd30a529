// SPDX-License-Identifier: MIT
// The main window: the port control panel. It holds the panel state and all
// of the panel's logic: start-up, the monitor loop that keeps the port and the
// lamps current, and the handlers of the switches, buttons and menu.
//
// Everything runs on the one user-interface thread inside Form_Load: the
// handlers run only nested in the loop's processEvents() step, one at a time
// and to completion, so the loop and the handlers share the state unlocked.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QMainWindow>

#include <array>
#include <functional>
#include <map>
#include <string_view>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class ImageLabel;

class Mivo : public QMainWindow {
    Q_OBJECT
public:
    /// Creates the window with all its controls as laid out, hidden, with the
    /// panel state all 0 and every image empty.
    explicit Mivo(QWidget* parent = nullptr);
    ~Mivo() override;

    /// Start-up, then the monitor loop until quitFlag holds 1; then the window
    /// is unloaded. The exit button ends the process from inside the loop, so
    /// in a normal run this never returns.
    void Form_Load();

    // Form_Load in two halves, public so that tests can run passes one by one.
    /// Start-up: addresses, quitFlag, show(), the four start-up writes (the
    /// first opens the port; on the simulated one the title then says so),
    /// every switch and lamp its first picture, Command1 disabled.
    void startUp();
    /// One pass of the monitor loop; false when the loop is to end.
    bool monitorPass();

    // Handlers. The image handlers take the clicked element's index.
    void Image1_Click(short index);
    void Image3_Click(short index);
    void Command1_Click(); // apply the switches (group mode only)
    void Command2_Click(); // exit
    void Command3_Click(); // all outputs to 1
    void Command4_Click(); // all outputs to 0
    void Connec_Click();   // open the connector diagram

    // Controls, under their designer names; arrays by element index.
    QAction* Connec = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QCheckBox* Check1 = nullptr;
    std::array<ImageLabel*, 9> Image1{}; // data switches 0-7, toggle-all 8
    std::array<ImageLabel*, 9> Image3{}; // control switches 0-3, toggle-all 8; 4-7 null
    std::array<ImageLabel*, 8> Image2{}; // status lamps S0-S7
    std::array<QLabel*, 24> Label1{};    // 0-18 and 21-23; 19 and 20 null

    // Panel state, in the order the window declares it. Bit slots hold 0 or 1;
    // slot 8 of each array is its group's toggle-all state, slot 9 is unused.
    int bitWeight = 0;
    int dataBits[10] = {};
    int controlBits[10] = {};
    int loopIndex = 0;
    short quitFlag = 0;
    int dataValue = 0;
    int controlValue = 0;
    short statusValue = 0;
    int dataPort = 0;
    int statusPort = 0;
    short controlPort = 0;

    // Seams for tests and the benchmark.
    /// Called in step 1 of every pass right after processEvents(), with the
    /// pass number (1 for the first): a click sent from here is handled inside
    /// that pass's event step, as a real click would be.
    std::function<void(long pass)> onEventsProcessed;
    /// Ends the process with the given status. The default flushes stdio and
    /// calls std::_Exit, so no further pass, port write or destructor runs;
    /// tests replace it to observe the request instead.
    std::function<void(int status)> endProgram;
    /// Picture files read so far (every set reads its file).
    long pictureReads() const { return pictureReads_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct SwitchGroup;
    void createControls(QWidget* client);
    void setPicture(ImageLabel* image, const char* file);
    void composeOutputs();
    void switchClick(const SwitchGroup& group, short index);
    void allOutputs(int level, const char* picture, int dataAll, int controlAll);
    void unload();

    // The bytes last decoded under each picture file name, and their picture.
    struct DecodedPicture {
        QByteArray bytes;
        QImage picture;
    };
    std::map<std::string_view, DecodedPicture> decoded_;
    long passes_ = 0;
    long pictureReads_ = 0;
    bool unloading_ = false;
};
