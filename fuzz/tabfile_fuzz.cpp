// Fuzzes the table-names reader: any bytes, fed in pieces of any size, give
// names of at most 254 bytes each and the same names as one piece would.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "TK/tk_utf.h"
#include "agent/ag_tabr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const char* text = reinterpret_cast<const char*>(data) + 1;
    size_t n = size - 1;
    size_t piece = data[0] % 17 + 1;

    tab_names_reader whole;
    whole.feed(text, n);
    whole.finish();
    tab_names_reader pieces;
    for (size_t i = 0; i < n; i += piece) pieces.feed(text + i, n - i < piece ? n - i : piece);
    pieces.finish();

    if (whole.names() != pieces.names())
        std::abort();
    for (const std::u16string& name : whole.names()) {
        if (name.empty() || name.size() > tab_names_reader::kMaxName)
            std::abort();
    }
    return 0;
}
