// maximum: the host's current channel through the single-threaded maximum filter (replicated borders), handed back.
//   maximum SERVER_ID [RADIUS]
#include "filters/qel_rank_program.hpp"

int main(int argc, char** argv) {
    return qel::run_rank_program(argc, argv, "fMAX", qel::RankProgramFilter::maximum, false);
}
