// The questions the viewer asks (the save question on close, the revert question). Tests answer
// them through SetQuestionFunction instead of a modal box.
#pragma once

#include <QString>
#include <functional>

class QWidget;

enum class Answer { Yes, No, Cancel };

using QuestionFunction = std::function<Answer(QWidget* parent, const QString& caption, const QString& text)>;

// Installs the function that answers questions and returns the previous one; an empty function
// restores the message boxes.
QuestionFunction SetQuestionFunction(QuestionFunction function);
Answer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text);
// A question with Yes and No only; closing the box counts as No.
bool AskYesNo(QWidget* parent, const QString& caption, const QString& text);
