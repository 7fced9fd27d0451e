// Whole runs of the two programs: in process against the test host with their dialogs answered,
// and as real processes for what happens before any dialog.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "hdr_support.hpp"
#include "programs/hdrexporter/hdrexporter.h"
#include "programs/hdrimporter/hdrimporter.h"
#include "support/capture.hpp"
#include "support/gtk_driver.hpp"
#include "testhost/qel_testhost.h"

namespace {

namespace fs = std::filesystem;
using analyzetest::write_file;
using hdrtest::header_bytes;
using hdrtest::HeaderFields;
using hdrtest::turned_bytes;
using qeltest::Answer;
using qeltest::DialogDriver;

const std::string kImportNotice = "Check the orientation of the volume data after import.   \n"
                                  "It might be false due to creator of this file.  To change  \n"
                                  "orientation, use command(s);" + std::string(36, ' ') + "\n\n"
                                  "Edit->Transform->Flip (or Rotate).";
const std::string kExportNotice = "Check the orientation of the volume data after export.\n"
                                  "It might be false for loader of this file.  To change     \n"
                                  "orientation, use command(s);" + std::string(34, ' ') + "\n\n"
                                  "Edit->Transform->Flip (or Rotate)";
const std::string kNoServerID = "Client initalization error because server ID is not specified.\n";

// The text of a notice or question: its one label outside the buttons.
std::string dialog_text(GtkWindow* w) {
    GtkWidget* label = qeltest::find_widget(GTK_WIDGET(w), [](GtkWidget* x) {
        return GTK_IS_LABEL(x) && !GTK_IS_BUTTON(gtk_widget_get_parent(x));
    });
    return label ? gtk_label_get_text(GTK_LABEL(label)) : "<no label>";
}

// The voxel size is posted without waiting: the host's value once it has taken the request.
float voxel_size(const qel::testhost::Host& host) {
    for (int i = 0; i < 5000; ++i) {
        const auto codes = host.codes();
        if (!codes.empty() && codes.back() == QELipc_REQUEST_TYPE_SET_VOXEL_SIZE) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return host.state().voxelSize;
}

class Run : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(qeltest::open_gtk()) << "no display opens: GUI tests need DISPLAY (Xvfb)";
        ASSERT_TRUE(dir_.ok());
    }
    void TearDown() override { qeltest::settle(5); }

    std::string path(const std::string& name) const { return dir_.file(name); }

    // Answers the file dialog with path(name).
    Answer choose(const std::string& name) const {
        const std::string folder = fs::path(path(name)).parent_path().string();
        const std::string base = fs::path(path(name)).filename().string();
        return qeltest::press("File Selection", "_OK", [folder, base](GtkWindow* w) {
            gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(w), folder.c_str());
            gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(w), base.c_str());
        });
    }
    // Presses OK on the notice and keeps its text.
    Answer notice(std::string* text) const {
        return qeltest::press("Important Notice", "      OK      ", [text](GtkWindow* w) { *text = dialog_text(w); });
    }

    static void expect_answered(const DialogDriver& driver) {
        EXPECT_TRUE(driver.all_answered());
        EXPECT_FALSE(driver.timed_out());
        EXPECT_EQ(driver.error(), "");
        EXPECT_EQ(gtk_grab_get_current(), nullptr);
        EXPECT_TRUE(qeltest::windows_titled("Important Notice").empty());
    }

    analyzetest::ScratchDir dir_;
};

TEST_F(Run, ImporterStopsBeforeTheHostWhenCancelledOrWithoutAHost) {
    auto host = qel::testhost::Host::start();
    ASSERT_NE(host, nullptr);
    for (Answer cancel : {qeltest::press("File Selection", "_Cancel"), qeltest::escape("File Selection")}) {
        DialogDriver driver({cancel});
        qeltest::StderrCapture capture;
        host->clear_log();
        EXPECT_EQ(RunHdrImporter(host->server_id()), 0);
        EXPECT_EQ(capture.stop(), "canceled\n");
        expect_answered(driver);
    }

    // The notice comes before the connection, which fails without a host.
    write_file(path("a.hdr"), header_bytes(HeaderFields{}));
    std::string text;
    DialogDriver driver({choose("a.img"), notice(&text)});
    qeltest::StderrCapture capture;
    EXPECT_EQ(RunHdrImporter(qel::testhost::unique_server_id()), 0);
    EXPECT_EQ(capture.stop(), "ICP failure\n");
    expect_answered(driver);
    EXPECT_EQ(text, kImportNotice);

    // A chosen file without its pair: nothing reaches the host.
    DialogDriver missing({choose("none.img"), notice(&text)});
    qeltest::StderrCapture missingCapture;
    host->clear_log();
    EXPECT_EQ(RunHdrImporter(host->server_id()), 0);
    EXPECT_EQ(missingCapture.stop(), "hdr file not found\n");
    expect_answered(missing);
    EXPECT_TRUE(host->codes().empty());
}

