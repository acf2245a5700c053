// What the program reads from outside (configuration files, the per-user settings store) may
// hold anything; none of it may crash or hang the program.

#include "resources/LoadResource.h"
#include "session/frmDocument.h"
#include "tests/support/Files.h"
#include "tests/support/TestEnv.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QTest>

class tst_BadInput : public QObject
{
    Q_OBJECT
    TestEnv m_env;

private slots:
    void initTestCase() { setLanguageOverride(Language::English); }

    void portMap_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("NUL") << QByteArray("/dev/tty\\0S0");
        QTest::newRow("a directory") << QByteArray("/");
        QTest::newRow("loop") << QByteArray("%1/loop");
    }
    // A session on the mapped port activates with a failure in its status line, never a crash or
    // a port that seems open.
    void portMap()
    {
        QFETCH(QByteArray, entry);
        QFile::remove(m_env.filePath("loop"));
        QVERIFY(QFile::link(m_env.filePath("loop"), m_env.filePath("loop")));
        // Raw bytes into the per-user settings file: what no QSettings::setValue() would write.
        const QString file = QSettings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix")).fileName();
        QVERIFY(QDir().mkpath(QFileInfo(file).path()) &&
                writeFile(file, "[Ports]\nCOM9=" +
                                    entry.replace("%1", QFile::encodeName(m_env.filePath(""))) + "\n"));
        frmDocument session;
        session.Combo2->setCurrentIndex(9);
        session.Command1_Click();
        QVERIFY(!session.isActive());
        const QString status = session.StatusBar1[0]->text();
        QVERIFY2(status.contains(QStringLiteral("Not Available")) || status.contains(QStringLiteral("Error")),
                 qPrintable(status));
    }
};

QTEST_MAIN(tst_BadInput)
#include "tst_BadInput.moc"
