#pragma once

// The program's own small formatter. Message texts are built from constant templates and the
// driver's strings; the driver's strings are inserted verbatim, whatever '%' they contain.

#include <cstdint>

// Formats `pattern` into `out`, keeping at most `capacity` - 1 bytes and terminating them; a
// `capacity` below 1 writes nothing. `%d` and `%ld` take the next entry of `numbers` (signed
// decimal, full 64-bit range), `%s` the next entry of `texts` (a null entry prints nothing); any
// other '%', and these three when their array is null, is copied as it stands. Returns the length
// of the text kept.
int FormatText(char* out, int capacity, const char* pattern, const std::int64_t* numbers,
               const char* const* texts);

// Appends `text` to the terminated text in `buffer`, cutting so that the result still fits.
// Returns the new length.
int AppendText(char* buffer, int capacity, const char* text);
