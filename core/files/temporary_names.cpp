#include "core/files/temporary_names.h"

#include <charconv>
#include <cstdint>
#include <random>
#include <vector>

#include "core/files/file_io.h"
#include "core/files/temporary_cleanup.h"

namespace plimbrook {

namespace {

constexpr std::size_t kRandomLetters = 8;

std::string randomLetters() {
    static std::mt19937_64 generator{std::random_device{}()};
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    std::string letters(kRandomLetters, 'x');
    for (char& c : letters) {
        c = kAlphabet[pick(generator)];
    }
    return letters;
}

// Splits off the text up to the next '-'; false if there is none.
bool takeField(std::string_view& rest, std::string_view& field) {
    const auto dash = rest.find('-');
    if (dash == std::string_view::npos) {
        return false;
    }
    field = rest.substr(0, dash);
    rest.remove_prefix(dash + 1);
    return true;
}

}  // namespace

std::string machineMark(std::string_view computerName) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : computerName) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string mark(6, '0');
    for (char& digit : mark) {
        digit = kHex[hash & 0xF];
        hash >>= 4;
    }
    return mark;
}

std::string temporaryName(const std::string& target) {
    // Cut so that the whole name stays within NAME_MAX.
    // Built by appending: GCC's -Wrestrict misreads the chain of operator+ in a release build.
    std::string name = ".";
    name.append(target, 0, 200);
    name.append(kTemporaryMarker);
    name.append(thisMachine());
    name.append("-");
    name.append(std::to_string(thisRun()));
    name.append("-");
    name.append(randomLetters());
    return name;
}

std::optional<long> runOfTemporary(std::string_view name) {
    const auto marker = name.rfind(kTemporaryMarker);
    if (!name.starts_with('.') || marker == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = name.substr(marker + std::string_view(kTemporaryMarker).size());
    std::string_view machine;
    std::string_view run;
    if (!takeField(rest, machine) || !takeField(rest, run) || machine != thisMachine() ||
        rest.size() != kRandomLetters) {
        return std::nullopt;
    }
    long pid = 0;
    const auto [end, error] = std::from_chars(run.data(), run.data() + run.size(), pid);
    if (error != std::errc() || end != run.data() + run.size() || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

void removeDeadRunsTemporaries(FileSystem& fs, int dir) {
    std::vector<std::string> names;
    if (fs.listFolder(dir, names) != 0) {
        return;
    }
    for (const std::string& name : names) {
        const auto run = runOfTemporary(name);
        if (run && *run != thisRun() && !runIsAlive(*run)) {
            fs.remove(dir, name);
        }
    }
}

}  // namespace plimbrook
