// Any bytes as a configuration file, loaded into a real main window: the
// load never opens more sessions than allowed, and what it leaves open saves
// and loads again unchanged.

#include "app/frmMain.h"
#include "common/Globals.h"
#include "config/PrivateProfile.h"
#include "config/ProfileSettings.h"
#include "session/frmDocument.h"
#include "tests/fuzz/FuzzFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>

namespace {

using ProfileSettings::Refused;
using namespace Qt::StringLiterals;

// Everything a load sets, in one comparable value.
QStringList snapshot(frmMain &window)
{
    QStringList state{QString::number(window.mainWindowState()), Globals::Password, Globals::OnErrorRunApp,
                      QString::number(Globals::LogErrorsToFile)};
    for (const frmDocument *session : window.sessions()) {
        state << session->txtLogFile->text() << session->txtOutFile->text()
              << QString::number(session->chkLinefeeds->checkState())
              << QString::number(session->Combo2->currentIndex());
        for (const QComboBox *list : session->Combo1)
            state << QString::number(list->currentIndex());
    }
    return state;
}

// One application and window for the whole run: creating them costs more than a load.
frmMain &mainWindow()
{
    static int argc = 1;
    static char name[] = "fuzz_ProfileSettings", *argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    static frmMain window;
    // A minimised window must never reach the tray and password logic.
    window.Timer1.stop();
    return window;
}

// Loads with both refusal rules, checks the session count, then saves what
// is open and loads it again.
void loadSaveLoad(frmMain &window, const QString &file, Refused refused)
{
    const qint32 stored = PrivateProfile(file).readInt(u"Ombrix"_s, u"NumSessions"_s);
    const bool loaded = ProfileSettings::getprofilesettings(window, file, refused);
    const qsizetype open = window.sessions().size();
    FUZZ_CHECK(open <= ProfileSettings::maxSessions);
    const bool validCount = stored >= 0 && stored <= ProfileSettings::maxSessions;
    FUZZ_CHECK(validCount || (!loaded && open == 0));
    FUZZ_CHECK(!validCount || !loaded || open == qMax(1, stored));
    FUZZ_CHECK(!validCount || refused != Refused::SkipValue || loaded);

    // With no session open, a save and load would open one with defaults.
    if (open == 0)
        return;
    const QStringList before = snapshot(window);
    const QString copy = FuzzFile::path("saved.bvx");
    QFile::remove(copy);
    FUZZ_CHECK(ProfileSettings::writeprofilesettings(window, copy));
    FUZZ_CHECK(ProfileSettings::getprofilesettings(window, copy, Refused::StopLoad));
    FUZZ_CHECK(snapshot(window) == before);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    frmMain &window = mainWindow();
    Globals::Password.clear();
    Globals::OnErrorRunApp.clear();
    Globals::LogErrorsToFile = 0;

    const QString file = FuzzFile::path("configuration.bvx");
    FuzzFile::put(file, data, size);
    // Each session window takes tens of milliseconds to build: an input
    // asking for many would spend the fuzzer's time on widgets. Counts
    // beyond the limit still load (and are refused).
    const qint32 stored = PrivateProfile(file).readInt(u"Ombrix"_s, u"NumSessions"_s);
    if (stored > 16 && stored <= ProfileSettings::maxSessions)
        return 0;
    loadSaveLoad(window, file, Refused::StopLoad);
    loadSaveLoad(window, file, Refused::SkipValue);

    window.closeAllSessions();
    // Without an event loop, posted events pile up and every widget's
    // destruction searches them all.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
