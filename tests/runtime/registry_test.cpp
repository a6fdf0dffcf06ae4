// The registry file: values survive the trip through the file whatever they
// contain, changes replace the file whole, failures are reported and harm
// nothing, and the path follows the environment.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
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

// Runs `body` in a child process that is killed after `seconds`; gives its
// exit status, or 128 + the signal that ended it.
int InChild(int seconds, const std::function<int()> &body) {
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(static_cast<unsigned>(seconds));
        int result = 99;
        try {
            result = body();
        } catch (...) {
        }
        _exit(result);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The bytes this process has read from files so far.
long long BytesRead() {
    std::ifstream io("/proc/self/io");
    std::string field;
    long long value = 0;
    while (io >> field >> value)
        if (field == "rchar:") return value;
    return -1;
}

void SetModificationTime(const fs::path &path, time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Catches: a read–modify–replace that is locked only within one process, so
// that processes writing at once replace each other's changes.
TEST_F(RegistryTest, ProcessesWritingAtOnceLoseNothing) {
    constexpr int kProcesses = 8, kWrites = 50;
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        if (pid == 0) {
            alarm(60);
            close(go[1]);
            char byte;
            (void)!read(go[0], &byte, 1); // all start together
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                const std::string key = "P" + std::to_string(p), name = "v" + std::to_string(i);
                const TVXREGVALUE v[] = {{key.c_str(), name.c_str(), name.c_str()}};
                failures += TvxRegistryWrite(v, 1) != S_OK;
            }
            _exit(failures ? 1 : 0);
        }
        children.push_back(pid);
    }
    close(go[0]);
    close(go[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    int kept = 0;
    for (int p = 0; p < kProcesses; ++p)
        for (int i = 0; i < kWrites; ++i)
            kept += Read(("P" + std::to_string(p)).c_str(), ("v" + std::to_string(i)).c_str()).has_value();
    EXPECT_EQ(kept, kProcesses * kWrites);
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"registry"});
}

// Catches: paths that are not files read to their (never coming) end: a
// device that never ends, a pipe that nobody writes. Each must fail at once,
// and a write must not replace them.
TEST_F(RegistryTest, PathsThatAreNotFilesFailAtOnce) {
    const fs::path fifo = dir_ / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int status = InChild(5, [&] {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) // they reserve far more
        const rlimit memory{1u << 30, 1u << 30}; // a reader that grows without end stops here
        setrlimit(RLIMIT_AS, &memory);
#endif
        int failures = 0;
        char buffer[16];
        for (const char *device : {"/dev/zero", "/dev/urandom"}) {
            TvxRegistrySetPath(device);
            failures += TvxRegistryRead("K", "n", buffer, sizeof buffer) != REGDB_E_READREGDB;
        }
        TvxRegistrySetPath(fifo.c_str());
        const TVXREGVALUE v[] = {{"K", "n", "x"}};
        failures += TvxRegistryRead("K", "n", buffer, sizeof buffer) != REGDB_E_READREGDB;
        failures += TvxRegistryWrite(v, 1) != REGDB_E_WRITEREGDB;
        failures += TvxRegistryRemove(v, 1) != REGDB_E_WRITEREGDB;
        return failures;
    });
    EXPECT_EQ(status, 0) << "failed checks, or 128 + the signal that stopped a hang";
    EXPECT_TRUE(fs::is_fifo(fifo));
}

// Catches: a registry of any size read whole into memory, and a change that
// writes a file the next read would refuse.
TEST_F(RegistryTest, RegistriesBeyondTheSizeLimitAreRefused) {
    {
        std::ofstream out(path_, std::ios::binary);
        out << "[K]\nn=x\n";
        const std::string comment = "# " + std::string(1000, '-') + "\n";
        for (int i = 0; i < 5000; ++i) out << comment; // about 5 MB
    }
    const std::string before = Slurp(path_);
    char buffer[16];
    const TVXREGVALUE v[] = {{"K", "m", "y"}};
    testing::internal::CaptureStderr();
    EXPECT_EQ(TvxRegistryRead("K", "n", buffer, sizeof buffer), REGDB_E_READREGDB);
    EXPECT_EQ(TvxRegistryWrite(v, 1), REGDB_E_WRITEREGDB);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(path_.string()), std::string::npos) << said;
    EXPECT_NE(said.find("larger than"), std::string::npos) << said;
    EXPECT_TRUE(Slurp(path_) == before) << "the file changed";

    fs::remove(path_);
    const std::string huge(5 << 20, 'v');
    const TVXREGVALUE big[] = {{"K", "n", huge.c_str()}};
    testing::internal::CaptureStderr();
    EXPECT_EQ(TvxRegistryWrite(big, 1), REGDB_E_WRITEREGDB);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(Read("K", "n").has_value());
}

