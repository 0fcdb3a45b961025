#include "TK/tk_dllv.h"

#include <gtest/gtest.h>

#include "tk_test_util.h"

TEST(tk_dllv, VersionComesFromDllGetVersion) {
    EXPECT_EQ(get_dll_version(TK_PROBE_LIB), 5u * 65536 + 82);
}

TEST(tk_dllv, NoLibraryNoExportOrFailedCallGiveZero) {
    tk_test::trace_capture cap;
    EXPECT_EQ(get_dll_version("/nonexistent/libcomctl.so"), 0u);
    EXPECT_TRUE(cap.has_line("get_dll_version failed to load DLL"));
    EXPECT_EQ(get_dll_version("libm.so.6"), 0u);  // loads, but has no DllGetVersion
    EXPECT_TRUE(cap.has_line("get_dll_version failed to obtain DllGetVersion"));
    EXPECT_EQ(get_dll_version(TK_PROBE_FAIL_LIB), 0u);
    EXPECT_EQ(get_dll_version(""), 0u);
    EXPECT_EQ(get_dll_version(nullptr), 0u);
}
