// Throughput of the mail formats: base64 decoding, parsing a message with a large
// attachment, and reading every message of a large mailbox on a warm cache.
#include "DbxWriter.h"
#include "formats/DbxMailbox.h"
#include "formats/Decoding.h"
#include "formats/MimePart.h"
#include "utils/LightBlock.h"
#include "utils/StoreVirtual.h"
#include "utils/String.h"

#include <benchmark/benchmark.h>

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

void ReadWholeMailbox(benchmark::State& state) {
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
    const std::string pathText = path.string();
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

} // namespace

BENCHMARK_MAIN();
