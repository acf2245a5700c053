#include "config/ProfileSettings.h"

#include "common/Globals.h"
#include "common/ProgramDir.h"
#include "config/PrivateProfile.h"
#include "session/frmDocument.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace ProfileSettings {

namespace {

const QString mainSection = QStringLiteral("Ombrix");

QString sessionSection(int i)
{
    return QStringLiteral("Session%1").arg(i);
}

// The session window's fields keep the low 16 bits of what is stored.
qint16 readField(const PrivateProfile &file, const QString &section, const QString &key)
{
    return static_cast<qint16>(file.readInt(section, key, 0));
}

// Sets a list position as a user's choice would; -1 clears the selection.
bool setListIndex(QComboBox *list, int index)
{
    if (index < -1 || index >= list->count())
        return false;
    list->setCurrentIndex(index);
    return true;
}

// Check box values as stored: 0 unchecked, 1 checked, 2 greyed.
bool setCheckState(QCheckBox *box, int value)
{
    switch (value) {
    case 0:
        box->setCheckState(Qt::Unchecked);
        return true;
    case 1:
        box->setCheckState(Qt::Checked);
        return true;
    case 2:
        box->setTristate(true);
        box->setCheckState(Qt::PartiallyChecked);
        return true;
    default:
        return false;
    }
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

} // namespace

QString resolvePath(const QString &path)
{
    return path.isEmpty() ? programFilePath(QStringLiteral("default.bvx")) : path;
}

bool getprofilesettings(ProfileWorkspace &workspace, const QString &path, Refused refused)
{
    const PrivateProfile file(resolvePath(path));
    const bool stopAtRefusal = refused == Refused::StopLoad;
    workspace.closeAllSessions();

    const qint32 numSessions = file.readInt(mainSection, QStringLiteral("NumSessions"), 0);
    if (numSessions < 0 || numSessions > maxSessions)
        return false;

    const int state = readField(file, mainSection, QStringLiteral("WindowState"));
    if (state >= 0 && state <= 2)
        workspace.setMainWindowState(state);
    else if (stopAtRefusal)
        return false;

    Globals::Password = file.readString(mainSection, QStringLiteral("Password"));

    if (numSessions == 0) {
        workspace.NewSession();
        return true;
    }

    QVector<qint16> &marks = workspace.AutoActivateMarks();
    marks = QVector<qint16>(numSessions + 2, 0);
    for (int i = 1; i <= numSessions; ++i) {
        frmDocument *session = workspace.NewSession();
        const QString section = sessionSection(i);
        session->txtLogFile->setText(file.readString(section, QStringLiteral("LogFile")));
        session->txtOutFile->setText(file.readString(section, QStringLiteral("OutputFile")));
        if (!setCheckState(session->chkLinefeeds,
                           readField(file, section, QStringLiteral("AppendLinefeeds"))) &&
            stopAtRefusal)
            return false;
        // Each list takes its stored position; a missing key selects the first entry.
        const struct
        {
            const char *key;
            QComboBox *list;
        } lists[] = {
            {"Connector", session->Combo2},   {"BaudRate", session->Combo1[0]},
            {"Parity", session->Combo1[1]},   {"Databits", session->Combo1[2]},
            {"Stopbits", session->Combo1[3]}, {"FlowControl", session->Combo1[4]},
        };
        for (const auto &[key, list] : lists) {
            if (!setListIndex(list, readField(file, section, QLatin1String(key))) && stopAtRefusal)
                return false;
        }
        if (file.readInt(section, QStringLiteral("AutoActivate"), 0) == 1)
            marks[i] = 1;
    }

    const QString last = sessionSection(numSessions);
    Globals::OnErrorRunApp = file.readString(last, QStringLiteral("OnErrorRunApp"));
    Globals::LogErrorsToFile = file.readInt(last, QStringLiteral("LogErrors"), 0);
    return true;
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
        const frmDocument *session = sessions.at(i - 1);
        last = sessionSection(i);
        file.writeString(last, QStringLiteral("LogFile"), session->txtLogFile->text());
        file.writeString(last, QStringLiteral("OutputFile"), session->txtOutFile->text());
        file.writeInt(last, QStringLiteral("AppendLinefeeds"), checkStateValue(session->chkLinefeeds));
        file.writeInt(last, QStringLiteral("Connector"), session->Combo2->currentIndex());
        file.writeInt(last, QStringLiteral("BaudRate"), session->Combo1[0]->currentIndex());
        file.writeInt(last, QStringLiteral("Parity"), session->Combo1[1]->currentIndex());
        file.writeInt(last, QStringLiteral("Databits"), session->Combo1[2]->currentIndex());
        file.writeInt(last, QStringLiteral("Stopbits"), session->Combo1[3]->currentIndex());
        file.writeInt(last, QStringLiteral("FlowControl"), session->Combo1[4]->currentIndex());
        file.writeInt(last, QStringLiteral("AutoActivate"), session->isActive() ? 1 : 0);
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
