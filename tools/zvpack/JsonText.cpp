#include "tools/zvpack/JsonText.h"

#include <cstdint>
#include <cstring>
#include <ctime>

// The length of the UTF-8 sequence that starts at text, or 0 when it is not one.
static size_t Utf8Length(const unsigned char* text, size_t left) {
  unsigned char c = text[0];
  size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
  if (c >= 0xF5) length = 0;
  if (length == 0 || length > left) return 0;
  for (size_t i = 1; i < length; i++) {
    if ((text[i] & 0xC0) != 0x80) return 0;
  }
  // Overlong three- and four-byte forms, surrogates and values past U+10FFFF.
  if (c == 0xE0 && text[1] < 0xA0) return 0;
  if (c == 0xED && text[1] >= 0xA0) return 0;
  if (c == 0xF0 && text[1] < 0x90) return 0;
  if (c == 0xF4 && text[1] >= 0x90) return 0;
  return length;
}

void WriteJsonString(FILE* out, const char* text, size_t length) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  fputc('"', out);
  for (size_t i = 0; i < length; i++) {
    unsigned char c = bytes[i];
    if (c == '"' || c == '\\') {
      fputc('\\', out);
      fputc(c, out);
    } else if (c < 0x20 || c == 0x7F) {
      fprintf(out, "\\u%04x", c);
    } else if (c < 0x80) {
      fputc(c, out);
    } else {
      size_t sequence = Utf8Length(bytes + i, length - i);
      if (sequence == 0) {
        fprintf(out, "\\u%04x", c);  // not UTF-8: the byte as the code point of its value
      } else {
        fwrite(bytes + i, 1, sequence, out);
        i += sequence - 1;
      }
    }
  }
  fputc('"', out);
}

void WriteJsonString(FILE* out, const char* text) { WriteJsonString(out, text, strlen(text)); }

void FormatIsoTime(PackageFileTime time, char text[IsoTimeSize]) {
  const uint64_t ticksPerSecond = 10000000;
  const int64_t unixEpochInFileTime = 11644473600LL;  // seconds from 1601 to 1970
  uint64_t ticks = (static_cast<uint64_t>(time.HighDateTime) << 32) | time.LowDateTime;
  time_t seconds =
      static_cast<time_t>(static_cast<int64_t>(ticks / ticksPerSecond) - unixEpochInFileTime);
  struct tm utc;
  if (!gmtime_r(&seconds, &utc)) {
    snprintf(text, IsoTimeSize, "%llu", static_cast<unsigned long long>(ticks));
    return;
  }
  snprintf(text, IsoTimeSize, "%04d-%02d-%02dT%02d:%02d:%02d.%07uZ", utc.tm_year + 1900,
           utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
           static_cast<unsigned>(ticks % ticksPerSecond));
}
