// Runs a Python script with Debian's interpreter (/usr/bin/python3, which has
// python3-xlrd) and returns what it printed, stderr included.
#pragma once

#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

namespace xls_test {

inline std::string run_python(const std::string& script, const std::string& args) {
    const std::string path = "/tmp/tsl_py_" + std::to_string(::getpid()) + ".py";
    {
        std::ofstream f(path);
        f << script;
    }
    std::string out;
    FILE* p = ::popen(("/usr/bin/python3 " + path + " " + args + " 2>&1").c_str(), "r");
    if (p) {
        std::array<char, 4096> buf;
        size_t k;
        while ((k = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), k);
        int rc = ::pclose(p);
        if (rc != 0)
            out += "\nEXIT " + std::to_string(rc);
    }
    std::remove(path.c_str());
    return out;
}

}  // namespace xls_test
