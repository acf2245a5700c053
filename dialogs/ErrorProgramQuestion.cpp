#include "dialogs/ErrorProgramQuestion.h"

#include "resources/LoadResource.h"

#include <QAbstractButton>
#include <QDir>
#include <QProcess>
#include <QTimer>

#include <tuple>

namespace {

// String-table ids of the question and its buttons.
constexpr int TextQuestion = 4240;
constexpr int TextYes = 4241;
constexpr int TextNo = 4242;

} // namespace

ErrorProgramQuestion::ErrorProgramQuestion(const QString &file, const QString &commandLine, QWidget *parent)
    : QMessageBox(QMessageBox::Warning, QStringLiteral("Ombrix"), QString(),
                  QMessageBox::Yes | QMessageBox::No, parent)
{
    setObjectName(QStringLiteral("ErrorProgramQuestion"));
    setWindowModality(Qt::ApplicationModal);
    setFont(resourceFont());
    QStringList words = QProcess::splitCommand(commandLine);
    const QString program = words.isEmpty() ? QString() : words.takeFirst();
    setText(LoadResource(TextQuestion)
                .arg(QDir::toNativeSeparators(file), program, words.join(QLatin1Char(' '))));
    for (const auto &[which, name, id] :
         {std::tuple(QMessageBox::Yes, "cmdYes", TextYes), std::tuple(QMessageBox::No, "cmdNo", TextNo)}) {
        QAbstractButton *b = button(which);
        b->setObjectName(QLatin1String(name));
        b->setProperty("Tag", QString::number(id));
        b->setText(LoadResource(id));
    }
    setDefaultButton(QMessageBox::No);
    connect(this, &QMessageBox::buttonClicked, this,
            [this](QAbstractButton *clicked) { emit answered(standardButton(clicked) == QMessageBox::Yes); });
}

void ErrorProgramQuestion::ask(const QString &file, const QString &commandLine, QWidget *parent,
                               std::function<void(const QString &commandLine, bool accepted)> answer)
{
    auto *question = new ErrorProgramQuestion(file, commandLine, parent);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &ErrorProgramQuestion::answered, question,
            [commandLine, answer = std::move(answer)](bool accepted) { answer(commandLine, accepted); });
    // From the event loop: over the main window that the start shows.
    QTimer::singleShot(0, question, &QWidget::show);
}
