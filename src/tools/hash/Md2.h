// MD2 message digest (RFC 1319), streaming: Init, Update, Final.
#pragma once

#include <cstddef>
#include <cstdint>

class CMD2 {
public:
    static constexpr size_t kDigestSize = 16;

    CMD2() { Init(); }

    void Init();
    void Update(const void* data, size_t size);
    void Final(uint8_t digest[kDigestSize]);

private:
    void ProcessBlock(const uint8_t* block);

    uint8_t state_[48];
    uint8_t checksum_[16];
    uint8_t buffer_[16];
    size_t buffered_ = 0;
};
