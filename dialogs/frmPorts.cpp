#include "dialogs/frmPorts.h"

#include "common/Twips.h"
#include "components/PortMap.h"
#include "components/SerialDevices.h"
#include "resources/DesignForm.h"
#include "resources/LoadResource.h"
#include "common/UserStore.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>

#include <algorithm>

namespace {

using DesignForm::named;
using DesignForm::place;

// Designed client area, in twips.
constexpr int clientWidth = 8400;
constexpr int clientHeight = 5400;

// String-table ids.
constexpr int TextTitle = 4201;
constexpr int TextHeaders = 4206; // 4206 to 4209, one per column
constexpr int TextYes = 4210;
constexpr int TextNo = 4211;
constexpr int TextNote = 4220;
constexpr int TextActive = 4221;
constexpr int TextNoPath = 4222;
constexpr int TextNowOpens = 4223;
constexpr int TextRemoved = 4224;
constexpr int TextNoNumber = 4225;
constexpr int TextNotStored = 4226;
constexpr int TextNetwork = 4227;

QString comName(int port)
{
    return QStringLiteral("COM%1").arg(port);
}

} // namespace

frmPorts::frmPorts(const QSet<int> &activePorts, int current)
    : QDialog(nullptr, DesignForm::dialogFlags)
    , m_active(activePorts)
{
    setObjectName(QStringLiteral("frmPorts"));
    setProperty("Tag", QString::number(TextTitle));
    installFontSubstitutions();
    setFont(DesignForm::font());
    setFixedSize(Twips::toPixels(clientWidth), Twips::toPixels(clientHeight));
    createControls();
    ApplyResourceStrings(this);
    QStringList headers;
    for (int column = 0; column < ColumnCount; ++column)
        headers << LoadResource(TextHeaders + column);
    lstPorts->setHeaderLabels(headers);
    reload(current);

    connect(lstPorts, &QTreeWidget::currentItemChanged, this, &frmPorts::rowChanged);
    connect(cmdMove, &QPushButton::clicked, this, &frmPorts::moveClick);
    connect(cmdSet, &QPushButton::clicked, this, &frmPorts::setClick);
    connect(txtPath, &QLineEdit::returnPressed, this, &frmPorts::setClick);
    connect(cmdRemove, &QPushButton::clicked, this, &frmPorts::removeClick);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    rowChanged();
}

void frmPorts::showModal(const QSet<int> &activePorts, int current)
{
    frmPorts dialog(activePorts, current);
    dialog.exec();
}

void frmPorts::createControls()
{
    lblDevices = named(new QLabel(this), QStringLiteral("lblDevices"), QStringLiteral("4212"));
    place(lblDevices, 120, 120, 5000, 225);
    lstPorts = named(new QTreeWidget(this), QStringLiteral("lstPorts"));
    lstPorts->setFont(resourceFont());
    lstPorts->setRootIsDecorated(false);
    lstPorts->setUniformRowHeights(true);
    lstPorts->setAllColumnsShowFocus(true);
    lstPorts->setTextElideMode(Qt::ElideMiddle); // the ends of a long link name tell adapters apart
    lstPorts->setColumnCount(ColumnCount);
    place(lstPorts, 120, 360, 8160, 2400);
    for (const auto &[column, width] :
         {std::pair(ColumnNumber, 60), std::pair(ColumnDevice, 230), std::pair(ColumnDescription, 180)})
        lstPorts->setColumnWidth(column, width);

    lblFree = named(new QLabel(this), QStringLiteral("lblFree"), QStringLiteral("4213"));
    place(lblFree, 120, 2925, 2000, 225);
    cboFree = named(new QComboBox(this), QStringLiteral("cboFree"));
    place(cboFree, 2160, 2880, 1200, 315);
    cmdMove = named(new QPushButton(this), QStringLiteral("cmdMove"), QStringLiteral("4214"));
    place(cmdMove, 3480, 2865, 2000, 345);
    cmdRemove = named(new QPushButton(this), QStringLiteral("cmdRemove"), QStringLiteral("4218"));
    place(cmdRemove, 6600, 2865, 1680, 345);

    lblPort = named(new QLabel(this), QStringLiteral("lblPort"), QStringLiteral("4215"));
    place(lblPort, 120, 3405, 2000, 225);
    cboPort = named(new QComboBox(this), QStringLiteral("cboPort"));
    for (int port = PortMap::firstPort; port <= PortMap::lastPort; ++port)
        cboPort->addItem(comName(port), port);
    place(cboPort, 2160, 3360, 1200, 315);
    lblPath = named(new QLabel(this), QStringLiteral("lblPath"), QStringLiteral("4216"));
    place(lblPath, 120, 3885, 2000, 225);
    txtPath = named(new QLineEdit(this), QStringLiteral("txtPath"));
    place(txtPath, 2160, 3840, 4320, 315);
    cmdSet = named(new QPushButton(this), QStringLiteral("cmdSet"), QStringLiteral("4217"));
    place(cmdSet, 6600, 3825, 1680, 345);

    lblInfo = named(new QLabel(this), QStringLiteral("lblInfo"), QString::number(TextNote));
    lblInfo->setWordWrap(true);
    lblInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    place(lblInfo, 120, 4320, 6360, 960);
    cmdClose = named(new QPushButton(this), QStringLiteral("cmdClose"), QStringLiteral("4219"));
    place(cmdClose, 6600, 4860, 1680, 375);

    lblDevices->setBuddy(lstPorts);
    lblFree->setBuddy(cboFree);
    lblPort->setBuddy(cboPort);
    lblPath->setBuddy(txtPath);
    // Return in the path field sets the entry; no button takes it over.
    for (QPushButton *button : {cmdMove, cmdRemove, cmdSet, cmdClose})
        button->setAutoDefault(false);
    const QList<QWidget *> order = {lstPorts, cboFree, cmdMove, cmdRemove,
                                    cboPort,  txtPath, cmdSet,  cmdClose};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
    lstPorts->setFocus();
}

