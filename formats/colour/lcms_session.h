// One Little CMS context per piece of colour work, with the profiles and transforms made in it,
// all released with it. lcms reports through a per-context logger: the session keeps the first
// message so the caller can pass it on in its warning, and no context is shared between threads.
#pragma once

#include <lcms2.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class LcmsSession {
public:
    LcmsSession();
    ~LcmsSession();
    LcmsSession(const LcmsSession&) = delete;
    LcmsSession& operator=(const LcmsSession&) = delete;

    // Opens a profile from the bytes (which need not outlive the call); null when lcms refuses it.
    cmsHPROFILE open(std::span<const uint8_t> profile);
    // The built-in sRGB profile, and a gray one on the sRGB tone curve with sRGB's white.
    cmsHPROFILE srgb();
    cmsHPROFILE graySrgb();
    // A transform at jpgicc's defaults (perceptual, no black point compensation, normal
    // precalculation); null when lcms cannot join the profiles. Counted by ColourTransformsMade.
    cmsHTRANSFORM transform(cmsHPROFILE from, cmsUInt32Number fromFormat, cmsHPROFILE to, cmsUInt32Number toFormat);

    // The first message lcms logged, or a general text when it logged none.
    std::string failure() const;
    cmsContext context() const { return context_; }

private:
    static void Log(cmsContext context, cmsUInt32Number code, const char* text);
    cmsHPROFILE keep(cmsHPROFILE profile);

    std::string message_;
    cmsContext context_;
    std::vector<cmsHPROFILE> profiles_;
    std::vector<cmsHTRANSFORM> transforms_;
};
