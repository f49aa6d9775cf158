// The bi-level image header (BIH) that opens every JBIG image entity, the limits the loader checks
// on it before JBIG-KIT allocates, and the layer a load stops at under "maxsizew" / "maxsizeh".
// The loader and the header reader of `lumo info` share these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

inline constexpr size_t kJbigHeaderSize = 20;
inline constexpr size_t kJbigPrivateTableSize = 1728;  // DPTABLE sent after the header (DPON + DPPRIV, not DPLAST)

// The header's fields; integers big-endian.
struct JbigHeader {
    int lowest;            // byte 0, DL: the entity's lowest resolution layer
    int highest;           // byte 1, D: its highest layer (XD and YD are the size there)
    int planes;            // byte 2, P: bit planes (1 for a bi-level picture)
    int fill;              // byte 3: 0
    unsigned long width;   // bytes 4-7, XD: pixels per row at layer D
    unsigned long height;  // bytes 8-11, YD: rows at layer D (0xFFFFFFFF: given later, refused)
    unsigned long stripe;  // bytes 12-15, L0: rows per stripe at the lowest layer
    int mx;                // byte 16: largest horizontal offset of the adaptive template pixel
    int my;                // byte 17: largest vertical offset
    int order;             // byte 18: HITOLO, SEQ, ILEAVE, SMID
    int options;           // byte 19: LRLTWO, VLENGTH, TPDON, TPBON, DPON, DPPRIV, DPLAST
};

JbigHeader ReadJbigHeader(const uint8_t* bytes);

// Refuses (module "LumoLoadJbig") a picture past the record or the pixel limit, its planes
// together included: JBIG-KIT allocates every plane at full size once it has read the header.
void CheckJbigHeader(const JbigHeader& header, const char* fileName);

// The maximum size a load gives the decoder: both "maxsizew" and "maxsizeh" set, else none.
struct JbigMaxSize {
    unsigned long width;
    unsigned long height;
};
std::optional<JbigMaxSize> JbigLoadMaxSize();

// x divided by 2^n, rounded up: a side at n layers below the one it is given for.
inline unsigned long JbigHalved(unsigned long x, int n) {
    if (n >= static_cast<int>(8 * sizeof x)) return x != 0;
    return (x >> n) + ((x & ((1UL << n) - 1)) != 0);
}
