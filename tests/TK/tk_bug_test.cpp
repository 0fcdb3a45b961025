#include "TK/tk_bug.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "tk_test_util.h"

namespace {

std::string cwd() {
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) ? buf : "";
}

tk_bug_report g_sent;
int g_mail_calls = 0;
int wandering_mailer(const tk_bug_report& r) {
    g_sent = r;
    ++g_mail_calls;
    (void)chdir("/");  // as some mail clients do
    return 0;
}

std::u16string g_clip = u"untouched";
unsigned recording_clipboard(const std::u16string& text) {
    g_clip = text;
    return 0;
}

// Installs a delivery for one test and takes it away again.
template <class Fn, Fn (*Set)(Fn)>
class installed {
  public:
    explicit installed(Fn f) : old_(Set(f)) {}
    ~installed() { Set(old_); }

  private:
    Fn old_;
};
using mail_installed = installed<tk_mail_delivery, tk_set_mail_delivery>;
using clipboard_installed = installed<tk_clipboard_delivery, tk_set_clipboard_delivery>;

}  // namespace

TEST(tk_bug, ReportHasSubjectDateRecipientAndBody) {
    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 2;  // March
    when.tm_mday = 5;
    when.tm_hour = 7;
    when.tm_min = 9;
    tk_bug_report r =
        tk_compose_bug_report(u"Tessaline", u"Internal error: \ncode=7564\u00e4", &when);
    EXPECT_EQ(r.subject, "Bug report on Tessaline");
    EXPECT_EQ(r.date, "2024/3/5 7:9");  // no leading zeros
    EXPECT_EQ(r.recipient, "mailto:support@brannock.example");
    EXPECT_EQ(r.body, "Internal error: \ncode=7564\xC3\xA4");
    EXPECT_EQ(tk_compose_bug_report(u"", u"", nullptr).date, "");
}

TEST(tk_bug, WithoutMailSystemSendingIsTracedAndHarmless) {
    tk_test::trace_capture cap(2);
    std::string before = cwd();
    EXPECT_NO_THROW(tk_send_bug(u"Tessaline", u"body"));
    EXPECT_EQ(cwd(), before);
    EXPECT_TRUE(cap.has_line("tk_send_bug(Tessaline|body)"));
    EXPECT_TRUE(cap.has_line("Failed to locate MAPI32.DLL"));
}

TEST(tk_bug, InstalledMailerGetsTheReportAndTheDirectoryComesBack) {
    tk_test::temp_dir dir;
    std::string before = cwd();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    std::string here = cwd();
    {
        tk_test::trace_capture cap(2);
        mail_installed m(wandering_mailer);
        g_mail_calls = 0;
        tk_send_bug(u"Tessaline", u"what happened");
        EXPECT_EQ(g_mail_calls, 1);
        EXPECT_EQ(g_sent.subject, "Bug report on Tessaline");
        EXPECT_EQ(g_sent.body, "what happened");
        EXPECT_EQ(g_sent.recipient.rfind("mailto:", 0), 0u);
        EXPECT_FALSE(g_sent.date.empty());
        EXPECT_TRUE(cap.has_line("lpfnMAPISendMail returns 0"));
        EXPECT_EQ(cwd(), here);
    }
    ASSERT_EQ(chdir(before.c_str()), 0);
}

TEST(tk_bug, ClipboardGetsTheTextEvenWhenEmpty) {
    tk_test::trace_capture cap(2);
    {
        clipboard_installed c(recording_clipboard);
        tk_copy_to_clipboard2(u"");
        EXPECT_EQ(g_clip, u"");
        tk_copy_to_clipboard2(u"Internal error: \u00e4");
        EXPECT_EQ(g_clip, u"Internal error: \u00e4");
    }
    EXPECT_TRUE(cap.has_line("OpenClipboard succeeded"));
    // No clipboard installed: traced as a failure, nothing raised.
    EXPECT_NO_THROW(tk_copy_to_clipboard2(u"lost"));
    EXPECT_TRUE(cap.has_line("GetLastError() returns 0000058A"));
    EXPECT_TRUE(cap.has_line("tk_copy_to_clipboard2(lost)"));
}
