// testhost: runs one plug-in against a volume and shows what it changed.
//
//   testhost [--phantom NAME] [--unit U] [--size N] [--raw FILE NX NY NZ UNIT] [--out DIR]
//            [--timeout SEC] PROGRAM [ARGUMENT]
//
// Loads a volume (a phantom, "sphere" unless named, of unit U (0) and side N (64); or a raw
// file), creates the boards of a free server ID, starts "PROGRAM serverID [ARGUMENT]" and
// serves it until it exits. Then it writes into DIR (the current directory): volume.raw and
// volume.txt (the volume as it is now, every channel in order, and its dimensions and units),
// groups.txt (the data-object groups it received) and before.pgm / after.pgm (the middle
// slice of the current channel), and prints the requests it served. Exit code 1 when the
// plug-in crashed, ran out of time, failed or left the host locked; 2 for a bad command line.
// Every board of the server ID is removed in every case.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "gui/qel_pnm.h"
#include "testhost/qel_testhost.h"
#include "testhost/qel_testhost_volume.h"

namespace {

using namespace qel::testhost;

volatile std::sig_atomic_t g_cancel = 0;
void on_signal(int) { g_cancel = 1; }

struct Options {
    std::string phantom = "sphere";
    int unit = 0;
    int size = 64;
    bool raw = false;
    std::string rawPath;
    int rawDims[3] = {0, 0, 0};
    int rawUnit = 0;
    std::string out = ".";
    double timeout = 120;
    std::string program;
    const char* argument = nullptr;
};

void usage() {
    std::fprintf(stderr,
                 "usage: testhost [--phantom NAME] [--unit U] [--size N] "
                 "[--raw FILE NX NY NZ UNIT] [--out DIR] [--timeout SEC] PROGRAM [ARGUMENT]\n");
}

bool parse_int(const char* text, long lo, long hi, int* value) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || v < lo || v > hi) return false;
    *value = static_cast<int>(v);
    return true;
}

// false after printing what is wrong.
bool parse(int argc, char** argv, Options* o) {
    int i = 1;
    auto value = [&](const char* option) -> const char* {
        if (i + 1 >= argc) {
            std::fprintf(stderr, "testhost: %s needs a value\n", option);
            return nullptr;
        }
        return argv[++i];
    };
    bool phantomGiven = false;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        std::string option = argv[i];
        const char* v = nullptr;
        if (option == "--phantom") {
            if (!(v = value("--phantom"))) return false;
            o->phantom = v;
            phantomGiven = true;
        } else if (option == "--unit") {
            if (!(v = value("--unit"))) return false;
            if (!parse_int(v, 0, 7, &o->unit)) {
                std::fprintf(stderr, "testhost: --unit must be 0..7, not %s\n", v);
                return false;
            }
        } else if (option == "--size") {
            if (!(v = value("--size"))) return false;
            if (!parse_int(v, 1, 1024, &o->size)) {
                std::fprintf(stderr, "testhost: --size must be 1..1024, not %s\n", v);
                return false;
            }
        } else if (option == "--raw") {
            if (i + 5 >= argc) {
                std::fprintf(stderr, "testhost: --raw needs FILE NX NY NZ UNIT\n");
                return false;
            }
            o->raw = true;
            o->rawPath = argv[i + 1];
            for (int k = 0; k < 3; ++k)
                if (!parse_int(argv[i + 2 + k], 1, INT_MAX, &o->rawDims[k])) {
                    std::fprintf(stderr, "testhost: --raw dimensions must be >= 1, not %s\n",
                                 argv[i + 2 + k]);
                    return false;
                }
            if (!parse_int(argv[i + 5], 0, 7, &o->rawUnit)) {
                std::fprintf(stderr, "testhost: --raw unit must be 0..7, not %s\n", argv[i + 5]);
                return false;
            }
            i += 5;
        } else if (option == "--out") {
            if (!(v = value("--out"))) return false;
            o->out = v;
        } else if (option == "--timeout") {
            if (!(v = value("--timeout"))) return false;
            char* end = nullptr;
            o->timeout = std::strtod(v, &end);
            if (*v == '\0' || *end != '\0' || !(o->timeout > 0) || o->timeout > INT_MAX / 1000) {
                std::fprintf(stderr, "testhost: --timeout must be a number of seconds > 0, not %s\n",
                             v);
                return false;
            }
        } else {
            std::fprintf(stderr, "testhost: unknown option %s\n", argv[i]);
            return false;
        }
    }
    if (o->raw && phantomGiven) {
        std::fprintf(stderr, "testhost: give either --phantom or --raw\n");
        return false;
    }
    if (i >= argc || argc - i > 2) return false;
    o->program = argv[i];
    o->argument = i + 1 < argc ? argv[i + 1] : nullptr;
    return true;
}

