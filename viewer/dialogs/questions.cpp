#include "viewer/dialogs/questions.h"

#include <QMessageBox>

namespace {

// Empty while the message boxes answer.
QuestionFunction& Override() {
    static QuestionFunction function;
    return function;
}

}  // namespace

QuestionFunction SetQuestionFunction(QuestionFunction function) {
    QuestionFunction previous = std::move(Override());
    Override() = std::move(function);
    return previous;
}

Answer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text) {
    if (Override()) return Override()(parent, caption, text);
    const QMessageBox::StandardButton button = QMessageBox::question(
        parent, caption, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (button == QMessageBox::Yes) return Answer::Yes;
    if (button == QMessageBox::No) return Answer::No;
    return Answer::Cancel;  // also the window's close button and Esc
}

bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
    if (Override()) return Override()(parent, caption, text) == Answer::Yes;
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}
