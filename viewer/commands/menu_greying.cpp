#include "viewer/commands/menu_greying.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "viewer/commands/command_ids.h"

namespace {

// The kind a conversion command produces, or nothing for other commands.
std::optional<ImageKind> ConversionTarget(int id) {
    switch (id) {
    case command::ToBW: return ImageKind::BW;
    case command::ToGray16: return ImageKind::GRAY16;
    case command::ToGray256: return ImageKind::GRAY256;
    case command::ToColor16: return ImageKind::COLOR16;
    case command::ToColor256: return ImageKind::COLOR256;
    case command::ToRGB: return ImageKind::RGB;
    default: return std::nullopt;
    }
}

// The zoom percentage a zoom command sets, or 0 for other commands.
int ZoomOf(int id) {
    switch (id) {
    case command::Zoom50: return 50;
    case command::Zoom100: return 100;
    case command::Zoom150: return 150;
    case command::Zoom200: return 200;
    default: return 0;
    }
}

}  // namespace

bool CommandAllowed(int id, const ActiveImageState& state, bool clipboardHasImage) {
    if (id == command::Paste) return clipboardHasImage;
    if (const std::optional<ImageKind> target = ConversionTarget(id))
        return state.hasWindow && state.kind && *state.kind != *target;
    if (const int zoom = ZoomOf(id)) return state.hasWindow && state.zoom != zoom;
    switch (id) {
    case command::Save:
    case command::Revert: return state.hasWindow && state.modified;
    case command::SaveAs:
    case command::Print:
    case command::Close:
    case command::CloseAll:
    case command::Rescale:
    case command::Copy:
    case command::FullScreen: return state.hasWindow;
    default: return true;
    }
}

bool ClipboardHoldsImage() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && (data->hasImage() || data->hasFormat(QStringLiteral("image/bmp")));
}
