// Text encodings of bytes in base 2, 16, 58 and 64, used by `enbase`, `debase` and the
// conversion of an issue! to binary!.
//
// Decoders read characters of any unit size (1, 2 or 4 bytes) and accept ";" comments that
// run to the next line feed. They never read past the count they are given and answer
// nothing when the text is not valid in their base.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tav::binary {

void encode_base2(const uint8_t* bytes, size_t length, std::string& out);
void encode_base16(const uint8_t* bytes, size_t length, std::string& out);
void encode_base58(const uint8_t* bytes, size_t length, std::string& out);
void encode_base64(const uint8_t* bytes, size_t length, std::string& out);

using Decoded = std::optional<std::vector<uint8_t>>;
Decoded decode_base2(const uint8_t* text, uint32_t count, uint32_t unit);
Decoded decode_base16(const uint8_t* text, uint32_t count, uint32_t unit);
Decoded decode_base58(const uint8_t* text, uint32_t count, uint32_t unit);
Decoded decode_base64(const uint8_t* text, uint32_t count, uint32_t unit);

// The encoder or decoder of a base (2, 16, 58 or 64); false for any other base.
bool encode_base(int base, const uint8_t* bytes, size_t length, std::string& out);
bool is_supported_base(int base);
Decoded decode_base(int base, const uint8_t* text, uint32_t count, uint32_t unit);

}  // namespace tav::binary
