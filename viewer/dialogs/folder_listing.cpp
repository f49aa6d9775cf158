#include "viewer/dialogs/folder_listing.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>

namespace {

constexpr const char* kSheetPatterns[] = {"*.jpg", "*.tif", "*.bmp", "*.gif", "*.bie", "*.pcd", "*.mok", "*.fax"};
constexpr const char* kBatchPatterns[] = {"*.jpg", "*.tif", "*.bmp", "*.gif", "*.bie", "*.pcd", "*.fax"};

// A sorted list box orders without regard to case; equal names in other cases keep a fixed order.
void SortAsListBox(QStringList& names) {
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int folded = QString::compare(a, b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
}

}  // namespace

std::span<const char* const> SheetFilePatterns() { return kSheetPatterns; }
std::span<const char* const> BatchFilePatterns() { return kBatchPatterns; }

QStringList ListMatchingFiles(const QString& folder, std::span<const char* const> patterns) {
    std::vector<QRegularExpression> matchers;
    for (const char* pattern : patterns)
        matchers.emplace_back(QRegularExpression::fromWildcard(QString::fromLatin1(pattern), Qt::CaseInsensitive));
    QStringList names;
    const QStringList entries = QDir(folder).entryList(QDir::Files, QDir::NoSort);
    for (const QString& name : entries) {
        const bool matches = std::any_of(matchers.begin(), matchers.end(),
                                         [&](const QRegularExpression& m) { return m.match(name).hasMatch(); });
        if (matches) names.append(name);
    }
    SortAsListBox(names);
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
