#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the user-interface
// thread. The handler only writes a byte into a pipe; everything else
// happens when the event loop reads it.
class UnixSignals : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(UnixSignals)

public:
    explicit UnixSignals(QObject *parent = nullptr);
    ~UnixSignals() override;

signals:
    void closeRequested(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};
