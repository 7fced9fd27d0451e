// Internal: the steps shared by the rank-filter programs (maximum, midrankpar, toprankpar,
// lowrankpar): take the host's current channel, filter it with a spherical kernel, hand it
// back.
#pragma once

namespace qel {

enum class RankProgramFilter {
    maximum,            // single-threaded maximum
    median_threaded,    // the threaded filters, two workers
    maximum_threaded,
    minimum_threaded,
};

// The kernel radius: argument 2 read as a float when the command line has one, else 1.0.
// A text that does not read as a number also gives 1.0.
float rank_program_radius(int argc, char** argv);

// Runs a whole program and returns its exit code (always 0). explainLaunch: print the
// launch message when the argument count is wrong.
int run_rank_program(int argc, char** argv, const char* clientName, RankProgramFilter filter, bool explainLaunch);

}  // namespace qel
