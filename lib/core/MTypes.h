#ifndef VISTREL_MTYPES_H
#define VISTREL_MTYPES_H

#include <cstdint>

// The fixed-width names the class library speaks in.
typedef unsigned char uchar;
typedef unsigned short ushort;
typedef unsigned int uint;
typedef int64_t Int64;
typedef uint64_t UInt64;

#endif