QelRawVolumeData* load(const Options& o) {
    if (o.raw) {
        std::string error;
        QelRawVolumeData* v = read_raw_volume(o.rawPath, o.rawDims[0], o.rawDims[1], o.rawDims[2],
                                              o.rawUnit, &error);
        if (!v) std::fprintf(stderr, "testhost: %s\n", error.c_str());
        return v;
    }
    QelRawVolumeData* v = new_phantom(o.phantom, o.unit, o.size);
    if (!v) {
        std::string names;
        for (const auto& n : phantom_names()) names += " " + n;
        std::fprintf(stderr, "testhost: unknown phantom %s (there are:%s)\n", o.phantom.c_str(),
                     names.c_str());
    }
    return v;
}

// What a viewer shows of a freshly loaded volume: its first channel, the grey window over
// the channel's values, the cursor in the middle, the whole volume as volume of interest.
void show(Host& host, const QelRawVolumeData* v) {
    host.set_volume(v, {1});
    HostState s = host.state();
    s.channelID = 1;
    QelValueRange* range = QEL_GetValueRangeOfArray(v->data[0], QEL_GetNumberOfVoxels(v), v->unit[0]);
    if (range) {
        s.greyscale[0] = range->min;
        s.greyscale[1] = range->max;
        QEL_DeleteValueRange(range);
    }
    const int dims[3] = {v->size->nx, v->size->ny, v->size->nz};
    for (int k = 0; k < 3; ++k) {
        s.cursor[k] = static_cast<float>(dims[k] / 2);
        s.voiOrigin[k] = 0;
        s.voiSize[k] = dims[k];
    }
    host.set_state(s);
}

bool same_volume(const QelRawVolumeData* a, const QelRawVolumeData* b) {
    if (!a || !b) return a == b;
    if (describe_volume(a) != describe_volume(b)) return false;
    size_t n = static_cast<size_t>(QEL_GetNumberOfVoxels(a));
    for (int c = 0; c < a->size->nChannels; ++c)
        if (std::memcmp(a->data[c], b->data[c], n * QEL_GetVoxelUnitSize(a->unit[c])) != 0)
            return false;
    return true;
}

// The middle slice of the channel with that host ID.
bool write_picture(const QelRawVolumeData* v, const std::vector<int>& ids, int channelID,
                   const std::string& path) {
    int index = -1;
    for (size_t c = 0; c < ids.size(); ++c)
        if (ids[c] == channelID) index = static_cast<int>(c);
    if (!v || index < 0) return false;
    ImagePtr picture(new_slice_picture(v, index, v->size->nz / 2));
    return picture && QEL_WritePnmImage(path.c_str(), picture.get(), 0) == 0;
}

