#pragma once

#include <string>
#include <utility>
#include <vector>

class MIRTGui;

// One measured figure, printed as "name: value".
using Figure = std::pair<std::string, double>;
using Figures = std::vector<Figure>;

// The Google Benchmark part: decode, receive path and framing against their
// bare baselines, measured interleaved in one run. argc/argv go to the
// benchmark library.
int runMicro(int argc, char** argv, Figures& out);

// Whole-console scenarios against the simulated unit, each meant to run in a
// fresh process (bench.sh starts one per scenario) so they do not disturb
// each other's memory and timing.
void runOpen(Figures& out);
void runIdle(Figures& out, int seconds, int consoles);
void runMemory(Figures& out, int consoles);
void runBurst(Figures& out, unsigned frameCount);
// A flood of chat lines in one read: until the last shows in the history.
void runChatBurst(Figures& out, unsigned lineCount);

// Logged in, the drawn console shown at the scene's own size and painted.
void bringUp(MIRTGui& gui);

// Frame to pixels: from the unit's write of a status change to the end of
// the paint that shows it, for `seconds` at 50 and at 1,000 changes a second.
void runLatency(Figures& out, int seconds);

// The call log: the longest event-loop stall while 10,000 status changes
// are logged, and a text search over 100,000 stored calls.
void runCallLog(Figures& out);
// The station log on a private PostgreSQL server (stationlogbench.cpp).
void runStationLog(Figures& out);
