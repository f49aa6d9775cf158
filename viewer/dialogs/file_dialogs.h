// The file lists of the Open and Save dialogs, and the two dialogs (replaceable, so tests answer them).
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <span>

class QWidget;

struct FileFilter {
    const char* description;  // as the dialog lists it, inner runs of spaces kept
    const char* pattern;      // "*.jpg;*.tif;..."
};
std::span<const FileFilter> OpenFileFilters();
std::span<const FileFilter> SaveFileFilters();

// The filters in the dialog's "Description (*.a *.b)" form; a description that already ends with its
// pattern in parentheses ("JPEG (*.jpg)") is used as it stands.
QStringList DialogNameFilters(std::span<const FileFilter> filters);

// Asks for existing files to open. filterIndex (1 = the first filter) selects the filter shown first and
// receives the one the user left selected. Yields the chosen full paths, none when cancelled.
using OpenFilesDialog =
    std::function<QStringList(QWidget* parent, const QString& title, const QStringList& filters, int& filterIndex)>;

// Replaces the dialog (tests answer it); an empty function restores the file dialog. Yields the previous one.
OpenFilesDialog SetOpenFilesDialog(OpenFilesDialog dialog);
QStringList AskFilesToOpen(QWidget* parent, const QString& title, const QStringList& filters, int& filterIndex);

// Asks for the path to save under, proposing proposedName (a path or a bare name, or empty) and
// adding defaultSuffix to a name typed without extension. filterIndex as for Open. Yields the
// chosen path, empty when cancelled.
struct SaveFileRequest {
    QString title;
    QStringList filters;
    QString proposedName;
    QString defaultSuffix;
};
using SaveFileDialog = std::function<QString(QWidget* parent, const SaveFileRequest& request, int& filterIndex)>;

SaveFileDialog SetSaveFileDialog(SaveFileDialog dialog);
QString AskFileToSave(QWidget* parent, const SaveFileRequest& request, int& filterIndex);
