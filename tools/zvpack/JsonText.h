// The small part of JSON that zvpack's machine-readable outputs need.
#pragma once
#include <cstddef>
#include <cstdio>

#include "updater/Package.h"

// Writes text as a JSON string with its quotes. Valid UTF-8 is kept; control characters
// and bytes that are not UTF-8 are written as \u escapes, so the output is always JSON.
void WriteJsonString(FILE* out, const char* text, size_t length);
void WriteJsonString(FILE* out, const char* text);

// A FILETIME in UTC as ISO 8601 with all seven fraction digits: 2001-02-03T04:05:06.1234567Z.
const size_t IsoTimeSize = 80;  // room for any year an int can hold
void FormatIsoTime(PackageFileTime time, char text[IsoTimeSize]);
