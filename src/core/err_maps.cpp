#include "core/err_maps.h"

#include <string>

#include "ORA/ora_engi.h"
#include "TK/tk_bug.h"
#include "core/err_hand.h"

// The bug-report address without its "mailto:".
const char* const kTslSupportAddress = tk_support_address + 7;

namespace {
constexpr uint32_t dao(uint32_t number) {
    return 0x10000 + number;
}

const char kInvalidWorkgroup[] =
    "Invalid workgroup information file. Return to the previous\n"
    "wizard page and verify the correct path was given.";
const char kDuplicateValues[] =
    "Duplicate field values being used for an unique index were found.\n"
    "See 'Troubleshooting' article of the product documentation\n"
    "for solution.";
const std::string kConversionError = std::string("Data type conversion error. Please contact ") +
                                     kTslSupportAddress + "\nfor the solution.";
}  // namespace

const tk_error_entry kDaoErrMap[] = {
    {dao(3055),
     "Not a valid MS Access database name. Use the following characters\n"
     "to compose new database name: alphanumerics (A-Z, a-z, 0-9),\n"
     "underscore characters (_) and spaces."},
    {dao(3022), kDuplicateValues},
    {dao(3029),
     "Not a valid account name or password has been specified\n"
     "in MS Access user-level security settings"},
    {dao(3112),
     "Cannot extract relationships information. See 'Troubleshooting'\n"
     "article of the product documentation for solution."},
    {dao(3173), kInvalidWorkgroup},
    {dao(3358), kInvalidWorkgroup},
    {dao(3421), kConversionError.c_str()},
};
const size_t kDaoErrMapSize = sizeof kDaoErrMap / sizeof kDaoErrMap[0];

const tk_error_entry kDateErrMap[] = {
    {dao(3349),
     "Date fields of the source database do not fall in the\n"
     "range accepted by MS Excel. Restart the program with\n"
     "\"Convert dates into strings\" checkbox selected.\n"},
};
const size_t kDateErrMapSize = sizeof kDateErrMap / sizeof kDateErrMap[0];

void load_err_maps(error_handler& handler) {
    handler.load_err_map(ora_error_map_size, ora_error_map);
    handler.load_err_map(kDateErrMapSize, kDateErrMap);
}
