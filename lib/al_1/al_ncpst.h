// al_ncpst: bounded string copy used by the message slots.
#pragma once

#include <cstddef>

// Copies bytes from `src` to `dst` until `count` bytes are copied or a NUL has
// been copied. With `terminate` nonzero a NUL is then written at the position
// reached and the position after it is returned; otherwise the position itself.
// `dst` needs count + 1 bytes when `terminate` is set.
char* ncopystr(char* dst, const char* src, std::size_t count, int terminate);
