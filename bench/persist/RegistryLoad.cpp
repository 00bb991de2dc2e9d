// SPDX-License-Identifier: GPL-3.0-or-later
// How long the settings store takes to load, query and save a large file: a generated store
// of about 2 MB (or the size in MB given as the first argument), once spread over many keys
// and once as many values of one key. Loading is reading and parsing the file; a save reads
// the file again under the lock, applies one changed value and replaces the file.
// Prints the median of 5 runs of each.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "persist/RegistryFileStore.h"

namespace {

using Clock = std::chrono::steady_clock;

double MedianMs(const std::function<void()>& run) {
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        run();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Writes a store of at least `bytes` bytes: up to `valuesPerKey` pairs of values in every key;
// `pairs` receives how many the first key got.
size_t Generate(const std::string& path, size_t bytes, size_t valuesPerKey, size_t& keys,
                size_t& pairs) {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    char line[160];
    for (keys = 0; text.size() < bytes; ++keys) {
        std::snprintf(line, sizeof line, "[HKEY_LOCAL_MACHINE\\Software\\Bench\\Key%06zu]\r\n",
                      keys);
        text += line;
        for (size_t v = 0; v < valuesPerKey && text.size() < bytes; ++v) {
            std::snprintf(line, sizeof line,
                          "\"Value%06zu\"=dword:%08zx\r\n\"Name%06zu\"=\"Filter %zu\"\r\n", v, v, v,
                          v);
            text += line;
            if (keys == 0) pairs = v + 1;
        }
        text += "\r\n";
    }
    std::ofstream(path, std::ios::binary) << text;
    return text.size();
}

void Measure(const std::string& path, size_t bytes, size_t valuesPerKey, const char* shape) {
    size_t keys = 0;
    size_t pairs = 0;
    const size_t size = Generate(path, bytes, valuesPerKey, keys, pairs);
    char lastKey[64];
    std::snprintf(lastKey, sizeof lastKey, "Software\\Bench\\Key%06zu", keys - 1);
    const double loadMs = MedianMs([&] { kavri::RegistryFileStore store(path); });

    kavri::RegistryFileStore store(path);
    const double queryMs = MedianMs([&] {
        kavri::SettingsValue value;
        char key[64];
        char name[32];
        for (size_t i = 0; i < 1000; ++i) {
            std::snprintf(key, sizeof key, "Software\\Bench\\Key%06zu", i * keys / 1000);
            std::snprintf(name, sizeof name, "Value%06zu", i * pairs / 1000);
            if (!store.QueryValue(key, name, value)) std::abort();
        }
    });
    int32_t counter = 0;
    const double saveMs = MedianMs([&] {
        store.SetValue(lastKey, "Changed", kavri::SettingsValue::Dword(++counter));
        if (!store.Flush()) std::abort();
    });
    std::printf("%-22s %8.2f MB %7zu keys: load %8.1f ms, 1000 lookups %6.2f ms, save %8.1f ms\n",
                shape, static_cast<double>(size) / 1e6, keys, loadMs, queryMs, saveMs);
}

}  // namespace

int main(int argc, char** argv) {
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 2.0;
    const auto bytes = static_cast<size_t>(std::max(0.01, megabytes) * 1e6);
    char pattern[] = "/tmp/kavri-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string path = std::string(pattern) + "/registry.reg";
    Measure(path, bytes, 1, "one value pair per key");
    Measure(path, bytes, SIZE_MAX, "one key, all values");
    std::filesystem::remove_all(pattern);
    return 0;
}
