// Rebuilding the catalog of a full card against find(1) walking the same tree for the same
// files, so the ratio says how much the catalog's own rules cost over a plain walk.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "recordings/trova_catalog.h"

extern char **environ;

namespace {

constexpr int kRecordFolders = 40;
constexpr int kClipsPerRecordFolder = 175; // 7000 in RECORD
constexpr int kClipsPerOtherFolder = 1000; // and 3000 in EVENT, MANUAL and MOTION

class CNullList : public CRecordingList
{
public:
    int32_t InsertItem(int32_t, const std::string &, const std::string &, const std::string &,
                       int32_t, int32_t, const SYSTEMTIME &) override
    {
        return m_nRows++;
    }
    void DeleteAllItems() override { m_nRows = 0; }
    int32_t GetSelection() const override { return -1; }
    void SetSelection(int32_t) override {}
    void EnsureVisible(int32_t) override {}
    int32_t GetScrollPos() const override { return 0; }
    void SetScrollPos(int32_t) override {}
    void RepaintNow() override {}
    int32_t m_nRows = 0;
};

class CNullOwner : public CCatalogOwner
{
public:
    void OnDriveChoice() override {}
    void OnCategoryButtonsChanged() override {}
};

void WriteClip(const std::string &path, size_t size)
{
    static const std::vector<char> bytes(4096, 'x');
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, size, f) != size) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fclose(f);
}

// The card, made once for the whole run and removed at exit.
class CBenchCard
{
public:
    CBenchCard()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "roadlog-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        m_strRoot = pattern + "/";
        int clip = 0;
        for (int d = 0; d < kRecordFolders; ++d) {
            const std::string folder = m_strRoot + "RECORD/2010" + std::to_string(1000 + d) + "/";
            std::filesystem::create_directories(folder);
            for (int i = 0; i < kClipsPerRecordFolder; ++i)
                WriteClip(folder + "REC_" + std::to_string(clip++) + ".avi", 1025 + i % 3000);
        }
        for (const char *name : {"EVENT/", "MANUAL/", "MOTION/"}) {
            const std::string folder = m_strRoot + name;
            std::filesystem::create_directories(folder);
            for (int i = 0; i < kClipsPerOtherFolder; ++i)
                WriteClip(folder + "CLP_" + std::to_string(clip++) + ".avi", 1025 + i % 3000);
        }
        m_nClips = clip;
        std::filesystem::create_directories(m_strRoot + "setting");
        WriteClip(m_strRoot + "setting/setup.cfg", 116);
    }
    ~CBenchCard() { std::filesystem::remove_all(m_strRoot); }

    const std::string &Root() const { return m_strRoot; }
    int Clips() const { return m_nClips; }

private:
    std::string m_strRoot;
    int m_nClips = 0;
};

CBenchCard &Card()
{
    static CBenchCard card;
    return card;
}

void BM_RebuildCatalog(benchmark::State &state)
{
    CNullList list;
    CNullOwner owner;
    PLAY_INFOR play;
    CTrovaCatalog catalog(list, owner, play);
    size_t found = 0;
    for (auto _ : state) {
        catalog.TrovaListInitial();
        play.nListType = LIST_RECORD;
        catalog.RebuildCatalog(Card().Root());
        found = 0;
        for (int32_t c = 0; c < kListTypeCount; ++c)
            found += catalog.Category(c).items.size();
    }
    if (found != static_cast<size_t>(Card().Clips()))
        state.SkipWithError("the catalog missed clips");
    state.counters["clips"] = static_cast<double>(found);
}
BENCHMARK(BM_RebuildCatalog)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FindAvi(benchmark::State &state)
{
    const std::string root = Card().Root();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {"find", root, "-name", "*.avi", "-size", "+1k"};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    rusage before{};
    ::getrusage(RUSAGE_CHILDREN, &before);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, "find", &actions, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start find");
            break;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("find failed");
            break;
        }
    }
    rusage after{};
    ::getrusage(RUSAGE_CHILDREN, &after);
    // find's own processor time, which the benchmark's CPU column (this process only) misses.
    const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    const double childMs =
        ms(after.ru_utime) + ms(after.ru_stime) - ms(before.ru_utime) - ms(before.ru_stime);
    state.counters["find_cpu_ms"] =
        state.iterations() > 0 ? childMs / static_cast<double>(state.iterations()) : 0.0;
    posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_FindAvi)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Card(); // made before any timing starts
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
