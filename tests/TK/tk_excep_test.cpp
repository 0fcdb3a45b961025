#include "TK/tk_excep.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "TK/tk_singl.h"
#include "tk_test_util.h"

TEST(tk_exception, AssertionEncodesSourcePosition) {
    tk_mail_assertion a("udb_vali", 54);
    EXPECT_STREQ(a.what(), "Internal error: \ncode=7564625f76616c695c3534");
    EXPECT_EQ(a.code(), 2);
}

TEST(tk_exception, EmptyMessageBecomesUnknown) {
    EXPECT_STREQ(tk_exception("", 1).what(), "Unknown exception");
    EXPECT_STREQ(tk_exception(1).what(), "Unknown exception");
    EXPECT_STREQ(tk_exception(std::u16string(u"\u00e4"), 1).what(), "\xC3\xA4");
    EXPECT_EQ(tk_exception("x", 0).system_error(), 0u);
}

namespace {
struct only_one : tk_singleton<only_one> {};
}  // namespace

TEST(tk_singleton, SecondInstanceAndMissingInstanceAreInternalErrors) {
    EXPECT_THROW(only_one::instance(), tk_mail_assertion);
    {
        only_one a;
        EXPECT_EQ(&only_one::instance(), &a);
        try {
            only_one b;
            FAIL();
        } catch (const tk_mail_assertion& e) {
            EXPECT_EQ(std::string(e.what()).substr(22),
                      tk_mail_assertion::encode_position("..\\TK/tk_singl", 35));
        }
        EXPECT_EQ(&only_one::instance(), &a);  // the failed second one changed nothing
    }
    EXPECT_FALSE(only_one::exists());
}

TEST(tk_exception, ExTakesErrnoAndItsText) {
    errno = EACCES;
    tk_exception_ex e;
    EXPECT_EQ(e.system_error(), static_cast<uint32_t>(EACCES));
    EXPECT_STREQ(e.what(), "Permission denied");
    EXPECT_EQ(e.code(), 1);
    errno = 0;
    tk_exception_ex none;
    EXPECT_EQ(none.system_error(), 0u);
    EXPECT_STREQ(none.what(), "Unknown exception");
}

TEST(tk_exception, ConstructorsTraceAtLevelTwo) {
    tk_test::trace_capture cap(2);
    errno = ENOENT;
    tk_exception_ex ex;
    tk_mail_assertion a("ole_var", 478);
    tk_final_exception f;
    EXPECT_TRUE(cap.has_line("tk_exception_ex::ctor"));
    EXPECT_TRUE(cap.has_line("GetLastError: No such file or directory"));
    EXPECT_TRUE(cap.has_line("tk_mail_assertion::ctor(ole_var)"));
    EXPECT_TRUE(cap.has_line("tk_final_exception::ctor"));
    EXPECT_STREQ(a.what(), "Internal error: \ncode=6f6c655f7661725c343738");
}
