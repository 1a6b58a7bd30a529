// SPDX-License-Identifier: MIT
// The simulated port: registers, counters and write log through Out32/Inp32,
// the checks on its file and directory, and damaged files that must neither
// hang nor crash. (lptport's tests and the panel's load test share one port
// between processes.)
#include "port/driver.h"
#include "port/inpout.h"
#include "port/simulated.h"
#include "process.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace lpt;

namespace {

QString refusal(const std::string& path) {
    try {
        SimulatedPort::open(path);
    } catch (const PortError& e) {
        return QString::fromStdString(e.failure().message());
    }
    return {};
}

// What a file is: its bytes and its inode's mode, owner and number.
QString snapshot(const QString& path) {
    QFile f(path);
    struct stat st {};
    ::lstat(path.toLocal8Bit().constData(), &st);
    return QString("%1 %2 %3 ").arg(st.st_mode).arg(st.st_uid).arg(st.st_ino) +
           (f.open(QIODevice::ReadOnly) ? f.readAll().toHex() : "unreadable");
}

} // namespace

class TestSimulated : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    std::string path_;

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        ::chmod(dir_->path().toLocal8Bit().constData(), 0700);
        path_ = (dir_->path() + "/port").toStdString();
    }

    void outAndInpThroughThePort() {
        installDriver(SimulatedPort::open(path_));
        Out32(0x378, 0x155); // only the low byte reaches the register
        Out32(0x379, 9);     // the status register is an input: no effect, not logged
        Out32(0x37A, 11);
        auto port = SimulatedPort::open(path_);
        QCOMPARE(Inp32(0x379), short(0x7F)); // a fresh port: the inputs float high
        port->setStatus(0x80);
        QCOMPARE(Inp32(0x379) + Inp32(0x378) + Inp32(0x37A), 0x80 + 0x55 + 11);
        QCOMPARE(port->statusReads(), 2u); // data and control reads are not status reads
        using Log = std::vector<std::pair<Register, std::uint8_t>>;
        QCOMPARE(port->writeLog(), (Log{{Register::Data, 0x55}, {Register::Control, 11}}));
        installDriver(nullptr);
        // The log keeps the last 65,536 writes.
        const std::size_t total = SimulatedPort::kLogSize + 300;
        for (std::size_t i = 2; i < total; ++i)
            port->write(i % 2 ? Register::Control : Register::Data, std::uint8_t(i));
        const auto log = port->writeLog();
        QCOMPARE(log.size(), SimulatedPort::kLogSize);
        QCOMPARE(log.front(), std::make_pair(Register::Data, std::uint8_t(300 & 0xFF)));
        QCOMPARE(port->writeCount(), total);
        // Numbered from 1: the oldest held is write 301; after the next-to-last, only the last.
        QCOMPARE(port->writesSince(0).front().number, 301u);
        QCOMPARE(port->writesSince(total - 1),
                 (std::vector<SimulatedPort::LoggedWrite>{
                     {total, Register::Control, (total - 1) & 0xFF}}));
        QVERIFY(port->writesSince(total).empty());
    }

    void fileAndDirectoryModes() {
        const QString nested = dir_->path() + "/a/b/port";
        SimulatedPort::open(nested.toStdString());
        for (auto [path, mode] : {std::pair(nested, 0600u),
                                  {dir_->path() + "/a/b", 0700u},
                                  {dir_->path() + "/a", 0700u}}) {
            struct stat st {};
            QCOMPARE(::stat(path.toLocal8Bit().constData(), &st), 0);
            QCOMPARE(st.st_mode & 0777, mode);
        }
        // The file is made under another name and linked into place: nothing else is left.
        QCOMPARE(QDir(dir_->path() + "/a/b")
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"port"});
    }

    void badFilesAreRefusedAndLeftAlone_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("fix");
        auto row = [](const char* name, const char* kind, const char* cause, const char* fix) {
            QTest::newRow(name) << QString(kind) << QString(cause) << QString(fix);
        };
        row("text file", "text", "wrong size", "lptport sim reset");
        row("right size, wrong header", "header", "wrong header", "lptport sim reset");
        row("symbolic link", "link", "symbolic link", "rm ");
        row("another user's file", "foreign", "another user", "PARPORT=sim:PATH");
        row("writable by the group", "groupwritable", "other users can write", "chmod 600");
        row("a directory", "directory", "not a regular file", "PARPORT=sim:PATH");
        row("directory writable by the group", "opendir", "can write into it", "chmod 700");
        row("another user's directory", "foreigndir", "another user", "XDG_RUNTIME_DIR");
        row("directory is a link", "linkdir", "is a link", "PARPORT=sim:PATH");
    }
    void badFilesAreRefusedAndLeftAlone() {
        QFETCH(QString, kind);
        QFETCH(QString, cause);
        QFETCH(QString, fix);
        if (kind.startsWith("foreign") && ::geteuid() != 0)
            QSKIP("needs root to give the file to another user");
        const QString target = dir_->path() + "/target";
        const bool dirRefused = kind.endsWith("dir");
        if (dirRefused) {
            const QByteArray shared = (dir_->path() + "/shared").toLocal8Bit();
            QVERIFY(kind == "linkdir" ? QFile::link(dir_->path(), shared) : QDir().mkdir(shared));
            QCOMPARE(kind == "opendir"      ? ::chmod(shared, 0770)
                     : kind == "foreigndir" ? ::chown(shared, 65534, 65534)
                                            : 0,
                     0);
            path_ = (dir_->path() + "/shared/port").toStdString();
        }
        const QString path = QString::fromStdString(path_);
        if (kind == "text" || kind == "header") {
            SimulatedPort::open(target.toStdString()); // a port file's size
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(kind == "text" ? QByteArray("not a port\n")
                                   : QByteArray(QFileInfo(target).size(), 'x'));
        }
        if (kind == "foreign" || kind == "groupwritable")
            SimulatedPort::open(path_);
        if (kind == "foreign")
            QCOMPARE(::chown(path_.c_str(), 65534, 65534), 0);
        if (kind == "groupwritable")
            QCOMPARE(::chmod(path_.c_str(), 0660), 0);
        if (kind == "link") {
            SimulatedPort::open(target.toStdString());
            QVERIFY(QFile::link(target, path));
        }
        if (kind == "directory")
            QVERIFY(QDir().mkdir(path));

        const QString before = snapshot(path), targetBefore = snapshot(target);
        const QString message = refusal(path_);
        QVERIFY2(message.contains(dirRefused ? dir_->path() : path) && message.contains(cause) &&
                     message.contains(fix),
                 qPrintable(message));
        QCOMPARE(snapshot(path), before);

        // Asked for explicitly, a reset replaces a bad file (but nothing outside a
        // safe directory of the user's, and never a directory).
        if (kind != "directory" && !dirRefused) {
            SimulatedPort::reset(path_);
            QVERIFY(refusal(path_).isEmpty());
            QCOMPARE(snapshot(target), targetBefore); // a link's target is left alone
        }
    }

    void damagedFilesAnswerAtOnce() {
        // Port files with a valid header, random fields after it (registers,
        // wiring, counters' low and high words) and random log entries: half the
        // files hold only values the port could hold, half one wild value in four.
        // Each is refused as damaged, naming the reset, or opens and lists sanely,
        // within a second: a hang is the fault looked for. Every 250th is listed
        // by lptport too.
        constexpr quint64 kSeed = 0x1105EED;
        QRandomGenerator rng(kSeed);
        SimulatedPort::open(path_);
        QFile file(QString::fromStdString(path_));
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 logStart = file.size() - qint64(SimulatedPort::kLogSize * 8);
        const quint32 plausible[] = {256, 256, 256, 2, 300000, 1, 300000, 1};
        auto put = [&](qint64 at, auto value) {
            file.seek(at), file.write(reinterpret_cast<const char*>(&value), sizeof value);
        };
        std::vector<qint64> entries;
        int opened = 0;
        qputenv("PARPORT", "sim:" + file.fileName().toUtf8());
        for (int n = 0; n < 2000; ++n) {
            const QByteArray which = QString("seed %1, file %2").arg(kSeed).arg(n).toUtf8();
            for (qint64 at : std::exchange(entries, {}))
                put(at, quint64{0});
            const quint32 odds =
                rng.bounded(2) ? 4 : 1u << 30; // one in four wild, or (almost) none
            for (std::size_t k = 0; 16 + 4 * qint64(k) < logStart; ++k) {
                const quint32 wild[] = {256, 65536, 0xFFFFFFFF, rng.generate()};
                put(16 + 4 * k, rng.bounded(odds) ? rng.bounded(k < 8 ? plausible[k] : 1u)
                                                  : wild[rng.bounded(4)]);
            }
            for (int k = rng.bounded(8); k > 0; --k) { // numbered for their slot, or anything
                const quint32 slot = rng.bounded(quint32(SimulatedPort::kLogSize));
                const quint64 number = rng.bounded(odds) ? slot + 1 : rng.generate();
                entries.push_back(logStart + 8 * slot);
                put(entries.back(), number << 16 | rng.bounded(4) << 8 | rng.bounded(256));
            }
            file.flush();
            QElapsedTimer clock;
            clock.start();
            try {
                const auto port = SimulatedPort::open(path_);
                const std::uint64_t count = port->writeCount(),
                                    since = rng.bounded(2) ? 0 : count / 2;
                std::uint64_t last = std::max(
                    since, count - std::min<std::uint64_t>(count, SimulatedPort::kLogSize));
                for (const auto& w : port->writesSince(since)) {
                    QVERIFY2(w.number > last && w.number <= count &&
                                 (w.reg == Register::Data || w.reg == Register::Control),
                             which);
                    last = w.number;
                }
                ++opened;
            } catch (const PortError& e) {
                QVERIFY2(e.failure().cause.starts_with("it is damaged") &&
                             e.failure().fix.find("lptport sim reset") != std::string::npos,
                         which);
            }
            QVERIFY2(clock.elapsed() < 1000, which);
            for (const char* args : {"--count", "--since 0"}) {
                if (n % 250 != 0)
                    break;
                const auto r =
                    test::run(LPTPORT_BIN, QString("sim writes %1").arg(args).split(' '));
                QVERIFY2(r.status == 0 || (r.status == 1 && r.err.contains("it is damaged")),
                         which);
            }
        }
        QVERIFY(opened > 500); // else the listings went untried
    }
};

QTEST_GUILESS_MAIN(TestSimulated)
#include "test_simulated.moc"
