#pragma once

#include <QCoreApplication>
#include <QSerialPort>
#include <QString>

// Why a serial device could not be opened, in words a user can act on. The
// facts come from the system (the device's group, the login name, the
// program holding the device); the wording is kept apart from gathering
// them, so that cases this process cannot produce (it may run as root) can
// be checked too.
class PortDiagnosis
{
    Q_DECLARE_TR_FUNCTIONS(PortDiagnosis)

public:
    enum class Kind {
        NoDevice,           // nothing at the path
        PermissionDenied,   // the device refused this user
        InUse,              // another program (or another session) holds it
        NotSerial,          // it opens, but is no terminal
        UnsupportedSetting, // the device refused the line settings
        Other,              // anything else: the system's own words
    };

    struct Facts
    {
        Kind kind = Kind::Other;
        QString device{};               // the path opened; for NoDevice the path the port map gave
        int port = 0;                   // NoDevice: the COM number, 0 when not known
        QString systemText{};           // Other: the system's words
        QString group{};                // PermissionDenied: the group owning the device
        bool groupMayOpen = false;      // ... and its mode lets that group read and write
        QString user{};                 // PermissionDenied: the login name
        bool inGroupAfterLogin = false; // the group lists the user, this login does not have it yet
        QString holder{};               // InUse: the holding program's name, when known
        qint64 holderPid = 0;           // InUse: its process id, 0 when not known
        bool heldByThisProcess = false; // InUse: another session of this program has it
    };

    struct Holder
    {
        QString name;
        qint64 pid = 0; // 0: none found
    };

    // The words for a set of facts, starting with the device.
    static QString describe(const Facts &facts);

    // Sorts a failed open by what QSerialPort reported.
    static Kind classify(QSerialPort::SerialPortError error, const QString &errorString);

    // classify() plus the facts the system can tell about `device`.
    static Facts examine(QSerialPort::SerialPortError error, const QString &errorString,
                         const QString &device);

    // Who holds `device` open: the process named in its lock file, else
    // another process with a descriptor on it. Only what this user may see.
    static Holder findHolder(const QString &device);
};
