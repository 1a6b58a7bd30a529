// The simulated port: registers, counters, write log, wiring, the checks on
// its file, and a writer in another process. (lptport's tests share one port
// between processes throughout.)
#include "port/driver.h"
#include "port/inpout.h"
#include "port/simulated.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace lpt;

namespace {

struct FileSnapshot {
    QByteArray hash;
    qint64 size = -1;
    bool operator==(const FileSnapshot&) const = default;
};

FileSnapshot snapshot(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return {QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256), f.size()};
}

QString refusal(const std::string& path) {
    try {
        SimulatedPort::open(path);
    } catch (const PortError& e) {
        return QString::fromStdString(e.failure().message());
    }
    return {};
}

} // namespace

class TestSimulated : public QObject {
    Q_OBJECT
private slots:
    void init();
    void outAndInpThroughThePort();
    void logKeepsTheLast65536Writes();
    void loopbackWiring_data();
    void loopbackWiring();
    void resetInPlace();
    void fileAndDirectoryModes();
    void badFilesAreRefusedAndLeftAlone_data();
    void badFilesAreRefusedAndLeftAlone();
    void damagedFilesAnswerAtOnce();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::string path_;
};

void TestSimulated::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    ::chmod(dir_->path().toLocal8Bit().constData(), 0700);
    path_ = (dir_->path() + "/port").toStdString();
}

void TestSimulated::logKeepsTheLast65536Writes() {
    auto port = SimulatedPort::open(path_);
    const std::size_t total = SimulatedPort::kLogSize + 300;
    for (std::size_t i = 0; i < total; ++i)
        port->write(i % 2 ? Register::Control : Register::Data, std::uint8_t(i & 0xFF));
    const auto log = port->writeLog();
    QCOMPARE(log.size(), SimulatedPort::kLogSize);
    QCOMPARE(log.front(), std::make_pair(Register::Data, std::uint8_t(300 & 0xFF)));
    QCOMPARE(log.back(), std::make_pair(Register::Control, std::uint8_t((total - 1) & 0xFF)));
    QCOMPARE(port->writeCount(), total);
    // Numbered from 1: the oldest held is write 301; after the next-to-last, only the last.
    QCOMPARE(port->writesSince(0).front().number, 301u);
    QCOMPARE(port->writesSince(total - 1), (std::vector<SimulatedPort::LoggedWrite>{
                                               {total, Register::Control, (total - 1) & 0xFF}}));
    QVERIFY(port->writesSince(total).empty());
}

void TestSimulated::loopbackWiring_data() {
    QTest::addColumn<int>("data");
    QTest::addColumn<int>("status");
    // Bits 0-2 have no pin and read 1; BUSY's register bit is its complement.
    QTest::newRow("all low") << 0x00 << 0x87;
    QTest::newRow("D0 -> S3 (pin 2 -> 15)") << 0x01 << 0x8F;
    QTest::newRow("D3 -> S6 (pin 5 -> 10)") << 0x08 << 0xC7;
    QTest::newRow("D4 -> BUSY (pin 6 -> 11)") << 0x10 << 0x07;
    QTest::newRow("D5-D7 unwired") << 0xE0 << 0x87;
}

void TestSimulated::loopbackWiring() {
    QFETCH(int, data);
    QFETCH(int, status);
    auto port = SimulatedPort::open(path_);
    port->setStatus(0x00); // what open wiring would report
    port->setWiring(Wiring::Loopback);
    port->write(Register::Data, std::uint8_t(data));
    QCOMPARE(int(port->read(Register::Status)), status);
    port->setWiring(Wiring::Open);
    QCOMPARE(int(port->read(Register::Status)), 0x00);
}

void TestSimulated::resetInPlace() {
    auto port = SimulatedPort::open(path_);
    port->write(Register::Data, 7);
    port->setWiring(Wiring::Loopback);
    port->read(Register::Status);
    SimulatedPort::reset(path_);
    // The open mapping sees the reset: it is the same file.
    QCOMPARE(port->writeCount() + port->statusReads(), 0u);
    QCOMPARE(port->wiring(), Wiring::Open);
    QCOMPARE(port->read(Register::Status), 0x7F);
    QCOMPARE(port->read(Register::Data), 0);
}

void TestSimulated::fileAndDirectoryModes() {
    const QString nested = dir_->path() + "/a/b/port";
    SimulatedPort::open(nested.toStdString());
    for (auto [path, mode] :
         {std::pair(nested, 0600u), {dir_->path() + "/a/b", 0700u}, {dir_->path() + "/a", 0700u}}) {
        struct stat st {};
        QCOMPARE(::stat(path.toLocal8Bit().constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode);
    }
    // The file is made under another name and linked into place: nothing else is left.
    QCOMPARE(QDir(dir_->path() + "/a/b")
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"port"});
}

