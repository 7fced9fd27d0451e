// testhost: runs one plug-in against a volume and shows what it changed.
//
//   testhost [--phantom NAME] [--unit U] [--size N] [--raw FILE NX NY NZ UNIT] [--out DIR]
//            [--timeout SEC] PROGRAM [ARGUMENT]
//   testhost --help
//
// Loads a volume (a phantom, "sphere" unless named, of unit U (0) and side N (64); or a raw
// file), creates the boards of a free server ID, starts "PROGRAM serverID [ARGUMENT]" and
// serves it until it exits. A PROGRAM without '/' is looked for in the current directory,
// then beside testhost, then on PATH. Then it writes into DIR (the current directory):
// volume.raw and volume.txt (the volume as it is now, every channel in order, and its
// dimensions and units), state.txt (the host's state: what a plug-in can set), groups.txt
// (the data-object groups it received) and before.pgm / after.pgm (the middle slice of the
// current channel), and prints the requests it served. Exit code 1 when the plug-in crashed,
// ran out of time, failed or left the host locked; 2 for a bad command line.
// Every board of the server ID is removed in every case.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
    bool help = false;
};

constexpr const char* kUsage =
    "usage: testhost [--phantom NAME] [--unit U] [--size N] [--raw FILE NX NY NZ UNIT] "
    "[--out DIR] [--timeout SEC] PROGRAM [ARGUMENT]\n";

void usage() { std::fputs(kUsage, stderr); }

void help() {
    std::string phantoms;
    for (const auto& n : phantom_names()) phantoms += (phantoms.empty() ? "" : ", ") + n;
    std::printf("%s       testhost --help\n", kUsage);
    std::printf(
        "\n"
        "Runs PROGRAM as the host starts a plug-in (PROGRAM serverID [ARGUMENT]) against one\n"
        "volume, serves its requests until it exits, and writes what it left on the host.\n"
        "\n"
        "  --phantom NAME  the volume is a cube phantom: %s (default sphere)\n"
        "  --unit U        the phantom's voxel unit (default uint8): 0..7 or uint8, int8,\n"
        "                  uint16, int16, uint32, int32, float32, float64\n"
        "  --size N        the phantom's side, 1..1024 (default 64)\n"
        "  --raw FILE NX NY NZ UNIT\n"
        "                  the volume is read from FILE: NX*NY*NZ voxels of UNIT, x fastest,\n"
        "                  in this machine's byte order\n"
        "  --out DIR       where the results go (default the current directory; created)\n"
        "  --timeout SEC   stop the plug-in after SEC seconds (default 120)\n"
        "  --help          print this and exit\n"
        "\n"
        "A PROGRAM without '/' is looked for in the current directory, then beside testhost,\n"
        "then on PATH.\n"
        "\n"
        "Written into DIR:\n"
        "  volume.raw  the host's volume after the run, every channel in order\n"
        "  volume.txt  its dimensions, channel count, units and attributes\n"
        "  state.txt   the host's state after the run, one item a line: current channel,\n"
        "              grey window, voxel size, cursor, volume of interest, view\n"
        "  groups.txt  the data-object groups the plug-in sent\n"
        "  before.pgm, after.pgm  the middle slice of the current channel before and after\n"
        "\n"
        "Exit code 0; 1 when the plug-in crashed, ran out of time, failed or left the host\n"
        "locked, or a result could not be written; 2 for a bad command line.\n",
        phantoms.c_str());
}

bool parse_int(const char* text, long lo, long hi, int* value) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || v < lo || v > hi) return false;
    *value = static_cast<int>(v);
    return true;
}

