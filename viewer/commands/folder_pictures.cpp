#include "viewer/commands/folder_pictures.h"

#include <QDir>
#include <QFile>
#include <algorithm>

#include "formats/dispatch.h"

namespace {

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// Where the run of digits that starts at i ends.
qsizetype DigitRunEnd(const QString& text, qsizetype i) {
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i;
}

}  // namespace

int CompareFileNames(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const qsizetype endA = DigitRunEnd(a, i), endB = DigitRunEnd(b, j);
            qsizetype startA = i, startB = j;
            while (startA + 1 < endA && a[startA] == QLatin1Char('0')) ++startA;
            while (startB + 1 < endB && b[startB] == QLatin1Char('0')) ++startB;
            // Without leading zeros, the longer run is the larger number; runs of one length
            // compare digit by digit.
            if (endA - startA != endB - startB) return endA - startA < endB - startB ? -1 : 1;
            for (qsizetype k = 0; k < endA - startA; ++k)
                if (a[startA + k] != b[startB + k]) return a[startA + k] < b[startB + k] ? -1 : 1;
            i = endA;
            j = endB;
            continue;
        }
        const QChar foldedA = a[i].toCaseFolded(), foldedB = b[j].toCaseFolded();
        if (foldedA != foldedB) return foldedA < foldedB ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;  // the shorter name first
    // "img01" and "IMG1" read alike: their exact text decides, so the order never depends on the listing.
    const int exact = QString::compare(a, b, Qt::CaseSensitive);
    return exact < 0 ? -1 : exact > 0 ? 1 : 0;
}

QStringList PicturesInFolder(const QString& folder) {
    QStringList pictures;
    // Files and links to files; hidden ones are not listed.
    for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::NoSort))
        if (HasLoaderFor(QFile::encodeName(name).constData())) pictures.append(name);
    std::sort(pictures.begin(), pictures.end(),
              [](const QString& a, const QString& b) { return CompareFileNames(a, b) < 0; });
    return pictures;
}

StepOrder StepCandidates(const QStringList& pictures, const QString& current, bool forward) {
    // pictures is sorted: the ones before current's place, and the ones after it.
    QStringList before, after;
    for (const QString& name : pictures) {
        const int order = CompareFileNames(name, current);
        if (order < 0) before.append(name);
        if (order > 0) after.append(name);
    }
    StepOrder step;
    if (forward) {
        step.names = after;
        step.wrapIndex = static_cast<int>(after.size());
        step.names += before;
    } else {
        std::reverse(before.begin(), before.end());
        std::reverse(after.begin(), after.end());
        step.names = before;
        step.wrapIndex = static_cast<int>(before.size());
        step.names += after;
    }
    return step;
}
