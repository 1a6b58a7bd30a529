// SPDX-License-Identifier: MIT
// How fast the monitor loop runs, against two loops without widgets: the
// floor, the work no pass can do without (event processing, three port
// accesses, eight lamp picture files read whole), and the ceiling, which also
// decodes all eight pictures as a panel without a decoded copy would. The real
// Mivo runs offscreen on a port that only counts.
//
//   bench_panel [PASSES]   (default 100000; runs in its own folder, where the
//                           build puts the pictures)
#include "panel/mivo.h"
#include "panel/panel_font.h"
#include "port/driver.h"
#include "port/inpout.h"
#include "port/registers.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

struct Counts {
    long writes = 0;
    long reads = 0;
};

class CountingPort final : public lpt::Driver {
public:
    explicit CountingPort(Counts& counts) : counts_(counts) {}
    std::string description() const override { return "counting port"; }
    void write(lpt::Register, std::uint8_t) override { ++counts_.writes; }
    std::uint8_t read(lpt::Register) override {
        ++counts_.reads;
        return 0x7F; // an unconnected port: S0..S6 high, BUSY pin high
    }

private:
    Counts& counts_;
};

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

[[noreturn]] void missingPicture() {
    std::fprintf(stderr, "bench_panel: cannot read ledron.bmp in %s\n",
                 qPrintable(QDir::currentPath()));
    std::exit(1);
}

// The work a pass cannot do without, and nothing else: no widgets, no decoding.
void floorPass(short& status) {
    QCoreApplication::processEvents();
    Out32(lpt::kDataPort, 0);
    Out32(lpt::kControlPort, 11);
    status = Inp32(lpt::kStatusPort);
    for (int lamp = 0; lamp < 8; ++lamp) {
        QFile file(QStringLiteral("ledron.bmp"));
        if (!file.open(QIODevice::ReadOnly) || file.readAll().isEmpty())
            missingPicture();
        file.close();
    }
}

// Three port accesses and eight pictures read and decoded: no events, no widgets.
void ceilingPass(short& status) {
    Out32(lpt::kDataPort, 0);
    Out32(lpt::kControlPort, 11);
    status = Inp32(lpt::kStatusPort);
    for (int lamp = 0; lamp < 8; ++lamp)
        if (QImageReader(QStringLiteral("ledron.bmp")).read().isNull())
            missingPicture();
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long passes = argc > 1 ? std::atol(argv[1]) : 100000;
    if (passes <= 0) {
        std::fprintf(stderr, "usage: bench_panel [PASSES]\n");
        return 2;
    }
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    panel::useApplicationFont();

    Counts counts;
    lpt::installDriver(std::make_unique<CountingPort>(counts));
    Mivo mivo;
    mivo.endProgram = [](int) {};
    mivo.startUp();

    using clock = std::chrono::steady_clock;
    // Warm up the loops, so none pays for first-use set-up.
    short status = 0;
    for (int i = 0; i < 1000; ++i) {
        mivo.monitorPass();
        floorPass(status);
        ceilingPass(status);
    }

    // The loops take turns in rounds, so that a change in the machine's load
    // (other builds on a shared machine) falls on all alike.
    constexpr int kRounds = 10;
    long panelAccesses = 0;
    const long readsBefore = mivo.pictureReads();
    const long rssBefore = residentKiB();
    double panelSeconds = 0, floorSeconds = 0, ceilingSeconds = 0;
    long done = 0;
    for (int round = 0; round < kRounds; ++round) {
        const long chunk = passes * (round + 1) / kRounds - done;
        done += chunk;
        const long accessesBefore = counts.writes + counts.reads;
        const auto panelStart = clock::now();
        for (long i = 0; i < chunk; ++i)
            mivo.monitorPass();
        panelSeconds += seconds(clock::now() - panelStart);
        panelAccesses += counts.writes + counts.reads - accessesBefore;
        const auto floorStart = clock::now();
        for (long i = 0; i < chunk; ++i)
            floorPass(status);
        floorSeconds += seconds(clock::now() - floorStart);
        const auto ceilingStart = clock::now();
        for (long i = 0; i < chunk; ++i)
            ceilingPass(status);
        ceilingSeconds += seconds(clock::now() - ceilingStart);
    }
    const long rssAfter = residentKiB();
    const double accesses = static_cast<double>(panelAccesses) / static_cast<double>(passes);
    const double pictureReads =
        static_cast<double>(mivo.pictureReads() - readsBefore) / static_cast<double>(passes);

    const double panelRate = static_cast<double>(passes) / panelSeconds;
    const double floorRate = static_cast<double>(passes) / floorSeconds;
    const double ceilingRate = static_cast<double>(passes) / ceilingSeconds;
    std::printf("passes:                  %ld\n", passes);
    std::printf("panel:                   %.0f passes/s (%.1f us/pass)\n", panelRate,
                1e6 / panelRate);
    std::printf("port accesses per pass:  %.2f\n", accesses);
    std::printf("picture reads per pass:  %.2f\n", pictureReads);
    std::printf("resident memory:         %ld KiB before, %ld KiB after, growth %ld KiB "
                "(goal < 1024)\n",
                rssBefore, rssAfter, rssAfter - rssBefore);
    std::printf("floor:                   %.0f passes/s (%.1f us/pass; events, 3 port accesses, "
                "8 file reads)\n",
                floorRate, 1e6 / floorRate);
    std::printf("ceiling:                 %.0f passes/s (%.1f us/pass; 3 port accesses, "
                "8 pictures read and decoded)\n",
                ceilingRate, 1e6 / ceilingRate);
    std::printf("ratio panel/floor:       %.2f (goal >= 0.80)\n", panelRate / floorRate);
    std::printf("ratio panel/ceiling:     %.2f\n", panelRate / ceilingRate);
    std::fflush(stdout);
    std::_Exit(0);
}
