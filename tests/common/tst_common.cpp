#include "common/ProgramDir.h"
#include "common/SharedTimer.h"
#include "common/UserStore.h"
#include "common/WindowPlacement.h"
#include "tests/support/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <utility>

class tst_common : public QObject
{
    Q_OBJECT

    TestEnv m_env; // the per-user data directory lies in a throw-away home

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Ombrix"));
        QCoreApplication::setApplicationName(QStringLiteral("Ombrix"));
    }

    // The main window's placement (at first 10,20 491x308 pixels) from hostile stored values:
    // MainLeft,MainTop,MainWidth,MainHeight, one value for all, or none; "\0" stands for NUL.
    void windowPlacement_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QSize>("desktop");
        QTest::addColumn<QRect>("placed");
        QTest::addColumn<QString>("stores"); // what the end stores, the window unmoved
        const auto row = [](const char *name, const char *stored, QRect placed, const char *stores,
                            QSize desktop = {1024, 768}) {
            QTest::newRow(name) << QString(stored) << desktop << placed << QString(stores);
        };
        row("none: defaults", "", {67, 67, 467, 333}, "1000,1000,7000,5000");
        // Half a pixel, 7.5 twips, rounds away from zero; what was read is stored again unrounded.
        row("twips to pixels", "-23,-7,2317,2318", {-2, 0, 154, 155}, "-23,-7,2317,2318");
        for (const char *text : {"abc", "nan", "1\\0 2", "1e30", "10000000"})
            row(text, text, {10, 20, 491, 308}, "150,300,7365,4620");
        row("just below the limit", "9999999", {32767, 32767, 1024, 768}, "491505,491505,15360,11520");
        row("negative or too tall", "-3000,-3000,-15,24000", {-200, -200, 1, 768}, "-3000,-3000,15,11520");
        row("no desktop", "-600000,0,600000,9000", {-32767, 0, 32767, 600}, "-491505,0,491505,9000", {});
    }
    void windowPlacement()
    {
        QFETCH(QString, stored);
        QFETCH(QSize, desktop);
        const QStringList values = stored.replace(QStringLiteral("\\0"), QChar(u'\0')).split(',');
        const char *const keys[] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
        QSettings settings = UserStore::open();
        settings.remove(QStringLiteral("Settings"));
        for (int i = 0; i < 4 && !stored.isEmpty(); ++i)
            settings.setValue(QStringLiteral("Settings/") + keys[i], values.value(i, values[0]));
        WindowPlacement placement;
        const QRect placed = placement.restore(QRect(10, 20, 491, 308), desktop);
        QTEST(placed, "placed");
        placement.store(placed);
        QStringList kept;
        for (const char *key : keys)
            kept << settings.value(QStringLiteral("Settings/") + key).toString();
        QTEST(kept.join(','), "stores");
    }

    void programDirectory_data()
    {
        // Paths made under a temporary prefix, directories ending in '/'; the executable lives in bin.
        // Chosen: "bin", the per-user "data", or "data" of an "installed" program.
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("build tree") << QStringList{"bin/"} << "bin";
        QTest::newRow("no writable bin") << QStringList{} << "data";
        QTest::newRow("installed") << QStringList{"bin/", "share/ombrix/"} << "installed";
        QTest::newRow("other program's data") << QStringList{"bin/", "share/other/"} << "bin";
        QTest::newRow("a file, not a directory") << QStringList{"bin/", "share/ombrix"} << "bin";
        QTest::newRow("data inside bin is no install") << QStringList{"bin/share/ombrix/"} << "bin";
    }
    void programDirectory()
    {
        QFETCH(QStringList, paths);
        QFETCH(QString, chosen);
        QTemporaryDir prefix;
        const QDir root(prefix.path());
        for (const QString &path : paths) {
            QVERIFY(root.mkpath(path.section(QLatin1Char('/'), 0, -2)));
            QVERIFY(path.endsWith(QLatin1Char('/')) || QFile(root.filePath(path)).open(QIODevice::WriteOnly));
        }
        const QString exeDir = root.filePath(QStringLiteral("bin"));
        const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QVERIFY(dataDir.startsWith(m_env.path()));
        QDir(dataDir).removeRecursively();

        // An installed program never writes beside itself, even where it could.
        const bool installed = chosen == QLatin1String("installed");
        const QString shareDir = root.filePath(QStringLiteral("share/ombrix"));
        QCOMPARE(installedDataDirectory(exeDir), installed ? shareDir : QString());
        QCOMPARE(programDirectoryFor(exeDir), chosen == QLatin1String("bin") ? exeDir : dataDir);
        QCOMPARE(QFileInfo(dataDir).isDir(), chosen != QLatin1String("bin")); // made when chosen
        QCOMPARE(programHelpFilePathFor(exeDir),
                 (installed ? shareDir : exeDir) + QStringLiteral("/ombrix.chm"));
    }

    // Sessions' indicator timers share one real timer per interval; a handler may stop or delete others.
    void sharedTimersShareOneClock()
    {
        SharedTimer a, b, c;
        auto *doomed = new SharedTimer;
        QSignalSpy bTicks(&b, &SharedTimer::timeout), cTicks(&c, &SharedTimer::timeout);
        int doomedFired = 0, aFired = 0;
        connect(doomed, &SharedTimer::timeout, this, [&] { ++doomedFired; });
        a.callOnTimeout([&] { // a direct handler, the others by signal
            ++aFired;
            delete std::exchange(doomed, nullptr);
            c.stop();
            a.stop(), a.start(); // now last: behind b, who still fires at this tick
        });
        for (SharedTimer *t : {&a, doomed, &c, &b}) {
            t->setInterval(10);
            t->start();
        }
        QCOMPARE(SharedTimer::clockCount(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(bTicks.count() >= 3, 20000);
        QCOMPARE(aFired, bTicks.count());          // both fire at every tick
        QCOMPARE(doomedFired + cTicks.count(), 0); // deleted or stopped at the first tick, before their turn
        // A new interval moves a running timer to a clock of its own.
        b.setInterval(20);
        QVERIFY(b.isActive());
        QCOMPARE(SharedTimer::clockCount(), 2);
        QVERIFY(bTicks.wait(20000));
        a.stop();
        b.stop();
        QCOMPARE(SharedTimer::clockCount(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_common)
#include "tst_common.moc"
