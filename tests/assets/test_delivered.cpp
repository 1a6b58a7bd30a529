// What the build delivers: the four run-time pictures next to the executables,
// where the panel started from bin/ finds them.
#include <QCoreApplication>
#include <QFile>
#include <QTest>

class TestDelivered : public QObject {
    Q_OBJECT

    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void runtimePicturesBesideExecutables() {
        for (const QString name : {"swtchon.gif", "swtchoff.gif", "ledgon.bmp", "ledron.bmp"}) {
            // The tests are built into the same folder as the executables.
            const QByteArray copy = contents(QCoreApplication::applicationDirPath() + '/' + name);
            const QByteArray committed = contents(QStringLiteral(ASSETS_DIR "/") + name);
            QVERIFY2(!committed.isEmpty() && copy == committed,
                     qPrintable(name + ": the copy next to the executables is missing or stale"));
        }
    }
};

QTEST_GUILESS_MAIN(TestDelivered)
#include "test_delivered.moc"
