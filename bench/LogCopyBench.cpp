// Keeping a large fax in the log against cp(1) of the same files: the log copies in the kernel,
// so the two should stay within 2x of each other.
#include "fax/log/FaxLog.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr std::size_t kBodyBytes = 48u << 20;
constexpr std::size_t kImageBytes = 16u << 20;

struct Files {
    std::string folder;
    std::string body;
    std::string image;
};

const Files& LargeFax() {
    static const Files files = [] {
        char folder[] = "/tmp/qp-bench-log-XXXXXX";
        Files made{::mkdtemp(folder), {}, {}};
        made.body = made.folder + "/faxbody.ps";
        made.image = made.folder + "/fax.tif";
        std::string block(1 << 20, '%');
        std::ofstream body(made.body, std::ios::binary);
        for (std::size_t i = 0; i < kBodyBytes / block.size(); ++i)
            body.write(block.data(), static_cast<std::streamsize>(block.size()));
        std::ofstream image(made.image, std::ios::binary);
        for (std::size_t i = 0; i < kImageBytes / block.size(); ++i)
            image.write(block.data(), static_cast<std::streamsize>(block.size()));
        return made;
    }();
    return files;
}

void BM_LogEntryOfALargeFax(benchmark::State& state) {
    const Files& fax = LargeFax();
    const std::string logFolder = fax.folder + "/log";
    qp::faxlog::Record record;
    record.outcome = qp::faxlog::Outcome::Sent;
    for (auto _ : state) {
        std::filesystem::remove_all(logFolder);
        qp::faxlog::FaxLog log(logFolder);
        record.time += 1;
        benchmark::DoNotOptimize(log.Add(record, {fax.body, {}, fax.image}));
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * (kBodyBytes + kImageBytes)));
}
BENCHMARK(BM_LogEntryOfALargeFax)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_CpOfTheSameFiles(benchmark::State& state) {
    const Files& fax = LargeFax();
    const std::string copies = fax.folder + "/cp";
    const std::string command = "mkdir -p " + copies + " && cp " + fax.body + " " + fax.image +
                                " " + copies + " && sync -f " + copies;
    for (auto _ : state) {
        std::filesystem::remove_all(copies);
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * (kBodyBytes + kImageBytes)));
}
BENCHMARK(BM_CpOfTheSameFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace
