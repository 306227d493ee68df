#pragma once

namespace eschf {

// windows-1251 to UTF-8 with the contract of a libxml2 input handler: consumes what fits, sets
// *inlen and *outlen to the bytes taken and written, returns the bytes written or -2 on a byte
// that has no character.
int cp1251ToUtf8(unsigned char* out, int* outlen, const unsigned char* in, int* inlen);

// Gives libxml2 the windows-1251 decoder when it was built without iconv (MinGW has none), so
// that old invoices in that encoding read the same everywhere.
void registerCp1251Handler();

} // namespace eschf