// A unit by its code 0..7 or its name.
bool parse_unit(const char* text, int* unit) {
    static const char* const kNames[8] = {"uint8", "int8",  "uint16",  "int16",
                                          "uint32", "int32", "float32", "float64"};
    for (int u = 0; u < 8; ++u)
        if (std::strcmp(text, kNames[u]) == 0) {
            *unit = u;
            return true;
        }
    return parse_int(text, 0, 7, unit);
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
        if (option == "--help") {
            o->help = true;
            return true;
        } else if (option == "--phantom") {
            if (!(v = value("--phantom"))) return false;
            o->phantom = v;
            phantomGiven = true;
        } else if (option == "--unit") {
            if (!(v = value("--unit"))) return false;
            if (!parse_unit(v, &o->unit)) {
                std::fprintf(stderr, "testhost: --unit must be 0..7 or a unit name, not %s\n", v);
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
            if (!parse_unit(argv[i + 5], &o->rawUnit)) {
                std::fprintf(stderr, "testhost: --raw unit must be 0..7 or a unit name, not %s\n",
                             argv[i + 5]);
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

bool is_program(const std::filesystem::path& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(p.c_str(), X_OK) == 0;
}

// The program to start. A name with '/' is taken as given; a bare name is looked for in the
// current directory, then beside testhost (an installed or built bin/ holds the programs
// together), then on PATH. Empty after printing why it cannot be started.
std::string find_program(const std::string& name) {
    namespace fs = std::filesystem;
    if (name.find('/') != std::string::npos) {
        if (access(name.c_str(), X_OK) == 0) return name;
        std::fprintf(stderr, "testhost: cannot start %s: %s\n", name.c_str(), std::strerror(errno));
        return {};
    }
    std::error_code ec;
    if (!name.empty() && is_program(name)) {
        const fs::path here = fs::absolute(name, ec);
        return ec ? "./" + name : here.string();
    }
    const fs::path self = fs::read_symlink("/proc/self/exe", ec).parent_path();
    if (!self.empty() && !name.empty() && is_program(self / name)) return (self / name).string();
    const char* path = std::getenv("PATH");
    if (path && !name.empty()) {
        for (const char* p = path;; ++p) {
            const char* end = std::strchr(p, ':');
            std::string dir(p, end ? end : p + std::strlen(p));
            // An empty entry is the current directory, already looked at.
            if (!dir.empty() && is_program(fs::path(dir) / name)) return (fs::path(dir) / name).string();
            if (!end) break;
            p = end;
        }
    }
    std::fprintf(stderr,
                 "testhost: cannot find %s: looked in the current directory, beside testhost "
                 "(%s) and on PATH (%s)\n",
                 name.c_str(), self.c_str(), path ? path : "not set");
    return {};
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

// The shortest text that reads back as the same float.
std::string number_text(float x) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, x);
    return ec == std::errc() ? std::string(text, end) : std::string("?");
}

std::string number_text(int x) { return std::to_string(x); }

// What a plug-in can set on the host, one item a line: its name, then its values.
bool write_state(const HostState& s, const std::string& path) {
    auto values = [](const auto* v, int n) {
        std::string line;
        for (int i = 0; i < n; ++i) {
            line += ' ';
            line += number_text(v[i]);
        }
        line += '\n';
        return line;
    };
    std::ofstream f(path);
    f << "channel " << s.channelID << "\n"
      << "grey-window" << values(s.greyscale, 2)
      << "voxel-size" << values(&s.voxelSize, 1)
      << "cursor" << values(s.cursor, 3)
      << "voi-origin" << values(s.voiOrigin, 3)
      << "voi-size" << values(s.voiSize, 3)
      << "view-position" << values(s.view, 3)
      << "view-u" << values(s.view + 3, 3)
      << "view-v" << values(s.view + 6, 3)
      << "view-w" << values(s.view + 9, 3)
      << "view-distance" << values(&s.distance, 1)
      << "view-angle" << values(&s.viewAngle, 1);
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
    check(write_state(host.state(), path("state.txt")), "state.txt");
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
    if (o.help) {
        help();
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    const std::string program = find_program(o.program);
    if (program.empty()) return 2;
    QelRawVolumeData* before = load(o);
    if (!before) return 2;
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
    int status = run_plugin(program, host->server_id(), o.argument, limitMs, nullptr, &g_cancel);
    // The plug-in is gone: nothing may change the host any more while its state is read.
    host->stop();

    std::printf("server %d: %s%s%s\n", host->server_id(), program.c_str(),
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
