#include "components/ComPortSettings.h"

#include <QStringList>
#include <QtEndian>

namespace {

// COM-PORT-OPTION values (the server answers in the same terms).
char parityValue(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::OddParity:
        return 2;
    case QSerialPort::EvenParity:
        return 3;
    case QSerialPort::MarkParity:
        return 4;
    case QSerialPort::SpaceParity:
        return 5;
    default:
        return 1;
    }
}

// SET-CONTROL values: outbound flow control, then DTR on and off.
char flowValue(QSerialPort::FlowControl flow)
{
    return flow == QSerialPort::SoftwareControl ? 2 : flow == QSerialPort::HardwareControl ? 3 : 1;
}
constexpr char dtrOn = 8, dtrOff = 9;

} // namespace

QByteArray ComPortSettings::ask(const LineSettings &line, QSerialPort::FlowControl flow, bool lineSwitch)
{
    char baud[4];
    qToBigEndian<quint32>(quint32(line.baudRate), baud);
    m_asked = {
        {TelnetCodec::SetBaudRate, QByteArray(baud, 4)},
        {TelnetCodec::SetDataSize, QByteArray(1, char(line.dataBits))},
        {TelnetCodec::SetParity, QByteArray(1, parityValue(line.parity))},
        {TelnetCodec::SetStopSize, QByteArray(1, line.stopBits == QSerialPort::TwoStop ? 2 : 1)},
        {TelnetCodec::SetControl, QByteArray(1, flowValue(flow))},
    };
    m_answered.clear();
    QByteArray out;
    for (quint8 command = TelnetCodec::SetBaudRate; command <= TelnetCodec::SetControl; ++command)
        out += TelnetCodec::command(TelnetCodec::Command(command), m_asked.value(command));
    return out + TelnetCodec::command(TelnetCodec::SetControl, QByteArray(1, lineSwitch ? dtrOn : dtrOff));
}

void ComPortSettings::clear()
{
    m_asked.clear();
    m_answered.clear();
}

std::optional<ComPortSettings::Verdict> ComPortSettings::note(const QList<TelnetCodec::Answer> &answers)
{
    for (const TelnetCodec::Answer &answer : answers) {
        const auto asked = m_asked.constFind(answer.command);
        // An answer to a setting this side never sent, or of the wrong
        // length, says nothing readable. The DTR switch is answered with
        // SET-CONTROL too; a port without modem lines may refuse it, which
        // is no reason to complain.
        if (asked == m_asked.constEnd() || answer.value.size() != asked->size() ||
            (answer.command == TelnetCodec::SetControl && quint8(answer.value.at(0)) > 3))
            continue;
        m_answered.insert(answer.command, answer.value);
    }
    if (answers.isEmpty() || m_answered.size() < m_asked.size() || m_asked.isEmpty())
        return std::nullopt;
    // Data bits and parity that no local read-back could show.
    QStringList texts;
    Verdict verdict;
    for (quint8 command = TelnetCodec::SetBaudRate; command <= TelnetCodec::SetControl; ++command) {
        const QByteArray answer = m_answered.value(command);
        QString text = valueText(command, answer);
        if (answer != m_asked.value(command)) {
            verdict.differs = true;
            text += tr(" (not %1 as asked)").arg(valueText(command, m_asked.value(command)));
        }
        texts << text;
    }
    verdict.text = texts.join(QStringLiteral(", "));
    return verdict;
}

QString ComPortSettings::valueText(quint8 command, const QByteArray &value)
{
    const quint8 v = value.isEmpty() ? 0 : quint8(value.at(0));
    switch (command) {
    case TelnetCodec::SetBaudRate: {
        quint32 baud = 0; // big-endian, four bytes as sent
        for (const char c : value.left(4))
            baud = baud << 8 | quint8(c);
        return tr("baud rate %1").arg(baud);
    }
    case TelnetCodec::SetDataSize:
        return tr("%1 data bits").arg(v);
    case TelnetCodec::SetParity: {
        static const char *const names[] = {"no", "odd", "even", "mark", "space"};
        return v >= 1 && v <= 5 ? tr("%1 parity").arg(QLatin1String(names[v - 1])) : tr("parity %1").arg(v);
    }
    case TelnetCodec::SetStopSize:
        return v == 1 ? tr("1 stop bit") : v == 3 ? tr("1.5 stop bits") : tr("%1 stop bits").arg(v);
    default: {
        static const char *const names[] = {"no flow control", "XON/XOFF", "RTS/CTS"};
        return v >= 1 && v <= 3 ? tr(names[v - 1]) : tr("flow control %1").arg(v);
    }
    }
}
