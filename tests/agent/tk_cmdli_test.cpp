#include "TK/tk_cmdli.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const tk_cmdli_option kOptions[] = {
    {0, "--date2str"}, {1, "--dest="}, {8, "--split"}, {4, "--src="}, {-1, ""},
};

struct argv_of {
    explicit argv_of(std::vector<std::string> a) : args(std::move(a)) {
        for (auto& s : args) ptrs.push_back(s.data());
    }
    int argc() { return static_cast<int>(ptrs.size()); }
    char** argv() { return ptrs.data(); }
    std::vector<std::string> args;
    std::vector<char*> ptrs;
};

// An argument that matches no option matches the empty end entry: its value
// is the whole argument.
TEST(tk_cmdli, MatchesByPlainPrefixInTableOrder) {
    argv_of a({"prog", "--splitx", "--date2strings", "--dest=a=b.xls", "--Split", "--src", "-x"});
    tk_cmdli c(a.argc(), a.argv(), kOptions);
    std::vector<std::pair<int, std::string>> seen;
    for (; c.has_current(); c.next()) seen.emplace_back(c.option_id(), c.value());
    EXPECT_EQ(
        seen,
        (std::vector<std::pair<int, std::string>>{
            {8, "x"}, {0, "ings"}, {1, "a=b.xls"}, {-1, "--Split"}, {-1, "--src"}, {-1, "-x"}}));
    EXPECT_EQ(c.unrecognised(), (std::vector<std::string>{"--Split", "--src", "-x"}));
}

TEST(tk_cmdli, NoArgumentsMeansNoCurrent) {
    argv_of a({"prog"});
    tk_cmdli c(a.argc(), a.argv(), kOptions);
    EXPECT_FALSE(c.has_current());
    EXPECT_THROW(c.option_id(), tk_mail_assertion);
    EXPECT_THROW(c.value(), tk_mail_assertion);
    EXPECT_THROW(c.next(), tk_mail_assertion);
}

TEST(tk_cmdli, PastTheEndAndTheTwentyFirstUnknownAreInternalErrors) {
    argv_of one({"prog", "--split"});
    tk_cmdli c(one.argc(), one.argv(), kOptions);
    c.next();
    auto position = [](const tk_mail_assertion& e) { return std::string(e.what()); };
    try {
        c.option_id();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(position(e),
                  "Internal error: \ncode=" + tk_mail_assertion::encode_position("tk_cmdli", 19));
    }
    try {
        c.value();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(position(e),
                  "Internal error: \ncode=" + tk_mail_assertion::encode_position("tk_cmdli", 60));
    }
    try {
        c.next();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(position(e), "Internal error: \ncode=" +
                                   tk_mail_assertion::encode_position("..\\TK/tk_cmdli", 147));
    }

    std::vector<std::string> many{"prog"};
    for (int i = 0; i < 20; ++i) many.push_back("bad" + std::to_string(i));
    argv_of twenty(many);
    tk_cmdli ok(twenty.argc(), twenty.argv(), kOptions);
    while (ok.has_current()) ok.next();
    EXPECT_EQ(ok.unrecognised().size(), 20u);

    many.push_back("bad20");
    argv_of twenty_one(many);
    tk_cmdli bad(twenty_one.argc(), twenty_one.argv(), kOptions);
    try {
        while (bad.has_current()) bad.next();
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(position(e), "Internal error: \ncode=" +
                                   tk_mail_assertion::encode_position("..\\TK/tk_cmdli", 52));
    }
}

}  // namespace
