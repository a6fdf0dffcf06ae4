// The registry file: values survive the trip through the file whatever they
// contain, changes replace the file whole, failures are reported and harm
// nothing, and the path follows the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tarvex10/platform.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::optional<std::string> Read(const char *key, const char *name) {
    char buffer[512];
    HRESULT hr = TvxRegistryRead(key, name, buffer, sizeof buffer);
    if (hr != S_OK) return std::nullopt;
    return std::string(buffer);
}

// Every test gets its own registry file in a fresh directory.
class RegistryTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tvx-registry-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ / "registry";
        ASSERT_EQ(TvxRegistrySetPath(path_.c_str()), S_OK);
    }
    void TearDown() override {
        TvxRegistrySetPath(nullptr);
        fs::remove_all(dir_);
    }
    std::vector<std::string> DirEntries() const {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
        return names;
    }
    fs::path dir_, path_;
};

// Catches: escaping that does not undo itself, so a value with file syntax in
// it reads back changed or breaks the keys after it.
TEST_F(RegistryTest, AnyTextSurvivesTheFile) {
    const std::vector<TVXREGVALUE> values = {
        {"CLSID\\{96C1997B-9FD6-44A2-A491-27C3D03193B7}", "", "Tarvex10 Movie"},
        {"Plain", "name", "value with = and [brackets] and @"},
        {"Plain", "@", "a name that looks like the default"},
        {"Plain", "[not a key", "x"},
        {"Plain", "#not a comment", "y"},
        {"Plain", "a=b", "name with an equals sign"},
        {"Plain", " spaced ", "  leading and trailing blanks  "},
        {"Lines", "multi", "one\ntwo\r\nthree\\n not an escape\\"},
        {"[odd] key\\with\nline", "", "key with syntax in it"},
        {"Empty", "nothing", ""},
        {"Utf8", "", "caf\xc3\xa9 \xe2\x82\xac"},
    };
    ASSERT_EQ(TvxRegistryWrite(values.data(), values.size()), S_OK);
    for (const auto &v : values) {
        SCOPED_TRACE(std::string(v.key) + " / " + v.name);
        EXPECT_EQ(Read(v.key, v.name), v.value);
    }
    // The default value and the value named "@" are two different values.
    EXPECT_EQ(Read("Plain", ""), std::nullopt);
}

// Catches: format drift that would break files written by earlier versions
// or by hand, and output that depends on anything but the write order.
TEST_F(RegistryTest, FileKeepsTheDocumentedLayoutInWriteOrder) {
    const TVXREGVALUE first[] = {{"Tvx.Movie", "", "Movie"}, {"CLSID\\{X}", "ProgID", "Tvx.Movie"}};
    const TVXREGVALUE second[] = {{"tvx.movie", "", "Movie 2"}, {"Tvx.Movie\\CLSID", "", "{X}"},
                                  {"CLSID\\{X}", "@", "at"}};
    ASSERT_EQ(TvxRegistryWrite(first, 2), S_OK);
    ASSERT_EQ(TvxRegistryWrite(second, 3), S_OK);
    EXPECT_EQ(Slurp(path_), "[Tvx.Movie]\n@=Movie 2\n\n"
                            "[CLSID\\\\{X}]\nProgID=Tvx.Movie\n\\@=at\n\n"
                            "[Tvx.Movie\\\\CLSID]\n@={X}\n");
    // No temporary file is left beside the registry.
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"registry"});
}

