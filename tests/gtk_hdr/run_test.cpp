// Whole runs of the two programs: in process against the test host with their dialogs answered,
// and as real processes for what happens before any dialog.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
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
