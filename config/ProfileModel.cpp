#include "config/ProfileModel.h"

#include "common/ProgramDir.h"
#include "config/PrivateProfile.h"

namespace ProfileSettings {

namespace {

const QString mainSection = QStringLiteral("Ombrix");

QString sessionSection(int i)
{
    return QStringLiteral("Session%1").arg(i);
}

// The session window's fields keep the low 16 bits of what is stored.
qint16 readField(const PrivateProfile &file, const QString &section, Field field)
{
    return static_cast<qint16>(file.readInt(section, keyOf(field), 0));
}

// A list takes positions within it, or -1 for no selection.
bool fitsList(int index, qsizetype count)
{
    return index >= -1 && index < count;
}

} // namespace

QString resolvePath(const QString &path)
{
    return path.isEmpty() ? programFilePath(QStringLiteral("default.bvx")) : path;
}

QString keyOf(Field field)
{
    switch (field) {
    case Field::WindowState:
        return QStringLiteral("WindowState");
    case Field::LogFile:
        return QStringLiteral("LogFile");
    case Field::OutputFile:
        return QStringLiteral("OutputFile");
    case Field::AppendLinefeeds:
        return QStringLiteral("AppendLinefeeds");
    case Field::Connector:
        return QStringLiteral("Connector");
    case Field::BaudRate:
        return QStringLiteral("BaudRate");
    case Field::Parity:
        return QStringLiteral("Parity");
    case Field::Databits:
        return QStringLiteral("Databits");
    case Field::Stopbits:
        return QStringLiteral("Stopbits");
    case Field::FlowControl:
        return QStringLiteral("FlowControl");
    }
    return {};
}

Profile readProfile(const QString &path)
{
    return readProfile(PrivateProfile(resolvePath(path)));
}

Profile readProfile(const PrivateProfile &file)
{
    Profile profile;
    profile.path = file.path();
    profile.readable = file.readable();

    profile.numSessions = file.readInt(mainSection, QStringLiteral("NumSessions"), 0);
    if (profile.numSessions < 0 || profile.numSessions > maxSessions) {
        profile.countValid = false;
        return profile;
    }

    const int state = readField(file, mainSection, Field::WindowState);
    if (state >= 0 && state <= 2)
        profile.windowState = state;
    else
        profile.refused.append({0, Field::WindowState, keyOf(Field::WindowState), state});

    profile.password = file.readString(mainSection, QStringLiteral("Password"));
    if (profile.numSessions == 0)
        return profile;

    const struct
    {
        Field field;
        qsizetype count;
        int SessionSettings::*member;
    } lists[] = {
        {Field::Connector, PortSettings::portCount + 1, &SessionSettings::port},
        {Field::BaudRate, PortSettings::baudRates().size(), &SessionSettings::baud},
        {Field::Parity, PortSettings::parityTextIds().size(), &SessionSettings::parity},
        {Field::Databits, PortSettings::dataBits().size(), &SessionSettings::dataBits},
        {Field::Stopbits, PortSettings::stopBits().size(), &SessionSettings::stopBits},
        {Field::FlowControl, PortSettings::flowControls().size(), &SessionSettings::flow},
    };
    profile.sessions.reserve(profile.numSessions);
    for (int i = 1; i <= profile.numSessions; ++i) {
        const QString section = sessionSection(i);
        SessionSettings s;
        s.logFile = file.readString(section, keyOf(Field::LogFile));
        s.outFile = file.readString(section, keyOf(Field::OutputFile));
        const int lineFeeds = readField(file, section, Field::AppendLinefeeds);
        if (lineFeeds >= 0 && lineFeeds <= 2)
            s.lineFeeds = lineFeeds;
        else
            profile.refused.append({i, Field::AppendLinefeeds, keyOf(Field::AppendLinefeeds), lineFeeds});
        // Each list takes its stored position; a missing key selects the first entry.
        for (const auto &[field, count, member] : lists) {
            const int index = readField(file, section, field);
            if (fitsList(index, count))
                s.*member = index;
            else
                profile.refused.append({i, field, keyOf(field), index});
        }
        s.autoActivate = file.readInt(section, QStringLiteral("AutoActivate"), 0) == 1;
        profile.sessions.append(s);
    }

    const QString last = sessionSection(profile.numSessions);
    profile.onErrorRunApp = file.readString(last, QStringLiteral("OnErrorRunApp"));
    profile.logErrors = file.readInt(last, QStringLiteral("LogErrors"), 0);
    return profile;
}

void writeSession(PrivateProfile &file, int number, const SessionSettings &settings)
{
    const QString section = sessionSection(number);
    file.writeString(section, keyOf(Field::LogFile), settings.logFile);
    file.writeString(section, keyOf(Field::OutputFile), settings.outFile);
    file.writeInt(section, keyOf(Field::AppendLinefeeds), settings.lineFeeds);
    file.writeInt(section, keyOf(Field::Connector), settings.port);
    file.writeInt(section, keyOf(Field::BaudRate), settings.baud);
    file.writeInt(section, keyOf(Field::Parity), settings.parity);
    file.writeInt(section, keyOf(Field::Databits), settings.dataBits);
    file.writeInt(section, keyOf(Field::Stopbits), settings.stopBits);
    file.writeInt(section, keyOf(Field::FlowControl), settings.flow);
    file.writeInt(section, QStringLiteral("AutoActivate"), settings.autoActivate ? 1 : 0);
}

} // namespace ProfileSettings
