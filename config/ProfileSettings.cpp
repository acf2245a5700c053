#include "config/ProfileSettings.h"

#include "common/Globals.h"
#include "config/PrivateProfile.h"
#include "session/frmDocument.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <algorithm>
#include <optional>

namespace ProfileSettings {

namespace {

const QString mainSection = QStringLiteral("Ombrix");

// Check box values as stored: 0 unchecked, 1 checked, 2 greyed.
void setCheckState(QCheckBox *box, int value)
{
    if (value == 2)
        box->setTristate(true);
    box->setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

int checkStateValue(const QCheckBox *box)
{
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

// Sets a session window's fields from stored settings, in file order, as a
// user's choices would; with `stopAt`, only the fields read before it. Values
// the reader refused were left at the window's own defaults, so setting them
// changes nothing.
void applySettings(frmDocument *session, const SessionSettings &s, std::optional<Field> stopAt = {})
{
    const auto before = [stopAt](Field field) { return !stopAt || field < *stopAt; };
    if (before(Field::LogFile))
        session->txtLogFile->setText(s.logFile);
    if (before(Field::OutputFile))
        session->txtOutFile->setText(s.outFile);
    if (before(Field::AppendLinefeeds))
        setCheckState(session->chkLinefeeds, s.lineFeeds);
    const struct
    {
        Field field;
        QComboBox *list;
        int value;
    } lists[] = {
        {Field::Connector, session->Combo2, s.port},       {Field::BaudRate, session->Combo1[0], s.baud},
        {Field::Parity, session->Combo1[1], s.parity},     {Field::Databits, session->Combo1[2], s.dataBits},
        {Field::Stopbits, session->Combo1[3], s.stopBits}, {Field::FlowControl, session->Combo1[4], s.flow},
    };
    for (const auto &[field, list, value] : lists) {
        if (before(field))
            list->setCurrentIndex(value);
    }
}

SessionSettings settingsOf(const frmDocument *session)
{
    SessionSettings s;
    s.logFile = session->txtLogFile->text();
    s.outFile = session->txtOutFile->text();
    s.lineFeeds = checkStateValue(session->chkLinefeeds);
    s.port = session->Combo2->currentIndex();
    s.baud = session->Combo1[0]->currentIndex();
    s.parity = session->Combo1[1]->currentIndex();
    s.dataBits = session->Combo1[2]->currentIndex();
    s.stopBits = session->Combo1[3]->currentIndex();
    s.flow = session->Combo1[4]->currentIndex();
    s.autoActivate = session->isActive();
    return s;
}

} // namespace

bool getprofilesettings(ProfileWorkspace &workspace, const QString &path, Refused refused)
{
    const Profile profile = readProfile(path);
    const bool stopAtRefusal = refused == Refused::StopLoad;
    workspace.closeAllSessions();
    if (!profile.countValid)
        return false;

    // At start-up the load ends quietly at the first refused value; from
    // File > Open the field keeps what it had and the load goes on.
    const RefusedValue *stop =
        stopAtRefusal && !profile.refused.isEmpty() ? &profile.refused.first() : nullptr;
    const bool stateRefused = std::any_of(profile.refused.begin(), profile.refused.end(),
                                          [](const RefusedValue &r) { return r.session == 0; });
    if (!stateRefused)
        workspace.setMainWindowState(profile.windowState);
    else if (stop)
        return false;

    Globals::Password = profile.password;

    if (profile.numSessions == 0) {
        workspace.NewSession();
        return true;
    }

    QVector<qint16> &marks = workspace.AutoActivateMarks();
    marks = QVector<qint16>(profile.numSessions + 2, 0);
    for (int i = 1; i <= profile.sessions.size(); ++i) {
        frmDocument *session = workspace.NewSession();
        const SessionSettings &s = profile.sessions.at(i - 1);
        if (stop && stop->session == i) {
            applySettings(session, s, stop->field);
            return false;
        }
        applySettings(session, s);
        if (s.autoActivate)
            marks[i] = 1;
    }

    Globals::OnErrorRunApp = profile.onErrorRunApp;
    Globals::LogErrorsToFile = profile.logErrors;
    return true;
}

void activateMarkedSessions(ProfileWorkspace &workspace)
{
    const QList<frmDocument *> open = workspace.sessions();
    QVector<qint16> &marks = workspace.AutoActivateMarks();
    for (int k = 1; k <= open.size() && k < marks.size(); ++k) {
        if (marks[k] == 1) {
            open.at(k - 1)->Command1_Click();
            marks[k] = 0;
        }
    }
}

bool writeprofilesettings(const ProfileWorkspace &workspace, const QString &path, QString *error)
{
    PrivateProfile file(resolvePath(path));
    const QList<frmDocument *> sessions = workspace.sessions();

    file.writeInt(mainSection, QStringLiteral("NumSessions"), qint32(sessions.size()));
    file.writeInt(mainSection, QStringLiteral("WindowState"), workspace.mainWindowState());
    file.writeString(mainSection, QStringLiteral("Password"), Globals::Password);

    QString last = mainSection;
    for (int i = 1; i <= sessions.size(); ++i) {
        writeSession(file, i, settingsOf(sessions.at(i - 1)));
        last = QStringLiteral("Session%1").arg(i);
    }
    file.writeString(last, QStringLiteral("OnErrorRunApp"), Globals::OnErrorRunApp);
    file.writeInt(last, QStringLiteral("LogErrors"), Globals::LogErrorsToFile);

    if (file.save())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace ProfileSettings
