#include "viewer/dialogs/folder_listing.h"

#include <QDir>
#include <QFile>
#include <algorithm>

#include "jobs/file_lists.h"

namespace {

// A sorted list box orders without regard to case; equal names in other cases keep a fixed order.
void SortAsListBox(QStringList& names) {
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int folded = QString::compare(a, b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
}

}  // namespace

QStringList ListPictureFiles(const QString& folder, std::span<const char* const> patterns) {
    QStringList names;
    for (const std::string& name : ListMatchingFiles(QFile::encodeName(folder).toStdString(), patterns))
        if (name.front() != '.') names.append(QFile::decodeName(QByteArray::fromStdString(name)));
    return names;
}

QStringList ListSubfolderEntries(const QString& folder) {
    const QDir dir(folder);
    QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    SortAsListBox(names);
    QStringList entries;
    if (!dir.isRoot()) entries.append(QStringLiteral("[..]"));
    for (const QString& name : names) entries.append(QLatin1Char('[') + name + QLatin1Char(']'));
    return entries;
}

QString FolderOfEntry(const QString& entry) {
    if (entry.size() < 3 || !entry.startsWith(QLatin1Char('[')) || !entry.endsWith(QLatin1Char(']'))) return {};
    return entry.mid(1, entry.size() - 2);
}

bool TypedFolderIsTaken(const QString& typed, const QString& current) {
    if (typed.isEmpty() || typed == current) return false;
    if (typed.endsWith(QLatin1Char('/')) && typed.size() > 3) return false;
    return !typed.endsWith(QLatin1Char('.'));
}
