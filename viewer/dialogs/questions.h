// The yes/no/cancel questions the viewer asks (the save question on close). Tests answer them
// through SetQuestionFunction instead of a modal box.
#pragma once

#include <QString>
#include <functional>

class QWidget;

enum class Answer { Yes, No, Cancel };

using QuestionFunction = std::function<Answer(QWidget* parent, const QString& caption, const QString& text)>;

// Installs the function that answers questions and returns the previous one; an empty function
// restores the message box.
QuestionFunction SetQuestionFunction(QuestionFunction function);
Answer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text);
