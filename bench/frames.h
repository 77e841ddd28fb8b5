#pragma once

#include <string>
#include <vector>

// The frames the benchmarks feed in, encoded by the message layer itself so
// they are exactly what a unit's frames look like on the wire (XML without
// declaration; the NUL terminator is added where a benchmark needs it).
namespace frames {

// "line_status" of about 150 bytes; statuses that keep a connected call, so
// the console never answers them with a cleared caller record.
std::string lineStatus(unsigned line, unsigned seq);
// "ancillary_data" with notesBytes of notes.
std::string ancillaryData(unsigned line, std::size_t notesBytes);
std::string systemStatus();

// A set of distinct frames of one kind, to cycle through.
std::vector<std::string> lineStatusSet();
std::vector<std::string> ancillarySet();
std::vector<std::string> systemStatusSet();

// count NUL-terminated "line_status" frames filling exactly blockBytes.
std::string framingBlock(std::size_t blockBytes, unsigned count);

} // namespace frames
