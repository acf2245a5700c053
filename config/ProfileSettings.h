#pragma once

#include "config/ProfileModel.h"

#include <QList>
#include <QString>
#include <QVector>

class frmDocument;

// What the configuration load and save need of the main window.
class ProfileWorkspace
{
public:
    virtual ~ProfileWorkspace() = default;

    // Closes every session window, the most recently opened first.
    virtual void closeAllSessions() = 0;
    // Opens one more session window with its defaults and returns it.
    virtual frmDocument *NewSession() = 0;
    // The open session windows in the order they were opened.
    virtual QList<frmDocument *> sessions() const = 0;
    // 0 normal, 1 minimised, 2 maximised.
    virtual int mainWindowState() const = 0;
    virtual void setMainWindowState(int state) = 0;
    // Which sessions start-up activates, by session number (index 0 unused).
    virtual QVector<qint16> &AutoActivateMarks() = 0;
};

namespace ProfileSettings {

// What a load does with a value that its field refuses.
enum class Refused {
    StopLoad,  // at start-up: the load ends there, quietly
    SkipValue, // from File > Open: the field keeps what it had, the load goes on
};

// Loads the configuration file at `path` into the workspace: closes every
// session, opens the stored ones with their settings, and sets the window
// state, the password and the error options. Returns false when it stopped
// at a refused value.
bool getprofilesettings(ProfileWorkspace &workspace, const QString &path,
                        Refused refused = Refused::StopLoad);

// Activates the sessions that the last load marked, in session order, and
// clears their marks: the start-up does this once the load is over.
void activateMarkedSessions(ProfileWorkspace &workspace);

// Saves the open configuration to `path` in one atomic replacement of the
// file; keys and sections this save does not write stay as they were.
// Returns false, with the reason in `error`, when the file was not written.
bool writeprofilesettings(const ProfileWorkspace &workspace, const QString &path, QString *error = nullptr);

} // namespace ProfileSettings
