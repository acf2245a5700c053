#include "dialogs/frmAbout.h"

#include "common/Twips.h"
#include "resources/DesignForm.h"
#include "resources/LoadResource.h"
#include "resources/ProgramIcon.h"

#include <QBitmap>
#include <QDesktopServices>
#include <QFrame>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QUrl>

#include <algorithm>
#include <iterator>

namespace {

using DesignForm::named;
using DesignForm::place;

// Designed client area, in twips.
constexpr int clientWidth = 6000;
constexpr int clientHeight = 4860;

// The year of the first release, where the notice's span of years starts.
constexpr int firstYear = 2001;

std::optional<QDate> &fakedToday()
{
    static std::optional<QDate> today;
    return today;
}

void setColour(QWidget *control, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = control->palette();
    palette.setColor(role, colour);
    control->setPalette(palette);
}

QLabel *label(const QString &name, const QString &tag, QWidget *parent)
{
    auto *control = named(new QLabel(parent), name, tag);
    control->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    control->setWordWrap(true);
    return control;
}

// The link's pointer: a hand whose index finger points up, the hot spot on
// its tip. 'X' is black, '.' white, a blank lets the screen show through.
QCursor pointingHand()
{
    static const char *const rows[] = {
        "     XX",           "    X..X",          "    X..X",          "    X..X",
        "    X..X",          "    X..XXX",        "    X..X..XXX",     "    X..X..X..XX",
        "    X..X..X..X.X",  " XX X..X..X..X..X", "X..XX...........X", "X...X...........X",
        " X..............X", "  X.............X", "  X............X",  "   X...........X",
        "   X..........X",   "    X.........X",   "    X........X",    "     X.......X",
        "     X.......X",    "     XXXXXXXXX",
    };
    QImage image(32, 32, QImage::Format_Mono);
    QImage mask(32, 32, QImage::Format_Mono);
    // Index 1 is black, as QBitmap's color1.
    const QList<QRgb> table = {qRgb(255, 255, 255), qRgb(0, 0, 0)};
    image.setColorTable(table);
    mask.setColorTable(table);
    image.fill(0);
    mask.fill(0);
    for (int y = 0; y < int(std::size(rows)); ++y) {
        const QByteArray row(rows[y]);
        for (int x = 0; x < row.size(); ++x) {
            if (row.at(x) == ' ')
                continue;
            mask.setPixel(x, y, 1);
            image.setPixel(x, y, row.at(x) == 'X' ? 1 : 0);
        }
    }
    return QCursor(QBitmap::fromImage(image), QBitmap::fromImage(mask), 6, 0);
}

} // namespace

frmAbout::frmAbout(QWidget *owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("frmAbout"));
    setProperty("Tag", QStringLiteral("2142"));
    // A fixed dialog border: a title and a close button, nothing to minimise,
    // maximise or resize. It stays a plain dialog when it has no owner too.
    setWindowFlags(DesignForm::dialogFlags);
    setWindowIcon(programIcon());
    setFixedSize(Twips::toPixels(clientWidth), Twips::toPixels(clientHeight));
    setFont(DesignForm::font());

    createControls();
    Form_Load();

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    Label4->installEventFilter(this);
}

