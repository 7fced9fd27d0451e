// midrankpar: the host's current channel through the median filter on two threads (mirrored borders), handed back.
//   midrankpar SERVER_ID [RADIUS]
#include "filters/qel_rank_program.hpp"

int main(int argc, char** argv) {
    return qel::run_rank_program(argc, argv, "fMIDRANKPAR", qel::RankProgramFilter::median_threaded, false);
}
