#include "agent/ag_front.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(agent_front, PrintsTheAgentsLinesOnTheirStreams) {
    agent_front front;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    front.database_started(u"ORCL", 3);
    front.table_started(u"EMP", 14);
    for (int i = 1; i <= 1000; ++i) front.records_done(i);  // no terminal: no progress line
    front.table_ended();
    front.table_started(u"\u00c4MTER", 0);
    front.table_missing(u"NOPE");
    front.table_missing(u"A\x1b]0;pwned\x07" u"B");  // a name cannot drive the terminal
    front.unexpected_error(std::runtime_error("bad_alloc"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Converting database ORCL(3 tables)\n"
              "Converting table EMP (14 records)\n"
              "Converting table \xC3\x84MTER\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Table NOPE not exists\nTable A\\x1b]0;pwned\\x07B not exists\nbad_alloc\n");
    EXPECT_TRUE(front.convert_all_when_empty());
}

TEST(agent_front, ProgressTextShowsDoneTotalAndRate) {
    EXPECT_EQ(agent_front::progress_text("EMP", 500, 2000, 0.5),
              "EMP: 500 of 2000 records, 1000 records/s");
    EXPECT_EQ(agent_front::progress_text("Q", 7, 0, 0.0), "Q: 7 records, 0 records/s");
}

}  // namespace
