#pragma once

#include <cstdint>
#include <string>

// Running state of one MD5 computation (RFC 1321).
struct md5_context
{
    uint64_t total;           // bytes hashed so far
    uint32_t state[4];        // the four chaining words A, B, C, D
    unsigned char buffer[64]; // bytes of the block not yet processed
};

void md5_starts(md5_context* ctx);
void md5_update(md5_context* ctx, const unsigned char* input, unsigned long length);
// Writes the 16-byte digest; the context must be started again before reuse.
void md5_finish(md5_context* ctx, unsigned char digest[16]);
// Runs the compression function over one 64-byte block.
void md5_process(md5_context* ctx, const unsigned char data[64]);

// 32 lower-case hexadecimal characters: MD5 of prefix followed by password.
std::string hash_password(const std::string& password, const std::string& prefix);
