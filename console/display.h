#pragma once

// What the process must settle before its application object exists, so the
// console draws as the desktop expects and starts quickly. Called by the
// program and by the benchmarks, so the figures are the program's own.
//
// - Scaled by the screen's factor as the desktop sets it, fractional ones
//   too: a 150 % desktop gets 1.5, not 2 (Qt 5 rounds by default).
// - No OpenGL: everything is painted by the raster engine, yet Qt's X11
//   plugin loads and probes the GL driver for the first window. Without a
//   GPU (Mesa's software renderer) that alone took about 90 ms of every
//   start. Someone who sets QT_XCB_GL_INTEGRATION keeps their choice.
void prepareDisplay();
