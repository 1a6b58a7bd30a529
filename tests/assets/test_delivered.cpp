// What the build delivers: the four run-time pictures next to the executables,
// where the panel started from bin/ finds them, and the icon compiled into
// panel_ui as ":/icon.png".
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QTest>

class TestDelivered : public QObject {
    Q_OBJECT

    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void runtimePictureBesideExecutables_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"swtchon.gif", "swtchoff.gif", "ledgon.bmp", "ledron.bmp"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void runtimePictureBesideExecutables() {
        QFETCH(QString, name);
        // The tests are built into the same folder as the executables.
        const QByteArray copy = contents(QCoreApplication::applicationDirPath() + '/' + name);
        const QByteArray committed = contents(QStringLiteral(ASSETS_DIR "/") + name);
        QVERIFY2(!committed.isEmpty() && copy == committed,
                 "the copy next to the executables is missing or stale");
    }

    void iconResourceIsTheCommittedIcon() {
        const QImage resource(QStringLiteral(":/icon.png"));
        QVERIFY(!resource.isNull());
        QCOMPARE(
            resource.convertToFormat(QImage::Format_ARGB32),
            QImage(QStringLiteral(ASSETS_DIR "/icon.png")).convertToFormat(QImage::Format_ARGB32));
    }
};

QTEST_GUILESS_MAIN(TestDelivered)
#include "test_delivered.moc"
