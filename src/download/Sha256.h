#pragma once
// SHA-256 (FIPS 180-4), fed in pieces: the downloaded images are checked against the catalogue's digest
// while they are read once, in blocks, on the download worker.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kx {

class Sha256 {
public:
    Sha256();
    void Update(const uint8_t* data, size_t size);
    void Update(std::string_view bytes) { Update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()); }
    // The digest as 64 lower-case hex digits. Ends this hash: call once.
    std::string HexDigest();

private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 8> h_;
    std::array<uint8_t, 64> buffer_{};
    size_t buffered_ = 0;
    uint64_t length_ = 0;  // bytes
};

}  // namespace kx
