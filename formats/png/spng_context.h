// libspng's context, freed however a load or save ends. libspng returns codes and never calls back
// into code that throws, except through the stream functions, which catch everything themselves.
#pragma once

#include <spng.h>

#include <memory>

struct SpngContextDeleter {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using SpngContext = std::unique_ptr<spng_ctx, SpngContextDeleter>;
