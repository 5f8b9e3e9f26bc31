#include "ora_type.hpp"

#include "ora_session.hpp"
#include "ora_util.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"
#include "udb_rec.hpp"
#include "udb_sche.hpp"

#include <cstdint>
#include <cstring>

namespace {

const char unsupported[] = "<unsupported type>";

// the piece size of large-object reads
constexpr ub4 lob_piece = 0x8000;

unsigned ptr32(const void* p) { return unsigned(reinterpret_cast<uintptr_t>(p)); }

template <class T>
T param_attr(ora_session& session, OCIParam* param, ub4 attr, const char* call = "OCIAttrGet")
{
    T value{};
    session.check_status(
        oci().OCIAttrGet(param, OCI_DTYPE_PARAM, &value, nullptr, attr, session.handles().err),
        call);
    return value;
}

} // namespace

// ---- ora_type

ora_type::ora_type(ora_session& session, OCIParam* param, ub2 define_type)
    : m_session(session), m_param(param), m_define_type(define_type)
{
    tk_trace(1, "ora_type::ctor(%d)", int(define_type));
    tk_trace(1, "mypard5=%08X", ptr32(param));
    OraText* name = nullptr;
    ub4 name_len = 0;
    m_session.check_status(oci().OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &name_len,
                                           OCI_ATTR_NAME, m_session.handles().err),
                          "OCIAttrGet");
    if (name)
        m_name = ora_from_utf16(name, name_len / 2);
    tk_wtrace(1, L"AS WCHAR*: %ls", m_name.c_str());
    m_nullable = param_attr<ub1>(m_session, param, OCI_ATTR_IS_NULL);
}

ora_type::~ora_type()
{
    tk_trace(1, "ora_type::dtor");
    if (m_define)
        oci().OCIHandleFree(m_define, OCI_HTYPE_DEFINE);
}

ub2 ora_type::get_param_data_size() const
{
    return param_attr<ub2>(m_session, m_param, OCI_ATTR_DATA_SIZE);
}

VARTYPE ora_type::get_vartype() const
{
    tk_trace(1, "ora_type::get_vartype()");
    switch (m_define_type) {
    case SQLT_NUM:
    case SQLT_FLT:
    case SQLT_VNU:
    case SQLT_PDN:
        return VT_R8;
    case SQLT_INT:
        return VT_I4;
    case SQLT_DAT:
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case 231:   // a timestamp with local time zone as described
    case SQLT_TIMESTAMP_LTZ:
        return VT_DATE;
    case SQLT_BIN:
    case SQLT_LBI:
    case SQLT_BLOB:
    case SQLT_BFILEE:
        return VT_BLOB;
    default:
        return VT_BSTR;
    }
}

std::unique_ptr<t_ftd> ora_type::get_ftd() const
{
    tk_trace(1, "ora_type::get_ftd");
    const VARTYPE vt = get_vartype();
    tk_wtrace(1, L"Got field '%ls', type=%d, vartype=%d, lenght=%d, nullable=%d", m_name.c_str(),
              int(m_define_type), int(vt), m_data_size, int(m_nullable));
    return std::make_unique<t_ftd>(m_data_size, m_name, vt, m_nullable == 0, false, ole_variant(),
                     vt == VT_DATE ? 1 : 0);
}

void ora_type::define_buffer(OCIStmt* stmt, ub4 position, void* buffer, sb4 size, ub2 type,
                             ub2* returned_length)
{
    m_session.check_status(oci().OCIDefineByPos(stmt, &m_define, m_session.handles().err,
                                               position, buffer, size, type, &m_indicator,
                                               returned_length, nullptr, OCI_DEFAULT),
                          "OCIDefineByPos");
}

std::unique_ptr<udb_field> ora_type::make_field()
{
    ole_variant value;
    to_variant(value);
    return std::make_unique<udb_field>(m_name, m_data_size, value, false, false);
}

// ---- ora_string

ora_string::ora_string(ora_session& session, OCIParam* param)
    : ora_type(session, param, SQLT_STR)
{
    tk_trace(1, "ora_string::ctor");
    m_data_size = get_param_data_size();
    m_buffer.assign(size_t(m_data_size) + 1, 0);
}

void ora_string::define(OCIStmt* stmt, ub4 position)
{
    tk_trace(1, "ora_string::define(%d)", int(position));
    define_buffer(stmt, position, m_buffer.data(), sb4(m_buffer.size() * 2), SQLT_STR);
}

void ora_string::to_variant(ole_variant& out)
{
    if (m_buffer.empty())
        throw tk_mail_assertion("..\\ORA/ora_type.hpp", 70);
    out = ole_variant(ora_from_utf16(m_buffer.data(), m_buffer.size()));
}

// ---- ora_number

