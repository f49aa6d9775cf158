// lumo-install, the setup program. Without arguments it shows its full-screen background and the
// installation dialog; with --target DIR it runs the same steps without a window, reporting on
// standard error, for scripts and packaging (exit status 0 when done, 1 when it failed, 2 for a
// usage error).
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstring>

#include "install/background_window.h"
#include "install/icons.h"
#include "install/install_box.h"
#include "install/installation.h"

namespace {

constexpr const char* kUsage =
    "usage: lumo-install                 show the installation dialog\n"
    "       lumo-install --target DIR    install into DIR without a window\n";

// Every status line and message on its own line of standard error.
class StandardErrorOutput : public InstallerOutput {
public:
    void status(const std::string& text) override { std::fprintf(stderr, "lumo-install: %s\n", text.c_str()); }
    void message(MessageKind, const std::string& text) override {
        std::fprintf(stderr, "lumo-install: %s\n", text.c_str());
    }
};

int InstallWithoutWindow(const std::string& destination) {
    StandardErrorOutput output;
    const std::optional<MenuPlaces> menuClient = StartMenuClient(output);
    return RunInstallation(destination, ProgramDirectory(), menuClient, output) ? 0 : 1;
}

int InstallWithDialog(int& argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumo-install"));
    QApplication::setWindowIcon(QPixmap::fromImage(PaintInstallerIcon(48)));
    BackgroundWindow background;
    background.showMaximized();
    InstallBox box(&background);
    background.setResizeHandler([&box] { box.centreOnParent(); });
    box.setSource(ProgramDirectory());
    box.show();
    box.setMenuClient(StartMenuClient(box.output()));
    application.exec();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 1) return InstallWithDialog(argc, argv);
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--target") == 0) return InstallWithoutWindow(argv[2]);
    std::fputs(kUsage, stderr);
    return 2;
}
