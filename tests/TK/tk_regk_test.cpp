#include "TK/tk_regk.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

#include "TK/tk_excep.h"
#include "tk_test_util.h"

namespace {

const char kKey[] = "Software\\Brannock\\Tessaline";

// Saves an environment variable and puts it back.
class env_guard {
  public:
    explicit env_guard(const char* name) : name_(name) {
        if (const char* v = getenv(name))
            old_ = v;
    }
    ~env_guard() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class tk_regk : public ::testing::Test {
  protected:
    void SetUp() override { setenv("XDG_CONFIG_HOME", home_.path().c_str(), 1); }
    std::string settings() const { return home_ / "Brannock/Tessaline/settings"; }
    void open(tk_reg_key& key) { ASSERT_EQ(key.create(tk_hkey_current_user, kKey), 0); }

    env_guard xdg_{"XDG_CONFIG_HOME"};
    env_guard home_env_{"HOME"};
    tk_test::temp_dir home_;
};

std::string assertion_text(int line) {
    return "Internal error: \ncode=" + tk_mail_assertion::encode_position("tk_regk", line);
}

}  // namespace

TEST_F(tk_regk, CreateMakesOnePrivateFileForTheKey) {
    tk_reg_key key(kKey);
    uint32_t how = 0;
    ASSERT_EQ(key.create(tk_hkey_current_user, kKey, nullptr, 0, tk_key_all_access, nullptr, &how),
              0);
    EXPECT_EQ(how, tk_reg_created_new_key);
    EXPECT_EQ(key.file_name(), settings());
    struct stat st {};
    ASSERT_EQ(stat(settings().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((home_ / "Brannock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    tk_reg_key again(kKey);
    ASSERT_EQ(again.create(tk_hkey_current_user, kKey, nullptr, 0, 0, nullptr, &how), 0);
    EXPECT_EQ(how, tk_reg_opened_existing_key);
    EXPECT_EQ(again.path(), kKey);
}

TEST_F(tk_regk, DwordAndTextRoundTripAcrossKeyObjects) {
    {
        tk_reg_key key;
        open(key);
        EXPECT_EQ(key.set(7u, "engine"), 0);
        EXPECT_EQ(key.set(u"/home/ann/emp.xls", u"dest"), 0);
        EXPECT_EQ(key.set(0xFFFFFFFFu, "engine"), 0);  // replaces, no second line
    }
    tk_reg_key key;
    open(key);
    uint32_t v = 0;
    EXPECT_EQ(key.get_value(v, "engine"), 0);
    EXPECT_EQ(v, 0xFFFFFFFFu);
    EXPECT_EQ(key.get_value(v, "ENGINE"), 0);  // value names ignore case

    uint32_t size = 0;
    EXPECT_EQ(key.get_value(nullptr, u"dest", &size), 0);
    EXPECT_EQ(size, (17u + 1) * 2);  // the text with its terminating NUL
    char16_t small[4];
    uint32_t small_size = sizeof small;
    EXPECT_EQ(key.get_value(small, u"dest", &small_size), tk_reg_more_data);
    EXPECT_EQ(small_size, size);
    char16_t buf[64];
    uint32_t buf_size = sizeof buf;
    EXPECT_EQ(key.get_value(buf, u"dest", &buf_size), 0);
    EXPECT_EQ(buf_size, size);
    EXPECT_EQ(std::u16string(buf), u"/home/ann/emp.xls");

    // A dword read as bytes, and a text too long for a dword.
    uint32_t dsize = 16;
    EXPECT_EQ(key.get_value(buf, u"engine", &dsize), 0);
    EXPECT_EQ(dsize, 4u);
    uint32_t untouched = 123;
    EXPECT_EQ(key.get_value(untouched, "dest"), tk_reg_more_data);
    EXPECT_EQ(untouched, 123u);

    EXPECT_EQ(key.get_value(v, "missing"), tk_reg_file_not_found);
    EXPECT_EQ(key.get_value(nullptr, u"missing", &size), tk_reg_file_not_found);

    std::string text = tk_test::slurp(settings());
    EXPECT_EQ(text.rfind("Tessaline Settings 1\n", 0), 0u);
    EXPECT_NE(text.find("\n\"engine\"=dword:ffffffff\n"), std::string::npos);
    EXPECT_NE(text.find("\n\"dest\"=\"/home/ann/emp.xls\"\n"), std::string::npos);
    EXPECT_EQ(text.find("dword:00000007"), std::string::npos);
}

TEST_F(tk_regk, ExchangeStoresAndLoadsEveryKind) {
    tk_reg_key key;
    open(key);
    uint32_t u = 42;
    int32_t version = -1;
    bool wrap = true, split = false;
    std::u16string pass = u"s\u00e9cr\"et\\ =\n\t\x01 \U0001F600";
    EXPECT_TRUE(key.exchange("u", u, true));
    EXPECT_TRUE(key.exchange("engine", version, true));
    EXPECT_TRUE(key.exchange("wrap text", wrap, true));
    EXPECT_TRUE(key.exchange("split", split, true));
    EXPECT_TRUE(key.exchange("oraclep", pass, true));
    EXPECT_TRUE(key.exchange("odd \"name\" = \\", u, true));

    uint32_t u2 = 0;
    int32_t version2 = 0;
    bool wrap2 = false, split2 = true;
    std::u16string pass2;
    EXPECT_TRUE(key.exchange("u", u2, false));
    EXPECT_TRUE(key.exchange("engine", version2, false));
    EXPECT_TRUE(key.exchange("wrap text", wrap2, false));
    EXPECT_TRUE(key.exchange("split", split2, false));
    EXPECT_TRUE(key.exchange("oraclep", pass2, false));
    EXPECT_EQ(u2, 42u);
    EXPECT_EQ(version2, -1);
    EXPECT_TRUE(wrap2);
    EXPECT_FALSE(split2);
    EXPECT_EQ(pass2, pass);
    uint32_t odd = 0;
    EXPECT_TRUE(key.exchange("odd \"name\" = \\", odd, false));
    EXPECT_EQ(odd, 42u);

    // Any non-zero dword reads as true.
    ASSERT_EQ(key.set(5u, "split"), 0);
    EXPECT_TRUE(key.exchange("split", split2, false));
    EXPECT_TRUE(split2);
    // The password is in clear text in the file.
    EXPECT_NE(tk_test::slurp(settings())
                  .find("s\xC3\xA9"
                        "cr\\\"et\\\\ =\\n\\t\\x01 \xF0\x9F\x98\x80"),
              std::string::npos);
}

TEST_F(tk_regk, FailedExchangesLeaveTheVariableAlone) {
    tk_reg_key key;
    std::u16string s = u"keep";
    uint32_t u = 9;
    bool b = true;
    // No key open: false both ways.
    EXPECT_FALSE(key.exchange("dest", s, false));
    EXPECT_FALSE(key.exchange("dest", s, true));
    EXPECT_FALSE(key.exchange("engine", u, true));
    open(key);
    EXPECT_FALSE(key.exchange("dest", s, false));  // missing
    EXPECT_EQ(s, u"keep");
    EXPECT_FALSE(key.exchange("engine", u, false));
    EXPECT_EQ(u, 9u);
    EXPECT_FALSE(key.exchange("wrap text", b, false));
    EXPECT_TRUE(b);
    std::u16string empty;
    EXPECT_TRUE(key.exchange("oracleu", empty, true));
    EXPECT_FALSE(key.exchange("oracleu", s, false));  // empty reads as failure
    EXPECT_EQ(s, u"keep");
    key.close();
    EXPECT_FALSE(key.is_open());
    EXPECT_FALSE(key.exchange("engine", u, false));
}

TEST_F(tk_regk, DamagedAndForeignFilesReadAsMissing) {
    tk_reg_key key;
    open(key);
    uint32_t v = 1;
    // Garbage, including NUL bytes and broken UTF-8.
    const char garbage[] = "\x00\xff\xfe garbage\n\"engine\"=dword:1\n";
    tk_test::spit(settings(), std::string(garbage, sizeof garbage - 1));
    EXPECT_EQ(key.get_value(v, "engine"), tk_reg_file_not_found);
    // Lines that look right but no identifying first line: foreign.
    tk_test::spit(settings(),
                  "[HKEY_CURRENT_USER\\Software\\Brannock\\Tessaline]\n\"engine\"=dword:1\n");
    EXPECT_EQ(key.get_value(v, "engine"), tk_reg_file_not_found);
    // Our file with damaged lines: the good ones still read, first one wins.
    tk_test::spit(settings(),
                  "Tessaline Settings 1\r\n"
                  "\"a\"=dword:123456789\n"  // too many digits
                  "\"b\"=dword:\n"           // no digits
                  "\"c\"=\"unterminated\n"
                  "\"d\"=\"bad \\q escape\"\n"
                  "\"e\"=\"trailing\" junk\n"
                  "\"f\"=\"\\x4\"\n"  // short escape
                  "\"g\"\n"
                  "\"ok\"=dword:0000002A\r\n"
                  "; a comment\n"
                  "\"OK\"=dword:00000001\n"
                  "\"t\"=\"fine\"");
    for (const char* bad : {"a", "b", "c", "d", "e", "f", "g"}) {
        EXPECT_EQ(key.get_value(v, bad), tk_reg_file_not_found) << bad;
    }
    EXPECT_EQ(key.get_value(v, "ok"), 0);
    EXPECT_EQ(v, 0x2Au);
    std::u16string t;
    EXPECT_TRUE(key.exchange("t", t, false));
    EXPECT_EQ(t, u"fine");
    // A folder where the file should be, and an oversized file.
    std::filesystem::remove(settings());
    std::filesystem::create_directory(settings());
    EXPECT_EQ(key.get_value(v, "ok"), tk_reg_file_not_found);
    std::filesystem::remove(settings());
    tk_test::spit(settings(),
                  "Tessaline Settings 1\n\"ok\"=dword:1\n" + std::string(2 << 20, '\n'));
    EXPECT_EQ(key.get_value(v, "ok"), tk_reg_file_not_found);
}

TEST_F(tk_regk, WritingOverADamagedFileStartsAFreshOne) {
    tk_reg_key key;
    open(key);
    tk_test::spit(settings(), "not ours at all\n");
    EXPECT_EQ(key.set(3u, "engine"), 0);
    uint32_t v = 0;
    EXPECT_EQ(key.get_value(v, "engine"), 0);
    EXPECT_EQ(v, 3u);
    struct stat st {};
    ASSERT_EQ(stat(settings().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Only the settings file remains: no temporary left behind.
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(home_ / "Brannock/Tessaline")) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST_F(tk_regk, HomeConfigIsTheFallbackAndBadSubKeysAreRefused) {
    tk_test::temp_dir home;
    setenv("HOME", home.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    tk_reg_key key;
    ASSERT_EQ(key.create(tk_hkey_current_user, kKey), 0);
    EXPECT_EQ(key.file_name(), home / ".config/Brannock/Tessaline/settings");
    unsetenv("XDG_CONFIG_HOME");
    tk_reg_key key2;
    ASSERT_EQ(key2.create(tk_hkey_current_user, kKey), 0);
    EXPECT_EQ(key2.file_name(), key.file_name());

    // A sub-key of an open key lies below it, "Software" included.
    tk_reg_key child;
    ASSERT_EQ(child.create(key.handle(), "Software\\Profiles"), 0);
    EXPECT_EQ(child.file_name(), home / ".config/Brannock/Tessaline/Software/Profiles/settings");

    tk_reg_key bad;
    EXPECT_EQ(bad.create(tk_hkey_current_user, "Software\\..\\etc"), tk_reg_bad_pathname);
    EXPECT_EQ(bad.create(tk_hkey_current_user, "Software\\a/b"), tk_reg_bad_pathname);
    EXPECT_EQ(bad.create(tk_hkey_current_user, "Software\\\\x"), tk_reg_bad_pathname);
    EXPECT_FALSE(bad.is_open());
    // A failed create keeps the key that was open.
    ASSERT_EQ(bad.create(tk_hkey_current_user, "Software\\Brannock\\Other"), 0);
    EXPECT_EQ(bad.create(tk_hkey_current_user, "Software\\..\\x"), tk_reg_bad_pathname);
    EXPECT_EQ(bad.file_name(), home / ".config/Brannock/Other/settings");
}

TEST_F(tk_regk, BrokenPreconditionsAreInternalErrors) {
    tk_reg_key key;
    uint32_t v = 0, size = 0;
    auto expect_assertion = [](auto&& call, int line) {
        try {
            call();
            ADD_FAILURE() << "no assertion for line " << line;
        } catch (const tk_mail_assertion& e) {
            EXPECT_EQ(e.what(), assertion_text(line));
        }
    };
    expect_assertion([&] { key.create(nullptr, kKey); }, 64);
    expect_assertion([&] { key.get_value(v, nullptr); }, 98);
    expect_assertion([&] { key.get_value(nullptr, u"x", nullptr); }, 132);
    expect_assertion([&] { key.get_value(nullptr, nullptr, &size); }, 133);
    expect_assertion([&] { key.set(1u, "x"); }, 149);
    expect_assertion([&] { key.set(static_cast<const char16_t*>(nullptr), u"x"); }, 164);
    expect_assertion([&] { key.set(u"t", u"x"); }, 165);
    // Reading without a key is a result, not an assertion.
    EXPECT_EQ(key.get_value(v, "x"), tk_reg_invalid_handle);
    EXPECT_EQ(key.get_value(nullptr, u"x", &size), tk_reg_invalid_handle);
}

TEST_F(tk_regk, GetValueTracesNameTypeAndSize) {
    tk_test::trace_capture cap;
    tk_reg_key key;
    open(key);
    ASSERT_EQ(key.set(1u, "engine"), 0);
    uint32_t v = 0, size = 0;
    key.get_value(v, "engine");
    key.get_value(nullptr, u"dest", &size);
    EXPECT_TRUE(cap.has_line("tk_reg_key::get_value(ulong, engine)"));
    EXPECT_TRUE(cap.has_line("type=4, size=4"));
    EXPECT_TRUE(cap.has_line("tk_reg_key::get_value(LPWSTR, dest)"));
    EXPECT_TRUE(cap.has_line("type=0, size=0"));
}
