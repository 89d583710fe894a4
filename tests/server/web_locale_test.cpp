// The web view's pages, chart, CSV and JSON are the same in whatever locale.

#include <gtest/gtest.h>

#include "support/locales.h"
#include "web_fixture.h"

TEST(WebLocale, PagesChartCsvAndJsonAreTheSameInTheUsersLocales) {
    TempWorkingDir dir;
    WebFixture web;
    ASSERT_TRUE(web.listening) << web.listen_error;
    std::vector<int> tenths;
    for (int i = 0; i < 300; ++i) {
        tenths.push_back(-25 + (i * 7) % 130);
    }
    const std::string id = std::to_string(web.Store(TestHeader(4321, "Camara"), tenths));
    const std::vector<std::string> paths = {"/", "/uploads/" + id, "/uploads/" + id + ".csv",
                                            "/api/uploads/" + id, "/api/v1/uploads/" + id};
    std::vector<std::string> in_c;
    for (const std::string& path : paths) {
        in_c.push_back(web.Body(path));
    }
    ASSERT_TRUE(Has(in_c[2], ",10.3,")) << in_c[2];
    for (const char* name : kUsersLocales) {
        ScopedLocale locale(name);
        ASSERT_TRUE(locale.Active()) << locale.WhyNot();
        for (std::size_t i = 0; i < paths.size(); ++i) {
            EXPECT_EQ(web.Body(paths[i]), in_c[i]) << name << " " << paths[i];
        }
    }
}
