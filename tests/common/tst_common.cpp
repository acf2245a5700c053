#include "common/ProgramDir.h"
#include "common/Twips.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

class tst_common : public QObject
{
    Q_OBJECT

private slots:
    void twipsToPixels_data();
    void twipsToPixels();
    void programDirectoryIsWritable();
    void programFilePathJoinsOnce();
};

void tst_common::twipsToPixels_data()
{
    QTest::addColumn<int>("twips");
    QTest::addColumn<int>("pixels");
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("exact") << 1485 << 99;
    QTest::newRow("rounds down") << 2317 << 154;
    QTest::newRow("half rounds up") << 2318 << 155; // 154.53
    QTest::newRow("seven and a half") << 8 << 1;
    QTest::newRow("below half") << 7 << 0;
    QTest::newRow("negative") << -60 << -4;
    QTest::newRow("negative rounding") << -23 << -2;
    QTest::newRow("client width") << 6105 << 407;
    QTest::newRow("client height") << 3570 << 238;
}

void tst_common::twipsToPixels()
{
    QFETCH(int, twips);
    QFETCH(int, pixels);
    QCOMPARE(Twips::toPixels(twips), pixels);
}

void tst_common::programDirectoryIsWritable()
{
    // The test executable's directory is writable, so it is the program directory.
    QCOMPARE(programDirectory(), QCoreApplication::applicationDirPath());
    QVERIFY(QFileInfo(programDirectory()).isWritable());
}

void tst_common::programFilePathJoinsOnce()
{
    const QString path = programFilePath(QStringLiteral("errorlog.txt"));
    QVERIFY(!path.contains(QStringLiteral("//")));
    QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("errorlog.txt"));
    QCOMPARE(QFileInfo(path).absolutePath(), QDir(programDirectory()).absolutePath());
}

QTEST_GUILESS_MAIN(tst_common)
#include "tst_common.moc"
