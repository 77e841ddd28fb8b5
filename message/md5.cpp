#include "message/md5.h"

#include "message/strings.h"

#include <cstring>

namespace {

uint32_t load_le32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
        | (static_cast<uint32_t>(p[3]) << 24);
}

void store_le32(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

uint32_t rotl(uint32_t x, unsigned int n)
{
    return (x << n) | (x >> (32 - n));
}

// Per-round shift amounts and the sine-derived constants of RFC 1321.
const unsigned int kShift[64] = {
    7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
    14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
    4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21,
};

const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

} // namespace

void md5_starts(md5_context* ctx)
{
    ctx->total = 0;
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xefcdab89;
    ctx->state[2] = 0x98badcfe;
    ctx->state[3] = 0x10325476;
    std::memset(ctx->buffer, 0, sizeof ctx->buffer);
}

void md5_process(md5_context* ctx, const unsigned char data[64])
{
    uint32_t x[16];
    for (unsigned int i = 0; i < 16; ++i)
        x[i] = load_le32(data + 4 * i);

    uint32_t a = ctx->state[0];
    uint32_t b = ctx->state[1];
    uint32_t c = ctx->state[2];
    uint32_t d = ctx->state[3];

    for (unsigned int i = 0; i < 64; ++i) {
        uint32_t f;
        unsigned int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (b & d) | (c & ~d);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const uint32_t rotated = rotl(a + f + kSine[i] + x[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = b + rotated;
    }

    ctx->state[0] += a;
    ctx->state[1] += b;
    ctx->state[2] += c;
    ctx->state[3] += d;
}

void md5_update(md5_context* ctx, const unsigned char* input, unsigned long length)
{
    if (length == 0)
        return;
    std::size_t fill = static_cast<std::size_t>(ctx->total & 63);
    ctx->total += length;

    // Complete a partly filled block first, then hash whole blocks straight
    // from the input, and keep the tail for the next call.
    if (fill > 0) {
        const std::size_t want = 64 - fill;
        if (length < want) {
            std::memcpy(ctx->buffer + fill, input, length);
            return;
        }
        std::memcpy(ctx->buffer + fill, input, want);
        md5_process(ctx, ctx->buffer);
        input += want;
        length -= want;
    }
    while (length >= 64) {
        md5_process(ctx, input);
        input += 64;
        length -= 64;
    }
    if (length > 0)
        std::memcpy(ctx->buffer, input, length);
}

void md5_finish(md5_context* ctx, unsigned char digest[16])
{
    // The length is that of the message before padding, in bits.
    const uint64_t bits = ctx->total * 8;
    unsigned char length_field[8];
    store_le32(length_field, static_cast<uint32_t>(bits));
    store_le32(length_field + 4, static_cast<uint32_t>(bits >> 32));

    // One 0x80 byte, then zeros up to 56 bytes mod 64, then the length.
    static const unsigned char padding[64] = {0x80};
    const std::size_t fill = static_cast<std::size_t>(ctx->total & 63);
    const std::size_t pad_len = fill < 56 ? 56 - fill : 120 - fill;
    md5_update(ctx, padding, pad_len);
    md5_update(ctx, length_field, 8);

    for (unsigned int i = 0; i < 4; ++i)
        store_le32(digest + 4 * i, ctx->state[i]);
}

std::string hash_password(const std::string& password, const std::string& prefix)
{
    md5_context ctx;
    md5_starts(&ctx);
    md5_update(&ctx, reinterpret_cast<const unsigned char*>(prefix.data()), prefix.size());
    md5_update(&ctx, reinterpret_cast<const unsigned char*>(password.data()), password.size());
    unsigned char digest[16];
    md5_finish(&ctx, digest);
    return str_to_hex(std::string(reinterpret_cast<const char*>(digest), sizeof digest));
}
