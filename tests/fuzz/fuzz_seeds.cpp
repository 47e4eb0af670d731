// Writes the fuzz targets' seeds: valid and nearly valid files of every kind the readers take,
// one folder per target, so that the fuzzers start from real layouts.
// Usage: fuzz_seeds DIR

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "core/conversion.h"
#include "core/default_template.h"
#include "tests/fuzz/shaped_input.h"

using namespace plimbrook;
using namespace plimbrook::fuzz;

namespace {

constexpr std::size_t kKiB = 1024;

struct Seed {
    std::string name;
    File bytes;
};
using Seeds = std::vector<Seed>;

File withFill(Bytes save, std::size_t total, std::uint8_t fill) {
    File file(save.begin(), save.end());
    file.resize(total, fill);
    return file;
}

File withUfoSdTail(Bytes save) {
    File file(save.begin(), save.end());
    for (std::size_t i = 0; file.size() < ufo_sd::kFileSize; ++i) {
        file.push_back(ufo_sd::kTail[i % ufo_sd::kTail.size()]);
    }
    return file;
}

File copierFile(CopierFormat format, Bytes save) {
    const HeaderTemplate header = withComment(defaultHeaderTemplate(), "Fuzz seed: Zelda 3 (E)");
    return copierFileBytes(format, header, *imageOfSave(save));
}

Seeds rawSaves() {
    Seeds seeds;
    for (const std::size_t size :
         {std::size_t{1}, 1 * kKiB, 2 * kKiB, 4 * kKiB, 8 * kKiB, 16 * kKiB, 32 * kKiB,
          std::size_t{1023}, std::size_t{3005}, std::size_t{5000}, std::size_t{8217}, 32 * kKiB - 1,
          32 * kKiB + 1}) {
        seeds.push_back({"raw-" + std::to_string(size), saveOf(size, size)});
    }
    File marked = saveOf(8 * kKiB, 7);
    marked[layout::kCopierMarkOffset] = 0xAA;
    marked[layout::kCopierMarkOffset + 1] = 0xBB;
    seeds.push_back({"raw-8k-aabb", marked});
    seeds.push_back({"raw-8k-zeros", File(8 * kKiB, 0x00)});
    seeds.push_back({"raw-32k-ff", File(32 * kKiB, 0xFF)});
    File halves = saveOf(16 * kKiB, 16);
    halves.insert(halves.end(), halves.begin(), halves.end());
    seeds.push_back({"raw-32k-halves", halves});
    return seeds;
}

Seeds paddedSaves() {
    const File save8 = saveOf(8 * kKiB, 8);
    File padded8 = withFill(save8, 128 * kKiB, 0x00);
    File nearly = padded8;
    nearly.back() = 0x01;
    return {{"padded-8k-00-128k", padded8},
            {"padded-32k-ff-128k", withFill(saveOf(32 * kKiB, 32), 128 * kKiB, 0xFF)},
            {"padded-16k-00-64k1", withFill(saveOf(16 * kKiB, 16), 64 * kKiB + 1, 0x00)},
            {"padded-8k-ff-40000", withFill(save8, 40'000, 0xFF)},
            {"padded-8k-last-byte-set", nearly}};
}

Seeds rzipFiles() {
    const File save8 = saveOf(8 * kKiB, 81);
    Seeds seeds = {{"rzip-8k-one-chunk", rzipOf(save8, 128 * kKiB)},
                   {"rzip-8k-4k-chunks", rzipOf(save8, 4 * kKiB)},
                   {"rzip-8k-1000-chunks", rzipOf(save8, 1000)},
                   {"rzip-2k-1-byte-chunks", rzipOf(saveOf(2 * kKiB, 2), 1)},
                   {"rzip-32k-8k-chunks", rzipOf(saveOf(32 * kKiB, 32), 8 * kKiB)},
                   {"rzip-1-byte", rzipOf(saveOf(1, 1), 128 * kKiB)},
                   {"rzip-claims-none", rzipOf({}, 128 * kKiB)},
                   {"rzip-claims-64k", rzipOf(save8, 128 * kKiB, 64 * kKiB)},
                   {"rzip-claims-more", rzipOf(save8, 4 * kKiB, 8 * kKiB + 1)}};
    File cut = seeds[1].bytes;
    cut.pop_back();
    File trailing = seeds[1].bytes;
    trailing.push_back(0);
    File version2 = seeds[0].bytes;
    version2[rzip::kVersionOffset] = 2;
    File noChunks = seeds[0].bytes;
    std::fill_n(noChunks.begin() + rzip::kChunkSizeOffset, 4, 0);
    seeds.insert(seeds.end(), {{"rzip-cut-short", cut},
                               {"rzip-trailing-byte", trailing},
                               {"rzip-version-2", version2},
                               {"rzip-chunk-size-0", noChunks}});
    return seeds;
}

Seeds retron5Files() {
    const File save8 = saveOf(8 * kKiB, 58);
    Seeds seeds = {{"rtn5-2k", packRetron5(saveOf(2 * kKiB, 52))},
                   {"rtn5-8k", packRetron5(save8)},
                   {"rtn5-32k", packRetron5(saveOf(32 * kKiB, 532))},
                   {"rtn5-stored-8k", retron5Stored(save8)},
                   {"rtn5-stored-1", retron5Stored(saveOf(1, 51))},
                   {"rtn5-stored-33k", retron5Stored(saveOf(33 * kKiB, 533))},
                   {"rtn5-stored-none", retron5Stored({})}};
    const File good = seeds[1].bytes;
    const auto changed = [&](const char* name, std::size_t at, std::uint8_t value) {
        File file = good;
        file[at] = value;
        seeds.push_back({name, file});
    };
    changed("rtn5-bad-crc", retron5::kCrcOffset, good[retron5::kCrcOffset] ^ 1);
    changed("rtn5-version-2", retron5::kVersionOffset, 2);
    changed("rtn5-offset-25", retron5::kDataOffsetOffset, 25);
    changed("rtn5-not-compressed", retron5::kFlagsOffset, 0);
    changed("rtn5-data-damaged", retron5::kHeaderSize + 4, good[retron5::kHeaderSize + 4] ^ 0x55);
    File cut = good;
    cut.resize(cut.size() - 3);
    seeds.push_back({"rtn5-cut-short", cut});
    seeds.push_back({"rtn5-header-only", File(good.begin(), good.begin() + retron5::kHeaderSize)});
    return seeds;
}

Seeds ufoSdFiles() {
    Seeds seeds;
    for (const std::size_t size : {1 * kKiB, 2 * kKiB, 8 * kKiB, 16 * kKiB, 32 * kKiB}) {
        seeds.push_back({"ufosd-" + std::to_string(size / kKiB) + "k",
                         copierFile(CopierFormat::SuperUfoSd, saveOf(size, 9 + size))});
    }
    seeds.push_back({"ufosd-tail-from-5000", withUfoSdTail(saveOf(5000, 5000))});
    File flipped = seeds[2].bytes;
    flipped[100'000] ^= 0x10;
    seeds.push_back({"ufosd-8k-tail-damaged", flipped});
    File longer = seeds[2].bytes;
    longer.push_back(ufo_sd::kTail[0]);
    seeds.push_back({"ufosd-8k-one-byte-more", longer});
    return seeds;
}

Seeds copierFiles() {
    Seeds seeds;
    const File eight = saveOf(8 * kKiB, 88);
    const File sixteen = saveOf(16 * kKiB, 816);
    const File full = saveOf(32 * kKiB, 832);
    for (const FormatWords& words : choosableFormats()) {
        if (words.format == CopierFormat::SuperUfoSd) {
            continue;
        }
        const std::string name(words.option);
        seeds.push_back({name + "-8k", copierFile(words.format, eight)});
        seeds.push_back({name + "-16k", copierFile(words.format, sixteen)});
        seeds.push_back({name + "-32k", copierFile(words.format, full)});
    }
    const File bbd = copierFile(CopierFormat::SuperWildCard, eight);
    seeds.push_back({"bbd-100-extra", withFill(bbd, bbd.size() + 100, 0x5A)});
    seeds.push_back({"bbd-96k-extra", withFill(bbd, 128 * kKiB, 0x00)});
    seeds.push_back({"bbd-cut-after-8k", File(bbd.begin(), bbd.begin() + 512 + 8 * kKiB)});
    seeds.push_back({"bbd-cut-in-1k", File(bbd.begin(), bbd.begin() + 512 + 1000)});
    seeds.push_back({"bbd-header-only", File(bbd.begin(), bbd.begin() + 512)});
    File other = saveOf(layout::kBbdSize, 33);
    seeds.push_back({"other-header-33280", other});
    File fig = copierFile(CopierFormat::ProFighter, eight);
    fig[511] = 1;
    seeds.push_back({"fig-header-one-byte-set", fig});
    return seeds;
}

}  // namespace

namespace {

File joined(Bytes a, Bytes b) {
    File out(a.begin(), a.end());
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

File shaped(const Shaping& shaping, Bytes file) {
    return joined(shapingBytes(shaping), file);
}

// Every file as it is, each with another copier, size and answers; then the shapes that stand
// for long files.
Seeds readingSeeds(const Seeds& files) {
    Seeds seeds;
    std::uint8_t choice = 0;
    for (const Seed& file : files) {
        Shaping shaping;
        shaping.conversion = static_cast<std::uint8_t>((choice % 5) | ((choice / 5 % 8) << 3));
        shaping.conversion |= file.bytes.size() == 32 * kKiB ? 0x40 : 0;
        shaping.conversion |= choice % 3 == 0 ? 0x80 : 0;
        shaping.answers = choice % 2;
        ++choice;
        seeds.push_back({file.name, shaped(shaping, file.bytes)});
    }
    const File save8 = saveOf(8 * kKiB, 8);
    seeds.push_back({"shape-padded-00", shaped({Shape::Padded, 0x00, 96 * kKiB}, save8)});
    seeds.push_back({"shape-padded-ff", shaped({Shape::Padded, 0xFF, 100'000}, save8)});
    seeds.push_back(
        {"shape-padded-last-byte-set", shaped({Shape::Padded, 0x00, 200'000, 0, 2}, save8)});
    for (const std::size_t size : {2 * kKiB, 8 * kKiB, 32 * kKiB}) {
        seeds.push_back({"shape-ufosd-" + std::to_string(size / kKiB) + "k",
                         shaped({Shape::UfoSdTail}, saveOf(size, size))});
    }
    // Found by this target: a Pro 8 SD file with more after it was read as one, the rest ignored.
    seeds.push_back({"regression-ufosd-one-byte-more", shaped({Shape::UfoSdTail, 0x00, 1}, {})});
    const File bbd = copierFile(CopierFormat::SuperWildCard, save8);
    seeds.push_back({"shape-shrunk-bbd", shaped({Shape::Shrunk, 0, 40}, bbd)});
    seeds.push_back({"shape-huge", shaped({Shape::Shrunk, 0, 64 * kKiB + 1}, bbd)});
    seeds.push_back({"shape-10-gib", shaped({Shape::Shrunk, 0, 10 * kKiB * kKiB}, save8)});
    return seeds;
}

Seeds ufoSdSeeds(const Seeds& ufoSd) {
    Seeds seeds;
    for (const Seed& file : ufoSd) {
        seeds.push_back({file.name, joined(File{0}, file.bytes)});
    }
    for (const std::size_t size : {1 * kKiB, 4 * kKiB, 16 * kKiB, std::size_t{5000}}) {
        seeds.push_back(
            {"save-then-tail-" + std::to_string(size), joined(File{1}, saveOf(size, 3))});
    }
    seeds.push_back(
        {"changed-in-tail", joined(File{2, 0x77, 0x00, 0x40, 0x00}, saveOf(2 * kKiB, 4))});
    return seeds;
}

Seeds bodies(const Seeds& saves, const Seeds& copier) {
    Seeds seeds = saves;
    for (const Seed& file : copier) {
        if (file.bytes.size() > 512) {
            seeds.push_back(
                {file.name + "-body", File(file.bytes.begin() + 512, file.bytes.end())});
        }
    }
    return seeds;
}

Seeds everything(std::initializer_list<const Seeds*> groups) {
    Seeds all = {{"empty", {}}};
    for (const Seeds* group : groups) {
        all.insert(all.end(), group->begin(), group->end());
    }
    return all;
}

std::size_t writeAll(const std::filesystem::path& dir, const Seeds& seeds) {
    std::filesystem::create_directories(dir);
    for (const Seed& seed : seeds) {
        std::ofstream out(dir / seed.name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(seed.bytes.data()),
                  static_cast<std::streamsize>(seed.bytes.size()));
        if (!out.flush()) {
            throw std::runtime_error("cannot write " + (dir / seed.name).string());
        }
    }
    return seeds.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_seeds DIR\n";
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    const Seeds raw = rawSaves();
    const Seeds padded = paddedSaves();
    const Seeds rzip = rzipFiles();
    const Seeds retron5 = retron5Files();
    const Seeds ufoSd = ufoSdFiles();
    const Seeds copier = copierFiles();
    const Seeds all = everything({&raw, &padded, &rzip, &retron5, &ufoSd, &copier});
    std::size_t count = 0;
    count += writeAll(dir / "rzip", rzip);
    count += writeAll(dir / "retron5", retron5);
    count += writeAll(dir / "copier_header", copier);
    count += writeAll(dir / "ufo_sd", ufoSdSeeds(ufoSd));
    count += writeAll(dir / "save_image", bodies(raw, copier));
    count += writeAll(dir / "reading", readingSeeds(all));
    std::cout << count << " seeds in " << dir.string() << "\n";
    return 0;
}
