// The start-up a user waits for, measured from outside: a program started under an X server (Xvfb), timed
// to the first drawing into its window (XDamage), with the CPU time and the peak memory it had used by then.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct StartUpSample {
    double wallMs = 0; // from fork to the first drawing into the window with the title
    double cpuMs = 0;  // CPU time of all the program's threads by then
    long peakKiB = 0;  // VmHWM by then
};

// Starts program with args in folder, waits for its window titled title to be drawn into, samples it and
// kills it. Nothing when the program ends first or no X server answers.
std::optional<StartUpSample> MeasureFirstPaint(const std::string& program, const std::vector<std::string>& args,
                                               const std::string& folder, const std::string& title);
