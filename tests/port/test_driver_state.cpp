// SPDX-License-Identifier: MIT
// Why the port-I/O DLL's driver does not run: the one cause and fix named
// from the facts Windows gives, on every combination of them. The Wine proof
// reads the same facts from a prefix's registry and service manager.
#include "port/driver_state.h"

#include <QtTest>

using namespace lpt;

Q_DECLARE_METATYPE(lpt::DriverFacts)

namespace {

using K = Known;
using S = Switch;
using V = Service;

// Windows 11 22H2 and 23H2, Windows 10 22H2.
constexpr unsigned kWin11 = 22631, kWin10 = 19045;

DriverFacts facts(K elevated, V state, K file, S hvci, S blocklist, unsigned build) {
    return {elevated, "inpoutx64", state, file, hvci, blocklist, build};
}

} // namespace

class TestDriverState : public QObject {
    Q_OBJECT
private slots:
    void verdict_data() {
        QTest::addColumn<DriverFacts>("facts");
        QTest::addColumn<QString>("cause"); // a pattern each must match
        QTest::addColumn<QString>("fix");
        const QString refused = "^its service inpoutx64 is installed, but Windows refuses the "
                                "driver: ";
        const QString turnOff = "^only on a machine you control.*turn off ";
        QTest::newRow("never installed, elevation unknown, file left")
            << facts(K::Unknown, V::Absent, K::Yes, S::Off, S::Off, kWin10)
            << "^its driver was never installed \\(no service inpoutx64\\), though "
               "System32.drivers.inpoutx64.sys is there$"
            << "^run lptport.exe once as administrator \\(right-click it";
        QTest::newRow("not installed although elevated")
            << facts(K::Yes, V::Absent, K::No, S::Off, S::Off, kWin10)
            << "lptport.exe runs as administrator, when the DLL installs it: something stopped"
            << "quarantine.*InpOut's own DLL";
        QTest::newRow("installed, file removed")
            << facts(K::No, V::Stopped, K::No, S::On, S::On, kWin11)
            << "installed, but the driver file System32.drivers.inpoutx64.sys is missing"
            << "quarantine.*sc delete inpoutx64\\) and run lptport.exe once as administrator";
        QTest::newRow("Memory integrity and the blocklist by default")
            << facts(K::Yes, V::Stopped, K::Unknown, S::On, S::Absent, 22621)
            << refused + "Memory integrity is on and the vulnerable-driver blocklist is on "
                         "\\(the default of build 22621\\)$"
            << turnOff + "Memory integrity and Microsoft Vulnerable Driver Blocklist \\(the "
                         "value VulnerableDriverBlocklistEnable=0 in HKLM.SYSTEM.CurrentControlSet."
                         "Control.CI.Config\\) in Windows Security";
        QTest::newRow("blocklist switched on, Windows 10")
            << facts(K::No, V::Other, K::Yes, S::Absent, S::On, kWin10)
            << refused + "the vulnerable-driver blocklist is on$"
            << turnOff + "Microsoft Vulnerable Driver Blocklist .* Else use Linux with ppdev on "
                         "this PC, or another port-I/O DLL with PARPORT=dll:PATH$";
        QTest::newRow("blocklist by default on Windows 11")
            << facts(K::No, V::Stopped, K::Yes, S::Off, S::Absent, kWin11)
            << refused + "the vulnerable-driver blocklist is on \\(the default of build 22631\\)$"
            << turnOff + "Microsoft Vulnerable Driver Blocklist";
        QTest::newRow("stopped, protections unreadable")
            << facts(K::Yes, V::Stopped, K::Unknown, S::Unknown, S::Absent, 0)
            << "^its service inpoutx64 is installed but stopped$"
            << "^start it: sc start inpoutx64 in an administrator Command Prompt.*restart Windows$";
        QTest::newRow("pending") << facts(K::No, V::Other, K::Yes, S::Off, S::Off, kWin11)
                                 << "installed but starting, stopping or paused$"
                                 << "^restart Windows$";
        QTest::newRow("running") << facts(K::No, V::Running, K::Yes, S::On, S::On, kWin11)
                                 << "runs, yet the DLL cannot open its driver$"
                                 << "^restart Windows; .*anti-cheat";
        QTest::newRow("service manager unreadable")
            << facts(K::Unknown, V::Unknown, K::Unknown, S::On, S::On, kWin11)
            << "^the service manager could not be asked about inpoutx64; .*Memory integrity"
            << "^run lptport.exe once as administrator.*Core isolation details$";
    }
    void verdict() {
        QFETCH(DriverFacts, facts);
        QFETCH(QString, cause);
        QFETCH(QString, fix);
        const DriverVerdict v = explainDriver(facts, "lptport.exe");
        QVERIFY2(QString::fromStdString(v.cause).contains(QRegularExpression(cause)),
                 v.cause.c_str());
        QVERIFY2(QString::fromStdString(v.fix).contains(QRegularExpression(fix)), v.fix.c_str());
    }

    // Windows 11 as shipped.
    void described() {
        const auto f = facts(K::No, V::Stopped, K::Yes, S::On, S::Absent, kWin11);
        QCOMPARE(QString::fromStdString(describeFacts(f)),
                 "not elevated, service inpoutx64 stopped, inpoutx64.sys present, Memory integrity "
                 "on, blocklist switch absent (on by default), build 22631");
    }
};

QTEST_GUILESS_MAIN(TestDriverState)
#include "test_driver_state.moc"
