// SPDX-License-Identifier: MIT
// The system's ports as lptport ports shows them: the Linux listing read from
// recorded /proc, /sys and /dev trees, the port PARPORT unset chooses from it,
// and the text for listings as Windows gives them (descriptions, several I/O
// ranges in either order, none).
#include "port/ports.h"

#include <QtTest>

#include <cerrno>
#include <functional>

using namespace lpt;

// The lines lptport ports prints for a listing.
using Described = std::function<QStringList()>;

static QStringList lines(const PortListing& listing, const PortSpec& unset) {
    QStringList out;
    for (const std::string& line : describePorts(listing, unset))
        out << QString::fromStdString(line);
    return out;
}

// A recorded tree, "path=content" (a file), "path" (an empty file: a device
// node) or "path/" (a folder), joined by '|'; PARPORT unset chooses as it
// would on a machine with that tree.
static Described linuxTree(QString tree) {
    return [=] {
        QTemporaryDir root;
        for (const QString& entry : tree.split('|', Qt::SkipEmptyParts)) {
            const QString path = root.filePath(entry.section('=', 0, 0));
            QDir().mkpath(entry.endsWith('/') ? path : QFileInfo(path).path());
            QFile file(path);
            if (!entry.endsWith('/') && file.open(QIODevice::WriteOnly))
                file.write(entry.section('=', 1).toUtf8());
        }
        const PortListing listing = detail::listSystemPorts(root.path().toStdString());
        return lines(listing,
                     linuxUnsetSpec(listing, QFile::exists(root.filePath("dev/parport0"))));
    };
}

static Described windows(PortListing listing) {
    return [=] {
        return lines(listing, {PortSpec::Kind::Dll, "", 0x378,
                               "PARPORT unset, inpoutx64.dll beside lptport.exe"});
    };
}

class TestPorts : public QObject {
    Q_OBJECT
private slots:
    void described_data() {
        QTest::addColumn<Described>("described");
        QTest::addColumn<QStringList>("expected");
        const QString parport = "proc/sys/dev/parport/";
        const QString twoPorts =
            parport + "default/spintime=500|" + parport + "parport0/base-addr=632\t0\n|" + parport +
            "parport0/modes=PCSPP,TRISTATE\n|" + parport + "parport1/base-addr=888\t1912\n|" +
            parport + "parport1/modes=PCSPP,TRISTATE,COMPAT,ECP\n|";
        const QString at278 = "parport0  /dev/parport0  base 0x278  I/O 0x278-0x27A  modes "
                              "PCSPP,TRISTATE  PARPORT=/dev/parport0";
        const QString at378 = "parport1  /dev/parport1  base 0x378  I/O 0x378-0x37A, 0x778-0x77A  "
                              "modes PCSPP,TRISTATE,COMPAT,ECP  PARPORT=/dev/parport1";
        const QString noPort = "no parallel port: the kernel lists none. Load the PC port driver: "
                               "sudo modprobe parport_pc (a card with serial ports too: sudo "
                               "modprobe parport_serial); a card the kernel has no driver for, or "
                               "a port turned off in the firmware setup, is not listed";
        auto row = [](const char* name, Described d, QStringList expected) {
            QTest::newRow(name) << d << expected;
        };

        // The kernel numbers ports in the firmware's order: parport0 can be
        // the one at 0x278, and unset must still drive the one at 0x378.
        row("two ports, 0x378 second", linuxTree(twoPorts + "dev/parport0|dev/parport1"),
            {at278, at378, "PARPORT unset: /dev/parport1 (the port at 0x378)"});
        row("ppdev not loaded", linuxTree(twoPorts),
            {at278, "  parport0: no node /dev/parport0: ppdev is not loaded (sudo modprobe ppdev)",
             at378, "  parport1: no node /dev/parport1: ppdev is not loaded (sudo modprobe ppdev)",
             "PARPORT unset: sim (no node /dev/parport1, which sudo modprobe ppdev makes)"});
        row("0x378 without its node", linuxTree(twoPorts + "dev/parport0"),
            {at278, at378,
             "  parport1: no node /dev/parport1: ppdev is not loaded (sudo modprobe ppdev)",
             "PARPORT unset: /dev/parport0 (the port at 0x378 has no node /dev/parport1, the "
             "first port with one)"});
        // Numbered, not sorted as text; one port known on the parport bus only.
        row("none at 0x378, a card numbered 10",
            linuxTree(parport + "parport10/base-addr=53248\t53256|" + parport +
                      "parport2/base-addr=956\t0|sys/bus/parport/devices/parport7/|dev/parport2|"
                      "dev/parport7|dev/parport10"),
            {"parport2  /dev/parport2  base 0x3BC  I/O 0x3BC-0x3BE  PARPORT=/dev/parport2",
             "parport7  /dev/parport7  base unknown  I/O none listed  PARPORT=/dev/parport7",
             "parport10  /dev/parport10  base 0xD000  I/O 0xD000-0xD002, 0xD008-0xD00A  "
             "PARPORT=/dev/parport10",
             "PARPORT unset: /dev/parport2 (no port at 0x378, the first port)"});
        row("no port", linuxTree(parport + "default/spintime=500"),
            {noPort, "PARPORT unset: sim (no parallel port)"});
        row("no port listed, a node", linuxTree("dev/parport0"),
            {noPort, "PARPORT unset: /dev/parport0 (no port listed, but /dev/parport0 present)"});
        row("not in group lp",
            [] {
                return QStringList{
                    QString::fromStdString(detail::accessProblem("/dev/parport1", EACCES))};
            },
            {"this user may not open /dev/parport1: join group lp (sudo adduser $USER lp, then log "
             "in "
             "again)"});

        SystemPort lpt1{"LPT1", "", "Printer Port (LPT1)", {{0x378, 0x37F}, {0x778, 0x77A}}, 0x378};
        SystemPort card{"LPT3",
                        "",
                        "PCI ECP Parallel Port (LPT3)",
                        {{0xD000, 0xD003}, {0xD010, 0xD017}},
                        0xD010};
        SystemPort bare{"LPT4", "", "Virtual Printer Port", {}, -1, "", "the DLL cannot reach it"};
        row("descriptions, ranges either way round, none", windows({{lpt1, card, bare}, ""}),
            {"LPT1  \"Printer Port (LPT1)\"  base 0x378  I/O 0x378-0x37F, 0x778-0x77A  "
             "PARPORT=LPT1",
             "LPT3  \"PCI ECP Parallel Port (LPT3)\"  base 0xD010  I/O 0xD000-0xD003, "
             "0xD010-0xD017  PARPORT=LPT3",
             "LPT4  \"Virtual Printer Port\"  base unknown  I/O none listed  PARPORT=LPT4",
             "  LPT4: the DLL cannot reach it",
             "PARPORT unset: dll (inpoutx64.dll beside lptport.exe)"});
    }
    void described() {
        QFETCH(Described, described);
        QFETCH(QStringList, expected);
        QCOMPARE(described(), expected);
    }
};

QTEST_GUILESS_MAIN(TestPorts)
#include "test_ports.moc"