TEST_F(Run, ExporterStopsSilentlyWhenCancelledOrWithoutAHost) {
    DialogDriver cancelled({qeltest::close_window("File Selection")});
    qeltest::StderrCapture capture;
    EXPECT_EQ(RunHdrExporter(qel::testhost::unique_server_id()), 0);
    EXPECT_EQ(capture.stop(), "");
    expect_answered(cancelled);

    std::string text;
    DialogDriver driver({choose("out"), notice(&text)});
    qeltest::StderrCapture noHost;
    EXPECT_EQ(RunHdrExporter(qel::testhost::unique_server_id()), 0);
    EXPECT_EQ(noHost.stop(), "");
    expect_answered(driver);
    EXPECT_EQ(text, kExportNotice);
    EXPECT_FALSE(fs::exists(path("out.hdr")));
}

TEST_F(Run, ExportThenImportGivesTheHostItsVolumeBack) {
    auto host = qel::testhost::Host::start();
    ASSERT_NE(host, nullptr);
    hdrtest::Volume original = analyzetest::random_volume(5, 6, 7, {QEL_VOXEL_UNIT_INT16, QEL_VOXEL_UNIT_INT16}, 77);
    host->set_volume(original.get());
    qel::testhost::HostState state = host->state();
    state.voxelSize = 0.75f;
    host->set_state(state);

    std::string text;
    {
        DialogDriver driver({choose("pair"), notice(&text)});
        qeltest::StderrCapture capture;
        EXPECT_EQ(RunHdrExporter(host->server_id()), 0);
        EXPECT_EQ(capture.stop(), "");
        expect_answered(driver);
    }
    const auto hdr = analyzetest::read_file(path("pair.hdr"));
    ASSERT_EQ(hdr.size(), 348u);
    EXPECT_EQ(hdrtest::get<int16_t>(hdr, 48), 2);
    EXPECT_EQ(hdrtest::get<float>(hdr, 88), 0.75f);
    auto data = analyzetest::read_file(path("pair.img"));
    auto expected = turned_bytes(original.get(), 0);
    const auto second = turned_bytes(original.get(), 1);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(data, expected);

    hdrtest::Volume other = analyzetest::random_volume(2, 2, 2, {QEL_VOXEL_UNIT_UINT8}, 1);
    host->set_volume(other.get());
    state.voxelSize = 3.0f;
    host->set_state(state);
    {
        DialogDriver driver({choose("pair.img"), notice(&text)});
        qeltest::StderrCapture capture;
        host->clear_log();
        EXPECT_EQ(RunHdrImporter(host->server_id()), 0);
        EXPECT_EQ(capture.stop(), "hdr.dime.datatype: 4\nMatrix size: 5 x 6 x7 x 2\n");
        expect_answered(driver);
    }
    auto back = host->volume();
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->size->nChannels, 2);
    EXPECT_EQ(back->size->nx, 5);
    EXPECT_EQ(back->size->nz, 7);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(back->unit[c], QEL_VOXEL_UNIT_INT16);
        EXPECT_EQ(analyzetest::channel_bytes(back.get(), c), analyzetest::channel_bytes(original.get(), c));
    }
    EXPECT_EQ(voxel_size(*host), 0.75f);
}

