#include "session/frmDocument.h"

#include "common/Twips.h"
#include "components/PortMap.h"
#include "components/QtFileDialogComponent.h"
#include "components/SerialComponent.h"
#include "resources/DesignForm.h"
#include "resources/LoadResource.h"
#include "session/PortSettings.h"
#include "session/SessionSettings.h"
#include "session/ShapeIndicator.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStringListModel>

namespace {

using DesignForm::named;
using DesignForm::place;

// String-table ids of the texts activation shows.
constexpr int TextTitle = 2143;
constexpr int TextActivate = 2159;
constexpr int TextDeActivate = 2160;
constexpr int TextPortsMenu = 4200;
constexpr int TextConnected = 4202;
constexpr int TextNotConnected = 4203;
constexpr int TextNetworkPort = 4204;
constexpr int TextWhereToChange = 4205;

// Designed client area, in twips.
constexpr int clientWidth = 6105;
constexpr int clientHeight = 3570;

// Every session's port list holds the same 256 names: one model, made with
// the first window and gone with the application, serves them all.
QAbstractItemModel *sharedPortNames()
{
    static QPointer<QStringListModel> model;
    if (!model)
        model = new QStringListModel(PortSettings::portNames(), QCoreApplication::instance());
    return model;
}

QString indexed(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

// The rows of the port settings: a label and its list each.
struct SettingRow
{
    int label;
    const char *text;
    const char *tag;
    int top;
    int comboTop;
};
// Label1 indices as designed: 5 baud, 1 parity, 2 data bits, 3 stop bits, 4 flow control.
constexpr SettingRow settingRows[] = {
    {5, "Baud Rate:", "2203", 720, 645},      {1, "Parity:", "2204", 1050, 990},
    {2, "Data Bits:", "2210", 1395, 1335},    {3, "Stop Bits:", "2211", 1725, 1695},
    {4, "Flow Control:", "2212", 2070, 2040},
};

} // namespace

frmDocument::frmDocument(QWidget *parent, SerialComponent *serial, FileDialogComponent *dialog)
    // A fixed single border: no maximise button and no resizing. Given here
    // rather than by setWindowFlags(), which would rebuild the frame's menu.
    : QMdiSubWindow(parent, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmDocument"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The window menu's shortcuts (Close) wait for the first show. Until then
    // Qt switches the menu's items on and off several times while it builds,
    // adds and shows the window, and each switch searches every shortcut of
    // the program: with hundreds of windows, a good part of the start. No key
    // reaches a window that has not shown yet.
    for (QAction *action : systemMenu()->actions()) {
        if (!action->shortcuts().isEmpty()) {
            m_heldShortcuts.append({action, action->shortcuts()});
            action->setShortcuts({});
        }
    }

    m_session = new SerialSession(serial, this);
    m_session->setObjectName(QStringLiteral("session"));
    MSComm1 = m_session->serial();
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    CommonDialog1 = dialog ? dialog : new QtFileDialogComponent(this);
    CommonDialog1->setParent(this);
    CommonDialog1->setObjectName(QStringLiteral("CommonDialog1"));

    createControls();
    Form_Load();

    connect(Command1, &QPushButton::clicked, this, &frmDocument::Command1_Click);
    connect(m_session, &SerialSession::commEvent, this, [this] {
        Shape1[0]->setFillColor(ShapeIndicator::Red);
        Timer2.start(); // counting towards green again
    });
    connect(m_session, &SerialSession::statusChanged, this, &frmDocument::showStatus);
    m_session->setLogFile(txtLogFile->text());
    connect(txtLogFile, &QLineEdit::textChanged, m_session, &SerialSession::setLogFile);
    m_session->setPortName(Combo2->currentText());
    connect(Combo2, &QComboBox::currentTextChanged, m_session, &SerialSession::setPortName);
    connect(Command3[0], &QPushButton::clicked, this, [this] { Command3_Click(0); });
    connect(Command3[1], &QPushButton::clicked, this, [this] { Command3_Click(1); });
    connect(Combo2, &QComboBox::currentIndexChanged, this, &frmDocument::updatePortToolTip);
    Combo2->installEventFilter(this);
    Combo2->lineEdit()->installEventFilter(this);
    // The Connector list's edit field keeps its own menu, with the dialog added.
    for (QWidget *w : {static_cast<QWidget *>(Combo2), static_cast<QWidget *>(Combo2->lineEdit())}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint &pos) { showPortMenu(w, pos); });
    }
    Timer2.callOnTimeout([this] { Timer2_Timer(); });
    Timer2.setObjectName(QStringLiteral("Timer2"));
    // The tick runs while the indicator is red: a window at rest, hundreds
    // of them on a quiet machine, costs nothing between receive events.
    Timer2.setInterval(50);
}