ora_number::ora_number(ora_session& session, OCIParam* param)
    : ora_type(session, param, SQLT_NUM)
{
    tk_trace(1, "ora_number::ctor");
    m_precision = param_attr<sb2>(m_session, param, OCI_ATTR_PRECISION);
    const sb1 scale = param_attr<sb1>(m_session, param, OCI_ATTR_SCALE);
    m_scale = scale < 0 ? 0 : scale;
    tk_trace(1, "Prec=%d, scale=%d", m_precision, m_scale);
    m_refined = get_refined_num_type(m_precision, m_scale);
}

VARTYPE ora_number::get_vartype() const
{
    return m_refined;
}

std::unique_ptr<t_ftd> ora_number::get_ftd() const
{
    tk_trace(1, "ora_number::get_ftd");
    tk_wtrace(1, L"Got field '%ls', type=%d, lenght=%d, nullable=%d", m_name.c_str(),
              int(m_refined), 0, int(m_nullable));
    const int reserved = m_refined == VT_DECIMAL ? m_precision * 256 + m_scale : 0;
    return std::make_unique<t_ftd>(0, m_name, m_refined, m_nullable == 0, false, ole_variant(), reserved);
}

void ora_number::define(OCIStmt* stmt, ub4 position)
{
    tk_trace(1, "ora_number::define(%d)", int(position));
    define_buffer(stmt, position, m_buffer, sizeof m_buffer, SQLT_STR);
}

void ora_number::to_variant(ole_variant& out)
{
    const std::wstring text = ora_from_utf16(m_buffer, sizeof m_buffer / 2);
    tk_wtrace(1, L"ora_number::to_variant(buf=%ls)", text.c_str());
    out = ole_variant::from_wstring(text, m_refined);
}

// ---- ora_ieee

ora_ieee::ora_ieee(ora_session& session, OCIParam* param, ub2 type)
    : ora_type(session, param, type)
{
    tk_trace(1, "ora_ieee::ctor(%d)", int(type));
}

VARTYPE ora_ieee::get_vartype() const
{
    return single() ? VT_R4 : VT_R8;
}

void ora_ieee::define(OCIStmt* stmt, ub4 position)
{
    tk_trace(1, "ora_ieee::define(%d)", int(position));
    if (single())
        define_buffer(stmt, position, &m_single, sizeof m_single, SQLT_BFLOAT);
    else
        define_buffer(stmt, position, &m_double, sizeof m_double, SQLT_BDOUBLE);
}

void ora_ieee::to_variant(ole_variant& out)
{
    if (single())
        out = ole_variant(m_single);
    else
        out = ole_variant(m_double);
}

// ---- ora_binary

ora_binary::ora_binary(ora_session& session, OCIParam* param)
    : ora_type(session, param, SQLT_BIN)
{
    tk_trace(1, "ora_binary::ctor");
    m_data_size = get_param_data_size();
    m_buffer.assign(size_t(m_data_size), 0);
}

void ora_binary::define(OCIStmt* stmt, ub4 position)
{
    tk_trace(1, "ora_binary::define(%d)", int(position));
    // the returned length: a value shorter than the column keeps its own length
    define_buffer(stmt, position, m_buffer.data(), sb4(m_buffer.size()), SQLT_BIN, &m_length);
}

void ora_binary::to_variant(ole_variant& out)
{
    if (m_buffer.empty())
        throw tk_mail_assertion("..\\ORA/ora_type.hpp", 95);
    const size_t n = m_length < m_buffer.size() ? m_length : m_buffer.size();
    out.attach_binary(unsigned(n), m_buffer.data());
}

// ---- ora_date

ora_date::ora_date(ora_session& session, OCIParam* param, ub2 type)
    : ora_type(session, param, type)
{
    tk_trace(1, "ora_date::ctor");
}

void ora_date::define(OCIStmt* stmt, ub4 position)
{
    tk_trace(1, "ora_date::define(%d)", int(position));
    define_buffer(stmt, position, m_buffer, sizeof m_buffer, SQLT_DAT);
}

int ora_date::canon_dt_item(int value)
{
    tk_trace(1, "ora_date::canon_dt_item(%d)", value);
    return value > 100 ? value - 100 : 100 - value;
}

SYSTEMTIME ora_date::decode(const ub1 b[7])
{
    SYSTEMTIME t{};
    t.wYear = WORD(canon_dt_item(b[0]) * 100 + canon_dt_item(b[1]));
    t.wMonth = b[2];
    t.wDay = b[3];
    t.wHour = WORD(b[4] ? b[4] - 1 : 0);
    t.wMinute = WORD(b[5] ? b[5] - 1 : 0);
    t.wSecond = WORD(b[6] ? b[6] - 1 : 0);
    return t;
}

void ora_date::to_variant(ole_variant& out)
{
    const SYSTEMTIME t = decode(m_buffer);
    tk_trace(1, "Got datetime: %02d/%02d/%04d %02d:%02d:%02d", t.wDay, t.wMonth, t.wYear,
             t.wHour, t.wMinute, t.wSecond);
    out = ole_variant(t);
}

// ---- ora_lob

