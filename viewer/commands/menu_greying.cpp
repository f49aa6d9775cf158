#include "viewer/commands/menu_greying.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "viewer/commands/command_ids.h"
#include "viewer/commands/command_table.h"

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

bool CommandAllowed(int id, const ActiveImageState& state, bool clipboardHasImage) {
    if (id == command::Paste) return clipboardHasImage;
    if (const std::optional<ImageKind> target = ConversionTarget(id))
        return state.hasWindow && state.kind && *state.kind != *target;
    const CommandInfo* info = FindCommand(id);
    if (info && info->zoom) return state.hasWindow && state.zoom != info->zoom;
    switch (id) {
    case command::Save:
    case command::Revert: return state.hasWindow && state.modified;
    case command::SaveAs:
    case command::Print:
    case command::Close:
    case command::CloseAll:
    case command::Rescale:
    case command::Copy:
    case command::FullScreen:
    case command::NextImage:
    case command::PreviousImage: return state.hasWindow;
    case command::RotateLeft:
    case command::RotateRight:
    case command::FlipHorizontal:
    case command::FlipVertical:
    case command::Properties:
    case command::FitToWindow: return state.hasWindow && state.kind.has_value();
    default: return true;
    }
}

bool ClipboardHoldsImage() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && (data->hasImage() || data->hasFormat(QStringLiteral("image/bmp")));
}
