// The pictures of a folder in the order the viewer steps through them, and the files to try for a
// step from one of them to the next or the previous.
#pragma once

#include <QString>
#include <QStringList>

// Name order as people read it: letters without regard to case, and runs of digits by their value
// ("IMG_9" before "IMG_10"); names equal in that sense keep a fixed order by their exact text.
int CompareFileNames(const QString& a, const QString& b);

// The names of the files in a folder that the viewer reads (the format dispatch's extensions), in
// CompareFileNames order. Hidden files (a leading dot) are left out.
QStringList PicturesInFolder(const QString& folder);

// The files to try for a step from the picture named current, in the order to try them: the names
// after it (or before it, going back), then from the other end of the folder up to it. current
// need not be in the list (a file renamed or deleted meanwhile); its place follows from its name.
struct StepOrder {
    QStringList names;
    int wrapIndex = 0;  // names from this index on lie past the end (or the start) of the folder
};
StepOrder StepCandidates(const QStringList& pictures, const QString& current, bool forward);
