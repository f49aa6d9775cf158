// What the folder panels of the contact-sheet and batch dialogs list, and when a typed folder is
// taken: the picture files of a folder by patterns, its subfolders as "[name]" entries.
#pragma once

#include <QString>
#include <QStringList>
#include <span>

// The patterns of the two dialogs' file lists, in the order they are listed.
std::span<const char* const> SheetFilePatterns();  // the contact sheet's (mok files included)
std::span<const char* const> BatchFilePatterns();  // the batch converter's (no mok files)

// The ordinary files of a folder whose names match one of the patterns ("*.jpg"), compared without
// regard to case, each once, sorted as a sorted list box sorts (case-insensitively). Hidden files
// (dot files) are left out, as they are from the file dialogs.
QStringList ListMatchingFiles(const QString& folder, std::span<const char* const> patterns);

// The subfolders of a folder as "[name]" entries, sorted as above, "[..]" first unless the folder
// is the root; hidden folders are left out. And the name an entry stands for (empty when the text
// is not in square brackets).
QStringList ListSubfolderEntries(const QString& folder);
QString FolderOfEntry(const QString& entry);

// Whether a folder typed in a panel's edit is to be changed to: it differs from the panel's folder,
// and ends neither with "/" (unless it is 3 characters or shorter, as "/" is) nor with "." (so
// that ".." is not taken while it is being typed past).
bool TypedFolderIsTaken(const QString& typed, const QString& current);
