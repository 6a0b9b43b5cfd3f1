#pragma once
// The platform's own code page 936 converter, asked one double-byte character at a time.
namespace tovren::platform {
// The UTF-16 unit of the GBK pair, or 0 when the platform maps it to nothing single.
char16_t decodeGbkPair(unsigned char lead, unsigned char trail);
}  // namespace tovren::platform
