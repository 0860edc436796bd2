// A whole job over a generated store of about 1 GB (200 mailboxes, 10,000 messages,
// attachments from 1 KB to 5 MB): extraction alone, then extraction with cutting.
// Reports the mailbox bytes read and the attachment bytes written per second.
#include "DbxWriter.h"
#include "engine/ExtractThread.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const fs::path benchRoot = fs::temp_directory_path() / "tovk-bench-job";

struct Rows : MailboxList {
    std::vector<std::string> names;
    int nextChecked(int after) override { return after + 1 < int(names.size()) ? after + 1 : -1; }
    void itemText(TOVK_Utils::Block& text, int row, int, bool) override {
        text.assign(TOVK_Utils::String(names[size_t(row)].c_str()));
    }
    void removeAll() override {}
    int appendItem(const TOVK_Utils::Block&, intptr_t) override { return -1; }
    void setItemText(const TOVK_Utils::Block&, int, int) override {}
};

// Answers nothing, shows nothing.
struct QuietView : EngineView {
    TOVK_Utils::String extract, backup, store;
    bool cut = false;
    ExtractChoices chosen;
    Rescue rescueChoice = Rescue::WhenDamaged;
    Rows rows;
    const TOVK_Utils::String& extractFolder() override { return extract; }
    const TOVK_Utils::String& backupFolder() override { return backup; }
    bool createBackups() override { return false; }
    bool cutAttachments() override { return cut; }
    const TOVK_Utils::String& outlookExpressStoreRoot() override { return store; }
    OldBackups oldBackups() override { return OldBackups::KeepBeside; }
    bool listShowsEmlFolders() override { return false; }
    Rescue rescue() override { return rescueChoice; }
    const ExtractChoices& choices() override { return chosen; }
    MailboxList& mailboxList() override { return rows; }
    int ask(ViewOwner, const QuestionText&) override { return 1; }
    std::unique_ptr<ViewQuestion> newQuestion() override {
        struct Q : ViewQuestion {
            int showModal(ViewOwner, const QuestionText&) override { return 1; }
            bool checkState() const override { return false; }
        };
        return std::make_unique<Q>();
    }
    void setStatusText(const TOVK_Utils::Block&) override {}
    void postStatusText(const TOVK_Utils::Block&) override {}
    void postCounterText(ViewCounter, const TOVK_Utils::String&) override {}
    void setProgressRange(int, int) override {}
    void setProgress(int) override {}
    void enablePauseButton(bool) override {}
    void reportProblem(const TOVK_Utils::Block&) override {}
    void jobFinished(const JobCounts&) override {}
    void postClose() override {}
};

std::string base64Lines(size_t bytes, std::mt19937& random) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(bytes * 4 / 3 + bytes / 28 + 8);
    size_t column = 0;
    for (size_t i = 0; i < bytes; i += 3) {
        const uint32_t r = random();
        for (int k = 0; k < 4; ++k)
            out += alphabet[(r >> (6 * k)) & 63];
        if ((column += 4) == 76) {
            out += "\r\n";
            column = 0;
        }
    }
    return out;
}

// The store, made once and kept between runs.
uint64_t makeStore(const fs::path& folder) {
    uint64_t total = 0;
    if (fs::exists(folder / "complete")) {
        for (const auto& e : fs::directory_iterator(folder))
            total += e.path().extension() == ".dbx" ? fs::file_size(e.path()) : 0;
        return total;
    }
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::mt19937 random(42);
    std::uniform_real_distribution<double> logSize(std::log(1024.0), std::log(5.0 * 1024 * 1024));
    int name = 0;
    for (int box = 0; box < 200; ++box) {
        DbxTest::DbxWriter writer;
        for (int m = 0; m < 50; ++m) {
            std::string text = "From: a@example.org\r\nSubject: message " + std::to_string(m) +
                               "\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                               "--b\r\nContent-Type: text/plain\r\n\r\n" +
                               std::string(2000, 't') + "\r\n";
            if (random() % 100 < 15) {
                const size_t size = size_t(std::exp(logSize(random)));
                text += "--b\r\nContent-Type: application/octet-stream; name=\"file" +
                        std::to_string(name++) +
                        ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                        base64Lines(size, random) + "\r\n";
            }
            text += "--b--\r\n";
            writer.addMessage(std::move(text));
        }
        const fs::path path = folder / ("Mailbox " + std::to_string(box) + ".dbx");
        writer.writeFile(path.string());
        total += fs::file_size(path);
    }
    std::ofstream(folder / "complete") << "1";
    return total;
}

