// JBIG-KIT's interface: a C library whose header declares no C linkage of its own.
#pragma once

#include <cstddef>

extern "C" {
#include <jbig.h>
}
