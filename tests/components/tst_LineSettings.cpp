#include "components/LineSettings.h"
#include "tests/support/SerialFixture.h"

#include <asm/termbits.h> // termios2: the speed as a number, also for rates without a B constant
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>
#include <map>

// A pseudo-terminal has no modem lines: note the DTR state asked for, then let the request fail.
static std::map<int, bool> dtrAsked;

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    if ((request == TIOCMBIS || request == TIOCMBIC) && (*static_cast<int *>(arg) & TIOCM_DTR))
        dtrAsked[fd] = request == TIOCMBIS;
    return int(::syscall(SYS_ioctl, fd, request, arg));
}

class tst_LineSettings : public QObject
{
    Q_OBJECT
    TestEnv m_env;

private slots:
    void refused()
    {
        for (const char *bad : {"", "9600", "9600,N,8", "9600,N,8,1,1", "0,N,8,1", "-9600,N,8,1",
                                "+9600,N,8,1", "99999999999,N,8,1", "9600,X,8,1", "9600,NE,8,1", "9600,N,9,1",
                                "9600,N,4,1", "9600,N,8,3", "9600,N,8,1.0", "96 00,N,8,1", "9600;N;8;1"})
            QVERIFY2(!LineSettings::parse(QString::fromLatin1(bad)), bad);
        QVERIFY(!LineSettings::flowControl(3) && !LineSettings::flowControl(-1));
    }

    // What a session opens the device with. A pseudo-terminal keeps the speed, the stop bits, the
    // flow control and PARODD (not the data bits, not PARENB); DTR is what the component asked for.
    void appliedAtOpen()
    {
        using P = QSerialPort;
        const struct
        {
            const char *settings;
            P::Parity parity;
            P::DataBits data;
            int handshaking;
            bool lineSwitch;
            unsigned baud;
            bool twoStop, rtsCts, xonXoff, oddOrMark;
        } rows[] = {
            {"9600,N,8,1", P::NoParity, P::Data8, 0, true, 9600, false, false, false, false},
            {" 19200 , e , 7 , 1 ", P::EvenParity, P::Data7, 1, true, 19200, false, false, true, false},
            {"115200,o,6,2", P::OddParity, P::Data6, 2, false, 115200, true, true, false, true},
            {"14400,M,7,1.5", P::MarkParity, P::Data7, 0, true, 14400, false, false, false, true},
            {"110,S,5,2", P::SpaceParity, P::Data5, 2, false, 110, true, true, false, false},
        };
        for (const auto &row : rows) {
            const auto parsed = LineSettings::parse(QString::fromLatin1(row.settings));
            QVERIFY2(parsed && parsed->parity == row.parity && parsed->dataBits == row.data, row.settings);
            Pty pty;
            m_env.mapPort(9, pty.slavePath());
            QtSerialComponent component;
            component.setCommPort(9);
            component.setSettings(QString::fromLatin1(row.settings));
            component.setHandshaking(row.handshaking);
            component.setLineSwitch(row.lineSwitch);
            dtrAsked.clear();
            component.setPortOpen(true);
            QVERIFY2(component.portOpen(), row.settings);
            termios2 t{};
            QVERIFY(::syscall(SYS_ioctl, pty.masterFd(), TCGETS2, &t) == 0);
            QCOMPARE(t.c_ospeed, row.baud);
            QCOMPARE(bool(t.c_cflag & CSTOPB), row.twoStop);
            QCOMPARE(bool(t.c_cflag & CRTSCTS), row.rtsCts);
            QCOMPARE(bool(t.c_iflag & IXON) && bool(t.c_iflag & IXOFF), row.xonXoff);
            QCOMPARE(bool(t.c_cflag & PARODD), row.oddOrMark);
            QCOMPARE(dtrAsked.size(), size_t(1));
            QCOMPARE(dtrAsked.begin()->second, row.lineSwitch);
        }
    }
};

QTEST_GUILESS_MAIN(tst_LineSettings)
#include "tst_LineSettings.moc"