// Catches: a reader that trips over what people type into the file by hand.
TEST_F(RegistryTest, ReadsHandWrittenFiles) {
    std::ofstream(path_, std::ios::binary) << "orphan=before any key\r\n"
                                              "# a comment\r\n"
                                              "; another\r\n"
                                              "\r\n"
                                              "[Key]\r\n"
                                              "@=default\r\n"
                                              "Name=first\r\n"
                                              "no separator here\r\n"
                                              "[broken key line\r\n"
                                              "Lost=value\r\n"
                                              "[KEY]\r\n"
                                              "name=second\r\n"
                                              "Other=x=y";
    EXPECT_EQ(Read("Key", ""), "default");
    EXPECT_EQ(Read("Key", "Name"), "second"); // the same key twice: the later value wins
    EXPECT_EQ(Read("Key", "Other"), "x=y");   // a last line without a line feed counts
    EXPECT_EQ(Read("Key", "no separator here"), std::nullopt);
    EXPECT_EQ(Read("broken key line", "Lost"), std::nullopt);
    EXPECT_EQ(Read("", "orphan"), std::nullopt);
}

// Catches: case-sensitive lookups, and overwrites that add a second value.
TEST_F(RegistryTest, KeysAndNamesIgnoreAsciiCase) {
    const TVXREGVALUE v1[] = {{"CLSID\\{abc}", "ProgID", "One"}};
    const TVXREGVALUE v2[] = {{"clsid\\{ABC}", "PROGID", "Two"}};
    ASSERT_EQ(TvxRegistryWrite(v1, 1), S_OK);
    ASSERT_EQ(TvxRegistryWrite(v2, 1), S_OK);
    EXPECT_EQ(Read("Clsid\\{Abc}", "progid"), "Two");
    EXPECT_EQ(Slurp(path_), "[CLSID\\\\{abc}]\nProgID=Two\n");
    // Only ASCII folds: these are different keys.
    EXPECT_EQ(Read("CLSID\\{ABC}\xc3\xa9", "ProgID"), std::nullopt);
}

// Catches: a read that overruns the buffer, forgets the NUL, or writes past it.
TEST_F(RegistryTest, ReadCutsTheValueToTheBuffer) {
    const TVXREGVALUE v[] = {{"K", "n", "abcdef"}};
    ASSERT_EQ(TvxRegistryWrite(v, 1), S_OK);
    struct Case {
        size_t capacity;
        std::string expected; // buffer contents after the call, 8 bytes
    } cases[] = {
        {0, std::string(8, '#')},
        {1, std::string("\0#######", 8)},
        {4, std::string("abc\0####", 8)},
        {6, std::string("abcde\0##", 8)},
        {7, std::string("abcdef\0#", 8)},
        {8, std::string("abcdef\0#", 8)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.capacity);
        std::string buffer(8, '#');
        EXPECT_EQ(TvxRegistryRead("K", "n", buffer.data(), c.capacity), S_OK);
        EXPECT_EQ(buffer, c.expected);
    }
    EXPECT_EQ(TvxRegistryRead("K", "n", nullptr, 0), S_OK); // asks only whether it exists
}

// Catches: errors for values that merely do not exist yet.
TEST_F(RegistryTest, AbsentValuesAreSFalse) {
    char buffer[8] = "keep";
    EXPECT_EQ(TvxRegistryRead("K", "n", buffer, sizeof buffer), S_FALSE); // no file at all
    EXPECT_STREQ(buffer, "keep");
    const TVXREGVALUE v[] = {{"K", "n", "x"}};
    ASSERT_EQ(TvxRegistryWrite(v, 1), S_OK);
    EXPECT_EQ(TvxRegistryRead("K", "other", buffer, sizeof buffer), S_FALSE);
    EXPECT_EQ(TvxRegistryRead("Other", "n", buffer, sizeof buffer), S_FALSE);
    EXPECT_EQ(TvxRegistryRead("K", nullptr, buffer, sizeof buffer), S_FALSE); // NULL name is the default
}