void TestSimulated::badFilesAreRefusedAndLeftAlone_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("fix");
    auto row = [](const char* name, const char* kind, const char* cause, const char* fix) {
        QTest::newRow(name) << QString(kind) << QString(cause) << QString(fix);
    };
    row("empty file", "empty", "wrong size", "lptport sim reset");
    row("text file", "text", "wrong size", "lptport sim reset");
    row("right size, wrong header", "header", "wrong header", "lptport sim reset");
    row("symbolic link", "link", "symbolic link", "rm ");
    row("another user's file", "foreign", "another user", "PARPORT=sim:PATH");
    row("writable by others", "groupwritable", "other users can write", "chmod 600");
    row("a directory", "directory", "not a regular file", "PARPORT=sim:PATH");
    row("directory open to others", "opendir", "other users can write into it", "chmod 700");
    row("another user's directory", "foreigndir", "belongs to another user", "XDG_RUNTIME_DIR");
}

void TestSimulated::badFilesAreRefusedAndLeftAlone() {
    QFETCH(QString, kind);
    QFETCH(QString, cause);
    QFETCH(QString, fix);
    const QString target = dir_->path() + "/target";
    if ((kind == "foreign" || kind == "foreigndir") && ::geteuid() != 0)
        QSKIP("needs root to give the file to another user");
    if (kind == "opendir" || kind == "foreigndir") {
        const QByteArray shared = (dir_->path() + "/shared").toLocal8Bit();
        QVERIFY(QDir().mkdir(shared));
        QCOMPARE(kind == "opendir" ? ::chmod(shared, 0777) : ::chown(shared, 65534, 65534), 0);
        path_ = (dir_->path() + "/shared/port").toStdString();
    }
    const QString path = QString::fromStdString(path_);
    if (kind == "empty" || kind == "text" || kind == "header") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QString probe = dir_->path() + "/probe"; // a port file's size
        SimulatedPort::open(probe.toStdString());
        const qint64 portSize = QFileInfo(probe).size();
        f.write(kind == "text"     ? QByteArray("not a port\n")
                : kind == "header" ? QByteArray(portSize, 'x')
                                   : QByteArray());
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

    const QString looked = kind == "link" ? target : path;
    const auto before = snapshot(looked);
    struct stat stBefore {};
    ::lstat(path_.c_str(), &stBefore);

    const QString message = refusal(path_);
    const bool dirRefused = kind.endsWith("dir");
    QVERIFY2(message.contains(dirRefused ? dir_->path() : path), qPrintable(message));
    QVERIFY2(message.contains(cause), qPrintable(message));
    QVERIFY2(message.contains(fix), qPrintable(message));

    struct stat stAfter {};
    ::lstat(path_.c_str(), &stAfter);
    QCOMPARE(snapshot(looked), before);
    QCOMPARE(stAfter.st_mode, stBefore.st_mode);
    QCOMPARE(stAfter.st_uid, stBefore.st_uid);
    QCOMPARE(stAfter.st_ino, stBefore.st_ino);

    // Asked for explicitly, a reset replaces a bad file (but nothing outside a
    // safe directory of the user's, and never a directory).
    if (kind != "directory" && !dirRefused) {
        SimulatedPort::reset(path_);
        QVERIFY(refusal(path_).isEmpty());
        QCOMPARE(snapshot(target), kind == "link" ? before : FileSnapshot{});
    }
}

void TestSimulated::outAndInpThroughThePort() {
    installDriver(SimulatedPort::open(path_));
    Out32(0x378, 0x155); // only the low byte reaches the register
    Out32(0x379, 9);     // the status register is an input: no effect, not logged
    Out32(0x37A, 11);
    auto port = SimulatedPort::open(path_);
    QCOMPARE(Inp32(0x379), short(0x7F)); // a fresh port: the inputs float high
    port->setStatus(0x80);
    QCOMPARE(Inp32(0x379), short(0x80));
    QCOMPARE(Inp32(0x378), short(0x55));
    QCOMPARE(Inp32(0x37A), short(11));
    QCOMPARE(port->statusReads(), 2u); // data and control reads are not status reads
    using Log = std::vector<std::pair<Register, std::uint8_t>>;
    QCOMPARE(port->writeLog(), (Log{{Register::Data, 0x55}, {Register::Control, 11}}));
    installDriver(nullptr);
}

void TestSimulated::damagedFilesAnswerAtOnce() {
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
        const quint32 odds = rng.bounded(2) ? 4 : 1u << 30; // one in four wild, or (almost) none
        for (std::size_t k = 0; 16 + 4 * qint64(k) < logStart; ++k) {
            const quint32 wild[] = {256, 65536, 0xFFFFFFFF, rng.generate()};
            put(16 + 4 * k,
                rng.bounded(odds) ? rng.bounded(k < 8 ? plausible[k] : 1u) : wild[rng.bounded(4)]);
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
            const std::uint64_t count = port->writeCount(), since = rng.bounded(2) ? 0 : count / 2;
            std::uint64_t last =
                std::max(since, count - std::min<std::uint64_t>(count, SimulatedPort::kLogSize));
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
            QProcess lptport;
            lptport.start(LPTPORT_BIN, QString("sim writes %1").arg(args).split(' '));
            QVERIFY2(lptport.waitForFinished(5000) && lptport.exitStatus() == QProcess::NormalExit,
                     which);
            QVERIFY2(lptport.exitCode() == 0 ||
                         lptport.readAllStandardError().contains("it is damaged"),
                     which);
        }
    }
    QVERIFY(opened > 500); // else the listings went untried
}

QTEST_GUILESS_MAIN(TestSimulated)
#include "test_simulated.moc"
