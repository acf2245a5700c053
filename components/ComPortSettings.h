#pragma once

#include "components/LineSettings.h"
#include "components/TelnetCodec.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QSerialPort>
#include <QString>

#include <optional>

// A session's line settings in COM-PORT-OPTION terms, and the server's
// answers to them: what to send, when every setting is answered, and how
// the far port's settings read. No socket and no telnet state.
class ComPortSettings
{
    Q_DECLARE_TR_FUNCTIONS(ComPortSettings)

public:
    // The far port's settings as the answers give them, and whether any of
    // them is not what was asked.
    struct Verdict
    {
        QString text; // "baud rate 9600, 8 data bits, no parity, 1 stop bit, no flow control"
        bool differs = false;
    };

    // The commands that set the far port as asked: baud rate, data size,
    // parity, stop size and flow control, then the DTR switch. Answers to
    // what was asked before are no answers to these.
    QByteArray ask(const LineSettings &line, QSerialPort::FlowControl flow, bool lineSwitch);
    bool asked() const { return !m_asked.isEmpty(); }
    void clear();

    // Notes the server's answers; once each setting has one, the verdict.
    std::optional<Verdict> note(const QList<TelnetCodec::Answer> &answers);

    // A COM-PORT-OPTION value in words: "baud rate 9600", "even parity"...
    static QString valueText(quint8 command, const QByteArray &value);

private:
    QHash<quint8, QByteArray> m_asked;    // command -> value sent
    QHash<quint8, QByteArray> m_answered; // command -> the server's answer
};
