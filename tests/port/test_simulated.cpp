// SPDX-License-Identifier: MIT
// The simulated port: registers, counters and write log through Out32/Inp32,
// and the checks on its file and directory. (lptport's tests and the panel's load test share one
// port between processes.)
#include "port/driver.h"
#include "port/inpout.h"
#include "port/simulated.h"
#include "process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <thread>

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lpt;

// The message the port file at path is refused with; empty when it opens and
// lists its writes sanely: none beyond its counter, data and control only.
static QString refusal(const std::string& path) try {
    const auto port = SimulatedPort::open(path);
    for (const auto& w : port->writesSince(0))
        if (w.number > port->writeCount() || w.reg == Register::Status || int(w.reg) > 2)
            return QString("write %1 listed out of place").arg(w.number);
    return {};
} catch (const PortError& e) {
    return e.what();
}

// What a file is: its bytes and its inode's mode, owner and number.
static QString snapshot(const QString& path) {
    QFile f(path);
    struct stat st {};
    ::lstat(path.toLocal8Bit().constData(), &st);
    return QString("%1 %2 %3 ").arg(st.st_mode).arg(st.st_uid).arg(st.st_ino) +
           (f.open(QIODevice::ReadOnly) ? f.readAll().toHex() : "unreadable");
}

// Write n of the write log tests: a register and a value that n names, and
// n + 65,536 does not.
static SimulatedPort::LoggedWrite numbered(std::uint64_t n) {
    return {n, n % 3 ? Register::Data : Register::Control, std::uint8_t(n % 251)};
}

// Each test works in a directory of its own, of mode 0700 as a port's must be.
class TestSimulated : public QObject {
    Q_OBJECT

private slots:
    void freshPortThroughOut32AndInp32() {
        QTemporaryDir dir;
        const std::string path = dir.filePath("a/b/port").toStdString();
        installDriver(SimulatedPort::open(path));
        // Owner-only (Qt's permission bits for owner, group, others): 0600 for
        // the file, 0700 for each directory made for it.
        for (auto [name, mode] : {std::pair("a/b/port", 0x6000), {"a/b", 0x7000}, {"a", 0x7000}})
            QCOMPARE((QFileInfo(dir.filePath(name)).permissions() & 0x7077).toInt(), mode);
        // The file is made under another name and linked into place: nothing else is left.
        const auto everything = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
        QCOMPARE(QDir(dir.filePath("a/b")).entryList(everything), QStringList{"port"});
        Out32(0x378, 0x1D5); // only the low byte reaches the register
        Out32(0x379, 9);     // the status register is an input: no effect, not logged
        Out32(0x37A, 11);
        // A fresh port's inputs float high.
        QCOMPARE(Inp32(0x379) + Inp32(0x378) + Inp32(0x37A), 0x7F + 0xD5 + 11);
        installDriver(nullptr);
        auto port = SimulatedPort::open(path);
        QCOMPARE(port->writesSince(0), (std::vector<SimulatedPort::LoggedWrite>{
                                           {1, Register::Data, 0xD5}, {2, Register::Control, 11}}));
    }

    // The log keeps the last 65,536 writes, the oldest included: at the ring's
    // edges, sim writes --since N lists each under its number and names those lost.
    void writeLogAtTheRingsEdges_data() {
        QTest::addColumn<int>("writes");
        QTest::addColumn<qlonglong>("since");
        QTest::addColumn<QString>("lost");
        QTest::newRow("full") << 65536 << 0LL << "";
        QTest::newRow("one past full, since the oldest held") << 65537 << 1LL << "";
        QTest::newRow("one past full, one lost") << 65537 << 0LL << "writes 1 to 1 are no longer";
        // A panel writes some 10^5 times a second: in a day the counter passes 2^32.
        QTest::newRow("since past 2^32") << 3 << 0x100000000LL << "";
    }
    void writeLogAtTheRingsEdges() {
        QFETCH(int, writes);
        QFETCH(qlonglong, since);
        QFETCH(QString, lost);
        QTemporaryDir dir;
        auto port = SimulatedPort::open(dir.filePath("port").toStdString());
        QString text; // what lptport must list
        for (int n = 1; n <= writes; ++n) {
            const auto w = numbered(n);
            port->write(w.reg, w.value);
            if (n > std::max<qlonglong>(since, writes - 65536))
                text += QString("%1 %2 %3\n").arg(n).arg(registerName(w.reg).data()).arg(w.value);
        }
        const auto r = test::run(LPTPORT_BIN, {"sim", "writes", "--since", QString::number(since)},
                                 "sim:" + dir.filePath("port"));
        QVERIFY2(r.err.contains(lost) && r.err.isEmpty() == lost.isEmpty(), qPrintable(r.err));
        QCOMPARE(r.out, text);
    }