void frmPorts::reload(int select)
{
    // By number, then the devices without one, each group in the table's order.
    m_rows = PortMap::rows();
    const auto rank = [](const PortMap::Row &row) {
        return row.port == 0 ? PortMap::lastPort + 1 : row.port;
    };
    std::stable_sort(m_rows.begin(), m_rows.end(),
                     [&rank](const PortMap::Row &a, const PortMap::Row &b) { return rank(a) < rank(b); });
    showRows(select);

    // Free: no entry, no UART behind the default device, no active session.
    const QMap<int, QString> entries = PortMap::entries();
    cboFree->clear();
    for (int port = PortMap::firstPort; port <= PortMap::lastPort; ++port) {
        if (PortMap::isFree(port, entries) && !m_active.contains(port))
            cboFree->addItem(comName(port), port);
    }
}

void frmPorts::showRows(int select)
{
    const QSignalBlocker blocker(lstPorts);
    lstPorts->clear();
    QTreeWidgetItem *selected = nullptr;
    for (const PortMap::Row &row : std::as_const(m_rows)) {
        auto *item = new QTreeWidgetItem(lstPorts);
        item->setText(ColumnNumber, row.port ? comName(row.port) : LoadResource(TextNoNumber));
        item->setText(ColumnDevice, row.value);
        if (row.network) {
            // A network port is reached when a session opens it; it is neither here nor missing.
            item->setText(ColumnDescription, LoadResource(TextNetwork));
        } else {
            // Without words from the system, the node tells a device behind a link.
            item->setText(ColumnDescription,
                          !row.description.isEmpty() || row.node == row.value ? row.description : row.node);
            item->setText(ColumnPresent, LoadResource(row.present ? TextYes : TextNo));
        }
        item->setToolTip(ColumnDevice,
                         row.present ? row.value + QStringLiteral(" → ") + row.node : row.value);
        if (row.port == select && select != 0)
            selected = item;
    }
    lstPorts->setCurrentItem(selected ? selected : lstPorts->topLevelItem(0));
}

const PortMap::Row *frmPorts::selectedRow() const
{
    const int index = lstPorts->indexOfTopLevelItem(lstPorts->currentItem());
    return index >= 0 && index < m_rows.size() ? &m_rows.at(index) : nullptr;
}

void frmPorts::rowChanged()
{
    const PortMap::Row *row = selectedRow();
    cmdMove->setEnabled(row && cboFree->count() > 0);
    cmdRemove->setEnabled(row && row->hasEntry);
    if (!row)
        return;
    if (row->port > 0)
        cboPort->setCurrentIndex(cboPort->findData(row->port));
    txtPath->setText(row->value);
    txtPath->setCursorPosition(0);
    if (m_active.contains(row->port))
        lblInfo->setText(LoadResource(TextActive).arg(row->port));
    else if (const QString advice = SerialDevices::permissionAdvice(row->node); !advice.isEmpty())
        lblInfo->setText(advice);
    else
        lblInfo->setText(LoadResource(TextNote));
}

bool frmPorts::refusedActive(int port)
{
    if (!m_active.contains(port))
        return false;
    lblInfo->setText(LoadResource(TextActive).arg(port));
    return true;
}

void frmPorts::store(bool stored, int port)
{
    if (!stored) {
        const QString file = UserStore::open().fileName();
        lblInfo->setText(LoadResource(TextNotStored).arg(file));
        return;
    }
    reload(port);
    rowChanged();
}

void frmPorts::moveClick()
{
    const PortMap::Row *row = selectedRow();
    if (!row || cboFree->currentIndex() < 0 || refusedActive(row->port))
        return;
    const PortMap::Row moved = *row;
    const int target = cboFree->currentData().toInt();
    bool stored = PortMap::setEntry(target, moved.value);
    if (stored && moved.hasEntry)
        stored = PortMap::removeEntry(moved.port);
    store(stored, target);
    if (stored)
        lblInfo->setText(LoadResource(TextNowOpens).arg(target).arg(moved.value));
}

void frmPorts::setClick()
{
    const int port = cboPort->currentData().toInt();
    const QString value = txtPath->text().trimmed();
    if (refusedActive(port))
        return;
    if (value.isEmpty()) {
        lblInfo->setText(LoadResource(TextNoPath));
        return;
    }
    const bool stored = PortMap::setEntry(port, value);
    store(stored, port);
    if (stored)
        lblInfo->setText(LoadResource(TextNowOpens).arg(port).arg(value));
}

void frmPorts::removeClick()
{
    const PortMap::Row *row = selectedRow();
    if (!row || !row->hasEntry || refusedActive(row->port))
        return;
    const int port = row->port;
    const bool stored = PortMap::removeEntry(port);
    store(stored, port);
    if (stored)
        lblInfo->setText(LoadResource(TextRemoved).arg(port).arg(PortMap::defaultDevice(port)));
}