// Catches: removing too much or too little, keys left empty, and an error
// for values that are already gone.
TEST_F(RegistryTest, RemoveTakesExactlyTheNamedValues) {
    const TVXREGVALUE v[] = {{"A", "", "a0"}, {"A", "x", "a1"}, {"B", "", "b0"}, {"C", "y", "c"}};
    ASSERT_EQ(TvxRegistryWrite(v, 4), S_OK);
    const TVXREGVALUE gone[] = {{"a", "X", nullptr}, {"B", "", nullptr}, {"Nowhere", "z", nullptr}};
    ASSERT_EQ(TvxRegistryRemove(gone, 3), S_OK);
    EXPECT_EQ(Slurp(path_), "[A]\n@=a0\n\n[C]\ny=c\n");
    ASSERT_EQ(TvxRegistryRemove(gone, 3), S_OK); // again: nothing left to remove
    const TVXREGVALUE rest[] = {{"A", nullptr, nullptr}, {"C", "y", nullptr}};
    ASSERT_EQ(TvxRegistryRemove(rest, 2), S_OK);
    EXPECT_TRUE(fs::exists(path_));
    EXPECT_EQ(Slurp(path_), "");
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"registry"});
}

// Catches: a missing file treated as an error, or created by a removal.
TEST_F(RegistryTest, RemovingFromAMissingFileIsNoError) {
    const TVXREGVALUE v[] = {{"K", "n", nullptr}};
    EXPECT_EQ(TvxRegistryRemove(v, 1), S_OK);
    EXPECT_FALSE(fs::exists(path_));
}

// Catches: unreadable files mistaken for empty ones (a write would then wipe
// the registry) and temporary files left behind by failures.
TEST_F(RegistryTest, FailuresAreReportedAndChangeNothing) {
    fs::create_directory(path_); // a directory where the file should be
    fs::create_directory(dir_ / "sub");
    std::ofstream(dir_ / "sub" / "inside") << "x";
    char buffer[8];
    const TVXREGVALUE v[] = {{"K", "n", "x"}};
    EXPECT_EQ(TvxRegistryRead("K", "n", buffer, sizeof buffer), REGDB_E_READREGDB);
    EXPECT_EQ(TvxRegistryWrite(v, 1), REGDB_E_WRITEREGDB);
    EXPECT_EQ(TvxRegistryRemove(v, 1), REGDB_E_WRITEREGDB);
    EXPECT_TRUE(fs::is_directory(path_));

    // A file that cannot be opened must not be taken for a missing one and
    // replaced (a link to itself: every open fails, a rename would succeed).
    auto looped = dir_ / "looped";
    fs::create_symlink("looped", looped);
    ASSERT_EQ(TvxRegistrySetPath(looped.c_str()), S_OK);
    EXPECT_EQ(TvxRegistryRead("K", "n", buffer, sizeof buffer), REGDB_E_READREGDB);
    EXPECT_EQ(TvxRegistryWrite(v, 1), REGDB_E_WRITEREGDB);
    EXPECT_EQ(TvxRegistryRemove(v, 1), REGDB_E_WRITEREGDB);
    EXPECT_TRUE(fs::is_symlink(looped));

    // A parent that is a file cannot become a directory.
    auto blocked = dir_ / "sub" / "inside" / "registry";
    ASSERT_EQ(TvxRegistrySetPath(blocked.c_str()), S_OK);
    EXPECT_EQ(TvxRegistryWrite(v, 1), REGDB_E_WRITEREGDB);
    EXPECT_EQ(Slurp(dir_ / "sub" / "inside"), "x");
    EXPECT_EQ(DirEntries().size(), 3u);
}

// Catches: writes that fail on a first run, before the data directory exists.
TEST_F(RegistryTest, WriteCreatesMissingDirectories) {
    auto deep = dir_ / "a" / "b" / "registry";
    ASSERT_EQ(TvxRegistrySetPath(deep.c_str()), S_OK);
    const TVXREGVALUE v[] = {{"K", "n", "x"}};
    ASSERT_EQ(TvxRegistryWrite(v, 1), S_OK);
    EXPECT_EQ(Read("K", "n"), "x");
    EXPECT_TRUE(fs::is_regular_file(deep));
}

