#include "viewer/dialogs/file_dialogs.h"

#include <QFileDialog>

namespace {

const FileFilter kOpenFilters[] = {
    {"Graphic Files", "*.jpg;*.tif;*.bmp;*.gif;*.pcd;*.fax;*.bie;*.mok;*.png;*.webp;*.jpeg;*.jpe;*.tiff;*.avif;*.jxl"},
    {"JPEG (*.jpg)", "*.jpg"},
    {"TIFF (*.tif)", "*.tif"},
    {"BMP  (*.bmp)", "*.bmp"},
    {"GIF  (*.gif)", "*.gif"},
    {"Photo CD (*.pcd)", "*.pcd"},
    {"Raw FAX  (*.fax)", "*.fax"},
    {"JBIG     (*.bie)", "*.bie"},
    {"MOK  (*.mok)", "*.mok"},
    {"PNG  (*.png)", "*.png"},
    {"WebP (*.webp)", "*.webp"},
    {"AVIF (*.avif)", "*.avif"},
    {"JPEG XL (*.jxl)", "*.jxl"},
};

const FileFilter kSaveFilters[] = {
    {"Graphic Files", "*.jpg;*.tif;*.bmp;*.gif;*.ps;*.bie;*.mok;*.png;*.webp;*.jpeg;*.jpe;*.tiff;*.avif;*.jxl"},
    {"JPEG (*.jpg)", "*.jpg"},
    {"TIFF (*.tif)", "*.tif"},
    {"BMP  (*.bmp)", "*.bmp"},
    {"GIF  (*.gif)", "*.gif"},
    {"JBIG (*.bie)", "*.bie"},
    {"MOK  (*.mok)", "*.mok"},
    {"PS   (*.ps)", "*.ps"},
    {"PNG  (*.png)", "*.png"},
    {"WebP (*.webp)", "*.webp"},
    {"AVIF (*.avif)", "*.avif"},
    {"JPEG XL (*.jxl)", "*.jxl"},
};

// Qt's own file dialog, not the desktop's: its name filters match without regard to case, so
// "PHOTO.JPG" is listed under "*.jpg" as it is on the system the file lists come from.
// Yields the chosen files, none when cancelled; filterIndex follows the filter left selected.
QStringList RunQtFileDialog(QFileDialog& dialog, const QStringList& filters, int& filterIndex) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(filters);
    if (filterIndex >= 1 && filterIndex <= filters.size()) dialog.selectNameFilter(filters[filterIndex - 1]);
    if (dialog.exec() != QDialog::Accepted) return {};
    const qsizetype chosen = filters.indexOf(dialog.selectedNameFilter());
    if (chosen >= 0) filterIndex = static_cast<int>(chosen) + 1;
    return dialog.selectedFiles();
}

QStringList QtOpenFilesDialog(QWidget* parent, const QString& title, const QStringList& filters, int& filterIndex) {
    QFileDialog dialog(parent, title);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    return RunQtFileDialog(dialog, filters, filterIndex);
}

// Qt's save dialog asks before replacing an existing file.
QString QtSaveFileDialog(QWidget* parent, const SaveFileRequest& request, int& filterIndex) {
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.proposedName.isEmpty()) dialog.selectFile(request.proposedName);
    const QStringList chosen = RunQtFileDialog(dialog, request.filters, filterIndex);
    return chosen.isEmpty() ? QString() : chosen.first();
}

OpenFilesDialog& CurrentDialog() {
    static OpenFilesDialog dialog = QtOpenFilesDialog;
    return dialog;
}

SaveFileDialog& CurrentSaveDialog() {
    static SaveFileDialog dialog = QtSaveFileDialog;
    return dialog;
}

}  // namespace

std::span<const FileFilter> OpenFileFilters() { return kOpenFilters; }
std::span<const FileFilter> SaveFileFilters() { return kSaveFilters; }

QStringList DialogNameFilters(std::span<const FileFilter> filters) {
    QStringList names;
    for (const FileFilter& filter : filters) {
        const QString description = QString::fromLatin1(filter.description);
        const QString pattern = QString::fromLatin1(filter.pattern);
        if (description.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')'))) {
            names.append(description);
        } else {
            QString patterns = pattern;
            patterns.replace(QLatin1Char(';'), QLatin1Char(' '));  // the dialog separates patterns by spaces
            names.append(description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
        }
    }
    return names;
}

OpenFilesDialog SetOpenFilesDialog(OpenFilesDialog dialog) {
    OpenFilesDialog previous = std::move(CurrentDialog());
    CurrentDialog() = dialog ? std::move(dialog) : OpenFilesDialog(QtOpenFilesDialog);
    return previous;
}

QStringList AskFilesToOpen(QWidget* parent, const QString& title, const QStringList& filters, int& filterIndex) {
    return CurrentDialog()(parent, title, filters, filterIndex);
}

SaveFileDialog SetSaveFileDialog(SaveFileDialog dialog) {
    SaveFileDialog previous = std::move(CurrentSaveDialog());
    CurrentSaveDialog() = dialog ? std::move(dialog) : SaveFileDialog(QtSaveFileDialog);
    return previous;
}

QString AskFileToSave(QWidget* parent, const SaveFileRequest& request, int& filterIndex) {
    return CurrentSaveDialog()(parent, request, filterIndex);
}
