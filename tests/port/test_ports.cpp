// SPDX-License-Identifier: MIT
// What lptport ports prints: the Linux listing read from recorded /proc, /sys
// and /dev trees with the port PARPORT unset chooses from it, and listings as
// Windows gives them (descriptions, I/O ranges in either order, none). The
// emulated PC's proof shows a kernel without the drivers, or without ppdev.
#include "port/ports.h"
#include "process.h"

#include <QtTest>

using namespace lpt;

using Described = std::function<QStringList()>;

// Files "path=content" (P/ for proc/sys/dev/parport/), nodes "path" and
// folders "path/", joined by '|'.
static Described linuxTree(QString tree) {
    return [=] {
        QTemporaryDir root;
        for (const QString& entry :
             QString(tree).replace("P/", "proc/sys/dev/parport/").split('|')) {
            const QString path = root.filePath(entry.section('=', 0, 0));
            QDir().mkpath(entry.endsWith('/') ? path : QFileInfo(path).path());
            QFile file(path);
            if (!entry.endsWith('/') && file.open(QIODevice::WriteOnly))
                file.write(entry.section('=', 1).toUtf8());
        }
        const PortListing listing = detail::listSystemPorts(root.path().toStdString());
        return test::lines(describePorts(
            listing, linuxUnsetSpec(listing, QFile::exists(root.filePath("dev/parport0")))));
    };
}

class TestPorts : public QObject {
    Q_OBJECT
private slots:
    void described_data() {
        QTest::addColumn<Described>("described");
        QTest::addColumn<QStringList>("expected");
        // The kernel numbers ports in the firmware's order: parport0 can be
        // the one at 0x278, and unset must still drive the one at 0x378.
        const QString two = "P/default/spintime=500|P/parport0/base-addr=632\t0\n|P/parport0/"
                            "modes=PCSPP,TRISTATE\n|P/parport1/base-addr=888\t1912\n|";
        const QString at278 = "parport0  /dev/parport0  base 0x278  I/O 0x278-0x27A  modes "
                              "PCSPP,TRISTATE  PARPORT=/dev/parport0";
        const QString at378 = "parport1  /dev/parport1  base 0x378  I/O 0x378-0x37A, 0x778-0x77A  "
                              "PARPORT=/dev/parport1";
        QTest::newRow("0x378 second")
            << linuxTree(two + "dev/parport0|dev/parport1")
            << QStringList{at278, at378, "PARPORT unset: /dev/parport1 (the port at 0x378)"};
        QTest::newRow("0x378 without its node")
            << linuxTree(two + "dev/parport0")
            << QStringList{
                   at278, at378,
                   "  parport1: no node /dev/parport1: ppdev is not loaded (sudo modprobe ppdev)",
                   "PARPORT unset: /dev/parport0 (the port at 0x378 has no node "
                   "/dev/parport1, the first port with one)"};
        // Numbered, not sorted as text; one known on the parport bus only.
        QTest::newRow("none at 0x378")
            << linuxTree("P/parport10/base-addr=53248\t53256|P/parport2/base-addr=956\t0|sys/bus/"
                         "parport/devices/parport7/|dev/parport2|dev/parport7|dev/parport10")
            << QStringList{
                   "parport2  /dev/parport2  base 0x3BC  I/O 0x3BC-0x3BE  PARPORT=/dev/parport2",
                   "parport7  /dev/parport7  base unknown  I/O none listed  PARPORT=/dev/parport7",
                   "parport10  /dev/parport10  base 0xD000  I/O 0xD000-0xD002, "
                   "0xD008-0xD00A  PARPORT=/dev/parport10",
                   "PARPORT unset: /dev/parport2 (no port at 0x378, the first port)"};

        const SystemPort pci{
            "LPT3", "",   "PCI Parallel Port", {{0xD000, 0xD003}, {0xD010, 0xD017}}, 0xD010, "",
            "",     false};
        const PortListing windows{
            {{"LPT1", "", "Printer Port (LPT1)", {{0x378, 0x37F}}, 0x378, "", "", false},
             pci,
             {"LPT4", "", "Printer Port", {}, -1, "", "no I/O range", false}},
            "",
            false};
        const PortSpec dll = windowsUnsetSpec(
            {}, {DefaultDll::Place::BesideProgram, "inpoutx64.dll", "lptport.exe", "", ""});
        QTest::newRow("Windows")
            << Described([=] { return test::lines(describePorts(windows, dll)); })
            << QStringList{
                   "LPT1  \"Printer Port (LPT1)\"  base 0x378  I/O 0x378-0x37F  PARPORT=LPT1",
                   "LPT3  \"PCI Parallel Port\"  base 0xD010  I/O 0xD000-0xD003, 0xD010-0xD017  "
                   "PARPORT=LPT3",
                   "LPT4  \"Printer Port\"  base unknown  I/O none listed  PARPORT=LPT4",
                   "  LPT4: no I/O range",
                   "PARPORT unset: dll (inpoutx64.dll beside lptport.exe, no LPT port in the "
                   "device "
                   "list: 0x378)"};
    }
    void described() {
        QFETCH(Described, described);
        QFETCH(QStringList, expected);
        QCOMPARE(described(), expected);
    }
};

QTEST_GUILESS_MAIN(TestPorts)
#include "test_ports.moc"
