// The central directory of a finished .xlsx package, read back to check what
// the library wrote: the name and uncompressed size of every part (zip64
// records included). Reading only; the package is written by libxlsxwriter.
#pragma once

#include <cstdint>
#include <map>
#include <string>

// Part name -> uncompressed size. False, with `sizes` left empty, when the
// file cannot be read or its directory is not a well-formed zip directory.
bool xlsx_zip_part_sizes(const std::string& path, std::map<std::string, uint64_t>& sizes);
