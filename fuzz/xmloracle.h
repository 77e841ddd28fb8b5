#pragma once

// A second reading of a frame by an independent XML parser (libxml2's SAX2
// interface, namespace-aware), under the same bounds as the project's
// decoder, so that the fuzz targets can check what the decoder makes of a
// frame against what a standard reader sees in it.
#include "message/message.h"

#include <string>

namespace oracle {

enum class Outcome {
    // The root element was closed: the whole message was read.
    Complete,
    // Reading stopped at a bound of the decoder (elements, attributes,
    // nesting, a document type declaration): the decoder must stop at the
    // very same place.
    Bound,
    // Reading stopped at malformed input (well-formedness or namespaces).
    Malformed,
};

struct Reading
{
    Message tree; // what was read, without character data
    Outcome outcome = Outcome::Malformed;
    bool rootSeen = false; // the root's start tag was read
};

// Reads one frame (the bytes between two NULs) as libxml2 does.
Reading read(const std::string& frame);

// True when the decoder's tree (character text left out) is what the
// oracle read: the same tree when the oracle read the message whole or
// stopped at a bound; when the input is malformed, where the two readers
// stop may differ, so one tree must be the other cut at a point in document
// order (every element both read is the same, with the same attributes).
// On false, why says where they part.
bool agrees(const Message& decoded, const Reading& oracle, std::string& why);

} // namespace oracle
