// Reads every member of a firmware archive with the archive reader and prints the time taken,
// for bench/archive_read.sh to set against unzip on the same file.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "upgrade/FirmwareArchive.h"
#include "upgrade/UpgradeLimits.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ARCHIVE [ROUNDS]\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 5;
    std::vector<std::uint8_t> buffer(64 * 1024);
    double best = 1e9;
    std::size_t total = 0;
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        vantor::FirmwareArchive archive;
        if (!archive.Open(argv[1]) || !archive.SetPassword(vantor::kArchivePassword)) {
            std::fprintf(stderr, "cannot open %s\n", argv[1]);
            return 1;
        }
        total = 0;
        for (std::size_t i = 0; i < archive.Count(); ++i) {
            if (!archive.OpenMember(i)) {
                std::fprintf(stderr, "cannot open member %zu\n", i);
                return 1;
            }
            while (const std::size_t n = archive.ReadMember(buffer)) {
                total += n;
            }
            if (archive.CloseMember() != vantor::FirmwareArchive::kMemberComplete) {
                std::fprintf(stderr, "member %zu failed its check\n", i);
                return 1;
            }
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    std::printf("%zu bytes in %.4f s (best of %d)\n", total, best, rounds);
    return 0;
}
