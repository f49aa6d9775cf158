// The "CONVERT" dialog ("Convert Files (Batch)"): the files of a source folder, the destination
// folder and the output format.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "viewer/dialogs/option_dialogs.h"

// The folders of the dialog: the source shown first and the destination, which the caller keeps
// from one run to the next (empty before the first: it then starts as the source). The dialog
// updates both, also when it is cancelled.
struct BatchFolders {
    QString source;
    QString destination;
};

struct BatchChoice {
    QStringList files;  // as the list shows them, in its order; may be empty
    QString extension;  // of the chosen output format
};

// Runs the modal dialog; the choice on "&Convert", nothing on Cancel. Afterwards the current
// directory is the last folder the dialog changed to.
std::optional<BatchChoice> AskBatchFiles(QWidget* parent, BatchFolders& folders, const HelpFunction& help);
