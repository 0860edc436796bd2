// Throughput of the mail formats: base64 decoding, parsing a message with a large
// attachment, cutting attachments out of a message and checking the cut, decoding attachment names,
// finding and decoding uuencoded files in text, reading every message of a large mailbox on a warm
// cache, with its chains in file order and shuffled, and the scan for reading and for cutting.
#include "DbxWriter.h"
#include "Uuencoder.h"
#include "formats/DbxMailbox.h"
#include "formats/Decoding.h"
#include "formats/HeaderValue.h"
#include "formats/MessageCut.h"
#include "formats/MimePart.h"
#include "formats/Uuencode.h"
#include "utils/LightBlock.h"
#include "utils/StoreVirtual.h"
#include "utils/String.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>

using namespace TOVK_Internet;

namespace {

std::string base64Lines(size_t bytes) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::mt19937 random(1);
    std::string out;
    out.reserve(bytes * 4 / 3 + bytes / 38 + 8);
    size_t column = 0;
    for (size_t i = 0; i < bytes; i += 3) {
        for (int k = 0; k < 4; ++k)
            out += alphabet[random() & 63];
        column += 4;
        if (column == 76) {
            out += "\r\n";
            column = 0;
        }
    }
    return out;
}

void DecodeBase64(benchmark::State& state) {
    const std::string text = base64Lines(10 << 20);
    TOVK_Utils::LightBlock input(text.data(), int32_t(text.size()));
    TOVK_Utils::StoreVirtual<TOVK_Utils::Block> output;
    output.allocateNarrow(30 << 20);
    for (auto _ : state) {
        decodeBase64(input, output);
        benchmark::DoNotOptimize(output.rawPointer());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(DecodeBase64)->Unit(benchmark::kMillisecond);

void ParseLargeAttachment(benchmark::State& state) {
    const std::string text = "From: a@example.org\r\nSubject: big\r\n"
                             "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                             "--b\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n"
                             "--b\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\n"
                             "Content-Transfer-Encoding: base64\r\n\r\n" +
                             base64Lines(10 << 20) + "\r\n--b--\r\n";
    TOVK_Utils::LightBlock input(text.data(), int32_t(text.size()));
    for (auto _ : state) {
        MimePart root;
        root.parse(input);
        benchmark::DoNotOptimize(root.allParts.size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(ParseLargeAttachment)->Unit(benchmark::kMillisecond);

// A message of a large attachment and many small ones, every one cut: the parse, the
// splice and the check that re-parses the cut text, as the passes do for each message.
void CutAttachments(benchmark::State& state) {
    std::string text = "From: a@example.org\r\nSubject: many\r\n"
                       "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                       "--b\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n";
    for (int i = 0; i < 500; ++i)
        text += "--b\r\nContent-Type: image/png; name=\"logo" + std::to_string(i) +
                ".png\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64Lines(3000);
    text += "--b\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\n" +
            base64Lines(10 << 20) + "\r\n--b--\r\n";
    TOVK_Utils::LightBlock input(text.data(), int32_t(text.size()));
    TOVK_Utils::StoreVirtual<TOVK_Utils::Block> output;
    output.allocateNarrow(30 << 20);
    for (auto _ : state) {
        MimePart root;
        root.parse(input);
        CutPlan plan(root);
        for (auto& part : root.allParts)
            if (part->isAttachment())
                plan.drop(*part);
        const bool cut =
            spliceOutDropped(root, plan, input, output) && cutKeepsTheRest(root, plan, output);
        benchmark::DoNotOptimize(cut);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(CutAttachments)->Unit(benchmark::kMillisecond);

// Name values as mailers write them: plain, quoted, encoded words in B and Q, several in
// a row, and RFC 2231 with continuations.
void DecodeNames(benchmark::State& state) {
    const std::string values[] = {
        "attachment; filename=\"report 2024.pdf\"",
        "attachment; filename=\"=?iso-8859-1?Q?Pr=E4sentation_Q3.ppt?=\"",
        "attachment; filename=\"=?utf-8?B?0KDQtdC30Y7QvNC1LmRvY3g=?=\"",
        "attachment; filename=\"=?utf-8?Q?R=C3=A9sum=C3=A9?= =?utf-8?Q?_2.txt?=\"",
        "attachment; filename*=utf-8''%E2%82%AC%20rates%202024.xlsx",
        "attachment; filename*0*=utf-8''a%C3%A9; filename*1*=%20long; filename*2=\" name.pdf\"",
    };
    int64_t names = 0;
    for (auto _ : state) {
        for (const std::string& value : values) {
            const HeaderValue header(value);
            benchmark::DoNotOptimize(header.parameter("filename"));
            ++names;
        }
    }
    state.SetItemsProcessed(names);
}
BENCHMARK(DecodeNames);

void UuencodedInText(benchmark::State& state) {
    std::mt19937 random(2);
    std::string data(10 << 20, '\0');
    for (auto& c : data)
        c = char(random());
    const std::string text =
        "Hello,\r\nthe file:\r\n\r\n" + DbxTest::uuencode("big.bin", data) + "\r\nBye\r\n";
    TOVK_Utils::StoreVirtual<TOVK_Utils::Block> output;
    output.allocateNarrow(30 << 20);
    for (auto _ : state) {
        for (const auto& block : findUuencodedBlocks(text))
            decodeUuencoded(text, block, output);
        benchmark::DoNotOptimize(output.rawPointer());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(UuencodedInText)->Unit(benchmark::kMillisecond);

std::filesystem::path wholeMailbox() {
    const auto path = std::filesystem::temp_directory_path() / "tovk-bench-200MiB.dbx";
    if (!std::filesystem::exists(path)) {
        DbxTest::DbxWriter writer;
        std::mt19937 random(2);
        size_t total = 0;
        while (total < (200u << 20)) {
            const size_t size = 2000 + random() % 200000;
            std::string message = "Subject: bench\r\n\r\n" + std::string(size, 'x');
            total += message.size();
            writer.addMessage(std::move(message));
        }
        writer.writeFile(path.string());
    }
    return path;
}

void ReadWholeMailbox(benchmark::State& state) {
    const std::string pathText = wholeMailbox().string();
    TOVK_Utils::String name(pathText.c_str()); // wraps, so the text must stay alive
    TOVK_Utils::StoreVirtual<TOVK_Utils::Block> text;
    text.allocateNarrow(30 << 20);
    int64_t bytes = 0;
    for (auto _ : state) {
        DbxMailbox box;
        box.open(name);
        box.scan();
        for (uint32_t offset : box.messageOffsets) {
            box.readMessage(offset, text);
            bytes += text.byteSize();
        }
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(ReadWholeMailbox)->Unit(benchmark::kMillisecond);

// The same mailbox carved: every byte of the file looked at once, without reading the
// messages. Its rate against ReadWholeMailbox's is what rescue adds to a job.
void CarveWholeMailbox(benchmark::State& state) {
    const std::string pathText = wholeMailbox().string();
    TOVK_Utils::String name(pathText.c_str());
    int64_t bytes = 0;
    size_t found = 0;
    for (auto _ : state) {
        DbxMailbox box;
        box.open(name);
        box.carve();
        found = box.messageOffsets.size();
        bytes += int64_t(box.fileSize());
    }
    state.SetBytesProcessed(bytes);
    state.counters["messages"] = double(found);
}
BENCHMARK(CarveWholeMailbox)->Unit(benchmark::kMillisecond);

// The same 300 messages (about 100 MiB) laid out three ways: each chain's blocks in file
// order; the blocks of each chain shuffled among themselves, as a mailbox rewritten in
// place for years leaves them; and every block of every chain at a random place in the
// file. Reading must cost about the same in the first two.
enum Layout { InOrder, Shuffled, Spread };

std::filesystem::path layoutMailbox(int64_t layout) {
    static const char* names[] = {"ordered", "shuffled", "spread"};
    const auto path = std::filesystem::temp_directory_path() /
                      (std::string("tovk-bench-layout-") + names[layout] + ".dbx");
    if (!std::filesystem::exists(path)) {
        DbxTest::DbxOptions options;
        options.shuffleBlocks = layout == Shuffled;
        options.seed = 3;
        DbxTest::DbxWriter writer(options);
        std::mt19937 random(3);
        std::vector<DbxTest::BlockRef> blocks;
        for (int i = 0; i < 300; ++i) {
            const size_t size = 200000 + random() % 300000;
            std::string message = "Subject: layout " + std::to_string(i) + "\r\n\r\n";
            message.reserve(size + 64);
            while (message.size() < size)
                message += char('a' + random() % 26);
            for (size_t b = 0; b * 512 < message.size(); ++b)
                blocks.push_back({i, int(b)});
            writer.addMessage(std::move(message));
        }
        if (layout == Spread) {
            std::shuffle(blocks.begin(), blocks.end(), random);
            writer.setBlockOrder(std::move(blocks));
        }
        // Written beside and renamed, so that an interrupted run leaves no half file.
        const auto part = path.string() + ".part";
        writer.writeFile(part);
        std::filesystem::rename(part, path);
    }
    return path;
}

void ReadMailboxLayout(benchmark::State& state) {
    const std::string pathText = layoutMailbox(state.range(0)).string();
    TOVK_Utils::String name(pathText.c_str()); // wraps, so the text must stay alive
    TOVK_Utils::StoreVirtual<TOVK_Utils::Block> text;
    text.allocateNarrow(30 << 20);
    int64_t bytes = 0;
    for (auto _ : state) {
        DbxMailbox box;
        box.open(name);
        box.scan();
        for (uint32_t offset : box.messageOffsets) {
            box.readMessage(offset, text);
            bytes += text.byteSize();
        }
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(ReadMailboxLayout)
    ->ArgName("layout")
    ->Arg(InOrder)
    ->Arg(Shuffled)
    ->Arg(Spread)
    ->Unit(benchmark::kMillisecond);

// Opening for cutting walks every chain's block headers once more before the first read:
// the scan alone, for reading and for cutting.
void ScanMailbox(benchmark::State& state) {
    const std::string pathText = layoutMailbox(state.range(1)).string();
    TOVK_Utils::String name(pathText.c_str());
    const auto access =
        state.range(0) != 0 ? DbxMailbox::Access::ReadWrite : DbxMailbox::Access::Read;
    for (auto _ : state) {
        DbxMailbox box;
        box.open(name, access);
        box.scan();
        benchmark::DoNotOptimize(box.messageOffsets.size());
    }
}
BENCHMARK(ScanMailbox)
    ->ArgNames({"cutting", "layout"})
    ->ArgsProduct({{0, 1}, {InOrder, Shuffled, Spread}})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
