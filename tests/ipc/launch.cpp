// The launcher: the command line it prints and the process it starts.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "ipc/ipc_test.hpp"
#include "support/capture.hpp"

using namespace ipctest;

namespace {

const std::string kProbe = std::string(QEL_BIN_DIR) + "/test_plugin_launch_probe";

class Launch : public IpcTest {
protected:
    void SetUp() override {
        char templ[] = "/tmp/qel-launch-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir = templ;
    }
    void TearDown() override {
        IpcTest::TearDown();
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }

    // Waits (bounded) for the probe's report, reaps the probe and returns the report's lines.
    std::map<std::string, std::string> report(const std::string& file) {
        std::map<std::string, std::string> fields;
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        struct stat st;
        while (stat(file.c_str(), &st) != 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            auto space = line.rfind(' ');
            if (space != std::string::npos) fields[line.substr(0, space)] = line.substr(space + 1);
        }
        if (fields.count("pid")) {
            pid_t pid = std::stoi(fields["pid"]);
            int status;
            // The launcher never waits; the test reaps its child so that it leaves no zombie.
            for (int i = 0; i < 6000 && waitpid(pid, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return fields;
    }

    std::string dir;
};

}  // namespace

TEST_F(Launch, CommandLineIsFormedAsAHostFormsIt) {
    struct Case {
        const char* program;
        const char* argument;
        const char* printed;
    } cases[] = {
        {"qel-no-such-tool", nullptr, "command: qel-no-such-tool.exe 7\n"},
        {"qel-no-such-tool.exe", "2.5", "command: qel-no-such-tool.exe 7 2.5\n"},
        {"qel-no-such-tool.EXE", nullptr, "command: qel-no-such-tool.EXE 7\n"},
        {"QEL-NO-SUCH-TOOL.Exe", nullptr, "command: QEL-NO-SUCH-TOOL.Exe.exe 7\n"},
        {"exe", nullptr, "command: exe.exe 7\n"},
        {".exe", "x", "command: .exe 7 x\n"},
    };
    for (const Case& c : cases) {
        qeltest::StderrCapture err;
        EXPECT_EQ(QELipc_LaunchClient(c.program, 7, c.argument), 0) << c.program;
        EXPECT_EQ(err.stop(), c.printed);
    }
}

TEST_F(Launch, StartsTheSuffixedProgramInItsOwnGroup) {
    ASSERT_EQ(symlink(kProbe.c_str(), (dir + "/probe.exe").c_str()), 0);
    std::string out = dir + "/report";
    qeltest::StderrCapture err;
    EXPECT_EQ(QELipc_LaunchClient((dir + "/probe").c_str(), 7, out.c_str()), 0);
    EXPECT_EQ(err.stop(), "command: " + dir + "/probe.exe 7 " + out + "\n");
    auto r = report(out);
    EXPECT_EQ(r["argc"], "3");
    EXPECT_EQ(r["arg1"], "7");
    EXPECT_EQ(r["arg2"], out);
    EXPECT_EQ(r["own group"], "1");
}

TEST_F(Launch, StartsThePlainNameWhenNoSuffixedFileExists) {
    // "TOOL.Exe" is not one of the two suffix forms: ".exe" is appended, no such file exists,
    // and the plain name runs.
    ASSERT_EQ(symlink(kProbe.c_str(), (dir + "/TOOL.Exe").c_str()), 0);
    std::string out = dir + "/report";
    qeltest::StderrCapture err;
    EXPECT_EQ(QELipc_LaunchClient((dir + "/TOOL.Exe").c_str(), 12345, out.c_str()), 0);
    EXPECT_EQ(err.stop(), "command: " + dir + "/TOOL.Exe.exe 12345 " + out + "\n");
    auto r = report(out);
    EXPECT_EQ(r["arg1"], "12345");
    EXPECT_EQ(r["own group"], "1");
}

TEST_F(Launch, ACommandTooLongForItsBufferIsNotStarted) {
    std::string program = dir + "/" + std::string(600, 'p');
    qeltest::StderrCapture err;
    EXPECT_EQ(QELipc_LaunchClient(program.c_str(), 7, nullptr), -1);
    std::string printed = err.stop();
    EXPECT_EQ(printed, "command: " + program.substr(0, 511) + "\n");
}
