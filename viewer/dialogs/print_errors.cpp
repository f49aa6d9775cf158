#include "viewer/dialogs/print_errors.h"

#include <iterator>

#include "platform/message_box.h"

const char* CommonDialogErrorText(unsigned code) {
    static const char* const kTexts[] = {
        "General Codes",    "Invalid Struct Size", "Initialization Failure", "No Template",     "No Hinstance",
        "Loadstr Failure",  "Findres Failure",     "Loadres Failure",        "Lockres Failure", "Memalloc Failure",
        "Memlock Failure",  "No Hook",             "Registermsg Fail",
    };
    if (code < std::size(kTexts)) return kTexts[code];
    if (code == kDialogFailure) return "Dialog Failure";
    return "Unknown Error";
}

const char* SpoolerErrorText(int code) {
    switch (code) {
    case kSpoolGeneralError: return "Erreur generale";
    case kSpoolAppAbort: return nullptr;
    case kSpoolUserAbort: return "Travail d'impression interrompu via le gestionnaire d'impression";
    case kSpoolOutOfDisk: return "Espace disque insuffisant pour l'impression";
    case kSpoolOutOfMemory: return "Espace memoire insuffisant pour l'impression";
    default: return "Erreur Impression de type inconnu";
    }
}

void ReportCommonDialogError(unsigned code) {
    ShowMessageBox("Common Dialog Error", CommonDialogErrorText(code), MessageIcon::Error);
}

void ReportSpoolerError(int code) {
    if (const char* text = SpoolerErrorText(code)) ShowMessageBox("Error", text, MessageIcon::Error);
}
