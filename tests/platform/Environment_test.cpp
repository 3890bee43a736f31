// Environment variables read and written in UTF-8 whatever the system's code page: a proxy
// URL may carry a user name in any script.
#include <gtest/gtest.h>

#include "platform/Environment.h"

namespace {

TEST(Environment, ValuesOutsideTheCodePageComeBackWholeAndUnsetIsNotEmpty) {
    const std::string name = "CORVALITE_TEST_PROXY_Ñ";
    const std::string value = "http://josé:пароль@代理.example:3128/🦊";
    platform::PutEnvironmentVariable(name, value);
    EXPECT_EQ(platform::EnvironmentVariable(name), value);

    // Longer than any first guess at the length.
    const std::string longValue = std::string(300, 'x') + "é日本";
    platform::PutEnvironmentVariable(name, longValue);
    EXPECT_EQ(platform::EnvironmentVariable(name), longValue);

    platform::PutEnvironmentVariable(name, std::nullopt);
    EXPECT_EQ(platform::EnvironmentVariable(name), std::nullopt);
    EXPECT_EQ(platform::EnvironmentVariable("CORVALITE_TEST_NEVER_SET_日本"), std::nullopt);
}

}  // namespace