// Catches: every read parsing the whole file again although it has not
// changed, and a cache that misses a change: a file replaced by another
// process, or rewritten in place at the same size and time.
TEST_F(RegistryTest, FileIsReadAgainOnlyWhenItChanged) {
    std::vector<std::string> keys;
    for (int i = 0; i < 3000; ++i) keys.push_back("CLSID\\{" + std::to_string(1000000 + i) + "}");
    std::vector<TVXREGVALUE> values;
    for (const std::string &key : keys) values.push_back({key.c_str(), "", "value"});
    ASSERT_EQ(TvxRegistryWrite(values.data(), values.size()), S_OK);
    const time_t an_hour_ago = time(nullptr) - 3600;
    SetModificationTime(path_, an_hour_ago);
    const auto size = static_cast<long long>(fs::file_size(path_));
    ASSERT_GT(size, 50000);

    EXPECT_EQ(Read(keys[5].c_str(), ""), "value");
    const long long before = BytesRead();
    for (int i = 0; i < 100; ++i) ASSERT_EQ(Read(keys[i * 29].c_str(), ""), "value");
    EXPECT_LT(BytesRead() - before, size) << "the unchanged file was read again";

    // Another process replaces the file.
    EXPECT_EQ(InChild(30, [] {
                  const TVXREGVALUE v[] = {{"Other", "", "from a child"}};
                  return TvxRegistryWrite(v, 1) == S_OK ? 0 : 1;
              }),
              0);
    EXPECT_EQ(Read("Other", ""), "from a child");

    // Someone edits the file in place: same size, same modification time.
    SetModificationTime(path_, an_hour_ago);
    EXPECT_EQ(Read("Other", ""), "from a child");
    std::string text = Slurp(path_);
    const size_t at = text.find("from a child");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 12, "edited by me");
    {
        std::fstream in_place(path_, std::ios::in | std::ios::out | std::ios::binary);
        in_place.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    SetModificationTime(path_, an_hour_ago);
    EXPECT_EQ(Read("Other", ""), "edited by me");
}

