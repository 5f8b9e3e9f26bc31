#include "ole_auto.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

std::wstring bstr_text(BSTR b)
{
    return b ? std::wstring(b, SysStringLen(b)) : std::wstring();
}

struct scoped_variant {
    VARIANT v;
    scoped_variant() { VariantInit(&v); }
    ~scoped_variant() { VariantClear(&v); }
};

TEST(ole_auto, bstr_keeps_length_and_embedded_nul)
{
    const wchar_t text[] = {L'a', 0, L'b'};
    BSTR b = SysAllocStringLen(text, 3);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(SysStringByteLen(b), 6u);
    EXPECT_EQ(b[3], 0);
    EXPECT_EQ(bstr_text(b), std::wstring(text, 3));
    SysFreeString(b);

    BSTR c = SysAllocString(L"x\u00e4");
    EXPECT_EQ(SysStringLen(c), 2u);
    SysFreeString(c);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
}

TEST(ole_auto, safe_array_redim_keeps_bytes_and_zeroes_new_ones)
{
    SAFEARRAYBOUND bound{3, 0};
    SAFEARRAY* a = SafeArrayCreate(VT_UI1, 1, &bound);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(SafeArrayGetDim(a), 1u);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(a, &data), S_OK);
    std::memcpy(data, "\x01\x02\x03", 3);
    // a locked array cannot change
    SAFEARRAYBOUND grow{5, 0};
    EXPECT_EQ(SafeArrayRedim(a, &grow), DISP_E_ARRAYISLOCKED);
    SafeArrayUnaccessData(a);
    ASSERT_EQ(SafeArrayRedim(a, &grow), S_OK);
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(a, 1, &lower);
    SafeArrayGetUBound(a, 1, &upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 4);
    EXPECT_EQ(std::memcmp(a->pvData, "\x01\x02\x03\x00\x00", 5), 0);

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(a, &copy), S_OK);
    EXPECT_NE(copy->pvData, a->pvData);
    SafeArrayDestroy(a);
    EXPECT_EQ(std::memcmp(copy->pvData, "\x01\x02\x03\x00\x00", 5), 0);
    EXPECT_EQ(SafeArrayGetLBound(copy, 2, &lower), DISP_E_BADINDEX);
    SafeArrayDestroy(copy);

    SAFEARRAYBOUND none{0, 0};
    SAFEARRAY* empty = SafeArrayCreate(VT_UI1, 1, &none);
    ASSERT_NE(empty, nullptr);
    SafeArrayGetUBound(empty, 1, &upper);
    EXPECT_EQ(upper, -1);
    SafeArrayDestroy(empty);
}

TEST(ole_auto, variant_copy_is_deep)
{
    scoped_variant a, b;
    a.v.vt = VT_BSTR;
    a.v.bstrVal = SysAllocString(L"text");
    ASSERT_EQ(VariantCopy(&b.v, &a.v), S_OK);
    EXPECT_EQ(b.v.vt, VT_BSTR);
    EXPECT_NE(b.v.bstrVal, a.v.bstrVal);
    EXPECT_EQ(bstr_text(b.v.bstrVal), L"text");
    VariantClear(&a.v);
    EXPECT_EQ(a.v.vt, VT_EMPTY);
    EXPECT_EQ(bstr_text(b.v.bstrVal), L"text");

    VARIANT bad;
    VariantInit(&bad);
    bad.vt = VT_UNKNOWN;
    EXPECT_EQ(VariantCopy(&b.v, &bad), DISP_E_BADVARTYPE);
}

struct change_case {
    const wchar_t* text;
    VARTYPE vt;
    HRESULT hr;
    double value; // read back as a double when hr is S_OK
};

double as_double(const VARIANT& v)
{
    switch (v.vt) {
    case VT_I1: return v.cVal;
    case VT_UI1: return v.bVal;
    case VT_I2: return v.iVal;
    case VT_UI2: return v.uiVal;
    case VT_I4: return v.lVal;
    case VT_UI4: return v.ulVal;
    case VT_INT: return v.intVal;
    case VT_UINT: return v.uintVal;
    case VT_I8: return double(v.llVal);
    case VT_UI8: return double(v.ullVal);
    case VT_R4: return v.fltVal;
    case VT_R8: return v.dblVal;
    case VT_BOOL: return v.boolVal;
    case VT_CY: return double(v.cyVal.int64) / 10000.0;
    case VT_DATE: return v.date;
    case VT_DECIMAL: {
        double d = NAN;
        VarR8FromDec(&v.decVal, &d);
        return d;
    }
    default: return NAN;
    }
}

