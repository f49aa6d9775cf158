// The PostScript writer's open output and the steps its files share.
#pragma once

#include <cstddef>

#include "core/image.h"
#include "formats/byte_sink.h"
#include "formats/output_file.h"
#include "formats/ps/ps.h"

class PSDocument {
public:
    // Creates the output (a temporary beside path until commit); "Can't open file %s" under module.
    PSDocument(const char* path, const char* module);
    PSDocument(const PSDocument&) = delete;
    PSDocument& operator=(const PSDocument&) = delete;

    // Writes the text of a printf format ("%%" is one percent sign).
    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Writes text as it is.
    void write(const char* text);
    // Where the hexadecimal image data goes.
    const ByteSink& sink() const { return sink_; }
    // Puts the finished file in place of the target.
    void commit() { file_.commit(); }

    unsigned pages = 0;  // pages begun so far

private:
    OutputFile file_;
    ByteSink sink_;
};

// The start of a single-image file: creates it (module "OpenPSMono"), writes the header with the
// bounding box and begins page 1.
PSDocumentPtr OpenPSMono(const char* path, const IMG* image);
