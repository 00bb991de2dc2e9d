// A settings store that keeps the values where other programs may not look is told once, at
// the start of the program.
#include <gtest/gtest.h>

#include <QTimer>

#include "persist/MemorySettingsStore.h"
#include "ui/main/ControlApp.h"
#include "ui/main/ControlDialog.h"
#include "ui/settings/UserPrompts.h"

namespace kavri::ui {
namespace {

class WarningStore : public MemorySettingsStore {
public:
    std::string warning;
    std::string StorageWarning() const override { return warning; }
};

TEST(StorageWarningTest, ShownOnceAtStartWhenTheStoreHasOne) {
    for (const std::string& warning : {std::string(), std::string("saved for this user only")}) {
        SCOPED_TRACE(warning);
        WarningStore store;
        store.warning = warning;
        std::vector<QString> shown;
        ScopedPromptHandlers prompts(
            [&](const MessageRequest& request) { shown.push_back(request.text); });
        ControlApp program(store);
        program.SetDialogHook([](ControlDialog& dialog, WheelFocuserDevice&) {
            QTimer::singleShot(0, &dialog, [&dialog] { dialog.reject(); });
        });
        program.InitInstance();
        ASSERT_EQ(shown.size(), warning.empty() ? 0u : 1u);
        if (!warning.empty()) {
            EXPECT_EQ(shown.front().toStdString(), warning);
        }
    }
}

}  // namespace
}  // namespace kavri::ui