TEST_F(Run, UnequalSpacingsAskWhetherToResample) {
    auto host = qel::testhost::Host::start();
    ASSERT_NE(host, nullptr);
    // One Uint8 channel of 4 x 3 x 5 whose voxels count up in file order.
    std::vector<unsigned char> data(60);
    for (int i = 0; i < 60; ++i) data[i] = static_cast<unsigned char>(3 * i);
    auto pair = [&](const std::string& stem, float sx, float sy, float sz) {
        HeaderFields h;
        h.dim[1] = 4, h.dim[2] = 3, h.dim[3] = 5;
        h.pixdim[0] = sx, h.pixdim[1] = sy, h.pixdim[2] = sz;
        write_file(path(stem + ".hdr"), header_bytes(h));
        write_file(path(stem + ".img"), data);
    };
    std::string text, question;
    auto answer = [&](const std::string& button) {
        return qeltest::press("Important Notice", button, [&](GtkWindow* w) { question = dialog_text(w); });
    };
    // The host's slice z is file slice 4 - z, rows reversed.
    auto file_slice = [&](int z) {
        std::vector<unsigned char> s;
        for (int y = 2; y >= 0; --y)
            for (int x = 0; x < 4; ++x) s.push_back(data[x + 4 * (y + 3 * (4 - z))]);
        return s;
    };
    auto host_slice = [](const QelRawVolumeData* v, int z) {
        std::vector<unsigned char> s;
        for (int y = 0; y < v->size->ny; ++y)
            for (int x = 0; x < v->size->nx; ++x) s.push_back(static_cast<unsigned char>(analyzetest::voxel(v, 0, x, y, z)));
        return s;
    };
    const std::string lines = "hdr.dime.datatype: 2\nMatrix size: 4 x 3 x5 x 0\n";

    pair("flat", 0.5f, 0.5f, 2.0f);
    {
        DialogDriver driver({choose("flat.img"), notice(&text), answer("  OK  ")});
        host->clear_log();
        EXPECT_EQ(RunHdrImporter(host->server_id()), 0);
        expect_answered(driver);
    }
    EXPECT_EQ(question, "Data is NOT isotropic:\n0.500000\t(mm) x\n0.500000\t(mm) \n2.000000\t(mm)\n\n Do you interpolate now?");
    auto vol = host->volume();
    ASSERT_NE(vol, nullptr);
    EXPECT_EQ(vol->size->nx, 4);
    EXPECT_EQ(vol->size->ny, 3);
    EXPECT_EQ(vol->size->nz, 20);
    // The first new slice falls on the old first one.
    EXPECT_EQ(host_slice(vol.get(), 0), file_slice(0));
    EXPECT_EQ(voxel_size(*host), 0.5f);

    pair("thick", 0.9f, 0.9f, 3.0f);
    {
        DialogDriver driver({choose("thick.hdr"), notice(&text), answer(" Cancel ")});
        host->clear_log();
        EXPECT_EQ(RunHdrImporter(host->server_id()), 0);
        expect_answered(driver);
    }
    vol = host->volume();
    ASSERT_NE(vol, nullptr);
    EXPECT_EQ(vol->size->nz, 5);
    for (int z = 0; z < 5; ++z) EXPECT_EQ(host_slice(vol.get(), z), file_slice(z)) << z;
    EXPECT_EQ(voxel_size(*host), 0.9f);

    // A spacing of 0 has no scale to resample by: the volume arrives as read.
    pair("zero", 1.0f, 0.0f, 1.0f);
    {
        DialogDriver driver({choose("zero.img"), notice(&text), answer("  OK  ")});
        host->clear_log();
        EXPECT_EQ(RunHdrImporter(host->server_id()), 0);
        expect_answered(driver);
    }
    vol = host->volume();
    ASSERT_NE(vol, nullptr);
    EXPECT_EQ(vol->size->ny, 3);
    EXPECT_EQ(voxel_size(*host), 1.0f);
}

TEST_F(Run, ExporterRefusesAVolumeItCannotWrite) {
    auto host = qel::testhost::Host::start();
    ASSERT_NE(host, nullptr);
    hdrtest::Volume floats = analyzetest::random_volume(2, 2, 2, {QEL_VOXEL_UNIT_FLOAT32}, 9);
    host->set_volume(floats.get());
    std::string text;
    DialogDriver driver({choose("f"), notice(&text)});
    qeltest::StderrCapture capture;
    EXPECT_EQ(RunHdrExporter(host->server_id()), 0);
    EXPECT_EQ(capture.stop(), "Cannot export: channels must share one unit of Uint8, Int16 or Int32\n");
    expect_answered(driver);
    EXPECT_FALSE(fs::exists(path("f.hdr")));
    EXPECT_FALSE(fs::exists(path("f.img")));
}

// Runs a program with the given arguments (and without DISPLAY when asked); its exit code and
// everything it printed.
int run_program(const std::string& program, const std::string& arguments, bool display, std::string* output) {
    const std::string command = std::string("timeout 60 ") + (display ? "" : "env -u DISPLAY ") + QEL_BIN_DIR + "/" +
                                program + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    output->clear();
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Programs, MissingServerIDAndMissingDisplayEachPrintOneLine) {
    for (const std::string program : {"hdrimporter", "hdrexporter"}) {
        std::string output;
        EXPECT_EQ(run_program(program, "", true, &output), 0) << program;
        EXPECT_EQ(output, kNoServerID);
        EXPECT_EQ(run_program(program, "12345", false, &output), 0) << program;
        EXPECT_EQ(output, program + ": cannot open display\n");
    }
}

}  // namespace
