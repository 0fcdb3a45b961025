// Reading a package's directory back: the sizes Python's zipfile wrote, with
// and without zip64 records, and nothing from what is not a whole zip file.
#include "xlsx/xlsx_zip.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string make_zip(const std::string& name, bool zip64) {
    const std::string path =
        ::testing::TempDir() + "xlsx_zip_" + std::to_string(getpid()) + "_" + name + ".zip";
    const std::string script =
        "import sys, zipfile\n"
        "if sys.argv[2] == '1':\n"
        "    zipfile.ZIP64_LIMIT = 100  # zip64 records as past 4 GiB\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    for n, size in (('xl/worksheets/sheet1.xml', 70000), ('[Content_Types].xml', 3)):\n"
        "        with z.open(n, 'w', force_zip64=sys.argv[2] == '1') as f:\n"
        "            f.write(b'<' * size)\n"
        "    z.comment = b'a comment after the directory'\n"
        "if sys.argv[2] == '1':  # the end record as past 4 GiB: the zip64 one holds the offset\n"
        "    data = bytearray(open(sys.argv[1], 'rb').read())\n"
        "    e = data.rfind(b'PK\\x05\\x06')\n"
        "    data[e + 16:e + 20] = b'\\xff' * 4\n"
        "    open(sys.argv[1], 'wb').write(data)\n";
    const std::string py = path + ".py";
    std::ofstream(py) << script;
    const std::string cmd = "/usr/bin/python3 " + py + " " + path + (zip64 ? " 1" : " 0");
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::remove(py.c_str());
    return path;
}

}  // namespace

TEST(xlsx_zip, PartSizesAreReadWithAndWithoutZip64AndNothingFromACutFile) {
    for (bool zip64 : {false, true}) {
        const std::string path = make_zip(zip64 ? "z64" : "plain", zip64);
        std::map<std::string, uint64_t> sizes;
        ASSERT_TRUE(xlsx_zip_part_sizes(path, sizes)) << zip64;
        EXPECT_EQ(sizes.size(), 2u);
        EXPECT_EQ(sizes["xl/worksheets/sheet1.xml"], 70000u) << zip64;
        EXPECT_EQ(sizes["[Content_Types].xml"], 3u);
        // Cut anywhere in its directory, the file is no package.
        ASSERT_EQ(::truncate(path.c_str(), 200), 0);
        EXPECT_FALSE(xlsx_zip_part_sizes(path, sizes));
        EXPECT_TRUE(sizes.empty());
        std::remove(path.c_str());
    }
    std::map<std::string, uint64_t> sizes;
    EXPECT_FALSE(xlsx_zip_part_sizes("/nonexistent/book.xlsx", sizes));
}
