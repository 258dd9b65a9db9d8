#pragma once

// Byte helpers shared by every decoder, so that a decoder reads like its frame layout.

#include <cstdint>

namespace Sensors {
namespace FrameBytes {

// Little-endian unsigned values starting at p.
inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t le24(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16); }
inline uint32_t le32(const uint8_t* p) { return le24(p) | (static_cast<uint32_t>(p[3]) << 24); }
inline uint64_t le64(const uint8_t* p) { return static_cast<uint64_t>(le32(p)) | (static_cast<uint64_t>(le32(p + 4)) << 32); }

// Big-endian unsigned values starting at p.
inline uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t be24(const uint8_t* p) { return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2]; }
inline uint32_t be32(const uint8_t* p) { return (be24(p) << 8) | p[3]; }

// The low `bits` bits of value read as a two's-complement number.
inline int32_t signExtend(uint32_t value, unsigned bits)
{
    const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
    value &= mask;
    const uint32_t sign = 1u << (bits - 1);
    return static_cast<int32_t>((value ^ sign) - sign);
}

inline int16_t les16(const uint8_t* p) { return static_cast<int16_t>(le16(p)); }
inline int32_t les24(const uint8_t* p) { return signExtend(le24(p), 24); }
inline int32_t les32(const uint8_t* p) { return static_cast<int32_t>(le32(p)); }

// `count` bits of value starting at bit `first` (bit 0 = least significant).
inline uint32_t bitField(uint32_t value, unsigned first, unsigned count)
{
    return (value >> first) & (count >= 32 ? 0xFFFFFFFFu : ((1u << count) - 1u));
}

// Writers for command frames.
inline void putLe16(uint8_t* p, uint16_t v) { p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8); }
inline void putLe24(uint8_t* p, uint32_t v) { putLe16(p, static_cast<uint16_t>(v)); p[2] = static_cast<uint8_t>(v >> 16); }
inline void putLe32(uint8_t* p, uint32_t v) { putLe16(p, static_cast<uint16_t>(v)); putLe16(p + 2, static_cast<uint16_t>(v >> 16)); }
inline void putBe16(uint8_t* p, uint16_t v) { p[0] = static_cast<uint8_t>(v >> 8); p[1] = static_cast<uint8_t>(v); }

}  // namespace FrameBytes
}  // namespace Sensors
