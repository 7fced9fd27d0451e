// The testhost command end to end: it loads a volume, runs a plug-in against it and writes
// what changed; and it reports plug-ins that crash, hang or leave the host locked.
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testhost/qel_testhost_volume.h"
#include "transact/transact_test.hpp"

using namespace transact;
namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string quote(const std::string& s) { return "'" + s + "'"; }

class Command : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/qel-testhost-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
        for (int id : servers) EXPECT_TRUE(ipctest::shm_objects_of(id).empty()) << id;
    }
    // Runs testhost with the arguments (after a shell prefix such as "cd DIR &&"); its exit
    // code, stdout and stderr.
    int run(const std::string& args, const std::string& prefix = "") {
        std::string command = prefix + " " + quote(bin("testhost")) + " " + args + " >" +
                              quote((dir / "stdout").string()) + " 2>" +
                              quote((dir / "stderr").string());
        int status = std::system(command.c_str());
        out = read_file(dir / "stdout");
        err = read_file(dir / "stderr");
        // The server it used, so that its boards can be checked (on the first line but for
        // what the plug-in printed first).
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            int id;
            if (std::sscanf(line.c_str(), "server %d:", &id) == 1) {
                servers.push_back(id);
                break;
            }
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    fs::path dir;
    std::string out, err;
    std::vector<int> servers;
};

// A P5 file's raster, header checked.
std::vector<unsigned char> pgm_raster(const std::string& file, int width, int height) {
    std::istringstream in(file);
    std::string magic;
    in >> magic;
    EXPECT_EQ(magic, "P5");
    in >> std::ws;
    while (in.peek() == '#') {
        std::string comment;
        std::getline(in, comment);
    }
    int w = 0, h = 0, max = 0;
    in >> w >> h >> max;
    in.get();
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    EXPECT_EQ(max, 255);
    std::vector<unsigned char> raster(static_cast<size_t>(width) * height);
    in.read(reinterpret_cast<char*>(raster.data()), static_cast<std::streamsize>(raster.size()));
    EXPECT_EQ(in.gcount(), static_cast<std::streamsize>(raster.size()));
    return raster;
}

// The middle slice as the pictures show it, computed here from the values: the channel's
// range stretched onto 0..255 and rounded.
template <class T>
std::vector<unsigned char> expected_slice(const std::vector<T>& values, int n) {
    double lo = values[0], hi = values[0];
    for (T v : values) {
        lo = std::min<double>(lo, v);
        hi = std::max<double>(hi, v);
    }
    std::vector<unsigned char> slice;
    size_t start = static_cast<size_t>(n) * n * (n / 2);
    for (size_t i = start; i < start + static_cast<size_t>(n) * n; ++i)
        slice.push_back(static_cast<unsigned char>(std::lround((values[i] - lo) * 255.0 / (hi - lo))));
    return slice;
}

template <class T>
std::vector<T> as_values(const std::string& bytes) {
    std::vector<T> v(bytes.size() / sizeof(T));
    std::memcpy(v.data(), bytes.data(), v.size() * sizeof(T));
    return v;
}

}  // namespace

