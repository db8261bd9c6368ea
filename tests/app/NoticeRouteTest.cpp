// Where the running client's notices go on a desktop that offers no notification service.
#include "app/GuiStartup.h"
#include "app/QuillpostApp.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(NoticeRouteTest, WithoutANotificationServiceOrTrayANoticeIsWrittenToStandardErrorOnce) {
    qp::test::TempUserEnvironment env;
    qp::test::ScopedEnv bus{"DBUS_SESSION_BUS_ADDRESS", std::nullopt};
    qp::test::ScopedEnv runtime{"XDG_RUNTIME_DIR", env.home.Path()};
    CQuillpostApp app("");
    qp::GuiStartupServices services(app.Account(), app.Runner());
    testing::internal::CaptureStderr();
    services.Notify("Fax to 5550100 sent");
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string line = "Quill Post: Fax to 5550100 sent\n";
    ASSERT_NE(err.find(line), std::string::npos) << err;
    EXPECT_EQ(err.find(line, err.find(line) + 1), std::string::npos) << err;
}

} // namespace