    // While a writer goes on, each listing is a run of consecutive writes, each
    // under its own number: none that a later write overwrote meanwhile.
    void writeLogWhileAWriterGoesOn() {
        QTemporaryDir dir;
        auto port = SimulatedPort::open(dir.filePath("port").toStdString());
        // On one processor the writer preempts the lister, as a busy machine does.
        cpu_set_t one{};
        CPU_SET(::sched_getcpu(), &one);
        QCOMPARE(::sched_setaffinity(0, sizeof one, &one), 0);
        // It yields every half ring: a burst that overtakes the lister, but leaves
        // some of what it has yet to read, would leave a gap in a listing that
        // kept what was overwritten while it read.
        std::jthread writer([&](std::stop_token stop) {
            for (std::uint64_t n = 1; !stop.stop_requested(); ++n) {
                port->write(numbered(n).reg, numbered(n).value);
                if (n % (SimulatedPort::kLogSize / 2) == 0)
                    std::this_thread::yield();
            }
        });
        // Listed past the ring's end, where later writes overwrite what is read.
        QVERIFY(QTest::qWaitFor([&] { return port->writeCount() > 2 * SimulatedPort::kLogSize; }));
        for (int k = 0; k < 20; ++k) {
            const auto log = port->writesSince(0);
            QVERIFY(std::ranges::all_of(
                log, [&](const auto& w) { return w == numbered(log[0].number + (&w - &log[0])); }));
        }
    }

    // Each row makes one bad thing: the port file, or for the rows ending in
    // "dir" the directory it lies in. The refusal names it, the cause and the fix.
    void badFilesAreRefusedAndLeftAlone_data() {
        QTest::addColumn<QStringList>("message");
        QTest::newRow("zeroed file") << QStringList{"wrong header", "lptport sim reset"};
        QTest::newRow("link") << QStringList{"symbolic link", "rm "};
        QTest::newRow("foreign file") << QStringList{"another user", "PARPORT=sim:PATH"};
        QTest::newRow("group-writable file") << QStringList{"other users can write", "chmod 600"};
        QTest::newRow("group-writable dir") << QStringList{"can write into it", "chmod 700"};
        QTest::newRow("foreign dir") << QStringList{"another user", "XDG_RUNTIME_DIR"};
        QTest::newRow("link dir") << QStringList{"is a link", "PARPORT=sim:PATH"};
    }
    void badFilesAreRefusedAndLeftAlone() {
        QFETCH(QStringList, message);
        const QString kind = QTest::currentDataTag();
        if (kind.startsWith("foreign") && ::geteuid() != 0)
            QSKIP("needs root to give the file to another user");
        QTemporaryDir dir;
        const bool inDir = kind.endsWith(" dir");
        const QString target = dir.filePath("target"), bad = dir.filePath(inDir ? "dir" : "port");
        const QString path = inDir ? bad + "/port" : bad;
        SimulatedPort::open(target.toStdString()); // a good port file
        QVERIFY(kind.startsWith("link") ? QFile::link(inDir ? dir.path() : target, bad)
                : inDir                 ? QDir().mkdir(bad)
                                        : QFile::copy(target, bad));
        QVERIFY(!inDir || QFile::copy(target, path)); // a good port file in a bad directory
        if (kind == "zeroed file")
            QVERIFY(QFile::resize(bad, 0) && QFile::resize(bad, QFileInfo(target).size()));
        QCOMPARE(kind.startsWith("group") ? ::chmod(qPrintable(bad), inDir ? 0770 : 0660) : 0, 0);
        QCOMPARE(kind.startsWith("foreign") ? ::chown(qPrintable(bad), 65534, 65534) : 0, 0);

        const QString before = snapshot(path), targetBefore = snapshot(target);
        const QString refused = refusal(path.toStdString());
        for (const QString& part : message << bad)
            QVERIFY2(refused.contains(part), qPrintable(refused));
        QCOMPARE(snapshot(path), before);
        // Asked for explicitly, a reset replaces a bad file; in a directory others
        // can change it is refused as everything is, removing nothing (another
        // user could swap the file for a link meanwhile); a directory it never removes.
        const auto reset = test::run(LPTPORT_BIN, {"sim", "reset"}, "sim:" + path);
        if (inDir) {
            QVERIFY2(reset.status == 1 && reset.err.contains(refused) && snapshot(path) == before,
                     qPrintable(reset.err));
            return;
        }
        QVERIFY(reset.status == 0 && refusal(path.toStdString()).isEmpty());
        QCOMPARE(snapshot(target), targetBefore); // a link's target is left alone
    }
};

QTEST_GUILESS_MAIN(TestSimulated)
#include "test_simulated.moc"
