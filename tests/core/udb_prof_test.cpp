#include "UDB/udb_prof.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "TK/tk_excep.h"
#include "TK/tk_utf.h"

namespace {

std::string temp_dir() {
    char tmpl[] = "/tmp/tsl_prof_XXXXXX";
    return mkdtemp(tmpl);
}
std::string slurp(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}
std::u16string w(const std::string& s) {
    return tk::utf8_to_utf16(s);
}

TEST(udb_profile, ReadsSectionsKeysAndValuesByTheLineRules) {
    udb_profile p;
    ASSERT_TRUE(
        p.parse("[Selected Tables]\r\n"
                "EMP\r\n"
                "DEPT\n"
                "Q1=SELECT * FROM EMP WHERE SAL = 1000\n"
                "\n"
                "[Generic settings]\n"
                "  dest  =  /tmp/a b.xls \n"
                "src=\n"
                "[Selected Tables]\n"
                "EMP=SELECT 1\n"
                "SALGRADE\n"));
    EXPECT_EQ(p.get(u"Selected Tables", u"Q1"), u"SELECT * FROM EMP WHERE SAL = 1000");
    EXPECT_TRUE(p.has(u"Selected Tables", u"EMP"));
    EXPECT_EQ(p.get(u"Selected Tables", u"EMP"), u"");    // the first value wins
    EXPECT_TRUE(p.has(u"Selected Tables", u"SALGRADE"));  // a repeated header continues
    EXPECT_EQ(p.get(u"Generic settings", u"dest"), u"  /tmp/a b.xls ");  // value kept whole
    EXPECT_TRUE(p.has(u"Generic settings", u"src"));
    EXPECT_EQ(p.get(u"Generic settings", u"missing"), u"");
    EXPECT_EQ(p.get(u"No section", u"dest"), u"");
    EXPECT_FALSE(p.has(u"generic settings", u"dest"));  // case-sensitive
}

TEST(udb_profile, AKeyBeforeAnySectionFailsAndKeepsNothing) {
    udb_profile p;
    EXPECT_FALSE(p.parse("\n\ndest=x\n[Generic settings]\nsrc=y\n"));
    EXPECT_TRUE(p.empty());
    EXPECT_EQ(p.error_text(), "line 3 holds a setting before the first section");
    EXPECT_FALSE(p.parse("EMP\n[Selected Tables]\n"));
}

TEST(udb_profile, ByteOrderMarkAndWindows1252LinesAreRead) {
    udb_profile p;
    ASSERT_TRUE(
        p.parse("\xEF\xBB\xBF[Oracle settings]\nuser=J\xC3\xBCrgen\npassword=M\xFC\x6Cler\n"));
    EXPECT_EQ(p.get(u"Oracle settings", u"user"), u"J\u00fcrgen");
    EXPECT_EQ(p.get(u"Oracle settings", u"password"), u"M\u00fcller");
}

TEST(udb_profile, LinesOfAnyLengthAreRead) {
    // A 2,048-character name and a 2,048-character query make a line of
    // 4,097 characters, more than the reader once took.
    udb_profile p;
    const std::string name(2048, 'N'), query = "SELECT " + std::string(2041, 'v');
    ASSERT_TRUE(p.parse("[Selected Tables]\r\n" + name + "=" + query + "\r\n"));
    EXPECT_EQ(p.get(u"Selected Tables", w(name)), w(query));
    std::string han;  // 3 bytes a character
    for (int i = 0; i < 6000; ++i) han += "\xE6\xBC\xA2";
    ASSERT_TRUE(p.parse("[Available Queries]\nQ=" + han));
    EXPECT_EQ(p.get(u"Available Queries", u"Q").size(), 6000u);
}

TEST(udb_profile, LinesThatAreNotUtf8AreReadInTheCodePageOfExcel50Texts) {
    const char* old = std::getenv("TSL_CODEPAGE");
    const std::string saved = old ? old : "";
    // "[Selected Tables]" and a Cyrillic name saved by a Windows tool.
    const std::string text = "[Selected Tables]\r\n\xCE\xF2\xF7\xE5\xF2\r\n";
    for (const auto& [cp, name] :
         {std::pair<const char*, std::u16string>{"1251", u"\u041e\u0442\u0447\u0435\u0442"},
          {"1252", u"\u00ce\u00f2\u00f7\u00e5\u00f2"}}) {
        ::setenv("TSL_CODEPAGE", cp, 1);
        udb_profile p;
        ASSERT_TRUE(p.parse(text));
        EXPECT_TRUE(p.has(u"Selected Tables", name)) << cp;
    }
    if (old)
        ::setenv("TSL_CODEPAGE", saved.c_str(), 1);
    else
        ::unsetenv("TSL_CODEPAGE");
}

TEST(udb_profile, AProfileSavedAsUtf16WithItsByteOrderMarkIsRead) {
    // "[Selected Tables]\r\nT\u00c4\U0001F600\r\n" in both byte orders.
    const std::u16string text = u"[Selected Tables]\r\nT\u00c4\U0001F600\r\n";
    for (bool big : {false, true}) {
        std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
        for (char16_t c : text) {
            const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
            bytes += big ? std::string{hi, lo} : std::string{lo, hi};
        }
        udb_profile p;
        ASSERT_TRUE(p.parse(bytes)) << p.error_text();
        EXPECT_TRUE(p.has(u"Selected Tables", u"T\u00c4\U0001F600")) << big;
    }
}

TEST(udb_profile, AQueryOnOneLineKeepsWhatItsCommentsAndLiteralsMean) {
    EXPECT_EQ(udb_sql_for_one_line(u"SELECT A -- the key */ here\r\n"
                                   u"  , '--not' || q'[it's -- in]' \"x--y\" /* -- */\n"
                                   u"FROM T --last"),
              u"SELECT A /* the key * / here */\r\n"
              u"  , '--not' || q'[it's -- in]' \"x--y\" /* -- */\n"
              u"FROM T /*last */");
    EXPECT_EQ(udb_sql_for_one_line(u"SELECT 'it''s' -- c\nFROM D"),
              u"SELECT 'it''s' /* c */\nFROM D");
}

TEST(udb_profile, WritesSectionsAndKeysInOrdinalOrder) {
    udb_profile p;
    p.set(u"Selected Tables", u"emp", u"");
    p.set(u"Selected Tables", u"Q1", u"SELECT 1 FROM\r\nDUAL");
    p.set(u"Selected Tables", u"DEPT", u"");
    p.set(u"Generic settings", u"src", u"");
    p.set(u"Empty", u"x", u"");
    p.set(u"Available Queries", u"Q1", u"SELECT 1");
    EXPECT_EQ(p.to_text(),
              "[Available Queries]\nQ1=SELECT 1\n\n"
              "[Empty]\nx=\n\n"
              "[Generic settings]\nsrc=\n\n"
              "[Selected Tables]\nDEPT\nQ1=SELECT 1 FROM DUAL\nemp\n\n");
    udb_profile back;
    ASSERT_TRUE(back.parse(p.to_text()));
    EXPECT_EQ(back.sections(), p.sections());
}

TEST(udb_profile, StoreIsAtomicAndPrivateOnRequest) {
    std::string dir = temp_dir();
    std::u16string path = w(dir + "/p.tsl");
    udb_profile p;
    p.set(u"Oracle settings", u"password", u"tiger");
    ASSERT_TRUE(p.store(path, true));
    struct stat st {};
    ASSERT_EQ(::stat((dir + "/p.tsl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(slurp(dir + "/p.tsl"), "[Oracle settings]\npassword=tiger\n\n");

    udb_profile loaded;
    ASSERT_TRUE(loaded.load(path));
    EXPECT_EQ(loaded.get(u"Oracle settings", u"password"), u"tiger");

    // A folder that does not exist: no file, false, nothing left behind.
    EXPECT_FALSE(p.store(w(dir + "/nope/p.tsl")));
    std::system(("rm -rf " + dir).c_str());
}

TEST(udb_profile, MissingFileThrowsAndUnreadableOrBrokenFilesGiveFalse) {
    std::string dir = temp_dir();
    udb_profile p;
    try {
        p.load(w(dir + "/missing.tsl"));
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.code(), 1);
        EXPECT_EQ(e.message(),
                  "Profile does not exist. Please verify the correct path/name was given.");
    }
    EXPECT_THROW(p.load(u""), tk_exception);
    EXPECT_FALSE(p.load(w(dir)));  // a folder
    std::ofstream(dir + "/broken.tsl") << "user=scott\n[Oracle settings]\n";
    EXPECT_FALSE(p.load(w(dir + "/broken.tsl")));
    EXPECT_TRUE(p.empty());
    std::system(("rm -rf " + dir).c_str());
}

}  // namespace
