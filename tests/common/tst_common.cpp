#include "common/ProgramDir.h"
#include "common/SharedTimer.h"
#include "common/Twips.h"
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

    void twipsToPixels()
    {
        // Half a pixel, 7.5 twips, rounds away from zero.
        for (const auto &[twips, pixels] :
             {std::pair{1485, 99}, {2317, 154}, {2318, 155}, {8, 1}, {7, 0}, {-60, -4}, {-23, -2}})
            QCOMPARE(Twips::toPixels(twips), pixels);
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
