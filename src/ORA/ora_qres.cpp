#include "ORA/ora_qres.h"

#include "TK/tk_log.h"

namespace {

constexpr const char* kSource = "ora_qres";
constexpr int32_t kOutOfMemory = 4030;  // ORA-04030: out of process memory

}  // namespace

ora_query_results::ora_query_results(const std::u16string& name, const std::u16string& text)
    : udb_recordset(name, text, true) {
    tk_wtrace(2, u"ora_query_results::ctor(%s)", name.c_str());
}

ora_query_results::ora_query_results(uint32_t column_count, const std::u16string& text)
    : udb_recordset(std::u16string(), text, true) {
    tk_wtrace(2, u"ora_query_results::ctor(%d, %s)", static_cast<int>(column_count), text.c_str());
    initialize(column_count, text);
}

ora_query_results::~ora_query_results() {
    tk_trace(2, "ora_query_results::dtor");
}

void ora_query_results::initialize(uint32_t column_count, const std::u16string& text) {
    tk_wtrace(2, u"ora_query_results::initialize(%d, %s)", static_cast<int>(column_count),
              text.c_str());
    if (initialized_)
        throw tk_mail_assertion(kSource, __LINE__);
    ora_engine& engine = ora_engine::instance();
    const ora_oci& oci = *engine.oci();
    {
        // Described without running: a server would otherwise run the whole
        // query once more before the reader's own execute.
        ora_stmt describe;
        describe.prepare(text);
        describe.execute(0, OCI_DESCRIBE_ONLY);
        if (column_count == 0) {
            ub4 count = 0;
            engine.check_status(oci.OCIAttrGet(describe.handle(), OCI_HTYPE_STMT, &count, nullptr,
                                               OCI_ATTR_PARAM_COUNT, engine.err()));
            column_count = count;
        }
        columns_.reserve(column_count);
        for (ub4 position = 1; position <= column_count; ++position) {
            void* param = nullptr;
            engine.check_status(
                oci.OCIParamGet(describe.handle(), OCI_HTYPE_STMT, engine.err(), &param, position));
            uint32_t type = 0;  // a ub2, read into a zeroed cell
            engine.check_status(oci.OCIAttrGet(param, OCI_DTYPE_PARAM, &type, nullptr,
                                               OCI_ATTR_DATA_TYPE, engine.err()));
            columns_.push_back(
                gen_co_by_type(static_cast<OCIParam*>(param), static_cast<ub2>(type & 0xFFFF)));
            schema_.add(columns_.back()->get_ftd());
        }
    }
    column_count_ = column_count;

    stmt_.prepare(text);
    for (size_t i = 0; i < columns_.size(); ++i) {
        columns_[i]->define(stmt_.handle(), static_cast<ub4>(i + 1));
    }
    stmt_.execute(0);
    initialized_ = true;
}

std::unique_ptr<ora_type> ora_query_results::gen_co_by_type(OCIParam* param, ub2 type_code) {
    if (dates_as_text_ && ora_date::is_date_code(type_code))
        return std::make_unique<ora_date>(param, type_code, true);
    return ora_type::create(param, type_code);
}

void ora_query_results::append_record(udb_record&) {
    throw tk_mail_assertion(kSource, __LINE__);
}

bool ora_query_results::fetch_row() {
    if (at_end_)
        return false;
    sword status = OCI_SUCCESS;
    try {
        status = stmt_.fetch();
    } catch (const ora_exception& e) {
        // A value the server could not convert, or one too large for the
        // memory at hand (ORA-04030), costs its row only: the next fetch
        // goes on with the next row.
        if (!ora_is_value_error(e.number()) && e.number() != kOutOfMemory)
            throw;
        fetched_ = false;
        throw udb_record_refused(e);
    }
    if (status == OCI_SUCCESS || status == OCI_SUCCESS_WITH_INFO) {
        fetched_ = true;
        return true;
    }
    // OCI_NO_DATA is the end; any other status leaves nothing usable in the
    // buffers either, so it ends the rows too instead of repeating one.
    if (status != OCI_NO_DATA)
        tk_trace(2, "ora_query_results: fetch status %d ends the rows", status);
    at_end_ = true;
    fetched_ = false;
    return false;
}

bool ora_query_results::is_eof() {
    tk_trace(1, "ora_query_results::is_eof");
    if (!initialized_)
        throw tk_mail_assertion(kSource, __LINE__);
    return !fetch_row();
}

udb_record* ora_query_results::get_item() {
    tk_trace(1, "ora_query_results::get_item");
    if (!initialized_)
        throw tk_mail_assertion(kSource, __LINE__);
    if (!fetched_ && !fetch_row())
        return nullptr;
    if (!record_)
        record_ = std::make_unique<ora_record>();
    // The row is taken whether its values decode or not.
    fetched_ = false;
    try {
        record_->fill(columns_);
    } catch (const tk_exception& e) {
        // A value that cannot be decoded refuses this record only.
        if (e.code() == 2)
            throw;
        throw udb_record_refused(e);
    } catch (const std::bad_alloc&) {
        // So does one too large to be held.
        throw udb_record_refused(
            tk_exception("A value of the record is too large to be held in memory.", 0));
    }
    return record_.get();
}
