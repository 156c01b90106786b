// Dotted-address conversions.
#include <cstdio>

#include "pal/winsock2.h"

namespace ws2 {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

int DigitValue(char c, unsigned base) {
  unsigned value;
  if (c >= '0' && c <= '9') {
    value = static_cast<unsigned>(c - '0');
  } else if (c >= 'a' && c <= 'f') {
    value = static_cast<unsigned>(c - 'a' + 10);
  } else if (c >= 'A' && c <= 'F') {
    value = static_cast<unsigned>(c - 'A' + 10);
  } else {
    return -1;
  }
  return value < base ? static_cast<int>(value) : -1;
}

/// Reads one part at `*cursor` in C notation; false if it has no digits or overflows 32 bits.
bool ReadPart(const char** cursor, std::uint64_t* value) {
  const char* p = *cursor;
  unsigned base = 10;
  if (*p == '0') {
    base = 8;
    if (p[1] == 'x' || p[1] == 'X') {
      base = 16;
      p += 2;
      if (DigitValue(*p, 16) < 0) return false;
    }
  }
  if (DigitValue(*p, base) < 0) return false;
  std::uint64_t result = 0;
  for (int digit; (digit = DigitValue(*p, base)) >= 0; ++p) {
    result = result * base + static_cast<unsigned>(digit);
    if (result > 0xFFFFFFFFull) return false;
  }
  *cursor = p;
  *value = result;
  return true;
}

}  // namespace

u_long inet_addr(const char* cp) {
  if (cp == nullptr) return INADDR_NONE;
  std::uint64_t parts[4];
  int count = 0;
  const char* p = cp;
  for (;;) {
    if (count == 4 || !ReadPart(&p, &parts[count])) return INADDR_NONE;
    ++count;
    if (*p != '.') break;
    ++p;
  }
  if (*p != '\0' && !IsSpace(*p)) return INADDR_NONE;

  // The last part fills all the bytes that the earlier parts leave.
  std::uint64_t host = parts[count - 1];
  const std::uint64_t lastLimit = 0xFFFFFFFFull >> (8 * (count - 1));
  if (host > lastLimit) return INADDR_NONE;
  for (int i = 0; i < count - 1; ++i) {
    if (parts[i] > 0xFF) return INADDR_NONE;
    host |= parts[i] << (24 - 8 * i);
  }
  return htonl(static_cast<u_long>(host));
}

char* inet_ntoa(in_addr address) {
  thread_local char text[16];
  const u_long host = ntohl(address.s_addr);
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", (host >> 24) & 0xFF, (host >> 16) & 0xFF, (host >> 8) & 0xFF,
                host & 0xFF);
  return text;
}

}  // namespace ws2
