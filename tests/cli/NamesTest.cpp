// Names as the controller and .fws files hold them (windows-1251) on their way to and from the
// terminal, and names holding control characters.

#include <fstream>

#include "cli/KavrictlFixture.h"
#include "persist/SettingsFileFormat.h"
#include "sim/ImageLayout.h"

namespace kavri::test {
namespace {

const std::string kRedStored = "\xCA\xF0\xE0\xF1\xED\xFB\xE9";  // "Красный" in windows-1251
const std::string kRed = "Красный";

class NamesTest : public KavrictlTest {
protected:
    void SetUp() override { StartEmulator(); }
};

TEST_F(NamesTest, StoredNamesAreShownDecodedAndControlCharactersEscaped) {
    sim::Image image = Emulator().GetImage();
    sim::SetFilterName(image, 1, kRedStored);
    sim::SetFilterName(image, 2, "\x1b[2J\n");
    Emulator().SetImage(image);
    Emulator().SetCurrentFilter(2);

    const CliResult text = Run({"filters"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find(" 1  " + kRed + " "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("*2  \\u001b[2J\\n "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("current filter: 2 (\\u001b[2J\\n)\n"), std::string::npos);
    EXPECT_EQ(text.out.find('\x1b'), std::string::npos);

    const auto value = Json(Run({"--json", "filters"}));
    EXPECT_EQ(value["filters"][1]["name"], kRed);
    EXPECT_EQ(value["filters"][2]["name"], "\x1b[2J\n");

    // A name typed in any case finds the row.
    const CliResult selected = Run({"goto", "кРАСНЫЙ"});
    EXPECT_EQ(selected.status, 0) << selected.err;
    EXPECT_EQ(selected.out, "filter 1 (" + kRed + ") selected\n");
    EXPECT_EQ(Emulator().CurrentFilter(), 1);
}

TEST_F(NamesTest, TypedNamesAreStoredInTheCodePage) {
    const CliResult renamed = Run({"rename", "2", kRed});
    ASSERT_EQ(renamed.status, 0) << renamed.err;
    EXPECT_EQ(renamed.out, "filter 2 renamed to '" + kRed + "'\n");
    const sim::Image image = Emulator().GetImage();
    const auto* slot = &image[sim::offset::kFilterNames + 2 * sim::kNameLength];
    EXPECT_EQ(std::string(slot, slot + 8), kRedStored + '\0');

    // Eight Cyrillic letters fill the slot exactly.
    ASSERT_EQ(Run({"rename", "3", "Фиолетов"}).status, 0);
    EXPECT_EQ(sim::FilterName(Emulator().GetImage(), 3), "\xD4\xE8\xEE\xEB\xE5\xF2\xEE\xE2");

    const uint64_t received = Emulator().BytesReceived();
    const struct {
        std::vector<std::string> args;
        const char* error;
    } refused[] = {
        {{"rename", "3", "Фиолетовый"},
         "kavrictl: filter name 'Фиолетовый' is longer than 8 characters"},
        {{"rename", "3", "Zürich"},
         "kavrictl: filter name 'Zürich' holds 'ü', which the controller's character set "
         "(windows-1251) lacks"},
        {{"goto", "Zürich"},
         "kavrictl: filter name 'Zürich' holds 'ü', which the controller's character set "
         "(windows-1251) lacks"},
        {{"rename", "3", "a\x1b[2J"},
         "kavrictl: filter name 'a\\u001b[2J' holds a control character"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.args[0]);
        const CliResult result = Run(c.args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.FirstErrorLine(), c.error);
    }
    EXPECT_EQ(Emulator().BytesReceived(), received);
}

TEST_F(NamesTest, ThermometerNamesOfASettingsFileAreShownDecoded) {
    SettingsFileContents contents;
    const sim::Image image = Emulator().GetImage();
    std::copy(image.begin(), image.end(), contents.config.data());
    contents.TermometerName[1] = "\xD2\xF0\xF3\xE1\xE0";  // "Труба"
    const std::vector<uint8_t> bytes = FormatSettingsFile(contents);
    std::ofstream(File("tube.fws"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ASSERT_EQ(Run({"load", File("tube.fws")}).status, 0);

    const CliResult text = Run({"temps"});
    EXPECT_NE(text.out.find("T1"), std::string::npos);
    EXPECT_NE(text.out.find("Труба\n"), std::string::npos) << text.out;
    EXPECT_EQ(Json(Run({"--json", "temps"}))["TermometerName"][1], "Труба");
}

}  // namespace
}  // namespace kavri::test
