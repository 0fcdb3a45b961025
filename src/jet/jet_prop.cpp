// The summary-information property sets of the empty workbooks.
#include <string>

#include "TK/tk_coding.h"
#include "jet/biff_format.h"
#include "jet/jet_tmpl.h"

namespace {

enum : uint16_t {
    vt_i2 = 2,
    vt_i4 = 3,
    vt_bool = 11,
    vt_variant = 12,
    vt_lpstr = 30,
    vt_filetime = 64,
    vt_vector = 0x1000
};

const uint8_t k_fmtid_summary[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                     0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
const uint8_t k_fmtid_doc[16] = {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                 0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};

// 2001-01-01 00:00:00 UTC in 100-ns units since 1601.
constexpr uint64_t k_filetime = (11644473600ull + 978307200ull) * 10000000ull;

// One property section under construction: values are appended with
// their type, the id/offset table is written when the stream is built.
class section {
  public:
    void i2(uint32_t id, int16_t v) {
        begin(id, vt_i2);
        tk::append_u16(data_, static_cast<uint16_t>(v));
        tk::append_u16(data_, 0);
    }
    void i4(uint32_t id, int32_t v) {
        begin(id, vt_i4);
        tk::append_u32(data_, static_cast<uint32_t>(v));
    }
    void boolean(uint32_t id, bool v) {
        begin(id, vt_bool);
        tk::append_u16(data_, v ? 0xFFFF : 0);
        tk::append_u16(data_, 0);
    }
    void str(uint32_t id, const std::string& s) {
        begin(id, vt_lpstr);
        lpstr(s);
    }
    void filetime(uint32_t id, uint64_t t) {
        begin(id, vt_filetime);
        tk::append_u32(data_, static_cast<uint32_t>(t));
        tk::append_u32(data_, static_cast<uint32_t>(t >> 32));
    }
    void str_vector(uint32_t id, const std::string& only) {
        begin(id, vt_vector | vt_lpstr);
        tk::append_u32(data_, 1);
        lpstr(only);
    }
    // A heading pair: (heading, count) as a vector of two variants.
    void heading_pair(uint32_t id, const std::string& heading, int32_t count) {
        begin(id, vt_vector | vt_variant);
        tk::append_u32(data_, 2);
        tk::append_u16(data_, vt_lpstr);
        tk::append_u16(data_, 0);
        lpstr(heading);
        tk::append_u16(data_, vt_i4);
        tk::append_u16(data_, 0);
        tk::append_u32(data_, static_cast<uint32_t>(count));
    }

    // The whole stream: header, one section, zero padding to `size`.
    std::vector<uint8_t> stream(const uint8_t fmtid[16], size_t size) const {
        std::vector<uint8_t> out;
        tk::append_u16(out, 0xFFFE);
        tk::append_u16(out, 0);
        tk::append_u32(out, 0x00020105);  // Windows, OS version 5.1
        out.insert(out.end(), 16, 0);     // class id
        tk::append_u32(out, 1);
        tk::append_bytes(out, fmtid, 16);
        tk::append_u32(out, 48);
        const uint32_t table = static_cast<uint32_t>(8 + 8 * ids_.size());
        tk::append_u32(out, static_cast<uint32_t>(table + data_.size()));
        tk::append_u32(out, static_cast<uint32_t>(ids_.size()));
        for (size_t i = 0; i < ids_.size(); ++i) {
            tk::append_u32(out, ids_[i]);
            tk::append_u32(out, table + offsets_[i]);
        }
        out.insert(out.end(), data_.begin(), data_.end());
        out.resize(size, 0);
        return out;
    }

  private:
    void begin(uint32_t id, uint16_t type) {
        ids_.push_back(id);
        offsets_.push_back(static_cast<uint32_t>(data_.size()));
        tk::append_u16(data_, type);
        tk::append_u16(data_, 0);
    }
    // Size with the terminating zero, the characters, zero padding to 4.
    void lpstr(const std::string& s) {
        tk::append_u32(data_, static_cast<uint32_t>(s.size() + 1));
        tk::append_bytes(data_, s.data(), s.size());
        data_.push_back(0);
        while (data_.size() % 4) data_.push_back(0);
    }
    std::vector<uint32_t> ids_, offsets_;
    std::vector<uint8_t> data_;
};

}  // namespace

std::vector<uint8_t> jet_summary_info(int /*version*/) {
    section s;
    s.i2(1, 1251);  // code page
    s.str(4, "Vorrant");
    s.str(8, "Vorrant");
    s.str(18, "Microsoft Excel");
    s.filetime(12, k_filetime);
    s.filetime(13, k_filetime);
    s.i4(19, 0);  // security
    return s.stream(k_fmtid_summary, biff::k_template_stream_size);
}

std::vector<uint8_t> jet_doc_summary_info(int version) {
    section s;
    s.i2(1, 1251);
    s.str(15, "Brannock");  // company
    s.boolean(11, false);   // scale
    s.boolean(16, false);   // links up to date
    s.str_vector(13, "Sheet1");
    s.heading_pair(12, "Worksheets", 1);
    if (version == 1) {
        s.i4(23, 592544);      // application version
        s.boolean(22, false);  // hyperlinks changed
        s.boolean(19, false);  // shared document
    }
    return s.stream(k_fmtid_doc, biff::k_template_stream_size);
}
