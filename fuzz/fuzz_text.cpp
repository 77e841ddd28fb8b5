// The one-line text form of parameter sets and the hexadecimal and Base64
// decoders: texts that come from files and from users.
//
// Properties: the text form read back from what it wrote is the same set;
// reading a value at any position stays inside the text and moves forward;
// every byte string survives hexadecimal and Base64 round trips (padded or
// not); decoding arbitrary text never fails, and what Base64 decodes encodes
// back to a text that decodes to the same bytes.
#include "fuzz/fuzzcheck.h"

#include "message/params.h"
#include "message/strings.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    Params parsed(text);
    Params again(parsed.build_string());
    FUZZ_CHECK(again == parsed);

    if (size >= 1) {
        int pos = static_cast<int>(data[0]) - 8;
        const int before = pos;
        parsed.unquote_value(text, pos);
        FUZZ_CHECK(pos >= 0 && static_cast<size_t>(pos) <= size);
        FUZZ_CHECK(before < 0 || static_cast<size_t>(before) >= size || pos > before);
    }

    FUZZ_CHECK(hex_to_str(str_to_hex(text)) == text);
    const std::string fromHex = hex_to_str(text);
    FUZZ_CHECK(fromHex.size() <= size / 2);

    FUZZ_CHECK(base64_to_str(str_to_base64(text, true)) == text);
    FUZZ_CHECK(base64_to_str(str_to_base64(text, false)) == text);
    const std::string fromBase64 = base64_to_str(text);
    FUZZ_CHECK(fromBase64.size() <= size);
    FUZZ_CHECK(base64_to_str(str_to_base64(fromBase64)) == fromBase64);
    return 0;
}
