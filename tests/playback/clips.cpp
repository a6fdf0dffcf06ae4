#include "clips.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>

namespace tvx::testing {
namespace {

std::string Folder() {
    // Never destroyed: the clean-up at exit still reads it.
    static const std::string &folder = *new std::string([] {
        const auto path = std::filesystem::temp_directory_path() / ("tvx_playback_" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        // Clips and captures go with the test program.
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(Folder(), ignored);
        });
        return path.string();
    }());
    return folder;
}

int Level(int digit) { return 20 + 40 * digit; }

} // namespace

Rgb FrameColour(int frame) { return {Level(frame % 6), Level(frame / 6 % 6), Level(frame / 36 % 6)}; }

int FrameOfColour(Rgb seen) {
    int best = -1;
    long best_distance = 0;
    for (int frame = 0; frame < 216; ++frame) {
        const Rgb c = FrameColour(frame);
        const long distance = (c.r - seen.r) * (c.r - seen.r) + (c.g - seen.g) * (c.g - seen.g) +
                              (c.b - seen.b) * (c.b - seen.b);
        if (best < 0 || distance < best_distance) {
            best = frame;
            best_distance = distance;
        }
    }
    return best;
}

std::string Clip(const std::string &format, int width, int height, int frames) {
    static std::mutex mutex;
    static std::map<std::string, std::string> made;
    std::lock_guard lock(mutex);
    const std::string key = format + "_" + std::to_string(width) + "x" + std::to_string(height) + "_" +
                            std::to_string(frames);
    if (auto it = made.find(key); it != made.end()) return it->second;

    // Flat pictures are small: several share a packet of the program
    // stream, and those have no time stamp of their own. Boxed ones have
    // the frame's colour only in their middle half, framed in white.
    const size_t dash = format.find('-');
    const std::string kind = format.substr(0, dash);
    const std::string look = dash == std::string::npos ? "" : format.substr(dash + 1);
    const bool flat = look == "flat";
    const bool boxed = look == "boxed";
    std::string codecs, extension;
    if (kind == "mpeg1") {
        codecs = "-c:v mpeg1video -mbd rd -g 12 -bf 2 -q:v 2 -c:a mp2 -b:a 128k -f mpeg";
        extension = ".mpg";
    } else if (kind == "mpeg2") {
        codecs = "-c:v mpeg2video -mbd rd -g 12 -bf 2 -q:v 2 -c:a mp2 -b:a 128k -f vob";
        extension = ".mpg";
    } else {
        codecs = "-c:v libx264 -preset ultrafast -g 12 -pix_fmt yuv420p -c:a aac -b:a 128k -f mp4";
        extension = ".mp4";
    }
    const std::string path = Folder() + "/" + key + extension;
    const double seconds = static_cast<double>(frames) / kClipFps;
    char tones[256];
    std::snprintf(tones, sizeof tones,
                  "-f lavfi -i sine=frequency=%g:sample_rate=44100:duration=%g "
                  "-f lavfi -i sine=frequency=%g:sample_rate=44100:duration=%g "
                  "-filter_complex \"[1][2]join=inputs=2:channel_layout=stereo[a]\" -map 0:v -map \"[a]\" ",
                  kLeftTone, seconds, kRightTone, seconds);
    const std::string command = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgb24 -s " + std::to_string(width) +
                                "x" + std::to_string(height) + " -r " + std::to_string(kClipFps) + " -i - " + tones +
                                "-sc_threshold 1000000000 " + codecs + " " + path;
    FILE *pipe = popen(command.c_str(), "w");
    if (!pipe) {
        ADD_FAILURE() << "cannot run ffmpeg";
        return path;
    }
    std::mt19937 random(7);
    std::vector<unsigned char> picture(static_cast<size_t>(width * height * 3));
    for (int frame = 0; frame < frames; ++frame) {
        const Rgb c = FrameColour(frame);
        for (size_t i = 0; i < picture.size(); i += 3) {
            // +-12 around the colour: the mean stays on it.
            const int noise = flat ? 0 : static_cast<int>(random() % 25) - 12;
            const int x = static_cast<int>(i / 3) % width, y = static_cast<int>(i / 3) / width;
            const bool frame_white = boxed && (x < width / 4 || x >= width * 3 / 4 || y < height / 4 || y >= height * 3 / 4);
            picture[i] = static_cast<unsigned char>(frame_white ? kBoxWhite : c.r + noise);
            picture[i + 1] = static_cast<unsigned char>(frame_white ? kBoxWhite : c.g + noise);
            picture[i + 2] = static_cast<unsigned char>(frame_white ? kBoxWhite : c.b + noise);
        }
        std::fwrite(picture.data(), 1, picture.size(), pipe);
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    made[key] = path;
    return path;
}

std::string CaptureInto(const std::string &name) {
    const std::string folder = Folder() + "/capture_" + name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    setenv("TVX_MEDIA_CAPTURE", folder.c_str(), 1);
    return folder;
}

std::vector<VideoRecord> ReadVideo(const std::string &folder) {
    std::vector<VideoRecord> records;
    std::ifstream in(folder + "/video.log");
    VideoRecord r{};
    while (in >> r.wall >> r.stream >> r.colour.r >> r.colour.g >> r.colour.b) records.push_back(r);
    return records;
}

std::vector<AudioRecord> ReadAudio(const std::string &folder) {
    std::vector<AudioRecord> records;
    std::ifstream in(folder + "/audio.log");
    AudioRecord r{};
    long long pts = 0;
    while (in >> r.wall >> pts >> r.frames >> r.rms_left >> r.rms_right >> r.crossings_left >> r.crossings_right)
        records.push_back(r);
    return records;
}

double MonotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace tvx::testing
