#include "ora_qres.hpp"

#include "ora_rec.hpp"
#include "ora_stmt.hpp"
#include "ora_type.hpp"
#include "tk_log.hpp"

namespace {

unsigned ptr32(const void* p) { return unsigned(reinterpret_cast<uintptr_t>(p)); }

} // namespace

ora_query_results::ora_query_results(unsigned column_count, const std::wstring& sql)
    : udb_recordset(std::wstring()), m_stmt(std::make_unique<ora_stmt>())
{
    tk_trace(1, "ora_query_results::ctor(1)");
    try {
        initialize(column_count, sql);
    } catch (...) {
        // the destructor does not run for a constructor that throws
        for (ora_type* c : m_columns)
            delete c;
        m_columns.clear();
        throw;
    }
}

ora_query_results::ora_query_results(const std::wstring& name, const std::wstring& text)
    : udb_recordset(name, text), m_stmt(std::make_unique<ora_stmt>())
{
    tk_trace(1, "ora_query_results::ctor(2)");
}

ora_query_results::~ora_query_results()
{
    tk_trace(1, "ora_query_results::dtor");
    delete m_current;
    m_current = nullptr;
    tk_trace(1, "Step #1");
    for (size_t i = 0; i < m_columns.size(); ++i) {
        tk_trace(1, "Step #2.%d", int(i));
        delete m_columns[i];
    }
    m_columns.clear();
    tk_trace(1, "ora_query_results::dtor - at the END");
}

ora_type* ora_query_results::gen_co_by_type(OCIParam* param, unsigned short type)
{
    tk_trace(1, "ora_query_results::gen_co_by_type(%d)", int(type));
    tk_trace(1, "mypard3=%08X", ptr32(param));
    switch (type) {
    case 1:
    case 5:
    case 96:
        return new ora_string(param);
    case 2:
    case 3:
    case 4:
    case 6:
    case 7:
        return new ora_number(param);
    case 23:
        return new ora_binary(param);
    case 12:
    case 187:
    case 188:
    case 231:
    case 232:
        return new ora_date(param, type);
    case 112:
    case 113:
        return new ora_lob(param, type);
    case 8:
    case 24:
        return new ora_str_repr(param, type, 1000000);
    case 11:
    case 104:
    case 105:
        return new ora_str_repr(param, type, 255);
    case 182:
    case 189:
    case 190:
        return new ora_str_repr(param, type, 16);
    default:
        return new ora_dummy(param);
    }
}

void ora_query_results::initialize(unsigned column_count, const std::wstring& sql)
{
    tk_wtrace(2, L"ora_query_results::initialize(%d, %ls)", int(column_count), sql.c_str());
    if (m_initialized)
        throw tk_mail_assertion("ora_qres.cpp", 99);
    m_column_count = column_count;

    ora_engine& engine = ora_engine::instance();
    OCIError* err = engine.handles().err;
    {
        // the describe: executed without a fetch on a statement of its own
        ora_stmt describe;
        describe.prepare(sql);
        describe.execute(0);
        if (m_column_count == 0) {
            ub4 count = 0;
            engine.check_status(oci().OCIAttrGet(describe, OCI_HTYPE_STMT, &count, nullptr,
                                                 OCI_ATTR_PARAM_COUNT, err),
                                "OCIAttrGet");
            m_column_count = count;
        }
        for (unsigned p = 1; p <= m_column_count; ++p) {
            tk_trace(1, "Processing column #%d", int(p));
            void* param = nullptr;
            engine.check_status(oci().OCIParamGet(describe, OCI_HTYPE_STMT, err, &param, p),
                                "OCIParamGet");
            tk_trace(1, "mypard=%08X", ptr32(param));
            ub2 type = 0;
            engine.check_status(oci().OCIAttrGet(param, OCI_DTYPE_PARAM, &type, nullptr,
                                                 OCI_ATTR_DATA_TYPE, err),
                                "OCIAttrGet");
            tk_trace(1, "mypard2=%08X", ptr32(param));
            m_columns.push_back(gen_co_by_type(static_cast<OCIParam*>(param), type));
            schema.add_field(std::unique_ptr<t_ftd>(m_columns.back()->get_ftd()));
        }
    }

    m_stmt->prepare(sql);
    for (unsigned p = 0; p < m_columns.size(); ++p)
        m_columns[p]->define(m_stmt->get(), p + 1);
    m_stmt->execute(0);
    m_initialized = true;
}

bool ora_query_results::fetch_row()
{
    if (!m_initialized)
        throw tk_mail_assertion("ora_qres.cpp", 86);
    m_at_end = m_stmt->fetch() == OCI_NO_DATA;
    return !m_at_end;
}

bool ora_query_results::is_eof()
{
    tk_trace(1, "ora_query_results::is_eof");
    if (!m_initialized)
        throw tk_mail_assertion("ora_qres.cpp", 86);
    m_fetched = true;
    return !fetch_row();
}

udb_record* ora_query_results::get_item()
{
    tk_trace(1, "ora_query_results::get_item");
    if (!m_fetched) {
        tk_trace(1, "fetch wasn't called yet");
        if (!fetch_row()) {
            tk_trace(2, "status == OCI_NO_DATA!");
            return nullptr;
        }
    } else if (m_at_end) {
        // the buffers hold the last row still: there is no current one
        return nullptr;
    }
    delete m_current;
    m_current = nullptr;
    m_current = new ora_record(m_columns);
    m_fetched = false;
    return m_current;
}

udb_record* ora_query_results::next_record()
{
    return is_eof() ? nullptr : get_item();
}

void ora_query_results::append_record(const udb_record&)
{
    tk_trace(1, "ora_query_results::append_record");
    throw tk_mail_assertion("ora_qres.cpp", 54);
}

std::wstring ora_query_results::field_text(const udb_record& record, size_t i)
{
    if (i >= record.fields.size() || !record.fields[i])
        return std::wstring();
    return record.fields[i]->to_wstring();
}
