// toprankpar: the host's current channel through the maximum filter on two threads (mirrored borders), handed back.
//   toprankpar SERVER_ID [RADIUS]
#include "filters/qel_rank_program.hpp"

int main(int argc, char** argv) {
    return qel::run_rank_program(argc, argv, "fTOPRANKPAR", qel::RankProgramFilter::maximum_threaded, true);
}
