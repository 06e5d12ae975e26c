// veltrotool devices and record, driven as a script would: the device list
// with and without the synthetic camera, a recording read back with
// veltrotool info, and the one-line failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <QJsonDocument>
#include <QJsonObject>

#include <sys/wait.h>
#include <unistd.h>

#include "tools/tool_test_support.h"

namespace {

// The one JSON object a command printed on one line.
QJsonObject jsonLine(const std::string& out) {
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << out;
    return document.object();
}

using Result = veltro::testing::CommandResult;

Result run(const std::string& environment, const std::string& arguments) {
    const char* program = std::getenv("VELTROTOOL");
    EXPECT_TRUE(program) << "VELTROTOOL names the built program";
    const std::string command = environment + " '" + (program ? program : "veltrotool") + "' " + arguments;
    return veltro::testing::runCommandLine(command);
}

std::string scratch(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / ("veltro_capture_cmd_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

TEST(CaptureCommand, DevicesListsTheSyntheticCameraOnlyWhenAskedFor) {
    const Result without = run("env -u VELTRO_SYNTHETIC_CAMERA", "devices");
    EXPECT_EQ(without.status, 0);
    EXPECT_EQ(without.out.find("synthetic\t"), std::string::npos);
    const Result with = run("VELTRO_SYNTHETIC_CAMERA=1", "devices");
    EXPECT_EQ(with.status, 0);
    EXPECT_NE(with.out.find("synthetic\tSynthetic camera (test pattern and tone)\n"), std::string::npos) << with.out;
    // Every line is NAME<TAB>description.
    size_t at = 0;
    while (at < with.out.size()) {
        const size_t end = with.out.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = with.out.substr(at, end - at);
        EXPECT_NE(line.find('\t'), std::string::npos) << line;
        at = end + 1;
    }
}

TEST(CaptureCommand, RecordWritesAnAviThatInfoOpens) {
    const std::string file = scratch("recorded.avi");
    const Result recorded =
        run("VELTRO_SYNTHETIC_CAMERA=1", "record '" + file + "' --seconds 1 --device synthetic --rate 12 2>/dev/null");
    ASSERT_EQ(recorded.status, 0) << recorded.out;
    EXPECT_EQ(jsonLine(recorded.out), (QJsonObject{{"frames", 12}, {"audio", true}, {"device_lost", false}}));
    const Result info = run("", "info '" + file + "' 2>/dev/null");
    ASSERT_EQ(info.status, 0);
    EXPECT_EQ(jsonLine(info.out), (QJsonObject{{"format", "AVI video (*.avi)"}, {"frames", 12}, {"rate", 12},
                                               {"width", 320}, {"height", 240}}));
}

TEST(CaptureCommand, RecordFailuresSayWhyInOneLine) {
    const std::string file = scratch("refused.avi");
    const struct {
        const char* arguments;
        const char* message;
    } cases[] = {
        {" --seconds 1 --device synthetic --rate 100", "Error: Bad rate."},
        {" --seconds 1 --device synthetic --rate fast", "Error: Bad rate."},
        {" --seconds 0 --device synthetic", "--seconds"},
        {" --seconds 1 --device nosuchcamera", "no capture device \"nosuchcamera\""},
        {" --device synthetic", "usage: record"},
    };
    for (const auto& c : cases) {
        const Result result = run("VELTRO_SYNTHETIC_CAMERA=1", "record '" + file + "'" + c.arguments + " 2>&1");
        EXPECT_EQ(result.status, 1) << c.arguments;
        EXPECT_NE(result.out.find(c.message), std::string::npos) << c.arguments << ": " << result.out;
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
    }
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(run("", "record 2>/dev/null").status, 1);
}

// The command lines of devices and record: --help lists record's options; an
// unknown option or one without its value stops with status 2 and one line
// naming it, before any device is opened.
TEST(CaptureCommand, CommandLinesAreCheckedBeforeAnyWork) {
    const Result help = run("", "record --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: veltrotool record [options] OUT.avi\n", 0), 0u) << help.out;
    for (const char* option : {"--seconds <S>", "--device <NAME>", "--rate <R>"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option << " in\n" << help.out;
    EXPECT_EQ(run("", "devices --help").out.rfind("usage: veltrotool devices [options]\n", 0), 0u);

    const std::string file = scratch("unread.avi");
    const struct {
        const char* arguments;
        const char* message;
    } cases[] = {
        {" --seconds 1 --colour red", "unknown option \"--colour\""},
        {" --device synthetic --seconds", "missing value after '--seconds'"},
        {" --seconds 1 --device", "missing value after '--device'"},
    };
    for (const auto& c : cases) {
        const Result result = run("VELTRO_SYNTHETIC_CAMERA=1", "record '" + file + "'" + c.arguments + " 2>&1");
        EXPECT_EQ(result.status, 2) << c.arguments;
        EXPECT_NE(result.out.find(c.message), std::string::npos) << c.arguments << ": " << result.out;
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
    }
    EXPECT_EQ(run("", "devices --all 2>/dev/null").status, 2);
    EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