frmDocument::~frmDocument()
{
    // Bytes that arrived since the last event are written before the port
    // goes with the window: closing the port raises one last event for them.
    if (MSComm1->portOpen())
        MSComm1->setPortOpen(false);
    // The session outlives this body as a child object: nothing it does from
    // here on may reach the half-destroyed window.
    m_session->disconnect(this);
}

QString frmDocument::defaultLogFile()
{
    return SessionSettings::defaultLogFile();
}

QString frmDocument::defaultOutFile()
{
    return SessionSettings::defaultOutFile();
}

void frmDocument::createControls()
{
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setFixedSize(Twips::toPixels(clientWidth), Twips::toPixels(clientHeight));
    m_client->setFont(DesignForm::font());

    // Frames first, then their contents; rows in tab order.
    Frame1[0] =
        named(new QGroupBox(QStringLiteral("Serial Port Settings:"), m_client), indexed("Frame1", 0), "2201");
    place(Frame1[0], 0, 120, 3030, 2595);
    Frame1[1] =
        named(new QGroupBox(QStringLiteral("Disk File I/O:"), m_client), indexed("Frame1", 1), "2170");
    place(Frame1[1], 3070, 120, 3030, 2595);
    createPortControls(Frame1[0]);
    createFileControls(Frame1[1]);

    Command1 =
        named(new QPushButton(QStringLiteral("Activate"), m_client), QStringLiteral("Command1"), "2159");
    place(Command1, 2317, 2850, 1470, 345);
    Shape1[0] = named(new ShapeIndicator(m_client), indexed("Shape1", 0));
    place(Shape1[0], 30, 3360, 135, 135);
    StatusBar1[0] = named(new ElidingLabel(QStringLiteral("Status:"), m_client), indexed("StatusBar1", 0), "2161");
    place(StatusBar1[0], 240, 3300, 5835, 255);

    // Each label's access key moves the focus to the control after it.
    Label1[0]->setBuddy(Combo2);
    for (int i = 0; i < 5; ++i)
        Label1[settingRows[i].label]->setBuddy(Combo1[i]);
    Label1[6]->setBuddy(txtLogFile);
    Label1[7]->setBuddy(txtOutFile);

    const QList<QWidget *> tabOrder = {Combo2,       Combo1[0],  Combo1[1],   Combo1[2],
                                       Combo1[3],    Combo1[4],  txtLogFile,  Command3[0],
                                       chkLinefeeds, txtOutFile, Command3[1], Command1};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));

    setWidget(m_client);
}

void frmDocument::createPortControls(QWidget *ports)
{
    Label1[0] = named(new QLabel(QStringLiteral("Connector:"), ports), indexed("Label1", 0), "2202");
    place(Label1[0], 240, 375, 1230, 225);
    Combo2 = named(new DesignForm::ComboBox(ports), QStringLiteral("Combo2"));
    place(Combo2, 1485, 315, 1260, 315);
    // The names before the edit field, so that the field's completer is made
    // for them once. An edit field handed in makes the list editable just as
    // setEditable(true) does, without building the pop-up list that may never
    // open: it is made, for an editable list, when first shown.
    Combo2->setModel(sharedPortNames());
    auto *edit = new QLineEdit(Combo2);
    // The completer QComboBox would make for the field, but given the names
    // only when the user first comes to type (see eventFilter): given them at
    // once, each of hundreds of windows would sort through all 256 at start.
    auto *completer = new QCompleter(edit);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setCompletionMode(QCompleter::InlineCompletion);
    completer->setCompletionColumn(Combo2->modelColumn());
    edit->setCompleter(completer);
    Combo2->setLineEdit(edit);
    Combo2->setCompleter(completer);
    Combo2->setInsertPolicy(QComboBox::NoInsert);

    for (int i = 0; i < 5; ++i) {
        const SettingRow &row = settingRows[i];
        QLabel *label = named(new QLabel(QString::fromLatin1(row.text), ports), indexed("Label1", row.label),
                              QString::fromLatin1(row.tag));
        place(label, 240, row.top, 1230, 225);
        Label1[row.label] = label;
        Combo1[i] = named(new DesignForm::ComboBox(ports), indexed("Combo1", i));
        place(Combo1[i], 1485, row.comboTop, 1260, 315);
    }
}