TEST_F(Command, RunsTheEchoPluginOnAPhantomAndWritesWhatChanged) {
    const int n = 12;
    ASSERT_EQ(run("--phantom noisy --unit 3 --size 12 --out " + quote(dir.string()) + " " +
                  quote(bin("test_plugin_echo"))),
              0)
        << err;
    EXPECT_EQ(err, "");
    EXPECT_NE(out.find("requests: 211 234 230 233 235 212 232\n"), std::string::npos) << out;
    EXPECT_NE(out.find("volume: changed; size 12 12 12 channels 1 units 3 attributes 0\n"),
              std::string::npos)
        << out;

    EXPECT_EQ(read_file(dir / "volume.txt"), "size 12 12 12 channels 1 units 3 attributes 0\n");
    EXPECT_EQ(read_file(dir / "groups.txt"), "no groups\n");
    // The volume written is the phantom plus one, voxel by voxel.
    Volume phantom(qel::testhost::new_phantom("noisy", 3, n));
    ASSERT_NE(phantom, nullptr);
    std::string raw = read_file(dir / "volume.raw");
    ASSERT_EQ(raw.size(), static_cast<size_t>(n * n * n * 2));
    auto after = as_values<int16_t>(raw);
    auto* p = static_cast<const int16_t*>(phantom->data[0]);
    std::vector<int16_t> before(p, p + n * n * n);
    for (size_t i = 0; i < before.size(); ++i) ASSERT_EQ(after[i], before[i] + 1) << i;

    EXPECT_EQ(pgm_raster(read_file(dir / "before.pgm"), n, n), expected_slice(before, n));
    EXPECT_EQ(pgm_raster(read_file(dir / "after.pgm"), n, n), expected_slice(after, n));
}

TEST_F(Command, EveryPhantomAndUnitLoadsAnd8BitSlicesAreShownAsTheyAre) {
    for (const std::string name : {"sphere", "noisy"})
        for (int unit = 0; unit < 8; ++unit) {
            SCOPED_TRACE(name + " " + std::to_string(unit));
            Volume v(qel::testhost::new_phantom(name, unit, 9));
            ASSERT_NE(v, nullptr);
            // Not flat: the picture has something to show.
            QelValueRange* r = QEL_GetValueRangeOfArray(v->data[0], 729, unit);
            ASSERT_NE(r, nullptr);
            EXPECT_LT(r->min, r->max);
            QEL_DeleteValueRange(r);
        }
    EXPECT_EQ(qel::testhost::new_phantom("nothing", 0, 9), nullptr);
    EXPECT_EQ(qel::testhost::new_phantom("sphere", 8, 9), nullptr);
    EXPECT_EQ(qel::testhost::new_phantom("sphere", 0, 0), nullptr);

    // Unit 0 is shown without stretching.
    ASSERT_EQ(run("--phantom sphere --size 8 --out " + quote(dir.string()) + " " +
                  quote(bin("test_plugin_echo"))),
              0)
        << err;
    Volume phantom(qel::testhost::new_phantom("sphere", 0, 8));
    auto* p = static_cast<const unsigned char*>(phantom->data[0]);
    std::vector<unsigned char> middle(p + 8 * 8 * 4, p + 8 * 8 * 5);
    EXPECT_EQ(pgm_raster(read_file(dir / "before.pgm"), 8, 8), middle);
}

TEST_F(Command, TakesUnitsByCodeOrName) {
    const char* names[8] = {"uint8", "int8", "uint16", "int16", "uint32", "int32", "float32", "float64"};
    const int codes[8] = {QEL_VOXEL_UNIT_UINT8,  QEL_VOXEL_UNIT_INT8,   QEL_VOXEL_UNIT_UINT16,
                          QEL_VOXEL_UNIT_INT16,  QEL_VOXEL_UNIT_UINT32, QEL_VOXEL_UNIT_INT32,
                          QEL_VOXEL_UNIT_FLOAT32, QEL_VOXEL_UNIT_FLOAT64};
    const std::string echo = " --out " + quote(dir.string()) + " " + quote(bin("test_plugin_echo"));
    for (int u = 0; u < 8; ++u) {
        SCOPED_TRACE(names[u]);
        ASSERT_EQ(run(std::string("--size 3 --unit ") + names[u] + echo), 0) << err;
        EXPECT_EQ(read_file(dir / "volume.txt"), "size 3 3 3 channels 1 units " +
                                                     std::to_string(codes[u]) + " attributes 0\n");
    }
}

