// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the settings store's file parser and its in-place writer: any input must
// parse without a fault; written back unchanged, and again after values were changed and
// added, it must read back as exactly what was written, with the same lines not understood.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "persist/RegistryFileFormat.h"

namespace {

void AbortUnlessSame(const kavri::RegistryFileContents& expected,
                     const kavri::RegistryFileContents& actual) {
    const auto a = expected.Keys();
    const auto b = actual.Keys();
    if (a.size() != b.size()) std::abort();
    for (size_t k = 0; k < a.size(); ++k) {
        if (!kavri::SameRegistryName(a[k]->Path(), b[k]->Path())) std::abort();
        const auto& x = a[k]->Values();
        const auto& y = b[k]->Values();
        if (x.size() != y.size()) std::abort();
        for (size_t v = 0; v < x.size(); ++v) {
            if (!kavri::SameRegistryName(x[v].name, y[v].name) || !x[v].SameContent(y[v]))
                std::abort();
        }
    }
    if (expected.SkippedLines().size() != actual.SkippedLines().size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    kavri::RegistryFileContents contents = kavri::ParseRegistryFile(input);
    AbortUnlessSame(contents, kavri::ParseRegistryFile(kavri::FormatRegistryFile(contents)));

    // Change the first value of every key, add one to each, and add a key of our own.
    const uint8_t seed = size > 0 ? data[0] : 0;
    for (const kavri::RegistryFileKey* key : contents.Keys()) {
        auto* editable = contents.FindKey(key->Path());
        if (!key->Values().empty()) {
            kavri::RegistryFileValue changed = key->Values().front();
            changed.kind = kavri::kRegBinary;
            changed.data.push_back(seed);
            editable->SetValue(changed);
        }
        editable->SetValue({"Added", kavri::kRegDword, {seed, 0, 0, 0}});
    }
    contents.FindOrAddKey("HKEY_LOCAL_MACHINE\\Software\\Added")
        .SetValue({"Text", kavri::kRegSz, {'a', seed, 0}});
    AbortUnlessSame(contents, kavri::ParseRegistryFile(kavri::FormatRegistryFile(contents)));
    return 0;
}
