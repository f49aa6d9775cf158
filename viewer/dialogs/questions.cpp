#include "viewer/dialogs/questions.h"

#include <QMessageBox>

namespace {

Answer AskWithMessageBox(QWidget* parent, const QString& caption, const QString& text) {
    const QMessageBox::StandardButton button = QMessageBox::question(
        parent, caption, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (button == QMessageBox::Yes) return Answer::Yes;
    if (button == QMessageBox::No) return Answer::No;
    return Answer::Cancel;  // also the window's close button and Esc
}

QuestionFunction& CurrentFunction() {
    static QuestionFunction function = AskWithMessageBox;
    return function;
}

}  // namespace

QuestionFunction SetQuestionFunction(QuestionFunction function) {
    QuestionFunction previous = std::move(CurrentFunction());
    CurrentFunction() = function ? std::move(function) : QuestionFunction(AskWithMessageBox);
    return previous;
}

Answer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text) {
    return CurrentFunction()(parent, caption, text);
}