void frmDocument::createFileControls(QWidget *files)
{
    Label1[6] = named(new QLabel(QStringLiteral("Log inbound serial data to file:"), files),
                      indexed("Label1", 6), "2158");
    place(Label1[6], 120, 480, 2775, 195);
    txtLogFile = named(new QLineEdit(defaultLogFile(), files), QStringLiteral("txtLogFile"));
    place(txtLogFile, 120, 720, 2500, 285);
    Command3[0] = named(new QPushButton(QStringLiteral("..."), files), indexed("Command3", 0));
    place(Command3[0], 2640, 720, 255, 280);
    chkLinefeeds = named(new QCheckBox(QStringLiteral("Append line feeds to line ends."), files),
                         QStringLiteral("chkLinefeeds"));
    place(chkLinefeeds, 240, 1320, 2655, 255);
    Label1[7] = named(new QLabel(QStringLiteral("Outbound Serial Data File:"), files), indexed("Label1", 7));
    place(Label1[7], 120, 1920, 2700, 195);
    txtOutFile = named(new QLineEdit(defaultOutFile(), files), QStringLiteral("txtOutFile"));
    place(txtOutFile, 120, 2160, 2500, 285);
    Command3[1] = named(new QPushButton(QStringLiteral("..."), files), indexed("Command3", 1));
    place(Command3[1], 2640, 2160, 255, 280);
    // The outbound file and the line-feed option are stored with the session but not acted on.
    for (QWidget *outbound : {static_cast<QWidget *>(chkLinefeeds), static_cast<QWidget *>(Label1[7]),
                              static_cast<QWidget *>(txtOutFile), static_cast<QWidget *>(Command3[1])})
        outbound->setEnabled(false);
}

void frmDocument::Form_Load()
{
    ApplyResourceStrings(this);

    Combo2->setCurrentIndex(PortSettings::portNone);
    Combo1[0]->addItems(PortSettings::baudRates());
    Combo1[0]->setCurrentIndex(PortSettings::defaultBaud);
    for (int id : PortSettings::parityTextIds())
        Combo1[1]->addItem(LoadResource(id));
    Combo1[1]->setCurrentIndex(PortSettings::defaultParity);
    Combo1[2]->addItems(PortSettings::dataBits());
    Combo1[2]->setCurrentIndex(PortSettings::defaultDataBits);
    Combo1[3]->addItems(PortSettings::stopBits());
    Combo1[3]->setCurrentIndex(PortSettings::defaultStopBits);
    Combo1[4]->addItems(PortSettings::flowControls());
    Combo1[4]->setCurrentIndex(PortSettings::defaultFlow);
    updatePortToolTip();
}

void frmDocument::Command3_Click(int Index)
{
    QLineEdit *const target = Index == 0 ? txtLogFile : txtOutFile;
    CommonDialog1->setFileName(target->text());
    CommonDialog1->setFlags(FileDialogComponent::FlagHideReadOnly);
    CommonDialog1->setFilter(QStringLiteral("Text Files (*.TXT)|*.txt|All Files (*.*)|*.*"));
    CommonDialog1->setFilterIndex(1);
    CommonDialog1->ShowOpen();
    target->setFocus();
    if (!CommonDialog1->FileName().isEmpty())
        target->setText(CommonDialog1->FileName());
}

void frmDocument::Timer2_Timer()
{
    ++m_tickCount;
    if (m_tickCount == 3) {
        Shape1[0]->setFillColor(ShapeIndicator::Green);
        m_tickCount = 0;
        Timer2.stop();
    }
}

void frmDocument::showStatus(const QString &text, const QString &detail)
{
    StatusBar1[0]->setText(text);
    StatusBar1[0]->setToolTip(detail.isEmpty() ? text : text + QLatin1Char('\n') + detail);
}

void frmDocument::setListsEnabled(bool enabled)
{
    Combo2->setEnabled(enabled);
    for (QComboBox *list : Combo1)
        list->setEnabled(enabled);
}

