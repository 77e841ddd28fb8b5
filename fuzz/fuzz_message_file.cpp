// Message files: whatever lies in the file is read through the loader, which
// picks the XML or the compact reader by the first byte, and through the
// XML-only loader. Both must refuse or read it, never crash or hang; a tree
// that loads survives a round trip through the compact file form.
#include "fuzz/fuzzcheck.h"

#include "message/message.h"
#include "support/exception.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// One scratch file per process, removed at exit.
std::string g_path;

void removeScratch()
{
    if (!g_path.empty())
        ::unlink(g_path.c_str());
}

const std::string& scratchPath()
{
    if (g_path.empty()) {
        char name[] = "/tmp/mirt-fuzz-file-XXXXXX";
        const int fd = ::mkstemp(name);
        FUZZ_CHECK(fd >= 0);
        ::close(fd);
        g_path = name;
        std::atexit(removeScratch);
    }
    return g_path;
}

void writeScratch(const unsigned char* data, size_t size)
{
    FILE* f = std::fopen(scratchPath().c_str(), "wb");
    FUZZ_CHECK(f);
    FUZZ_CHECK(std::fwrite(data, 1, size, f) == size);
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    writeScratch(data, size);

    // An XML file is read whole or refused whole: refused, the message is
    // untouched, and both loaders agree on it.
    Message xmlOnly;
    xmlOnly.set_name("untouched");
    bool xmlRefused = false;
    try {
        xmlOnly.parse_file_xml(scratchPath());
    } catch (const Exception&) {
        xmlRefused = true;
        FUZZ_CHECK(xmlOnly.get_name() == "untouched" && xmlOnly.children().empty());
    }

    Message loaded;
    try {
        loaded.read_from_file(scratchPath());
    } catch (const Exception&) {
        // The compact reader keeps what it read before a failure; the XML
        // reader takes nothing from a file it refuses.
        if (size && data[0] == '<')
            FUZZ_CHECK(xmlRefused && loaded.get_name().empty() && loaded.children().empty());
        return 0;
    }
    FUZZ_CHECK(!size || data[0] != '<' || !xmlRefused);

    // In the compact form (the XML form cannot carry every byte a name may
    // hold) the tree must come back unchanged. Kept in memory: writing the
    // file again syncs the disk, which would slow fuzzing a hundredfold.
    std::string tagged;
    try {
        loaded.build_string(Message::ENC_COMPACT, tagged);
    } catch (const Exception&) {
        return 0;
    }
    const Message reloaded(tagged);
    dropText(loaded);
    FUZZ_CHECK(sameMessage(reloaded, loaded));
    return 0;
}
