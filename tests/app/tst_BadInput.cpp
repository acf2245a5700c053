// What the program reads from outside (configuration files, the per-user
// settings store, the command line) may hold anything; none of it may crash
// or hang the program.

#include "app/frmMain.h"
#include "common/Globals.h"
#include "config/PrivateProfile.h"
#include "resources/LoadResource.h"
#include "session/frmDocument.h"
#include "tests/support/Files.h"
#include "tests/support/TestEnv.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <memory>

namespace {

// The per-user settings file as raw bytes, so that a test can store what no
// QSettings::setValue() would write.
QString settingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Ombrix/Ombrix.conf");
}

bool putSettings(const QByteArray &bytes)
{
    return QDir().mkpath(QFileInfo(settingsFile()).path()) && writeFile(settingsFile(), bytes);
}

} // namespace

class tst_BadInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { setLanguageOverride(Language::English); }
    void init();

    void placement_data();
    void placement();
    void portMap_data();
    void portMap();

private:
    QString path(const QString &name) const { return m_env.filePath(name); }
    TestEnv m_env;
};

void tst_BadInput::init()
{
    QFile::remove(settingsFile());
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/default.bvx"));
}

void tst_BadInput::placement_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("NUL") << QByteArray("1\\0 2");
    QTest::newRow("just below the limit") << QByteArray("9999999");
    QTest::newRow("not a number") << QByteArray("nan");
}

// Every placement value the same text; the window is shown and closed as at
// a real start and end.
void tst_BadInput::placement()
{
    QFETCH(QByteArray, value);
    QByteArray settings("[Settings]\n");
    for (const char *key : {"MainLeft", "MainTop", "MainWidth", "MainHeight"})
        settings += key + ('=' + value) + '\n';
    QVERIFY(putSettings(settings));

    auto window = std::make_unique<frmMain>();
    window->MDIForm_Load(QString());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(window->width() >= 1 && window->height() >= 1);
    // No larger than a window system can show.
    QVERIFY(window->width() <= 32767 && window->height() <= 32767);
    QVERIFY(window->close());
    window.reset();

    // What the end stored reads back as numbers.
    QSettings stored(QStringLiteral("Ombrix"), QStringLiteral("Ombrix"));
    for (const char *key : {"MainLeft", "MainTop", "MainWidth", "MainHeight"}) {
        bool ok = false;
        stored.value(QStringLiteral("Settings/") + QLatin1String(key)).toString().toFloat(&ok);
        QVERIFY2(ok, key);
    }
}

void tst_BadInput::portMap_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("NUL") << QByteArray("/dev/tty\\0S0");
    QTest::newRow("a directory") << QByteArray("/");
    QTest::newRow("loop") << QByteArray("%1/loop");
}

// A session on the mapped port activates with a failure in its status line,
// never a crash or a port that seems open.
void tst_BadInput::portMap()
{
    QFETCH(QByteArray, entry);
    entry.replace("%1", QFile::encodeName(path("")));
    QFile::remove(path("loop"));
    QVERIFY(QFile::link(path("loop"), path("loop")));
    QVERIFY(putSettings("[Ports]\nCOM9=" + entry + "\n"));

    frmDocument session;
    session.Combo2->setCurrentIndex(9);
    QVERIFY(!session.Combo2->toolTip().isEmpty());
    session.Command1_Click();
    QVERIFY(!session.isActive());
    const QString status = session.StatusBar1[0]->text();
    QVERIFY2(status.contains(QStringLiteral("Not Available")) || status.contains(QStringLiteral("Error")),
             qPrintable(status));
}

QTEST_MAIN(tst_BadInput)
#include "tst_BadInput.moc"
