// Keys and values through the registry service, the same on both backends: every type comes
// back with its bytes, names ignore case, keys need creating and a second opening sees it all.
#include <gtest/gtest.h>

#include "PlatformTest.h"

namespace {

using platform::RegistryValue;

RegistryValue Value(std::uint32_t type, std::string bytes) {
    return {type, {bytes.begin(), bytes.end()}};
}

TEST(Registry, ValuesRoundTripWithTypeAndBytes) {
    platformtest::ScratchHive scratch;
    const std::string key = scratch.root() + "\\Zelmarock\\Update";
    const std::vector<std::pair<std::string, RegistryValue>> values = {
        {"DownloadDir", Value(platform::kRegSz, std::string("C:\\Downloads\0", 13))},
        {"Expand", Value(platform::kRegExpandSz, std::string("%TEMP%\\x\0", 10))},
        {"AutoUpdate", Value(platform::kRegDword, std::string("\x05\0\0\0", 4))},
        {"Blob", Value(platform::kRegBinary, std::string("\0\xff\0zz", 5))},
        {"Empty", Value(platform::kRegBinary, "")},
        {"Quad", Value(11, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8))},
    };
    ASSERT_TRUE(scratch.hive().CreateKey(key));
    for (const auto& [name, value] : values)
        ASSERT_TRUE(scratch.hive().WriteValue(key, name, value));

    const auto reopened = scratch.Reopen();
    for (const auto& [name, value] : values) {
        const auto read = reopened->ReadValue(key, name);
        ASSERT_TRUE(read.has_value()) << name;
        EXPECT_EQ(read->type, value.type) << name;
        EXPECT_EQ(read->data, value.data) << name;
    }
    // Rewriting a value may change its type.
    ASSERT_TRUE(reopened->WriteValue(key, "AutoUpdate", values[0].second));
    EXPECT_EQ(scratch.hive().ReadValue(key, "AutoUpdate")->type, platform::kRegSz);
    EXPECT_FALSE(scratch.hive().ReadValue(key, "Missing").has_value());
}

TEST(Registry, KeysAreCreatedWithTheirParentsAndMatchedIgnoringCase) {
    platformtest::ScratchHive scratch;
    auto& hive = scratch.hive();
    const std::string key = scratch.root() + "\\Zelmarock\\modules";
    EXPECT_FALSE(hive.KeyExists(key));
    EXPECT_FALSE(hive.WriteValue(key, "PHP", Value(platform::kRegSz, std::string("x\0", 2))));
    EXPECT_FALSE(hive.ReadValue(key, "PHP").has_value());

    ASSERT_TRUE(hive.CreateKey(key));
    EXPECT_TRUE(hive.KeyExists(scratch.root() + "\\Zelmarock"));
    EXPECT_TRUE(hive.KeyExists(scratch.root() + "\\ZELMAROCK\\Modules"));
    EXPECT_TRUE(hive.KeyExists(scratch.root().substr(1) + "\\Zelmarock"));  // no leading "\"
    EXPECT_TRUE(hive.CreateKey(key));  // creating an existing key is no failure

    ASSERT_TRUE(hive.WriteValue(key, "PHP", Value(platform::kRegSz, std::string("a\0", 2))));
    ASSERT_TRUE(hive.WriteValue(scratch.root() + "\\zelmarock\\MODULES", "php",
                                Value(platform::kRegSz, std::string("b\0", 2))));
    const auto read = scratch.Reopen()->ReadValue(key, "Php");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->data, (std::vector<std::uint8_t>{'b', 0}));  // one value, not two
}

TEST(Registry, TextsAndNamesOutsideTheCodePageRoundTrip) {
    platformtest::ScratchHive scratch;
    for (const std::string& name : platformtest::kUnicodeNames) {
        const std::string key = scratch.root() + "\\" + name;
        const auto folder = Value(platform::kRegSz, "C:\\Downloads\\" + name + '\0');
        ASSERT_TRUE(scratch.hive().CreateKey(key)) << name;
        ASSERT_TRUE(scratch.hive().WriteValue(key, name, folder)) << name;
        const auto read = scratch.Reopen()->ReadValue(key, name);
        ASSERT_TRUE(read.has_value()) << name;
        EXPECT_EQ(read->type, platform::kRegSz);
        EXPECT_EQ(read->data, folder.data) << name;
    }
}

}  // namespace