uint64_t folderBytes(const fs::path& folder) {
    uint64_t total = 0;
    for (const auto& e : fs::directory_iterator(folder))
        total += e.is_regular_file() ? e.file_size() : 0;
    return total;
}

// Cutting must have every attachment on the disk before it lets go of a message, while
// extraction alone leaves them to the system's write-back: OnDisk times extraction until
// its files are on the disk too, which is what cutting is fairly compared with.
enum class Until { JobEnds, OnDisk };

// Listed: the list of saved attachments is written too (attachments.csv in the output).
enum class Listed { No, Yes };

void runJob(benchmark::State& state, bool cut, Until until = Until::JobEnds,
            Rescue rescue = Rescue::WhenDamaged, Listed listed = Listed::No) {
    const fs::path pristine = benchRoot / "store";
    const uint64_t storeBytes = makeStore(pristine);
    const fs::path work = cut ? benchRoot / "work" : pristine;
    const fs::path out = benchRoot / "out";
    QuietView view;
    ExtractThread job(&view);
    view.cut = cut;
    view.rescueChoice = rescue;
    view.chosen.writeList = listed == Listed::Yes;
    const std::string storeText = work.string(), outText = out.string();
    view.store = TOVK_Utils::String(storeText.c_str());
    view.extract = TOVK_Utils::String(outText.c_str());
    for (int box = 0; box < 200; ++box)
        view.rows.names.push_back("Mailbox " + std::to_string(box));
    uint64_t written = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        fs::create_directories(out);
        if (cut) {
            fs::remove_all(work);
            fs::copy(pristine, work);
#ifndef _WIN32
            // A user's mailbox lies on the disk, not in the page cache: without this the
            // job's first flush of each mailbox would pay for writing out the copy.
            ::sync();
#endif
        }
        state.ResumeTiming();
        job.run();
#ifndef _WIN32
        if (until == Until::OnDisk)
            ::sync();
#endif
        state.PauseTiming();
        written = folderBytes(out);
        state.ResumeTiming();
    }
    state.counters["mailbox_MBps"] = benchmark::Counter(
        double(storeBytes) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
    state.counters["written_MBps"] = benchmark::Counter(
        double(written) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
    state.counters["store_MB"] = double(storeBytes) / 1e6;
    state.counters["attachments"] = double(job.counts().attachments);
}

void ExtractJob(benchmark::State& state) {
    runJob(state, false);
}
// The list's cost (a SHA-256 of every attachment, its message's headers decoded, a row
// written) is meant to stay under 5% of ExtractJob's time.
void ExtractJobWithList(benchmark::State& state) {
    runJob(state, false, Until::JobEnds, Rescue::WhenDamaged, Listed::Yes);
}
void ExtractJobOnDisk(benchmark::State& state) {
    runJob(state, false, Until::OnDisk);
}
void ExtractAndCutJob(benchmark::State& state) {
    runJob(state, true);
}
// Every mailbox carved as well as scanned: the whole of each file read once more, its
// messages then read as in ExtractJob. The goal is at most twice ExtractJob's time.
void RescueJob(benchmark::State& state) {
    runJob(state, false, Until::JobEnds, Rescue::Always);
}

BENCHMARK(ExtractJob)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(ExtractJobWithList)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(ExtractJobOnDisk)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(ExtractAndCutJob)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(RescueJob)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
