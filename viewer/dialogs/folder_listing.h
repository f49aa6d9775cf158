// What the folder panels of the contact-sheet and batch dialogs list, and when a typed folder is
// taken: the picture files of a folder by patterns, its subfolders as "[name]" entries.
#pragma once

#include <QString>
#include <QStringList>
#include <span>

// The files of a folder that a dialog's file list shows: those the job lists for the patterns
// (jobs/file_lists.h: without regard to case, sorted as a list box sorts), hidden files (dot files)
// left out as the file dialogs leave them out.
QStringList ListPictureFiles(const QString& folder, std::span<const char* const> patterns);

// The subfolders of a folder as "[name]" entries, sorted as above, "[..]" first unless the folder
// is the root; hidden folders are left out. And the name an entry stands for (empty when the text
// is not in square brackets).
QStringList ListSubfolderEntries(const QString& folder);
QString FolderOfEntry(const QString& entry);

// Whether a folder typed in a panel's edit is to be changed to: it differs from the panel's folder,
// and ends neither with "/" (unless it is 3 characters or shorter, as "/" is) nor with "." (so
// that ".." is not taken while it is being typed past).
bool TypedFolderIsTaken(const QString& typed, const QString& current);