TEST(ole_auto, change_type_reads_plain_decimal_text)
{
    const change_case cases[] = {
        {L"42", VT_I4, S_OK, 42},
        {L"  -17 ", VT_I2, S_OK, -17},
        {L"2.5", VT_I4, S_OK, 2},   // half to even
        {L"3.5", VT_I4, S_OK, 4},
        {L"-2.5", VT_I4, S_OK, -2},
        {L"2.51", VT_I4, S_OK, 3},
        {L"1e3", VT_I4, S_OK, 1000},
        {L"2147483647", VT_I4, S_OK, 2147483647.0},
        {L"-2147483648", VT_INT, S_OK, -2147483648.0},
        {L"2147483648", VT_I4, DISP_E_OVERFLOW, 0},
        {L"4294967295", VT_UINT, S_OK, 4294967295.0},
        {L"-1", VT_UI4, DISP_E_OVERFLOW, 0},
        {L"-0", VT_UI1, S_OK, 0},
        {L"128", VT_I1, DISP_E_OVERFLOW, 0},
        {L"255", VT_UI1, S_OK, 255},
        {L"1.5", VT_R8, S_OK, 1.5},
        {L"1e400", VT_R8, DISP_E_OVERFLOW, 0},
        {L"1e39", VT_R4, DISP_E_OVERFLOW, 0},
        {L"12.34565", VT_CY, S_OK, 12.3456},
        {L"-12.50", VT_DECIMAL, S_OK, -12.5},
        {L"1e30", VT_DECIMAL, DISP_E_OVERFLOW, 0},
        {L"3/5/2010", VT_DATE, S_OK, 40242},
        {L"True", VT_BOOL, S_OK, -1},
        {L"false", VT_BOOL, S_OK, 0},
        {L"7", VT_BOOL, S_OK, -1},
        {L"0.0", VT_BOOL, S_OK, 0},
        {L"abc", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {L"1,5", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {L"", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {L"12abc", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {L"1e", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {L"x", VT_UNKNOWN, DISP_E_TYPEMISMATCH, 0},
        {L"x", VT_EMPTY, DISP_E_TYPEMISMATCH, 0},
    };
    for (const change_case& c : cases) {
        scoped_variant src, dst;
        src.v.vt = VT_BSTR;
        src.v.bstrVal = SysAllocString(c.text);
        HRESULT hr = VariantChangeType(&dst.v, &src.v, 0, c.vt);
        EXPECT_EQ(hr, c.hr) << "text " << std::string(c.text, c.text + std::wcslen(c.text)) << " vt " << c.vt;
        if (hr == S_OK) {
            EXPECT_EQ(dst.v.vt, c.vt);
            EXPECT_DOUBLE_EQ(as_double(dst.v), c.value);
        } else {
            EXPECT_EQ(dst.v.vt, VT_EMPTY);
        }
        EXPECT_EQ(src.v.vt, VT_BSTR);
    }
}

TEST(ole_auto, change_type_in_place_and_to_text)
{
    scoped_variant v;
    v.v.vt = VT_BSTR;
    v.v.bstrVal = SysAllocString(L"1234567890123");
    ASSERT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_I8), S_OK);
    EXPECT_EQ(v.v.vt, VT_I8);
    EXPECT_EQ(v.v.llVal, 1234567890123LL);

    scoped_variant cy, text;
    cy.v.vt = VT_CY;
    cy.v.cyVal.int64 = 125000; // 12.5
    ASSERT_EQ(VariantChangeType(&text.v, &cy.v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(bstr_text(text.v.bstrVal), L"12.5");
    cy.v.cyVal.int64 = -1;
    ASSERT_EQ(VariantChangeType(&text.v, &cy.v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(bstr_text(text.v.bstrVal), L"-0.0001");

    scoped_variant b;
    b.v.vt = VT_BOOL;
    b.v.boolVal = VARIANT_TRUE;
    ASSERT_EQ(VariantChangeType(&text.v, &b.v, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
    EXPECT_EQ(bstr_text(text.v.bstrVal), L"True");

    scoped_variant r8;
    r8.v.vt = VT_R8;
    r8.v.dblVal = 1e20;
    ASSERT_EQ(VariantChangeType(&text.v, &r8.v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(bstr_text(text.v.bstrVal), L"1E+20");
    r8.v.dblVal = 2.5;
    ASSERT_EQ(VariantChangeType(&r8.v, &r8.v, 0, VT_I4), S_OK);
    EXPECT_EQ(r8.v.lVal, 2);
    r8.v.vt = VT_R8;
    r8.v.dblVal = 1e10;
    EXPECT_EQ(VariantChangeType(&r8.v, &r8.v, 0, VT_I4), DISP_E_OVERFLOW);
    EXPECT_EQ(r8.v.vt, VT_R8);

    scoped_variant date;
    date.v.vt = VT_BSTR;
    date.v.bstrVal = SysAllocString(L"3/5/2010 2:30:00 PM");
    ASSERT_EQ(VariantChangeType(&date.v, &date.v, 0, VT_DATE), S_OK);
    ASSERT_EQ(VariantChangeType(&text.v, &date.v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(bstr_text(text.v.bstrVal), L"3/5/2010 2:30:00 PM");
}

TEST(ole_auto, currency_and_decimal_text_use_a_point_and_drop_trailing_zeros)
{
    CY cy;
    ASSERT_EQ(VarCyFromStr(L"12.5000", LCID_ENGLISH_US, 0, &cy), S_OK);
    EXPECT_EQ(cy.int64, 125000);
    EXPECT_EQ(VarCyFromStr(L"12,5", LCID_ENGLISH_US, 0, &cy), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(VarCyFromStr(L"-922337203685477.5808", LCID_ENGLISH_US, 0, &cy), S_OK);
    EXPECT_EQ(cy.int64, INT64_MIN);
    EXPECT_EQ(VarCyFromStr(L"922337203685477.5808", LCID_ENGLISH_US, 0, &cy), DISP_E_OVERFLOW);
    double d = 0;
    cy.int64 = 125000;
    ASSERT_EQ(VarR8FromCy(cy, &d), S_OK);
    EXPECT_EQ(d, 12.5);

    const struct {
        const wchar_t* text;
        const wchar_t* printed;
        int scale;
    } cases[] = {
        {L"12.5000", L"12.5", 4},
        {L"-0.00", L"0", 2},
        {L"79228162514264337593543950335", L"79228162514264337593543950335", 0},
        {L"0.1234567890123456789012345678901", L"0.1234567890123456789012345679", 28},
        {L"1e3", L"1000", 0},
        {L"-3.14", L"-3.14", 2},
    };
    for (const auto& c : cases) {
        DECIMAL dec;
        ASSERT_EQ(VarDecFromStr(c.text, LCID_ENGLISH_US, 0, &dec), S_OK);
        EXPECT_EQ(dec.scale, c.scale);
        BSTR b = nullptr;
        ASSERT_EQ(VarBstrFromDec(&dec, LOCALE_USER_DEFAULT, 0, &b), S_OK);
        EXPECT_EQ(bstr_text(b), c.printed);
        SysFreeString(b);
    }
    DECIMAL dec;
    EXPECT_EQ(VarDecFromStr(L"79228162514264337593543950336", LCID_ENGLISH_US, 0, &dec), DISP_E_OVERFLOW);
    ASSERT_EQ(VarDecFromStr(L"-1234.5678", LCID_ENGLISH_US, 0, &dec), S_OK);
    ASSERT_EQ(VarR8FromDec(&dec, &d), S_OK);
    EXPECT_EQ(d, -1234.5678);
}

SYSTEMTIME make_time(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    SYSTEMTIME t{};
    t.wYear = WORD(y);
    t.wMonth = WORD(mo);
    t.wDay = WORD(d);
    t.wHour = WORD(h);
    t.wMinute = WORD(mi);
    t.wSecond = WORD(s);
    return t;
}

TEST(ole_auto, variant_time_round_trips_through_systemtime)
{
    DATE d = 0;
    SYSTEMTIME t = make_time(1899, 12, 30);
    ASSERT_TRUE(SystemTimeToVariantTime(&t, &d));
    EXPECT_EQ(d, 0.0);
    t = make_time(1899, 12, 29, 6);
    ASSERT_TRUE(SystemTimeToVariantTime(&t, &d));
    EXPECT_EQ(d, -1.25);
    t = make_time(2010, 3, 5, 14, 30, 15);
    ASSERT_TRUE(SystemTimeToVariantTime(&t, &d));
    EXPECT_NEAR(d, 40242.0 + (14 * 3600 + 30 * 60 + 15) / 86400.0, 1e-9);

    for (const SYSTEMTIME& in : {make_time(1, 1, 1), make_time(1899, 12, 29, 6), make_time(2024, 2, 29, 23, 59, 59),
                                 make_time(9999, 12, 31, 23, 59, 59), make_time(1600, 3, 1, 0, 0, 1)}) {
        ASSERT_TRUE(SystemTimeToVariantTime(&in, &d));
        SYSTEMTIME out{};
        ASSERT_TRUE(VariantTimeToSystemTime(d, &out));
        EXPECT_EQ(out.wYear, in.wYear);
        EXPECT_EQ(out.wMonth, in.wMonth);
        EXPECT_EQ(out.wDay, in.wDay);
        EXPECT_EQ(out.wHour, in.wHour);
        EXPECT_EQ(out.wMinute, in.wMinute);
        EXPECT_EQ(out.wSecond, in.wSecond);
    }
    SYSTEMTIME out{};
    ASSERT_TRUE(VariantTimeToSystemTime(40242.0, &out));
    EXPECT_EQ(out.wDayOfWeek, 5); // a friday

    // a time just short of midnight rounds into the next calendar day, on both sides of day 0
    const double almost_midnight = 86399.9 / 86400.0;
    for (const auto& [date, next] : {std::pair{1.0 + almost_midnight, make_time(1900, 1, 1)},
                                     std::pair{-1.0 - almost_midnight, make_time(1899, 12, 30)},
                                     std::pair{-2.0 - almost_midnight, make_time(1899, 12, 29)}}) {
        ASSERT_TRUE(VariantTimeToSystemTime(date, &out)) << date;
        EXPECT_EQ(out.wYear, next.wYear) << date;
        EXPECT_EQ(out.wMonth, next.wMonth) << date;
        EXPECT_EQ(out.wDay, next.wDay) << date;
        EXPECT_EQ(out.wHour, 0) << date;
        EXPECT_EQ(out.wSecond, 0) << date;
    }

    for (const SYSTEMTIME& bad : {make_time(2023, 2, 29), make_time(0, 1, 1), make_time(2010, 13, 1),
                                  make_time(2010, 1, 1, 24), make_time(0, 0, 0, 10)})
        EXPECT_FALSE(SystemTimeToVariantTime(&bad, &d));
}

TEST(ole_auto, date_from_text_takes_unambiguous_us_forms_only)
{
    const struct {
        const wchar_t* text;
        bool ok;
        SYSTEMTIME expected;
    } cases[] = {
        {L"3/5/2010", true, make_time(2010, 3, 5)},
        {L"03/05/2010 14:30", true, make_time(2010, 3, 5, 14, 30)},
        {L"3/5/2010 2:30:15 PM", true, make_time(2010, 3, 5, 14, 30, 15)},
        {L"3/5/2010 12:00:00 AM", true, make_time(2010, 3, 5, 0)},
        {L"3/5/10", true, make_time(2010, 3, 5)},
        {L"3/5/49", true, make_time(1949, 3, 5)},
        {L"2010-03-05", true, make_time(2010, 3, 5)},
        {L" 2010-03-05 10:20:30 ", true, make_time(2010, 3, 5, 10, 20, 30)},
        {L"2010/03/05", true, make_time(2010, 3, 5)},
        {L"2010-03-05T10:20:30", true, make_time(2010, 3, 5, 10, 20, 30)},
        {L"3/5/2010T10:20:30", false, {}},
        {L"2010-03-05T", false, {}},
        {L"05-03-2010 17:30:05 123", false, {}},
        {L"25-12-2020 17:30:05 123", false, {}},
        {L"2010-03-05 17:30:05 123", false, {}},
        {L"2010-03-05 10:20:30.5", false, {}},
        {L"05-03-2010", false, {}},
        {L"2/30/2010", false, {}},
        {L"1/1/0001", false, {}},
        {L"10:20", false, {}},
        {L"3/5/2010 13:00 PM", false, {}},
        {L"yesterday", false, {}},
    };
    for (const auto& c : cases) {
        DATE d = 0;
        HRESULT hr = VarDateFromStr(c.text, LCID_ENGLISH_US, 0, &d);
        std::string label(c.text, c.text + std::wcslen(c.text));
        if (!c.ok) {
            EXPECT_TRUE(FAILED(hr)) << label;
            continue;
        }
        ASSERT_EQ(hr, S_OK) << label;
        DATE expected = 0;
        ASSERT_TRUE(SystemTimeToVariantTime(&c.expected, &expected));
        EXPECT_NEAR(d, expected, 1e-9) << label;
    }
}

} // namespace
