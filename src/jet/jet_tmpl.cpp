#include "jet/jet_tmpl.h"

#include <memory>
#include <mutex>

#include "TK/tk_coding.h"
#include "TK/tk_excep.h"
#include "TK/tk_sink.h"
#include "jet/biff_format.h"
#include "jet/jet_layout.h"
#include "jet/jet_out.h"
#include "stg/stg_write.h"

namespace {

const uint8_t k_clsid_biff5[16] = {0x10, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                   0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const uint8_t k_clsid_biff8[16] = {0x20, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                   0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

void check_version(int version) {
    if (version != 0 && version != 1)
        throw tk_mail_assertion("jet_tmpl", __LINE__);
}

std::vector<uint8_t> build_image(int version) {
    tk::memory_sink sink;
    stg_writer w(sink);
    w.set_root_clsid(jet_root_clsid(version));
    const auto book = jet_template_stream(version);
    const auto summary = jet_summary_info(version);
    const auto doc = jet_doc_summary_info(version);
    w.add_stream(version == 1 ? u"Workbook" : u"Book", book.data(), book.size());
    w.add_stream(u"\x05SummaryInformation", summary.data(), summary.size());
    w.add_stream(
        u"\x05"
        u"DocumentSummaryInformation",
        doc.data(), doc.size());
    w.finish();
    return std::move(sink.data());
}

}  // namespace

const uint8_t* jet_root_clsid(int version) {
    check_version(version);
    return version == 1 ? k_clsid_biff8 : k_clsid_biff5;
}

std::vector<uint8_t> jet_template_stream(int version) {
    check_version(version);
    using namespace jet_layout;
    globals_options o;
    o.version = version;
    o.codepage = 1251;
    o.driver_formats = false;
    o.sheets = {u"Sheet1"};
    std::vector<uint8_t> out;
    globals(out, o);
    // The globals' size does not depend on the position they store.
    o.sheet_pos = static_cast<uint32_t>(out.size());
    out.clear();
    globals(out, o);

    bof(out, version, biff::k_bof_worksheet);
    const size_t index = out.size();
    {
        jet_rec r(out, biff::k_index);
        r.u32(0);
        if (version == 1) {
            r.u32(0).u32(0);
        } else {
            r.u16(0).u16(0);
        }
        r.u32(0);  // DEFCOLWIDTH position, set below
    }
    sheet_settings(out, version);
    tk::put_u32(out.data() + index + 4 + (version == 1 ? 12 : 8),
                static_cast<uint32_t>(out.size()));
    defcolwidth(out);
    dimensions(out, version, 0, 0, 0, 0);
    sheet_tail(out, version, true, false);
    out.resize(biff::k_template_stream_size, 0);
    return out;
}

const std::vector<uint8_t>& jet_template_image(int version) {
    check_version(version);
    static std::once_flag once[2];
    static std::unique_ptr<std::vector<uint8_t>> images[2];
    std::call_once(once[version], [version] {
        images[version] = std::make_unique<std::vector<uint8_t>>(build_image(version));
    });
    return *images[version];
}
