#include "alert_rules.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/temp_dir.h"

TEST(AlertRules, AWrongLineIsRefusedWithItsNumberAndWhatWasExpected) {
    TempWorkingDir dir;
    unsetenv("ALERT_TEST_UNSET");
    WriteFileBytes("empty.pass", "\n");
    const std::string hook = "webhook https://h/x secret-env=HOME\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"limits all\nlimit all\n", "f:2: expected mail, webhook, limits, silence or full"},
        {"# x\nlimits\n" + hook, "f:2: expected a card serial or all after limits"},
        {"limits 0\n", "f:1: expected a card serial (1 to 16777215) or all, not \"0\""},
        {"full all minutes=3\n", "f:1: expected nothing after the card, not \"minutes=3\""},
        {"webhook http://h/x secret-env=HOME\n", "f:1: expected https://HOST/PATH after webhook"},
        {"webhook https://h/x\n", "f:1: expected one of secret-file= and secret-env="},
        {"webhook https://h/x secret-env=ALERT_TEST_UNSET\n",
         "f:1: the environment variable ALERT_TEST_UNSET is not set"},
        {"webhook https://h/x secret-file=empty.pass\n", "f:1: the secret is empty"},
        {"mail smtp://m from=a@b to=c@d,e\n", "f:1: expected to=ADDRESS[,ADDRESS...], not \"e\""},
        {"mail smtp://m from=a@b to=c@d user=u\n", "f:1: expected one of password-file="},
        {hook, "f: no rule (limits, silence or full)"},
        {"full all\n", "f: no mail or webhook line to send the alerts to"},
    };
    for (const auto& [text, error] : cases) {
        const AlertRulesLoad load = ParseAlertRules(text, "f");
        EXPECT_FALSE(load.rules) << text;
        EXPECT_EQ(load.error.rfind(error, 0), 0U) << text << " gave " << load.error;
    }
}
