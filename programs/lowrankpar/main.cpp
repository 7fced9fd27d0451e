// lowrankpar: the host's current channel through the minimum filter on two threads (mirrored borders), handed back.
//   lowrankpar SERVER_ID [RADIUS]
#include "filters/qel_rank_program.hpp"

int main(int argc, char** argv) {
    return qel::run_rank_program(argc, argv, "fLOWRANKPAR", qel::RankProgramFilter::minimum_threaded, false);
}
