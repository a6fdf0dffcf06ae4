// The cdaudio device through an injected drive: no drive, the door, the
// disc's tracks and times, and what a drive that does not play refuses.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../../runtime/mci/cdaudio.h"
#include "support/mci_client.h"
#include "tarvex10/platform.h"

namespace {

using tvx::mci::CdDrive;

using tvx::testing::Answer;
using tvx::testing::Send;

// What the test's drive does, shared with the test after the device owns
// the drive.
struct DriveLog {
    CdDrive::State state = CdDrive::State::DiscOk;
    bool eject_fails = false;
    int ejects = 0;
    int closes = 0;
    std::vector<std::string> opened;
    // Three tracks: 2 s in, then at 1:00 and 3:30; the disc ends at 5:00.
    CdDrive::Toc toc{{150, 60 * 75, 210 * 75}, 300 * 75};
};

class FakeDrive : public CdDrive {
public:
    explicit FakeDrive(DriveLog &log) : log_(log) {}
    State Status() override { return log_.state; }
    bool Eject() override {
        ++log_.ejects;
        if (log_.eject_fails) return false;
        log_.state = State::TrayOpen;
        return true;
    }
    bool CloseTray() override {
        ++log_.closes;
        log_.state = State::DiscOk;
        return true;
    }
    std::optional<Toc> ReadToc() override {
        if (log_.state != State::DiscOk) return std::nullopt;
        return log_.toc;
    }

private:
    DriveLog &log_;
};

class CdAudio : public ::testing::Test {
protected:
    CdAudio() {
        Send("close all");
        tvx::mci::SetCdDriveOpener([this](const std::string &path) -> std::unique_ptr<CdDrive> {
            log_.opened.push_back(path);
            if (!drive_present_) return nullptr;
            return std::make_unique<FakeDrive>(log_);
        });
    }
    ~CdAudio() override {
        Send("close all");
        tvx::mci::SetCdDriveOpener(nullptr);
    }
    DriveLog log_;
    bool drive_present_ = true;
};

// Catches: a missing drive reported as anything but "driver cannot be
// loaded", on an explicit open or on an open by type name.
TEST_F(CdAudio, WithoutADriveOpeningFails) {
    drive_present_ = false;
    EXPECT_EQ(Send("open cdaudio").code, 266u);
    EXPECT_EQ(Send("open cdaudio alias cd").code, 266u);
    EXPECT_EQ(Send("set cdaudio door open").code, 266u);
    EXPECT_EQ(Send("status cdaudio mode").code, 266u);
    EXPECT_EQ(log_.opened, (std::vector<std::string>{"/dev/cdrom", "/dev/cdrom", "/dev/cdrom", "/dev/cdrom"}));
    EXPECT_EQ(Send("sysinfo all quantity open").reply, "0");
}

// Catches: the door commands not reaching the drive, an open tray ejected
// again, a failed eject reported as success, and the device opened for
// the door left open afterwards.
TEST_F(CdAudio, DoorOpensAndClosesTheTray) {
    ASSERT_EQ(Send("set cdaudio door open").code, 0u);
    EXPECT_EQ(log_.ejects, 1);
    EXPECT_EQ(Send("sysinfo all quantity open").reply, "0") << "opened for one command only";
    EXPECT_EQ(Send("set cdaudio door open").code, 0u);
    EXPECT_EQ(log_.ejects, 1) << "an open tray is left as it is";
    ASSERT_EQ(Send("set cdaudio door closed").code, 0u);
    EXPECT_EQ(log_.closes, 1);
    log_.eject_fails = true;
    EXPECT_EQ(Send("set cdaudio door open").code, 262u);
}

// Catches: a drive named in the open command not used, and the device's
// mode not following the drive.
TEST_F(CdAudio, ModeFollowsTheDrive) {
    ASSERT_EQ(Send("open /dev/sr1 type cdaudio alias cd").code, 0u);
    EXPECT_EQ(log_.opened.back(), "/dev/sr1");
    struct Case {
        CdDrive::State state;
        const char *mode, *present;
    } cases[] = {
        {CdDrive::State::DiscOk, "stopped", "true"},
        {CdDrive::State::TrayOpen, "open", "false"},
        {CdDrive::State::NoDisc, "not ready", "false"},
        {CdDrive::State::NotReady, "not ready", "false"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        log_.state = c.state;
        EXPECT_EQ(Send("status cd mode").reply, c.mode);
        EXPECT_EQ(Send("status cd media present").reply, c.present);
        EXPECT_EQ(Send("status cd ready").reply, c.present);
    }
    log_.state = CdDrive::State::NoDisc;
    EXPECT_EQ(Send("status cd number of tracks").code, 276u);
    EXPECT_EQ(Send("set cd door open").code, 0u);
    EXPECT_EQ(log_.ejects, 1);
}

// Catches: track times in the wrong format or off by the lead-in, and
// time formats of other devices accepted.
TEST_F(CdAudio, TracksAndTimes) {
    ASSERT_EQ(Send("open cdaudio alias cd").code, 0u);
    EXPECT_EQ(Send("status cd time format").reply, "msf");
    EXPECT_EQ(Send("status cd number of tracks").reply, "3");
    EXPECT_EQ(Send("status cd length").reply, "04:58:00");
    EXPECT_EQ(Send("status cd length track 2").reply, "02:30:00");
    EXPECT_EQ(Send("status cd position").reply, "00:02:00");
    EXPECT_EQ(Send("status cd position track 3").reply, "03:30:00");
    EXPECT_EQ(Send("status cd position track 4").code, 282u);
    ASSERT_EQ(Send("set cd time format tmsf").code, 0u);
    EXPECT_EQ(Send("status cd position track 2").reply, "02:00:00:00") << "tmsf counts within the track";
    ASSERT_EQ(Send("set cd time format ms").code, 0u);
    EXPECT_EQ(Send("status cd length").reply, "298000");
    EXPECT_EQ(Send("set cd time format frames").code, 293u);
    EXPECT_EQ(Send("status cd time format").reply, "milliseconds");
}

// Catches: verbs and items a drive cannot carry out answered as done, or
// refused with other numbers than the interface's.
TEST_F(CdAudio, WhatTheDriveDoesNotDo) {
    ASSERT_EQ(Send("open cdaudio alias cd").code, 0u);
    struct Case {
        const char *command;
        MCIERROR code;
    } cases[] = {
        {"play cd", 274},           {"record cd", 274},        {"step cd by 1", 261},
        {"where cd source", 261},   {"set cd speed 1", 259},   {"seek cd wait", 273},
        {"status cd track", 270},   {"status cd position start track 1", 284},
        {"stop cd", 0},             {"set cd video on", 0},    {"info cd product", 0},
        {"capability cd can eject", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(Send(c.command).code, c.code);
    }
    EXPECT_EQ(Send("capability cd can eject").reply, "true");
    EXPECT_EQ(Send("capability cd has video").reply, "false");
    // "set all video off" reaches the drive too, which has nothing to switch.
    EXPECT_EQ(Send("set all video off").code, 0u);
}

} // namespace