int frmDocument::portNumber() const
{
    // The port list has an edit field: what counts is the entry its text
    // names. A text that names none gives -1, which the component refuses.
    const QString text = Combo2->currentText().trimmed();
    if (Combo2->currentIndex() >= 0 && Combo2->itemText(Combo2->currentIndex()) == text)
        return Combo2->currentIndex();
    return Combo2->findText(text, Qt::MatchFixedString);
}

QString frmDocument::settingsString() const
{
    // The lists hold the texts of PortSettings in its order: their positions
    // say it all, as they do for a session run without a window.
    SessionSettings s;
    s.baud = Combo1[0]->currentIndex();
    s.parity = Combo1[1]->currentIndex();
    s.dataBits = Combo1[2]->currentIndex();
    s.stopBits = Combo1[3]->currentIndex();
    return s.settingsString();
}

bool frmDocument::isActive() const
{
    return Command1->text() == LoadResource(TextDeActivate);
}

void frmDocument::Command1_Click()
{
    if (isActive()) {
        m_session->deactivate();
        setListsEnabled(true);
        Command1->setText(LoadResource(TextActivate));
        return;
    }

    switch (m_session->activate(portNumber(), settingsString(), Combo1[4]->currentIndex())) {
    case SerialSession::Activation::NoPort:
        setWindowTitle(LoadResource(TextTitle));
        return;
    case SerialSession::Activation::NotAvailable:
    case SerialSession::Activation::Failed:
        return;
    case SerialSession::Activation::Opened:
        break;
    }
    setWindowTitle(Combo2->currentText() + QLatin1Char(' ') + LoadResource(TextTitle));
    setListsEnabled(false);
    Command1->setText(LoadResource(TextDeActivate));
}

void frmDocument::LogErrors(const QString &Desc)
{
    m_session->setPortName(Combo2->currentText());
    m_session->LogErrors(Desc);
}

void frmDocument::updatePortToolTip()
{
    const int port = Combo2->currentIndex();
    if (port < PortMap::firstPort || port > PortMap::lastPort) {
        Combo2->setToolTip(tr("No port selected"));
        return;
    }
    const QString com = QStringLiteral("COM%1").arg(port);
    const PortMap::Row row = PortMap::row(port);
    QString text;
    if (row.network) {
        text = LoadResource(TextNetworkPort).arg(com, row.value);
    } else if (row.present) {
        // What it opens: the system's words for the device, then its node.
        text = LoadResource(TextConnected)
                   .arg(com, row.description.isEmpty() ? row.node
                                                       : row.description + QStringLiteral(", ") + row.node);
    } else {
        text = LoadResource(TextNotConnected).arg(com, row.value);
    }
    Combo2->setToolTip(text + QLatin1Char('\n') + LoadResource(TextWhereToChange));
}

void frmDocument::showPortMenu(QWidget *from, const QPoint &pos)
{
    QMenu *menu = Combo2->lineEdit()->createStandardContextMenu();
    menu->setObjectName(QStringLiteral("mnuPortList"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The dialog is this list's own entry: a group of its own at the top,
    // above the edit field's entries.
    QAction *ports = new QAction(LoadResource(TextPortsMenu), menu);
    ports->setObjectName(QStringLiteral("mnuSerialPorts"));
    connect(ports, &QAction::triggered, this, &frmDocument::portsRequested);
    QAction *first = menu->actions().value(0);
    menu->insertAction(first, ports);
    menu->insertSeparator(first);
    menu->popup(from->mapToGlobal(pos));
}

void frmDocument::showEvent(QShowEvent *event)
{
    QMdiSubWindow::showEvent(event);
    for (const auto &[action, keys] : std::as_const(m_heldShortcuts))
        action->setShortcuts(keys);
    m_heldShortcuts.clear();
}

bool frmDocument::eventFilter(QObject *watched, QEvent *event)
{
    // The device may come and go, and the port map may change: look again
    // each time the tooltip is about to show.
    if (watched == Combo2 && event->type() == QEvent::ToolTip)
        updatePortToolTip();
    // Whatever the user types reaches the field through the list or the
    // field itself, after focus or as a key: the completer needs its names then.
    if (Combo2 && (watched == Combo2 || watched == Combo2->lineEdit()) &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::KeyPress ||
         event->type() == QEvent::InputMethod)) {
        if (QCompleter *completer = Combo2->completer(); completer && !completer->model())
            completer->setModel(Combo2->model());
    }
    return QMdiSubWindow::eventFilter(watched, event);
}
