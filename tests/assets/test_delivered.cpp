// What the build delivers: the four run-time pictures next to the executables,
// where the panel started from bin/ finds them, and the icon compiled into
// panel_ui as ":/icon.png".
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTest>

class TestDelivered : public QObject {
    Q_OBJECT
private slots:
    void runtimePictureBesideExecutables_data();
    void runtimePictureBesideExecutables();
    void iconResourceIsTheCommittedIcon();
};

static QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestDelivered::runtimePictureBesideExecutables_data() {
    QTest::addColumn<QString>("name");
    for (const char* name : {"swtchon.gif", "swtchoff.gif", "ledgon.bmp", "ledron.bmp"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestDelivered::runtimePictureBesideExecutables() {
    QFETCH(QString, name);
    // The tests are built into the same folder as the executables.
    const QByteArray copy = contents(QDir(QCoreApplication::applicationDirPath()).filePath(name));
    const QByteArray committed = contents(QStringLiteral(ASSETS_DIR "/") + name);
    QVERIFY2(!committed.isEmpty(), "the committed picture is missing");
    QVERIFY2(copy == committed, "the copy next to the executables is missing or stale");
}

void TestDelivered::iconResourceIsTheCommittedIcon() {
    const QImage resource(QStringLiteral(":/icon.png"));
    const QImage committed(QStringLiteral(ASSETS_DIR "/icon.png"));
    QCOMPARE(resource.size(), QSize(32, 32));
    QCOMPARE(resource.convertToFormat(QImage::Format_ARGB32),
             committed.convertToFormat(QImage::Format_ARGB32));
}

QTEST_GUILESS_MAIN(TestDelivered)
#include "test_delivered.moc"
