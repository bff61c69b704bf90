#include "cache/registry_cache-win32.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// Every value these tests write has a name of its own, and is deleted again, so
// the cache looks the same to whatever runs next in this Wine prefix.
constexpr char kPrefix[] = "unit-test ";

struct StoredValue {
    bool found = false;
    DWORD type = REG_NONE;
    std::string bytes;
};

UniqueKey OpenCache(REGSAM access) {
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCacheKeyPath, 0, access, key.put()) != ERROR_SUCCESS) key.release();
    return key;
}

// The raw value as the registry holds it.
StoredValue QueryRaw(const std::string& name) {
    StoredValue value;
    const UniqueKey key = OpenCache(KEY_READ);
    if (!key) return value;
    std::vector<BYTE> data(256);
    DWORD size = static_cast<DWORD>(data.size());
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &value.type, data.data(), &size) != ERROR_SUCCESS) {
        return value;
    }
    value.found = true;
    value.bytes.assign(data.begin(), data.begin() + size);
    return value;
}

void SetRaw(const std::string& name, DWORD type, const std::string& bytes) {
    const UniqueKey key = OpenCache(KEY_WRITE);
    ASSERT_TRUE(key);
    ASSERT_EQ(RegSetValueExA(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

void DeleteValue(const std::string& name) {
    const UniqueKey key = OpenCache(KEY_WRITE);
    if (key) RegDeleteValueA(key.get(), name.c_str());
}

class RegistryCache : public testing::Test {
protected:
    std::string Name(const std::string& suffix) {
        const std::string name = kPrefix + suffix;
        names_.push_back(name);
        return name;
    }
    void TearDown() override {
        for (const std::string& name : names_) DeleteValue(name);
    }

private:
    std::vector<std::string> names_;
};

TEST_F(RegistryCache, StoresEveryTextAsRegSzOfExactly18Bytes) {
    struct Case {
        const char* name;
        std::string text;
        std::string stored;
        std::string read_back;
    };
    const Case cases[] = {
        {"ip", "192.168.1.20", "192.168.1.20" + std::string(6, '\0'), "192.168.1.20"},
        {"mac", "00-1a-2B:3c 4D.5e", "00-1a-2B:3c 4D.5e" + std::string(1, '\0'), "00-1a-2B:3c 4D.5e"},
        {"empty", "", std::string(18, '\0'), ""},
        {"long", "00-1A-2B-3C-4D-5E-6F", "00-1A-2B-3C-4D-5E" + std::string(1, '\0'), "00-1A-2B-3C-4D-5E"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = Name(c.name);
        EXPECT_TRUE(WriteCacheValue(name, c.text));
        const StoredValue raw = QueryRaw(name);
        ASSERT_TRUE(raw.found);
        EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(raw.bytes, c.stored);
        EXPECT_EQ(ReadCacheValue(name), c.read_back);
    }
}

TEST_F(RegistryCache, SecondWriteReplacesTheFirstAndNamesIgnoreCase) {
    const std::string name = Name("Twice");
    WriteCacheValue(name, "00-00-00-00-00-01");
    WriteCacheValue(name, "AA-BB-CC-DD-EE-FF");
    EXPECT_EQ(ReadCacheValue(name), "AA-BB-CC-DD-EE-FF");
    EXPECT_EQ(ReadCacheValue(kPrefix + std::string("TWICE")), "AA-BB-CC-DD-EE-FF");

    // A shorter second text leaves nothing of the first behind.
    WriteCacheValue(name, "1.2.3.4");
    EXPECT_EQ(QueryRaw(name).bytes, "1.2.3.4" + std::string(11, '\0'));
}

TEST_F(RegistryCache, MissingNameReadsAsEmpty) {
    EXPECT_EQ(ReadCacheValue(Name("never written")), "");
    EXPECT_FALSE(QueryRaw(Name("never written")).found);
}

TEST_F(RegistryCache, EmptyNameIsTheKeysDefaultValue) {
    const StoredValue before = QueryRaw("");
    EXPECT_TRUE(WriteCacheValue("", "00-1A-2B-3C-4D-5E"));
    const StoredValue raw = QueryRaw("");
    EXPECT_TRUE(raw.found);
    EXPECT_EQ(raw.bytes, "00-1A-2B-3C-4D-5E" + std::string(1, '\0'));
    EXPECT_EQ(ReadCacheValue(""), "00-1A-2B-3C-4D-5E");

    if (before.found) {
        SetRaw("", before.type, before.bytes);
    } else {
        DeleteValue("");
    }
}

TEST_F(RegistryCache, ForeignValuesReadAsAtMost17LeadingCharacters) {
    struct Case {
        const char* name;
        DWORD type;
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"40 bytes", REG_SZ, std::string("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcd"), "0123456789ABCDEFG"},
        {"18 bytes no NUL", REG_BINARY, "ABCDEFGHIJKLMNOPQR", "ABCDEFGHIJKLMNOPQ"},
        {"short binary", REG_BINARY, "abc", "abc"},
        {"dword", REG_DWORD, std::string("AB\0\0", 4), "AB"},
        {"NUL inside", REG_SZ, std::string("12\0" "34", 5), "12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = Name(c.name);
        SetRaw(name, c.type, c.bytes);
        EXPECT_EQ(ReadCacheValue(name), c.text);
    }
}

TEST_F(RegistryCache, ReadCreatesTheMissingKey) {
    // The key's current values are put back afterwards, whatever happens here.
    struct Saved {
        std::string name;
        DWORD type;
        std::string bytes;
    };
    std::vector<Saved> saved;
    {
        const UniqueKey key = OpenCache(KEY_READ);
        for (DWORD i = 0; key; ++i) {
            char name[256];
            DWORD name_size = sizeof name;
            std::vector<BYTE> data(4096);
            DWORD size = static_cast<DWORD>(data.size());
            DWORD type = REG_NONE;
            if (RegEnumValueA(key.get(), i, name, &name_size, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
                break;
            }
            saved.push_back({std::string(name, name_size), type, std::string(data.begin(), data.begin() + size)});
        }
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kCacheKeyPath);
    const bool deleted = !OpenCache(KEY_READ);

    const std::string text = ReadCacheValue(Name("after delete"));
    const bool exists = static_cast<bool>(OpenCache(KEY_READ));

    for (const Saved& value : saved) SetRaw(value.name, value.type, value.bytes);
    ASSERT_TRUE(deleted);
    EXPECT_EQ(text, "");
    EXPECT_TRUE(exists);
}

// A setting is a DWORD beside the cache key, never in it; anything else reads as none.
// An administrator's policy, in either view, wins over the program's own key.
TEST(RegistrySettings, ReadOnlyADwordAndThePolicyFirst) {
    const std::string name = std::string(kPrefix) + "setting";
    const auto dword = [](DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); };
    struct Written {
        const char* path;
        REGSAM view;
        DWORD type;
        std::string bytes;
    };
    const Written program{kSettingsKeyPath, 0, REG_DWORD, dword(1)};
    const Written policy64{kPolicyKeyPath, KEY_WOW64_64KEY, REG_DWORD, dword(0)};
    const Written policy32{kPolicyKeyPath, KEY_WOW64_32KEY, REG_DWORD, dword(2)};
    const struct {
        const char* name;
        std::vector<Written> written;
        std::optional<DWORD> read;
        bool by_policy;
    } cases[] = {
        {"a DWORD", {program}, 1, false},
        {"a text", {{kSettingsKeyPath, 0, REG_SZ, std::string("1\0", 2)}}, std::nullopt, false},
        {"a DWORD in the cache key", {{kCacheKeyPath, 0, REG_DWORD, dword(1)}}, std::nullopt, false},
        {"the 64-bit policy over the program's", {program, policy64}, 0, true},
        {"the 32-bit policy over the program's", {program, policy32}, 2, true},
        {"a policy text is no policy", {program, {kPolicyKeyPath, 0, REG_SZ, std::string("0\0", 2)}}, 1, false},
    };
    for (const auto& c : cases) {
        std::vector<UniqueKey> keys;
        for (const Written& w : c.written) {
            UniqueKey key;
            ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, w.path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_WRITE | w.view, nullptr, key.put(), nullptr),
                      ERROR_SUCCESS);
            ASSERT_EQ(RegSetValueExA(key.get(), name.c_str(), 0, w.type, reinterpret_cast<const BYTE*>(w.bytes.data()),
                                     static_cast<DWORD>(w.bytes.size())),
                      ERROR_SUCCESS);
            keys.push_back(std::move(key));
        }
        const std::optional<SettingValue> read = ReadSetting(name);
        for (const UniqueKey& key : keys) RegDeleteValueA(key.get(), name.c_str());
        ASSERT_EQ(read.has_value(), c.read.has_value()) << c.name;
        if (!read) continue;
        EXPECT_EQ(read->value, *c.read) << c.name;
        EXPECT_EQ(read->by_policy, c.by_policy) << c.name;
    }
    EXPECT_EQ(ReadSetting(name), std::nullopt);
}

}  // namespace