// Catches: arguments that would crash or write half-formed entries.
TEST_F(RegistryTest, RejectsMalformedArguments) {
    const TVXREGVALUE no_key[] = {{nullptr, "n", "x"}};
    const TVXREGVALUE empty_key[] = {{"", "n", "x"}};
    const TVXREGVALUE no_value[] = {{"K", "n", nullptr}};
    EXPECT_EQ(TvxRegistryWrite(nullptr, 1), E_INVALIDARG);
    EXPECT_EQ(TvxRegistryWrite(no_key, 1), E_INVALIDARG);
    EXPECT_EQ(TvxRegistryWrite(empty_key, 1), E_INVALIDARG);
    EXPECT_EQ(TvxRegistryWrite(no_value, 1), E_INVALIDARG);
    EXPECT_EQ(TvxRegistryRemove(nullptr, 1), E_INVALIDARG);
    EXPECT_EQ(TvxRegistryRead(nullptr, "n", nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(TvxRegistrySetPath(""), E_INVALIDARG);
    EXPECT_FALSE(fs::exists(path_));
}

// Catches: read-modify-write cycles that interleave and lose each other's values.
TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
    constexpr int kThreads = 4, kWrites = 20;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kWrites; ++i) {
                std::string key = "T" + std::to_string(t), name = "v" + std::to_string(i);
                const TVXREGVALUE v[] = {{key.c_str(), name.c_str(), name.c_str()}};
                EXPECT_EQ(TvxRegistryWrite(v, 1), S_OK);
            }
        });
    }
    for (auto &thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kWrites; ++i) {
            std::string key = "T" + std::to_string(t), name = "v" + std::to_string(i);
            EXPECT_EQ(Read(key.c_str(), name.c_str()), name);
        }
}

class RegistryPathTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char *name : {"TVX_REGISTRY", "XDG_DATA_HOME", "HOME"}) {
            const char *value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        TvxRegistrySetPath(nullptr);
    }
    void TearDown() override {
        for (const auto &[name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        TvxRegistrySetPath(nullptr);
    }
    static std::string Path() {
        char buffer[256];
        size_t length = TvxRegistryGetPath(buffer, sizeof buffer);
        EXPECT_EQ(length, std::string(buffer).size());
        return buffer;
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Catches: the environment variables consulted in the wrong order, or empty
// ones taken for set ones.
TEST_F(RegistryPathTest, DefaultFollowsTheEnvironment) {
    struct Case {
        const char *registry, *data_home, *home, *expected;
    } cases[] = {
        {"/r/file", "/data", "/home/u", "/r/file"},
        {nullptr, "/data", "/home/u", "/data/tarvex10/registry"},
        {"", "/data", "/home/u", "/data/tarvex10/registry"},
        {nullptr, nullptr, "/home/u", "/home/u/.local/share/tarvex10/registry"},
        {nullptr, "", "/home/u", "/home/u/.local/share/tarvex10/registry"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        auto set = [](const char *name, const char *value) {
            value ? setenv(name, value, 1) : unsetenv(name);
        };
        set("TVX_REGISTRY", c.registry);
        set("XDG_DATA_HOME", c.data_home);
        set("HOME", c.home);
        EXPECT_EQ(Path(), c.expected);
    }
}

// Catches: an override that does not take, or that cannot be undone.
TEST_F(RegistryPathTest, SetPathOverridesUntilReset) {
    setenv("TVX_REGISTRY", "/from/env", 1);
    ASSERT_EQ(TvxRegistrySetPath("/chosen/registry"), S_OK);
    EXPECT_EQ(Path(), "/chosen/registry");
    ASSERT_EQ(TvxRegistrySetPath(nullptr), S_OK);
    EXPECT_EQ(Path(), "/from/env");

    char small[5] = "####";
    EXPECT_EQ(TvxRegistryGetPath(small, 4), 9u); // the full length, however much fits
    EXPECT_EQ(std::string(small, 5), std::string("/fr\0\0", 5));
    EXPECT_EQ(TvxRegistryGetPath(nullptr, 0), 9u);
}

} // namespace
