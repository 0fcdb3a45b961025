#include "core/err_hand.h"

#include <gtest/gtest.h>

#include "core/cnv_doubles.h"
#include "core/con_out.h"
#include "core/err_maps.h"

using namespace cnv_test;

namespace {

// An exception with an engine number, as the engines raise them.
class numbered : public tk_exception {
  public:
    numbered(uint32_t number, const std::string& text, int level)
        : tk_exception(text, level, number) {}
};

constexpr uint32_t dao(uint32_t n) {
    return 0x10000 + n;
}
constexpr uint32_t ora(uint32_t n) {
    return 0x100000 + n;
}

class handler_test : public ::testing::Test {
  protected:
    void SetUp() override { load_err_maps(handler); }
    recording_view view;
    error_handler handler{view, kDaoErrMapSize, kDaoErrMap};
};

TEST_F(handler_test, ComposesContextThenMappedOrOwnTextAndFlattensLineBreaks) {
    handler.set_position(u"EMP", 7);
    handler.handle(numbered(dao(3349), "Numeric field overflow.", 0), false);
    handler.set_table(u"DEPT");
    handler.handle(numbered(dao(9999), "Unknown\nthing", 0), false);
    ASSERT_EQ(view.shown.size(), 2u);
    EXPECT_EQ(view.shown[0],
              "ask: EMP, record #7: Date fields of the source database do not fall in the range "
              "accepted by MS Excel. Restart the program with \"Convert dates into strings\" "
              "checkbox selected. ");
    EXPECT_EQ(view.shown[1], "ask: DEPT: Unknown thing");
    EXPECT_EQ(view.noted.size(), 2u);
}

TEST_F(handler_test, OracleLogonErrorHasNoContextBeforeTheFirstItem) {
    handler.handle(numbered(ora(1017), "ORA-01017: invalid username/password; logon denied", 0),
                   true);
    EXPECT_EQ(view.shown, std::vector<std::string>{"ask: Invalid user name or password."});
}

TEST_F(handler_test, EveryMapIsLoadedAndTheFirstTextOfANumberWins) {
    EXPECT_EQ(handler.compose(numbered(dao(3358), "x", 0)),
              handler.compose(numbered(dao(3173), "y", 0)));
    EXPECT_EQ(handler.compose(numbered(dao(3421), "x", 0)),
              std::string("Data type conversion error. Please contact ") + kTslSupportAddress +
                  "\nfor the solution.");
    EXPECT_EQ(handler.compose(numbered(ora(12514), "x", 0)),
              "Cannot resolve Oracle service name. Check to verify the correct name was given.\n");
    EXPECT_EQ(handler.compose(numbered(ora(1), "x", 0)),
              handler.compose(numbered(dao(3022), "y", 0)));
    static const tk_error_entry again[] = {{dao(3029), "replaced"}};
    handler.load_err_map(1, again);
    EXPECT_NE(handler.compose(numbered(dao(3029), "x", 0)), "replaced");
}

TEST_F(handler_test, LevelZeroAbortRaisesFinalExceptionUnlessOutsideARun) {
    view.answer_continue = false;
    EXPECT_THROW(handler.handle(tk_exception("bad row", 0), false), tk_final_exception);
    EXPECT_NO_THROW(handler.handle(tk_exception("bad row", 0), true));
    EXPECT_FALSE(handler.suppressed());
}

TEST_F(handler_test, DontShowAgainSuppressesLaterReportsButNotTheirStop) {
    view.answer_dont_show = true;
    handler.handle(tk_exception("first", 0), false);
    EXPECT_TRUE(handler.suppressed());
    handler.handle(tk_exception("second", 0), false);
    EXPECT_THROW(handler.handle(tk_exception("fatal", 1), false), tk_final_exception);
    EXPECT_EQ(view.shown, std::vector<std::string>{"ask: first"});
    EXPECT_EQ(view.noted, (std::vector<std::string>{"first", "second", "fatal"}));
}

TEST_F(handler_test, LevelOneStopsTheRunOrOnlyReportsOutsideIt) {
    EXPECT_THROW(handler.handle(tk_exception("stop", 1), false), tk_final_exception);
    EXPECT_NO_THROW(handler.handle(tk_exception("stop", 1), true));
    EXPECT_EQ(view.shown, (std::vector<std::string>{"error: stop", "error: stop"}));
}

TEST_F(handler_test, LevelOneEndsTheProcessWhereTheViewSaysSo) {
    view.ends_process = true;
    try {
        handler.handle(tk_exception("stop", 1), true);
        FAIL();
    } catch (const process_ended& e) {
        EXPECT_EQ(e.status, -1);
    }
}

TEST_F(handler_test, InternalErrorIsShownUnflattenedAndEndsTheProcess) {
    handler.set_table(u"EMP");
    try {
        handler.handle(tk_mail_assertion("udb_prof", 113), true);
        FAIL();
    } catch (const process_ended& e) {
        EXPECT_EQ(e.status, -1);
    }
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(view.shown[0], "internal: Internal error: \ncode=" +
                                 tk_mail_assertion::encode_position("udb_prof", 113));
    EXPECT_TRUE(view.noted.empty());
}

TEST_F(handler_test, PositionContextIsCutAt255Characters) {
    handler.set_position(std::u16string(300, u'T'), 12);
    EXPECT_EQ(handler.context(), std::string(255, 'T'));
    handler.set_position(u"\u00c4RGER", 1);
    EXPECT_EQ(handler.context(), "\xC3\x84RGER, record #1");
}

TEST_F(handler_test, ASecondHandlerIsAnInternalError) {
    recording_view other;
    EXPECT_THROW(error_handler(other, kDaoErrMapSize, kDaoErrMap), tk_mail_assertion);
}

TEST(console_error_view, PrintsReportsOnStandardOutputAndEndsWithExitRequest) {
    console_error_view view;
    error_handler handler(view, kDaoErrMapSize, kDaoErrMap);
    handler.set_table(u"EMP");
    testing::internal::CaptureStdout();
    handler.handle(tk_exception("first\nline", 0), false);
    int status = 0;
    try {
        handler.handle(tk_exception("fatal", 1), false);
    } catch (const tsl_exit_request& r) {
        status = r.status;
    }
    try {
        handler.handle(tk_mail_assertion("x", 1), false);
    } catch (const tsl_exit_request& r) {
        status += r.status;
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(
        out,
        "Error:\nEMP: first line\nError:\nEMP: fatal\nInternal error: Internal error: \ncode=" +
            tk_mail_assertion::encode_position("x", 1) + "\n");
    EXPECT_EQ(status, -2);
}

}  // namespace
