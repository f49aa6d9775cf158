#include "formats/colour/lcms_session.h"

#include <atomic>

#include "formats/colour/srgb_conversion.h"

namespace {

std::atomic<long> transformsMade{0};

}  // namespace

long ColourTransformsMade() { return transformsMade.load(); }

LcmsSession::LcmsSession() : context_(cmsCreateContext(nullptr, this)) {
    if (context_) cmsSetLogErrorHandlerTHR(context_, Log);
}

LcmsSession::~LcmsSession() {
    for (cmsHTRANSFORM transform : transforms_) cmsDeleteTransform(transform);
    for (cmsHPROFILE profile : profiles_) cmsCloseProfile(profile);
    if (context_) cmsDeleteContext(context_);
}

// Called from inside lcms: nothing may escape into its C frames.
void LcmsSession::Log(cmsContext context, cmsUInt32Number, const char* text) {
    auto* session = static_cast<LcmsSession*>(cmsGetContextUserData(context));
    if (!session || !session->message_.empty() || !text) return;
    try {
        session->message_ = text;
    } catch (...) {
    }
}

// The room for the handle is made before lcms makes it, so keeping it cannot fail.
cmsHPROFILE LcmsSession::keep(cmsHPROFILE profile) {
    if (profile) profiles_.push_back(profile);
    return profile;
}

cmsHPROFILE LcmsSession::open(std::span<const uint8_t> profile) {
    if (!context_ || profile.empty()) return nullptr;
    profiles_.reserve(profiles_.size() + 1);
    return keep(cmsOpenProfileFromMemTHR(context_, profile.data(), static_cast<cmsUInt32Number>(profile.size())));
}

cmsHPROFILE LcmsSession::srgb() {
    if (!context_) return nullptr;
    profiles_.reserve(profiles_.size() + 1);
    return keep(cmsCreate_sRGBProfileTHR(context_));
}

cmsHPROFILE LcmsSession::graySrgb() {
    if (!context_) return nullptr;
    // IEC 61966-2.1: Y = ((x + 0.055) / 1.055)^2.4 above 0.04045, x / 12.92 below.
    const cmsFloat64Number parameters[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(context_, 4, parameters);
    if (!curve) return nullptr;
    const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
    profiles_.reserve(profiles_.size() + 1);
    cmsHPROFILE gray = cmsCreateGrayProfileTHR(context_, &d65, curve);
    cmsFreeToneCurve(curve);
    return keep(gray);
}

cmsHTRANSFORM LcmsSession::transform(cmsHPROFILE from, cmsUInt32Number fromFormat, cmsHPROFILE to,
                                     cmsUInt32Number toFormat) {
    if (!context_ || !from || !to) return nullptr;
    transforms_.reserve(transforms_.size() + 1);
    cmsHTRANSFORM transform =
        cmsCreateTransformTHR(context_, from, fromFormat, to, toFormat, INTENT_PERCEPTUAL, 0);
    if (!transform) return nullptr;
    transformsMade.fetch_add(1);
    transforms_.push_back(transform);
    return transform;
}

std::string LcmsSession::failure() const { return message_.empty() ? "not a profile Little CMS can use" : message_; }
