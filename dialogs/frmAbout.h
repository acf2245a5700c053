#pragma once

#include <QDate>
#include <QDialog>

#include <array>
#include <optional>

class QFrame;
class QLabel;
class QPushButton;

// The about box: the program's icon and title, the maker's notice with its
// contact lines, a link to the maker's web page and the disclaimer. It keeps
// no state; each About command builds a fresh one, so the year in the notice
// is the year it was opened.
class frmAbout : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(frmAbout)

public:
    // With an owner the box stays above it and out of the task bar.
    explicit frmAbout(QWidget *owner = nullptr);

    // Opens a box modal over `owner`, centred on it, and returns once it closes.
    static void showModal(QWidget *owner);
    // Opens a box without an owner, centred on the screen; it deletes itself
    // when closed. While one is open, that one comes to the front instead.
    static frmAbout *showModeless();

    // Test seam: the date the notice takes its last year from; std::nullopt
    // returns to the system date.
    static void setToday(std::optional<QDate> today);

    static QString webAddress();

    // Controls, by their designed names.
    QPushButton *cmdOK = nullptr;
    QLabel *picIcon = nullptr;
    QLabel *lblDisclaimer = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *lblDescription = nullptr;
    QLabel *Label4 = nullptr;
    std::array<QFrame *, 2> Line1{};

public slots:
    // Esc closes the box the way its OK button does.
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void Form_Load();
    void cmdOK_Click();
    void Label4_Click();
};
