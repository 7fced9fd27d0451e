// testhost: serves one plug-in run and prints the requests it took.
//   testhost <server ID | 0> <program> [argument]
// The plug-in is started as a host starts it ("program serverID [argument]"); its output
// goes to this terminal. When it ends, one line per request ("<code> <client ID>") is
// printed and every board of the server ID is removed.
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "testhost/qel_testhost.h"

namespace {

volatile std::sig_atomic_t g_cancel = 0;

void on_signal(int) { g_cancel = 1; }

// Long enough for any plug-in run; a stuck one is ended and its boards still removed.
constexpr int kRunLimitMs = 3600 * 1000;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: testhost <server ID | 0> <program> [argument]\n");
        return 2;
    }
    char* end = nullptr;
    long id = std::strtol(argv[1], &end, 10);
    if (*argv[1] == '\0' || *end != '\0' || id < 0 || id > 2147483647L) {
        std::fprintf(stderr, "testhost: bad server ID %s\n", argv[1]);
        return 2;
    }
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);

    auto host = qel::testhost::Host::start(static_cast<int>(id));
    if (!host) {
        std::fprintf(stderr, "testhost: cannot create the boards of server %ld\n", id);
        return 1;
    }
    int status = qel::testhost::run_plugin(argv[2], host->server_id(), argc == 4 ? argv[3] : nullptr,
                                           kRunLimitMs, nullptr, &g_cancel);
    host->stop();
    for (const auto& r : host->log()) std::printf("%d %s\n", r.code, r.clientID.c_str());
    if (status != 0) std::fprintf(stderr, "testhost: %s ended with status %d\n", argv[2], status);
    return status == 0 ? 0 : 1;
}