ora_lob::ora_lob(ora_session& session, OCIParam* param, ub2 type)
    : ora_type(session, param, type)
{
    tk_trace(1, "ora_lob::ctor");
    void* locator = nullptr;
    m_session.check_status(oci().OCIDescriptorAlloc(m_session.handles().env, &locator,
                                                   OCI_DTYPE_LOB, 0, nullptr),
                          "OCIDescriptorAlloc");
    m_locator = static_cast<OCILobLocator*>(locator);
}

ora_lob::~ora_lob()
{
    if (m_locator)
        oci().OCIDescriptorFree(m_locator, OCI_DTYPE_LOB);
}

void ora_lob::define(OCIStmt* stmt, ub4 position)
{
    tk_trace(1, "ora_lob::defind(%d)", int(position));
    define_buffer(stmt, position, &m_locator, -1, m_define_type);
}

sword ora_lob::read_lob(ub4 offset, void* buffer, ub4 size, ub4& amount)
{
    tk_trace(1, "ora_lob::read_lob(%d,%d)", int(offset), int(size));
    const ora_handles& h = m_session.handles();
    ub1 form = SQLCS_IMPLICIT;
    ub2 charset = 0;
    if (m_define_type == SQLT_CLOB) {
        m_session.check_status(oci().OCILobCharSetForm(h.env, h.err, m_locator, &form),
                              "OCILobCharSetForm");
        tk_trace(1, "Got charset form: %d", int(form));
        // the environment is utf-16: ask for utf-8 explicitly
        charset = OCI_AL32UTF8_ID;
    }
    const sword status = m_session.check_status(
        oci().OCILobRead(h.svc, h.err, m_locator, &amount, offset, buffer, size, nullptr, nullptr,
                         charset, form),
        "OCILobRead");
    if (status == OCI_NO_DATA)
        amount = 0;
    return status;
}

void ora_lob::to_variant(ole_variant& out)
{
    tk_trace(1, "ora_lob::to_variant");
    std::vector<char> piece(lob_piece);
    if (m_define_type == SQLT_CLOB) {
        tk_trace(1, "Got SQLT_CLOB!");
        std::string text;
        // the whole text streamed in pieces: the client cuts no character, where reads of
        // a number of characters from offsets could end inside a surrogate pair
        for (;;) {
            ub4 n = 0;
            const sword status = read_lob(1, piece.data(), lob_piece, n);
            tk_trace(1, "bytes_read=%d", int(n));
            text.append(piece.data(), std::min<size_t>(n, lob_piece));
            if (status != OCI_NEED_DATA)
                break;
        }
        out = ole_variant(tk_from_utf8(text));
        return;
    }
    if (m_define_type == SQLT_BLOB) {
        std::vector<BYTE> bytes;
        for (ub4 offset = 1;;) {
            ub4 n = lob_piece;
            read_lob(offset, piece.data(), lob_piece, n);
            if (n == 0)
                break;
            const size_t got = n < lob_piece ? n : lob_piece;
            bytes.insert(bytes.end(), piece.begin(), piece.begin() + std::ptrdiff_t(got));
            offset += ub4(got);
        }
        out.attach_binary(bytes);
        return;
    }
    throw tk_mail_assertion("ora_type.cpp", 404);
}

// ---- ora_str_repr

ora_str_repr::ora_str_repr(ora_session& session, OCIParam* param, ub2 type, int size)
    : ora_type(session, param, type)
{
    tk_trace(1, "ora_str_repr::ctor");
    m_data_size = size;
    if (type == SQLT_LBI) {
        m_buffer.assign(size_t(2 * size + 2), 0);
        m_buffer[0] = u'0';
        m_buffer[1] = u'x';
        m_offset = 2;
    } else {
        m_buffer.assign(size_t(size), 0);
    }
}

void ora_str_repr::define(OCIStmt* stmt, ub4 position)
{
    tk_trace(1, "ora_str_repr::define(%d)", int(position));
    define_buffer(stmt, position, m_buffer.data() + m_offset,
                  sb4((m_buffer.size() - m_offset) * 2), SQLT_STR);
}

void ora_str_repr::to_variant(ole_variant& out)
{
    const std::wstring text = ora_from_utf16(m_buffer.data(), m_buffer.size());
    tk_wtrace(1, L"ora_str_repr::to_variant (buf=%ls)", text.c_str());
    if (m_define_type == SQLT_LBI)
        out = ole_variant::from_wstring(text, VT_BLOB);
    else
        out = ole_variant(text);
}

// ---- ora_dummy

ora_dummy::ora_dummy(ora_session& session, OCIParam* param)
    : ora_type(session, param, SQLT_STR)
{
    tk_trace(1, "ora_dummy::ctor");
    m_data_size = int(sizeof unsupported - 1);
    m_nullable = 0;
}

void ora_dummy::define(OCIStmt*, ub4) {}

void ora_dummy::to_variant(ole_variant& out)
{
    out = ole_variant(std::wstring(unsupported, unsupported + sizeof unsupported - 1));
}
