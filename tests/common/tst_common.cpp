#include "common/ProgramDir.h"
#include "common/Twips.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class tst_common : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void twipsToPixels_data();
    void twipsToPixels();
    void programDirectoryIsWritable();
    void layouts_data();
    void layouts();
    void unwritableExecutableDirectory();

private:
    QTemporaryDir m_home;
};

void tst_common::initTestCase()
{
    // The per-user data directory of these tests lies in a throw-away home.
    QVERIFY(m_home.isValid());
    qputenv("XDG_DATA_HOME", QDir(m_home.path()).filePath(QStringLiteral("data")).toLocal8Bit());
    QCoreApplication::setOrganizationName(QStringLiteral("Ombrix"));
    QCoreApplication::setApplicationName(QStringLiteral("Ombrix"));
}

void tst_common::twipsToPixels_data()
{
    QTest::addColumn<int>("twips");
    QTest::addColumn<int>("pixels");
    QTest::newRow("exact") << 1485 << 99;
    QTest::newRow("rounds down") << 2317 << 154;
    QTest::newRow("half rounds up") << 2318 << 155; // 154.53
    QTest::newRow("seven and a half") << 8 << 1;
    QTest::newRow("below half") << 7 << 0;
    QTest::newRow("negative") << -60 << -4;
    QTest::newRow("negative rounding") << -23 << -2;
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
    QCOMPARE(programFilePath(QStringLiteral("errorlog.txt")),
             QCoreApplication::applicationDirPath() + QStringLiteral("/errorlog.txt"));
}

void tst_common::layouts_data()
{
    // Directories made under a temporary prefix; the executable lives in bin.
    QTest::addColumn<QStringList>("dirs");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("installed");
    QTest::newRow("build tree") << QStringList{"bin"} << QStringList{} << false;
    QTest::newRow("installed") << QStringList{"bin", "share/ombrix"} << QStringList{} << true;
    QTest::newRow("installed with help")
        << QStringList{"bin", "share/ombrix"} << QStringList{"share/ombrix/ombrix.chm"} << true;
    QTest::newRow("other program's data") << QStringList{"bin", "share/other"} << QStringList{} << false;
    QTest::newRow("a file, not a directory")
        << QStringList{"bin", "share"} << QStringList{"share/ombrix"} << false;
    QTest::newRow("data inside bin is no install")
        << QStringList{"bin/share/ombrix"} << QStringList{} << false;
}

void tst_common::layouts()
{
    QFETCH(QStringList, dirs);
    QFETCH(QStringList, files);
    QFETCH(bool, installed);
    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    const QDir root(prefix.path());
    for (const QString &dir : dirs)
        QVERIFY(root.mkpath(dir));
    for (const QString &file : files) {
        QFile f(root.filePath(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString exeDir = root.filePath(QStringLiteral("bin"));
    QVERIFY(QFileInfo(exeDir).isWritable());
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QVERIFY(dataDir.startsWith(m_home.path()));
    QDir(dataDir).removeRecursively();

    // An installed program never writes beside itself, even where it could.
    const QString shareDir = root.filePath(QStringLiteral("share/ombrix"));
    QCOMPARE(installedDataDirectory(exeDir), installed ? shareDir : QString());
    QCOMPARE(programDirectoryFor(exeDir), installed ? dataDir : exeDir);
    QCOMPARE(QFileInfo(dataDir).isDir(), installed);
    QCOMPARE(programHelpFilePathFor(exeDir),
             QDir(installed ? shareDir : exeDir).filePath(QStringLiteral("ombrix.chm")));
}

void tst_common::unwritableExecutableDirectory()
{
    if (::geteuid() == 0)
        QSKIP("root may write anywhere");
    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    const QString exeDir = QDir(prefix.path()).filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(exeDir));
    QVERIFY(QFile::setPermissions(exeDir, QFile::ReadOwner | QFile::ExeOwner));
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCOMPARE(programDirectoryFor(exeDir), dataDir);
    QVERIFY(QFileInfo(dataDir).isDir());
    QCOMPARE(programHelpFilePathFor(exeDir), QDir(exeDir).filePath(QStringLiteral("ombrix.chm")));
    QVERIFY(QFile::setPermissions(exeDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

QTEST_GUILESS_MAIN(tst_common)
#include "tst_common.moc"
