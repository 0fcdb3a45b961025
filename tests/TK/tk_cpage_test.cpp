// The ANSI code page: chosen from the locale or TSL_CODEPAGE, and the
// conversions of the single- and double-byte code pages.
#include "TK/tk_cpage.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "TK/tk_excep.h"

namespace {

// Sets the four variables for one check and restores them afterwards.
class env_guard {
  public:
    env_guard(const char* forced, const char* all, const char* ctype, const char* lang) {
        const char* values[] = {forced, all, ctype, lang};
        for (int i = 0; i < 4; ++i) {
            const char* old = std::getenv(k_names[i]);
            saved_[i] = old ? old : "";
            had_[i] = old != nullptr;
            if (values[i])
                ::setenv(k_names[i], values[i], 1);
            else
                ::unsetenv(k_names[i]);
        }
    }
    ~env_guard() {
        for (int i = 0; i < 4; ++i) {
            if (had_[i])
                ::setenv(k_names[i], saved_[i].c_str(), 1);
            else
                ::unsetenv(k_names[i]);
        }
    }

  private:
    static constexpr const char* k_names[4] = {"TSL_CODEPAGE", "LC_ALL", "LC_CTYPE", "LANG"};
    std::string saved_[4];
    bool had_[4] = {};
};

}  // namespace

TEST(tk_cpage, LocaleNamesGiveTheirLanguagesCodePage) {
    const struct {
        const char* locale;
        int cp;
    } cases[] = {
        {"ru_RU.UTF-8", 1251},  {"uk_UA", 1251},       {"sr_RS.UTF-8@latin", 1250},
        {"el_GR.UTF-8", 1253},  {"tr_TR", 1254},       {"he_IL.UTF-8", 1255},
        {"fa_IR", 1256},        {"et_EE.UTF-8", 1257}, {"vi_VN", 1258},
        {"pl_PL.UTF-8", 1250},  {"th_TH.UTF-8", 874},  {"ja_JP.UTF-8", 932},
        {"zh_CN.GB18030", 936}, {"zh_SG", 936},        {"zh_TW.UTF-8", 950},
        {"zh_HK", 950},         {"ko_KR.EUC-KR", 949}, {"de_DE.UTF-8", 1252},
        {"C.UTF-8", 1252},      {"POSIX", 1252},       {"", 1252},
        {"rus", 1252},  // a language is matched whole
    };
    for (const auto& c : cases) EXPECT_EQ(tk_locale_codepage(c.locale), c.cp) << c.locale;
    EXPECT_EQ(tk_locale_codepage(nullptr), 1252);
}

TEST(tk_cpage, FirstSetVariableWinsAndTslCodepageOverrides) {
    {
        env_guard e(nullptr, "", "ja_JP.UTF-8", "ru_RU.UTF-8");  // an empty one counts as unset
        EXPECT_EQ(tk_ansi_codepage(), 932);
    }
    {
        env_guard e(nullptr, "el_GR.UTF-8", "ja_JP.UTF-8", "ru_RU.UTF-8");
        EXPECT_EQ(tk_ansi_codepage(), 1253);
    }
    {
        env_guard e(nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(tk_ansi_codepage(), 1252);
    }
    for (const char* v : {"1251", "cp1251", "CP1251", "windows-1251", "Windows-1251"}) {
        env_guard e(v, "ja_JP.UTF-8", nullptr, nullptr);
        EXPECT_EQ(tk_ansi_codepage(), 1251) << v;
    }
    for (const char* v : {"utf-8", "65001", "1259", "cp", "12510", "1251 ", "437"}) {
        env_guard e(v, nullptr, nullptr, "ru_RU.UTF-8");
        try {
            tk_ansi_codepage();
            ADD_FAILURE() << v;
        } catch (const tk_exception& ex) {
            EXPECT_EQ(std::string(ex.what()).find(std::string("TSL_CODEPAGE=") + v), 0u)
                << ex.what();
            EXPECT_EQ(ex.code(), 1);
        }
    }
}

TEST(tk_cpage, TextsRoundTripAndLostCharactersAreCounted) {
    const struct {
        int cp;
        std::u16string text;
        std::string bytes;
    } cases[] = {
        {1251, u"Ёлка Щи", "\xa8\xeb\xea\xe0 \xd9\xe8"},
        {1253, u"Αθήνα", "\xc1\xe8\xde\xed\xe1"},
        {932, u"東京abc",
         "\x93\x8c\x8b\x9e"
         "abc"},
        {936, u"中文", "\xd6\xd0\xce\xc4"},
        {949, u"한국", "\xc7\xd1\xb1\xb9"},
        {950, u"中文", "\xa4\xa4\xa4\xe5"},
        {874, u"ไทย", "\xe4\xb7\xc2"},
        {1252, u"Café €", "Caf\xe9 \x80"},
    };
    for (const auto& c : cases) {
        tk_codepage cp(c.cp);
        size_t lost = 0;
        EXPECT_EQ(cp.encode(c.text, '?', &lost), c.bytes) << c.cp;
        EXPECT_EQ(lost, 0u) << c.cp;
        EXPECT_EQ(cp.decode(c.bytes), c.text) << c.cp;
    }
    // What a code page lacks: one replacement a character, a surrogate pair
    // and a lone surrogate included; counts add up over calls.
    for (int n : {1252, 1251, 932}) {
        tk_codepage cp(n);
        size_t lost = 1;
        // an emoji, a lone surrogate, a Thai letter
        const std::u16string text = std::u16string(u"a\U0001F600b") + char16_t(0xD800) + u"c\u0E01";
        EXPECT_EQ(cp.encode(text, '?', &lost), "a?b?c?") << n;
        EXPECT_EQ(lost, 4u) << n;
        EXPECT_EQ(cp.unmappable(text), 3u) << n;
        EXPECT_EQ(cp.encode(text, '_'), "a_b_c_") << n;
    }
    // A byte a code page does not define reads as U+FFFD; so does a lead
    // byte without its trail.
    EXPECT_EQ(tk_codepage(1251).decode("a\x98z"), u"a\uFFFDz");
    EXPECT_EQ(tk_codepage(932).decode("a\x93"), u"a\uFFFD");
    EXPECT_THROW(tk_codepage(65001), tk_mail_assertion);
}
