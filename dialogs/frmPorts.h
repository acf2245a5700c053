#pragma once

#include "components/PortMap.h"

#include <QDialog>
#include <QSet>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// The "Serial Ports" dialog: every COM number that has an entry in the port
// map or a device present, and every serial device present, numbered or
// not. The user gives a device another free number, types a path or network
// address for a number, or removes an entry. Each change is stored at once
// and reaches a session when it is next activated; the numbers of active
// sessions stay as they are.
class frmPorts : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(frmPorts)

public:
    // `activePorts`: the numbers active sessions use; `current` is selected first.
    explicit frmPorts(const QSet<int> &activePorts, int current = 0);

    static void showModal(const QSet<int> &activePorts, int current);

    // The list's columns.
    enum Column { ColumnNumber, ColumnDevice, ColumnDescription, ColumnPresent, ColumnCount };

    QLabel *lblDevices = nullptr;
    QTreeWidget *lstPorts = nullptr;
    QLabel *lblFree = nullptr;
    QComboBox *cboFree = nullptr;
    QPushButton *cmdMove = nullptr;
    QPushButton *cmdRemove = nullptr;
    QLabel *lblPort = nullptr;
    QComboBox *cboPort = nullptr;
    QLabel *lblPath = nullptr;
    QLineEdit *txtPath = nullptr;
    QPushButton *cmdSet = nullptr;
    QLabel *lblInfo = nullptr;
    QPushButton *cmdClose = nullptr;

private:
    void createControls();
    void reload(int select);
    void showRows(int select);
    void rowChanged();
    void moveClick();
    void setClick();
    void removeClick();
    const PortMap::Row *selectedRow() const;
    bool refusedActive(int port);
    void store(bool stored, int port);

    const QSet<int> m_active;
    QList<PortMap::Row> m_rows; // as the list shows them
};