bool write_groups(const std::map<int, HostGroup>& groups, const std::string& path) {
    std::ofstream f(path);
    if (groups.empty()) f << "no groups\n";
    for (const auto& [id, g] : groups) {
        f << "group " << id << ": ";
        if (g.updates == 0)
            f << "empty\n";
        else if (!g.record)
            f << g.payload.size() << " bytes that do not unpack\n";
        else
            f << g.record->count << " objects (kinds " << describe_members(g.record.get())
              << "), " << g.payload.size() << " bytes, sent " << g.updates << " times\n";
    }
    return static_cast<bool>(f.flush());
}

// Writes the outputs; false after printing which one failed.
bool write_outputs(const Options& o, const QelRawVolumeData* before, int channelBefore,
                   const Host& host) {
    std::error_code ec;
    std::filesystem::create_directories(o.out, ec);
    auto path = [&](const char* name) { return (std::filesystem::path(o.out) / name).string(); };
    VolumePtr after = host.volume();
    std::vector<int> ids = host.channel_ids();
    bool ok = true;
    auto check = [&](bool written, const char* name) {
        if (!written) std::fprintf(stderr, "testhost: cannot write %s\n", path(name).c_str());
        ok = ok && written;
    };
    check(after && write_raw_volume(after.get(), path("volume.raw")), "volume.raw");
    {
        std::ofstream f(path("volume.txt"));
        f << describe_volume(after.get()) << "\n";
        check(static_cast<bool>(f.flush()), "volume.txt");
    }
    check(write_groups(host.groups(), path("groups.txt")), "groups.txt");
    check(write_picture(before, {1}, channelBefore, path("before.pgm")), "before.pgm");
    check(write_picture(after.get(), ids, host.state().channelID, path("after.pgm")), "after.pgm");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, &o)) {
        usage();
        return 2;
    }
    QelRawVolumeData* before = load(o);
    if (!before) return 2;
    if (access(o.program.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "testhost: cannot start %s: %s\n", o.program.c_str(),
                     std::strerror(errno));
        QEL_DeleteRawVolumeData(before);
        return 2;
    }
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);

    auto host = Host::start();
    if (!host) {
        std::fprintf(stderr, "testhost: cannot create the boards of a server\n");
        QEL_DeleteRawVolumeData(before);
        return 1;
    }
    show(*host, before);
    int limitMs = static_cast<int>(std::lround(o.timeout * 1000));
    int status = run_plugin(o.program, host->server_id(), o.argument, limitMs, nullptr, &g_cancel);
    // The plug-in is gone: nothing may change the host any more while its state is read.
    host->stop();

    std::printf("server %d: %s%s%s\n", host->server_id(), o.program.c_str(),
                o.argument ? " " : "", o.argument ? o.argument : "");
    std::printf("requests:");
    for (int code : host->codes()) std::printf(" %d", code);
    std::printf("\n");
    VolumePtr after = host->volume();
    std::printf("volume: %s; %s\n", same_volume(before, after.get()) ? "unchanged" : "changed",
                describe_volume(after.get()).c_str());
    std::printf("groups: %zu\n", host->groups().size());
    if (host->unread_boards() > 0)
        std::printf("data boards that could not be read: %d\n", host->unread_boards());
    bool written = write_outputs(o, before, 1, *host);
    if (written) std::printf("written to %s\n", o.out.c_str());
    QEL_DeleteRawVolumeData(before);

    bool failed = true;
    if (g_cancel)
        std::fprintf(stderr, "testhost: interrupted; %s was stopped\n", o.program.c_str());
    else if (status < 0)
        std::fprintf(stderr, "testhost: %s did not finish within %g s and was stopped\n",
                     o.program.c_str(), o.timeout);
    else if (status > 128)
        std::fprintf(stderr, "testhost: %s crashed (signal %d)\n", o.program.c_str(), status - 128);
    else if (status != 0)
        std::fprintf(stderr, "testhost: %s exited with status %d\n", o.program.c_str(), status);
    else if (host->locked())
        std::fprintf(stderr, "testhost: %s left the host locked\n", o.program.c_str());
    else
        failed = false;
    return failed || !written ? 1 : 0;
}