// Catches: a new registry file created with a fixed mode whatever the umask.
// Write permission for others is never added, even where the umask would
// allow it: the registry would then be refused as untrusted.
TEST_F(RegistryTest, NewFileFollowsTheUmask) {
    const TVXREGVALUE v[] = {{"K", "n", "x"}};
    for (mode_t mask : {mode_t{077}, mode_t{027}, mode_t{002}}) {
        SCOPED_TRACE(mask);
        fs::remove(path_);
        const mode_t previous = umask(mask);
        const HRESULT status = TvxRegistryWrite(v, 1);
        umask(previous);
        ASSERT_EQ(status, S_OK);
        struct stat info {};
        ASSERT_EQ(stat(path_.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0644 & ~mask) << std::oct << (info.st_mode & 0777);
    }
}

// Catches: a registry path that is a symbolic link replaced by a plain file,
// so that the registry it pointed to no longer changes.
TEST_F(RegistryTest, SymbolicLinkStaysAndItsTargetChanges) {
    fs::create_directory(dir_ / "real");
    const fs::path target = dir_ / "real" / "registry";
    std::ofstream(target) << "[K]\nold=1\n";
    fs::create_symlink("real/registry", path_);
    const TVXREGVALUE v[] = {{"K", "new", "2"}};
    ASSERT_EQ(TvxRegistryWrite(v, 1), S_OK);
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(Slurp(target), "[K]\nold=1\nnew=2\n");
    const TVXREGVALUE gone[] = {{"K", "old", nullptr}};
    ASSERT_EQ(TvxRegistryRemove(gone, 1), S_OK);
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(Slurp(target), "[K]\nnew=2\n");
    EXPECT_EQ(DirEntries().size(), 2u);

    // A link to a file not made yet: the first write makes the file.
    fs::remove(path_);
    fs::create_symlink("real/later", path_);
    ASSERT_EQ(TvxRegistryWrite(v, 1), S_OK);
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(Slurp(dir_ / "real" / "later"), "[K]\nnew=2\n");
}

// Catches: rewrites that drop comments and the lines the reader skips, or
// move them away from the keys they stood by.
TEST_F(RegistryTest, CommentsAndUnknownLinesStayWhereTheyWere) {
    std::ofstream(path_, std::ios::binary) << "# Registry of this machine\r\n"
                                              "orphan=before any key\n"
                                              "\n"
                                              "[Key]\n"
                                              "# the default\n"
                                              "@=default\n"
                                              "no separator here\n"
                                              "Name=first\n"
                                              "\n"
                                              "; about the next key\n"
                                              "[Other]\n"
                                              "x=1\n"
                                              "[broken key line\n"
                                              "Lost=value\n";
    const TVXREGVALUE added[] = {{"Key", "New", "n"}, {"Other", "x", "2"}, {"Third", "", "t"}};
    ASSERT_EQ(TvxRegistryWrite(added, std::size(added)), S_OK);
    const TVXREGVALUE removed[] = {{"key", "name", nullptr}};
    ASSERT_EQ(TvxRegistryRemove(removed, 1), S_OK);
    EXPECT_EQ(Slurp(path_), "# Registry of this machine\n"
                            "orphan=before any key\n"
                            "\n"
                            "[Key]\n"
                            "# the default\n"
                            "@=default\n"
                            "no separator here\n"
                            "New=n\n"
                            "\n"
                            "; about the next key\n"
                            "[Other]\n"
                            "x=2\n"
                            "\n"
                            "[broken key line\n"
                            "Lost=value\n"
                            "\n"
                            "[Third]\n"
                            "@=t\n");
    EXPECT_EQ(Read("Third", ""), "t");
    EXPECT_EQ(Read("broken key line", "Lost"), std::nullopt);
}

// Catches: temporary files left beside the registry for good by a writer
// that died before it could rename or remove them.
TEST_F(RegistryTest, DeadWritersLeaveNoTemporaryFiles) {
    const TVXREGVALUE first[] = {{"K", "n", "x"}};
    ASSERT_EQ(TvxRegistryWrite(first, 1), S_OK);
    const std::string big(100000, 'b');
    const int status = InChild(30, [&] {
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_DFL); // dies in the middle of writing
        const TVXREGVALUE v[] = {{"Big", "", big.c_str()}};
        TvxRegistryWrite(v, 1);
        return 0;
    });
    EXPECT_EQ(status, 128 + SIGXFSZ);
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"registry"});
    EXPECT_EQ(Read("K", "n"), "x");

    // One left by a writer that died between naming and renaming it goes
    // at the next change; other files stay.
    std::ofstream(dir_ / ".registry.Ab3dE9") << "[Stale]\n@=1\n";
    std::ofstream(dir_ / "notes") << "mine";
    const TVXREGVALUE second[] = {{"K", "m", "y"}};
    ASSERT_EQ(TvxRegistryWrite(second, 1), S_OK);
    auto entries = DirEntries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"notes", "registry"}));
}

// Catches: a registry that others can change (and so choose the libraries
// that creation loads and runs) read as if it were the user's own.
TEST_F(RegistryTest, RegistriesOthersCanWriteAreRefused) {
    const TVXREGVALUE v[] = {{"K", "n", "x"}};
    ASSERT_EQ(TvxRegistryWrite(v, 1), S_OK);
    const std::string before = Slurp(path_);
    char buffer[16];
    auto refused = [&](const std::string &why) {
        SCOPED_TRACE(why);
        testing::internal::CaptureStderr();
        EXPECT_EQ(TvxRegistryRead("K", "n", buffer, sizeof buffer), E_ACCESSDENIED);
        EXPECT_EQ(TvxRegistryWrite(v, 1), E_ACCESSDENIED);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(why), std::string::npos) << said;
        EXPECT_EQ(Slurp(path_), before);
    };
    fs::permissions(path_, fs::perms(0666));
    refused("writable by others");
    fs::permissions(path_, fs::perms(0620));
    refused("writable by its group");
    fs::permissions(path_, fs::perms(0644));
    EXPECT_EQ(Read("K", "n"), "x");

    fs::permissions(dir_, fs::perms(0777));
    refused("writable by others");
    fs::permissions(dir_, fs::perms(01777)); // like /tmp: others cannot replace what is not theirs
    EXPECT_EQ(Read("K", "n"), "x");
    fs::permissions(dir_, fs::perms(0700));

    if (geteuid() != 0) GTEST_SKIP() << "only root can give the file away";
    ASSERT_EQ(chown(path_.c_str(), 4242, 4242), 0);
    refused("owned by user 4242");
    ASSERT_EQ(chown(path_.c_str(), 0, 0), 0);
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
