#include "formats/jpeg/jpeg_error.h"

#include <cstddef>
#include <type_traits>

#include "core/messages.h"

namespace {

// The trap is laid out with libjpeg's manager first, so the manager's address is the trap's.
static_assert(std::is_standard_layout_v<JpegErrorTrap> && offsetof(JpegErrorTrap, manager) == 0);
JpegErrorTrap& TrapOf(j_common_ptr cinfo) { return *reinterpret_cast<JpegErrorTrap*>(cinfo->err); }

[[noreturn]] void ReturnToBoundary(j_common_ptr cinfo) {
    JpegErrorTrap& trap = TrapOf(cinfo);
    (*cinfo->err->format_message)(cinfo, trap.message);
    std::longjmp(trap.recovery, 1);
}

// The warning hook returns (it never throws), so it may be called from inside libjpeg.
void WarnThroughHook(j_common_ptr cinfo) {
    const JpegErrorTrap& trap = TrapOf(cinfo);
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    if (*trap.fileName) LumoWarning(trap.module, "%s: %s", text, trap.fileName);
    else LumoWarning(trap.module, "%s", text);
}

}  // namespace

jpeg_error_mgr* ArmJpegErrorTrap(JpegErrorTrap& trap, const char* fileName, const char* module) {
    trap.message[0] = '\0';
    trap.fileName = fileName ? fileName : "";
    trap.module = module;
    jpeg_error_mgr* manager = jpeg_std_error(&trap.manager);
    manager->error_exit = ReturnToBoundary;
    manager->output_message = WarnThroughHook;
    return manager;
}

void FailJpeg(j_common_ptr cinfo, int code) {
    cinfo->err->msg_code = code;
    ReturnToBoundary(cinfo);
}

void AbortJpeg(j_common_ptr cinfo, const char* text) {
    JpegErrorTrap& trap = TrapOf(cinfo);
    std::snprintf(trap.message, sizeof trap.message, "%s", text);
    std::longjmp(trap.recovery, 1);
}