void frmAbout::createControls()
{
    // Created in tab order, which is also the focus chain.
    cmdOK =
        named(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("cmdOK"), QStringLiteral("1207"));
    place(cmdOK, 4320, 3000, 1500, 345);
    cmdOK->setDefault(true);

    picIcon = named(new QLabel(this), QStringLiteral("picIcon"));
    place(picIcon, 240, 120, 540, 540);
    picIcon->setAutoFillBackground(true);
    setColour(picIcon, QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    picIcon->setAlignment(Qt::AlignCenter);
    picIcon->setPixmap(programIcon().pixmap(32, 32));

    lblDisclaimer = label(QStringLiteral("lblDisclaimer"), QStringLiteral("1102"), this);
    place(lblDisclaimer, 255, 2745, 3870, 1350);
    setColour(lblDisclaimer, QPalette::WindowText, Qt::black);

    // The window text colour, which the label has unless told otherwise.
    lblVersion = label(QStringLiteral("lblVersion"), QStringLiteral("Version"), this);
    place(lblVersion, 1050, 360, 795, 195);

    lblTitle = label(QStringLiteral("lblTitle"), QStringLiteral("2143"), this);
    place(lblTitle, 1050, 120, 3885, 240);
    setColour(lblTitle, QPalette::WindowText, Qt::black);

    lblDescription = label(QStringLiteral("lblDescription"), QStringLiteral("App Description"), this);
    place(lblDescription, 1050, 600, 4725, 1650);
    setColour(lblDescription, QPalette::WindowText, Qt::black);

    Label4 = label(QStringLiteral("Label4"), QString(), this);
    place(Label4, 1050, 2280, 2040, 195);
    Label4->setWordWrap(false);
    Label4->setText(webAddress());
    QFont linkFont(QStringLiteral("MS Sans Serif"));
    linkFont.setPointSizeF(8.25);
    linkFont.setBold(true);
    linkFont.setUnderline(true);
    Label4->setFont(linkFont);
    setColour(Label4, QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
    // The designed width held the address in the designed face; the faces
    // that stand in for it run wider, and a link cut off in the middle reads
    // as a different address. Widen it as far as the client's right margin.
    const int linkWidth = Label4->fontMetrics().horizontalAdvance(Label4->text()) + 1;
    const int rightMargin = Twips::toPixels(clientWidth - 240);
    if (linkWidth > Label4->width())
        Label4->resize(std::min(linkWidth, rightMargin - Label4->x()), Label4->height());
    Label4->setCursor(pointingHand());

    // An etched separator: the white line lies over the grey one.
    for (int i : {1, 0}) {
        auto *line = new QFrame(this);
        line->setObjectName(QStringLiteral("Line1(%1)").arg(i));
        line->setAutoFillBackground(true);
        setColour(line, QPalette::Window, i == 0 ? QColor(Qt::white) : QColor(0x80, 0x80, 0x80));
        line->setGeometry(Twips::toPixels(240), Twips::toPixels(2640), Twips::toPixels(5760 - 240),
                          i == 0 ? 2 : 1);
        Line1[i] = line;
    }
    Line1[0]->raise();

    const QList<QWidget *> tabOrder = {cmdOK,    picIcon,        lblDisclaimer, lblVersion,
                                       lblTitle, lblDescription, Label4};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));
}

void frmAbout::Form_Load()
{
    ApplyResourceStrings(this);

    const int year = fakedToday().value_or(QDate::currentDate()).year();
    const QString yyyy = QStringLiteral("%1").arg(year, 4, 10, QLatin1Char('0'));
    const QStringList notice = {
        QStringLiteral("Copyright \u00A9 %1-%2, Velder").arg(firstYear).arg(yyyy),
        QString(),
        QStringLiteral("Velder"),
        QStringLiteral("100 Example Street"),
        QStringLiteral("Exampleton, EX 00000"),
        QStringLiteral("Tel: +1 555 0100"),
        QStringLiteral("Fax: +1 555 0101"),
        QStringLiteral("E-mail: info@velder.example"),
    };
    // The notice's lines are joined by a carriage return alone, and the label
    // keeps that text in its "Caption" property. QLabel would show a lone CR
    // as nothing and run the lines together, so the text on screen has each
    // CR turned into a line break.
    const QString caption = notice.join(QLatin1Char('\r'));
    lblDescription->setProperty("Caption", caption);
    lblDescription->setText(QString(caption).replace(QLatin1Char('\r'), QLatin1Char('\n')));

    lblVersion->setText(QStringLiteral("Ombrix"));
}

void frmAbout::showModal(QWidget *owner)
{
    // A dialog with a parent centres itself on it when shown.
    frmAbout box(owner);
    box.exec();
}

frmAbout *frmAbout::showModeless()
{
    // One box at a time: asking again brings the open one to the front.
    static QPointer<frmAbout> open;
    if (open) {
        open->raise();
        open->activateWindow();
        return open;
    }
    auto *box = new frmAbout;
    open = box;
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        box->move(
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, box->size(), screen->availableGeometry())
                .topLeft());
    box->show();
    box->raise();
    box->activateWindow();
    return box;
}

void frmAbout::setToday(std::optional<QDate> today)
{
    fakedToday() = today;
}

QString frmAbout::webAddress()
{
    return QStringLiteral("https://www.velder.example/");
}

void frmAbout::reject()
{
    cmdOK->click();
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    // A click is a left button released over the link, wherever it went down.
    if (watched == Label4 && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && Label4->rect().contains(mouse->position().toPoint()))
            Label4_Click();
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::cmdOK_Click()
{
    accept();
}

void frmAbout::Label4_Click()
{
    // The desktop only hands the address to the browser; whether it opened
    // is not reported, and the box stays as it was either way.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QDesktopServices::openUrl(QUrl(webAddress()));
    QGuiApplication::restoreOverrideCursor();
}
