// Fuzz target for the settings store's file parser: any input must parse without a fault,
// and whatever was read must come back unchanged after being written and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "persist/RegistryFileFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const kavri::RegistryFileContents contents = kavri::ParseRegistryFile(input);
    size_t skipped = 0;
    const kavri::RegistryFileContents again =
        kavri::ParseRegistryFile(kavri::FormatRegistryFile(contents), &skipped);
    if (skipped != 0 || again.keys.size() != contents.keys.size()) std::abort();
    for (size_t k = 0; k < contents.keys.size(); ++k) {
        const auto& a = contents.keys[k];
        const auto& b = again.keys[k];
        if (!kavri::SameRegistryName(a.path, b.path) || a.values.size() != b.values.size())
            std::abort();
        for (size_t v = 0; v < a.values.size(); ++v) {
            if (a.values[v].name != b.values[v].name || a.values[v].kind != b.values[v].kind ||
                a.values[v].data != b.values[v].data)
                std::abort();
        }
    }
    return 0;
}