TEST_F(Command, LoadsARawFile) {
    Volume v(new_volume(5, 4, 3, {5}));
    ASSERT_NE(v, nullptr);
    auto bytes = channel_bytes(v.get(), 0);
    {
        std::ofstream f(dir / "in.raw", std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    fs::path out = dir / "out" / "deeper";
    ASSERT_EQ(run("--raw " + quote((dir / "in.raw").string()) + " 5 4 3 int32 --out " +
                  quote(out.string()) + " " + quote(bin("test_plugin_echo"))),
              0)
        << err;
    EXPECT_EQ(read_file(out / "volume.txt"), "size 5 4 3 channels 1 units 5 attributes 0\n");
    auto before = as_values<int32_t>(std::string(bytes.begin(), bytes.end()));
    auto after = as_values<int32_t>(read_file(out / "volume.raw"));
    ASSERT_EQ(after.size(), 60u);
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(static_cast<uint32_t>(after[i]), static_cast<uint32_t>(before[i]) + 1u) << i;

    // A file that does not hold exactly those voxels is refused before anything runs.
    EXPECT_EQ(run("--raw " + quote((dir / "in.raw").string()) + " 5 4 4 5 " +
                  quote(bin("test_plugin_echo"))),
              2);
    EXPECT_NE(err.find("holds 240 bytes, not the 320"), std::string::npos) << err;
}

TEST_F(Command, ReportsPluginsThatCrashHangFailOrLeaveTheHostLocked) {
    std::string misbehave = quote(bin("test_plugin_misbehave"));
    std::string to = " --out " + quote(dir.string()) + " ";
    // The crash leaves its data board behind; the host removes it with its own boards.
    EXPECT_EQ(run("--size 4" + to + misbehave + " crash"), 1);
    EXPECT_NE(err.find("crashed (signal 6)"), std::string::npos) << err;
    EXPECT_EQ(run("--size 4 --timeout 0.5" + to + misbehave + " hang"), 1);
    EXPECT_NE(err.find("did not finish within 0.5 s and was stopped"), std::string::npos) << err;
    EXPECT_EQ(run("--size 4" + to + misbehave + " lock"), 1);
    EXPECT_NE(err.find("test_plugin_misbehave left the host locked"), std::string::npos) << err;
    EXPECT_EQ(run("--size 4" + to + misbehave + " fail"), 1);
    EXPECT_NE(err.find("exited with status 3"), std::string::npos) << err;
    EXPECT_EQ(servers.size(), 4u);
    // Even so, what the host holds is written.
    EXPECT_EQ(read_file(dir / "volume.txt"), "size 4 4 4 channels 1 units 0 attributes 0\n");
}

TEST_F(Command, HelpNamesTheOptionsAndWhatIsWritten) {
    ASSERT_EQ(run("--size 4 --help"), 0);
    EXPECT_EQ(err, "");
    EXPECT_EQ(out.rfind("usage: testhost [--phantom NAME]", 0), 0u) << out;
    for (const char* word : {"sphere, noisy", "float64", "--raw FILE NX NY NZ UNIT", "--timeout",
                             "beside testhost", "volume.raw", "volume.txt", "state.txt",
                             "groups.txt", "after.pgm"})
        EXPECT_NE(out.find(word), std::string::npos) << word;
    EXPECT_TRUE(servers.empty());
}

TEST_F(Command, RefusesBadCommandLines) {
    std::string echo = quote(bin("test_plugin_echo"));
    EXPECT_EQ(run(""), 2);
    // The usage line alone, ended, so that nothing runs on after it.
    EXPECT_EQ(err.rfind("usage: testhost", 0), 0u) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    EXPECT_EQ(run("--unit float " + echo), 2);
    EXPECT_EQ(run("--raw x 1 1 1 uint " + echo), 2);
    EXPECT_EQ(run("--phantom nothing " + echo), 2);
    EXPECT_NE(err.find("unknown phantom nothing (there are: sphere noisy)"), std::string::npos) << err;
    EXPECT_EQ(run("--unit 8 " + echo), 2);
    EXPECT_EQ(run("--size 0 " + echo), 2);
    EXPECT_EQ(run("--timeout -1 " + echo), 2);
    EXPECT_EQ(run("--bogus " + echo), 2);
    EXPECT_EQ(run("--phantom noisy --raw x 1 1 1 0 " + echo), 2);
    EXPECT_EQ(run(echo + " one two"), 2);
    EXPECT_EQ(run(quote((dir / "missing").string())), 2);
    EXPECT_NE(err.find("cannot start"), std::string::npos) << err;
    EXPECT_TRUE(servers.empty());  // no host was started for any of them
}

TEST_F(Command, FindsABareProgramNameHereBesideTesthostOrOnPath) {
    const std::string echo = bin("test_plugin_echo");
    const std::string in = "cd " + quote(dir.string()) + " &&";
    const std::string args = "--size 4 --out out ";
    // Beside testhost, run from elsewhere.
    ASSERT_EQ(run(args + "test_plugin_echo", in), 0) << err;
    EXPECT_EQ(out.rfind("server ", 0), 0u);
    EXPECT_NE(out.find(": " + echo + "\n"), std::string::npos) << out;

    // The current directory comes first: there the name is the failing plug-in.
    fs::create_symlink(bin("test_plugin_misbehave"), dir / "test_plugin_echo");
    EXPECT_EQ(run(args + "test_plugin_echo fail", in), 1);
    EXPECT_NE(out.find(": " + (dir / "test_plugin_echo").string() + " fail\n"), std::string::npos)
        << out;

    // Then PATH.
    fs::create_directory(dir / "path");
    fs::create_symlink(echo, dir / "path" / "qel_probe");
    ASSERT_EQ(run(args + "qel_probe", in + " PATH=" + quote((dir / "path").string()) + ":\"$PATH\""),
              0)
        << err;
    EXPECT_NE(out.find(": " + (dir / "path" / "qel_probe").string() + "\n"), std::string::npos) << out;

    // Nowhere: the message says where it looked, and no host was started.
    EXPECT_EQ(run(args + "qel_probe", in + " PATH=/nonexistent"), 2);
    EXPECT_EQ(err, "testhost: cannot find qel_probe: looked in the current directory, beside "
                   "testhost (" + std::string(QEL_BIN_DIR) + ") and on PATH (/nonexistent)\n");
    EXPECT_EQ(servers.size(), 3u);
}

// state.txt holds what the plug-in set: this one moves the channel, volume of interest, view,
// cursor and grey window away from what the host showed, each derived from what it read.
TEST_F(Command, WritesTheHostStateThePluginLeft) {
    Volume phantom(qel::testhost::new_phantom("sphere", 0, 8));
    ASSERT_NE(phantom, nullptr);
    QelValueRange* grey = QEL_GetValueRangeOfArray(phantom->data[0], 512, 0);
    ASSERT_NE(grey, nullptr);
    const std::string window = std::to_string(static_cast<int>(grey->min)) + " " +
                               std::to_string(static_cast<int>(grey->max) + 100);
    QEL_DeleteValueRange(grey);
    // Channel 2 is not in the volume, so there is no after.pgm to draw; the rest is written.
    run("--size 8 --out " + quote(dir.string()) + " " + quote(bin("test_plugin_ipc_client")));
    EXPECT_EQ(read_file(dir / "state.txt"),
              "channel 2\n"
              "grey-window " + window + "\n"
              "voxel-size 1\n"
              "cursor 14 4 4\n"
              "voi-origin 1 0 0\n"
              "voi-size 8 8 10\n"
              "view-position -0 -0 -0\n"
              "view-u -0 -0 -0\n"
              "view-v -0 -0 -0\n"
              "view-w -0 -0 -0\n"
              "view-distance 0\n"
              "view-angle 1\n");
    EXPECT_EQ(read_file(dir / "volume.txt"), "size 8 8 8 channels 1 units 0 attributes 0\n");
}
