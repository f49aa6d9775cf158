// The recent-file list: at most five full paths, the newest first, kept in the profile as
// "OldFile0".."OldFile4". Paths of any length are kept whole.
#pragma once

#include <QString>
#include <QStringList>

class RecentFiles {
public:
    static constexpr int kMaxEntries = 5;

    // Reads "OldFile0".."OldFile4", stopping at the first missing one ("none").
    void load();
    // Writes one key per entry; keys past the list keep what they hold (they are never read back,
    // since loading stops at the first gap and the list never shrinks).
    void save() const;
    // A path already in the list (same spelling, case included) changes nothing; any other goes on top
    // and the oldest entry drops out of a full list. Yields true when the list changed.
    bool add(const QString& path);

    const QStringList& paths() const { return paths_; }

private:
    QStringList paths_;
};
