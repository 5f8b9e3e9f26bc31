#include "ora_qres.hpp"

#include "ora_rec.hpp"
#include "ora_stmt.hpp"
#include "ora_type.hpp"
#include "tk_log.hpp"

namespace {

unsigned ptr32(const void* p) { return unsigned(reinterpret_cast<uintptr_t>(p)); }

} // namespace

ora_query_results::ora_query_results(ora_session& session, unsigned column_count,
                                     const std::wstring& sql)
    : udb_recordset(std::wstring()), m_session(session),
      m_stmt(std::make_unique<ora_stmt>(session))
{
    tk_trace(1, "ora_query_results::ctor(1)");
    initialize(column_count, sql);
}

ora_query_results::ora_query_results(ora_session& session, const std::wstring& name,
                                     const std::wstring& text)
    : udb_recordset(name, text), m_session(session),
      m_stmt(std::make_unique<ora_stmt>(session))
{
    tk_trace(1, "ora_query_results::ctor(2)");
}

ora_query_results::~ora_query_results()
{
    tk_trace(1, "ora_query_results::dtor");
    m_current.reset();
    tk_trace(1, "Step #1");
    for (size_t i = 0; i < m_columns.size(); ++i) {
        tk_trace(1, "Step #2.%d", int(i));
        m_columns[i].reset();
    }
    m_columns.clear();
    tk_trace(1, "ora_query_results::dtor - at the END");
}

std::unique_ptr<ora_type> ora_query_results::gen_co_by_type(ora_session& session,
                                                            OCIParam* param,
                                                            unsigned short type)
{
    tk_trace(1, "ora_query_results::gen_co_by_type(%d)", int(type));
    tk_trace(1, "mypard3=%08X", ptr32(param));
    switch (type) {
    case SQLT_CHR:
    case SQLT_STR:
    case SQLT_AFC:
        return std::make_unique<ora_string>(session, param);
    case SQLT_NUM:
    case SQLT_INT:
    case SQLT_FLT:
    case SQLT_VNU:
    case SQLT_PDN:
        return std::make_unique<ora_number>(session, param);
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE:
        return std::make_unique<ora_ieee>(session, param, type);
    case SQLT_BIN:
        return std::make_unique<ora_binary>(session, param);
    case SQLT_DAT:
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case 231:   // the client's code for a timestamp with local time zone as described
    case SQLT_TIMESTAMP_LTZ:
        return std::make_unique<ora_date>(session, param, type);
    case SQLT_CLOB:
    case SQLT_BLOB:
        return std::make_unique<ora_lob>(session, param, type);
    case SQLT_LNG:
    case SQLT_LBI:
        return std::make_unique<ora_str_repr>(session, param, type, 1000000);
    case SQLT_RID:
    case SQLT_RDD:
    case SQLT_LAB:
        return std::make_unique<ora_str_repr>(session, param, type, 255);
    case 182:   // an interval year to month as described
    case SQLT_INTERVAL_YM:
    case SQLT_INTERVAL_DS:
        return std::make_unique<ora_str_repr>(session, param, type, 16);
    default:
        return std::make_unique<ora_dummy>(session, param);
    }
}

void ora_query_results::initialize(unsigned column_count, const std::wstring& sql)
{
    tk_wtrace(2, L"ora_query_results::initialize(%d, %ls)", int(column_count), sql.c_str());
    if (m_initialized)
        throw tk_mail_assertion("ora_qres.cpp", 99);
    m_column_count = column_count;

    ora_session& session = m_session;
    OCIError* err = session.handles().err;
    {
        // the describe: executed without a fetch on a statement of its own
        ora_stmt describe(session);
        describe.prepare(sql);
        describe.execute(0);
        if (m_column_count == 0) {
            ub4 count = 0;
            session.check_status(oci().OCIAttrGet(describe, OCI_HTYPE_STMT, &count, nullptr,
                                                  OCI_ATTR_PARAM_COUNT, err),
                                 "OCIAttrGet");
            m_column_count = count;
        }
        for (unsigned p = 1; p <= m_column_count; ++p) {
            tk_trace(1, "Processing column #%d", int(p));
            void* param = nullptr;
            session.check_status(oci().OCIParamGet(describe, OCI_HTYPE_STMT, err, &param, p),
                                 "OCIParamGet");
            tk_trace(1, "mypard=%08X", ptr32(param));
            ub2 type = 0;
            session.check_status(oci().OCIAttrGet(param, OCI_DTYPE_PARAM, &type, nullptr,
                                                  OCI_ATTR_DATA_TYPE, err),
                                 "OCIAttrGet");
            tk_trace(1, "mypard2=%08X", ptr32(param));
            m_columns.push_back(gen_co_by_type(session, static_cast<OCIParam*>(param), type));
            schema.add_field(m_columns.back()->get_ftd());
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
    m_current.reset();
    m_current = std::make_unique<ora_record>(m_columns);
    m_fetched = false;
    return m_current.get();
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
