// CRC-32 (ISO-HDLC / IEEE 802.3 / ZIP): reflected polynomial 0xEDB88320, register preset to all ones,
// result inverted. Streaming: Init, any number of Update calls, Final.
#pragma once

#include <cstddef>
#include <cstdint>

class CCrc32Static {
public:
    CCrc32Static() = default;

    void Init() { register_ = 0xFFFFFFFFu; }
    void Update(const void* data, size_t size);
    uint32_t Final() const { return register_ ^ 0xFFFFFFFFu; }

    // The 256-entry table: entry i is the CRC register after shifting the single byte i through it.
    static const uint32_t* Table();

    // Register update with the byte-at-a-time table only; the reference the faster paths must match.
    static uint32_t UpdateBytewise(uint32_t crcRegister, const uint8_t* data, size_t size);

private:
    uint32_t register_ = 0xFFFFFFFFu;
};
