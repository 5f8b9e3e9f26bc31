#include "ole_except.hpp"
#include "ole_var.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// the text a tk_mail_assertion carries for a source position
std::string assertion_text(const char* file, int line)
{
    char position[300];
    std::snprintf(position, sizeof position, "%s\\%d", file, line);
    std::string text = "Internal error: \ncode=";
    for (const char* p = position; *p; ++p) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", unsigned(static_cast<unsigned char>(*p)));
        text += hex;
    }
    return text;
}

template <typename F>
void expect_assertion(F f, const char* file, int line)
{
    try {
        f();
        ADD_FAILURE() << "no internal error for " << file << " line " << line;
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.get_level(), 2);
        EXPECT_EQ(std::string(e.what()), assertion_text(file, line));
    }
}

std::vector<BYTE> bytes_of(const ole_variant& v)
{
    const BYTE* data = nullptr;
    unsigned n = v.get_bytes(data);
    return n ? std::vector<BYTE>(data, data + n) : std::vector<BYTE>();
}

TEST(ole_variant, constructors_give_their_types)
{
    EXPECT_EQ(ole_variant().get_vt(), VT_EMPTY);
    EXPECT_EQ(ole_variant(true).get_variant().boolVal, VARIANT_TRUE);
    EXPECT_EQ(ole_variant(false).get_variant().boolVal, VARIANT_FALSE);
    EXPECT_EQ(ole_variant(char(-5)).get_vt(), VT_I1);
    EXPECT_EQ(ole_variant(static_cast<unsigned char>(5)).get_vt(), VT_UI1);
    EXPECT_EQ(ole_variant(short(5)).get_vt(), VT_I2);
    EXPECT_EQ(ole_variant(static_cast<unsigned short>(5)).get_vt(), VT_UI2);
    EXPECT_EQ(ole_variant(5).get_vt(), VT_I4);
    EXPECT_EQ(ole_variant(5u).get_vt(), VT_UI4);
    EXPECT_EQ(ole_variant(int64_t(5)).get_vt(), VT_I8);
    EXPECT_EQ(ole_variant(5LL).get_i8(), 5);
    EXPECT_EQ(ole_variant(uint64_t(5)).get_vt(), VT_UI8);
    EXPECT_EQ(ole_variant(1.5f).get_vt(), VT_R4);
    EXPECT_EQ(ole_variant(1.5).get_vt(), VT_R8);
    // a narrow literal is text, not a bool
    EXPECT_EQ(ole_variant("abc").get_vt(), VT_BSTR);
    EXPECT_EQ(ole_variant("abc").to_string(), "abc");
    EXPECT_EQ(ole_variant(L"abc").to_wstring(), L"abc");
    EXPECT_EQ(ole_variant(std::string("\xc3\xa4")).to_wstring(), L"\u00e4");
    CY cy;
    cy.int64 = 125000;
    EXPECT_EQ(ole_variant(cy).get_vt(), VT_CY);
    SYSTEMTIME t{};
    t.wYear = 2010;
    t.wMonth = 3;
    t.wDay = 5;
    ole_variant date(t);
    EXPECT_EQ(date.get_vt(), VT_DATE);
    EXPECT_EQ(date.get_variant().date, 40242.0);
    // a time alone has no OLE date; it stays a date with its side value
    SYSTEMTIME time_only{};
    time_only.wHour = 14;
    ole_variant time(time_only);
    EXPECT_EQ(time.get_vt(), VT_DATE);
    EXPECT_EQ(time.to_string(), "0000-00-00 14:00:00");
}

TEST(ole_variant, byte_arrays_copy_independently)
{
    const BYTE raw[] = {1, 2, 3};
    auto* source = new ole_variant(3, raw);
    ole_variant copy(*source);
    ole_variant assigned;
    assigned = *source;
    EXPECT_NE(bytes_of(copy).data(), bytes_of(*source).data());
    delete source;
    EXPECT_EQ(bytes_of(copy), std::vector<BYTE>({1, 2, 3}));
    EXPECT_EQ(bytes_of(assigned), std::vector<BYTE>({1, 2, 3}));
    EXPECT_EQ(copy.get_vt(), VT_ARRAY | VT_UI1);

    // assigning over a byte array frees the old one and takes the new bytes
    assigned = std::vector<BYTE>{9, 8};
    EXPECT_EQ(bytes_of(assigned), std::vector<BYTE>({9, 8}));
    assigned = assigned;
    EXPECT_EQ(bytes_of(assigned), std::vector<BYTE>({9, 8}));
}

TEST(ole_variant, byte_array_sizes)
{
    const BYTE raw[] = {1, 2, 3, 4, 5, 6};
    ole_variant empty;
    const BYTE* untouched = raw;
    EXPECT_EQ(empty.get_bytes(untouched), 0u);
    EXPECT_EQ(untouched, raw);

    ole_variant zero(0, raw);
    EXPECT_EQ(zero.get_vt(), VT_ARRAY | VT_UI1);
    EXPECT_EQ(bytes_of(zero).size(), 0u);
    EXPECT_EQ(zero.to_string(), "");
    // an empty array can be grown again
    zero.allocate_safe_array(2);
    EXPECT_EQ(bytes_of(zero), std::vector<BYTE>({0, 0}));

    ole_variant six(6, raw);
    six.allocate_safe_array(6);
    EXPECT_EQ(bytes_of(six).size(), 6u);
    six.allocate_safe_array(5);
    EXPECT_EQ(bytes_of(six), std::vector<BYTE>({1, 2, 3, 4, 5}));
    six.attach_binary(std::vector<BYTE>{});
    EXPECT_EQ(bytes_of(six).size(), 0u);

    // attaching a value's own bytes to itself keeps them
    ole_variant self(6, raw);
    const BYTE* own = nullptr;
    unsigned n = self.get_bytes(own);
    self.attach_binary(n - 2, own + 2);
    EXPECT_EQ(bytes_of(self), std::vector<BYTE>({3, 4, 5, 6}));
}

TEST(ole_variant, internal_checks_name_their_position)
{
    expect_assertion([] {
        const BYTE* data = nullptr;
        ole_variant(3).get_bytes(data);
    }, "ole_var.cpp", 669);
    expect_assertion([] { ole_variant().attach_binary(1, nullptr); }, "ole_var.cpp", 735);
    expect_assertion([] { ole_variant(L"x").to_double(); }, "ole_var.cpp", 519);
}

TEST(ole_variant, copies_keep_side_values)
{
    ole_variant big(int64_t(1) << 40);
    ole_variant copy(big);
    EXPECT_EQ(copy.get_vt(), VT_I8);
    EXPECT_EQ(copy.get_i8(), int64_t(1) << 40);
    ole_variant assigned(L"text");
    assigned = big;
    EXPECT_EQ(assigned.get_i8(), int64_t(1) << 40);
    EXPECT_EQ(assigned.to_string(), "1099511627776");

    ole_variant date = ole_variant::from_string("2010-03-05 10:20:30.250", VT_DATE);
    ole_variant date_copy(date);
    EXPECT_EQ(date_copy.get_date().wMilliseconds, 250);
    EXPECT_EQ(date_copy.to_string(), "2010-03-05 10:20:30");

    ole_variant text(L"keep");
    text = text;
    EXPECT_EQ(text.to_wstring(), L"keep");
}

TEST(ole_variant, wide_text_keeps_embedded_nul_only_in_string_form)
{
    std::wstring with_nul(L"a\0b", 3);
    ole_variant whole(with_nul);
    EXPECT_EQ(SysStringLen(whole.get_variant().bstrVal), 3u);
    ole_variant cut;
    cut.attach_wstring(with_nul.c_str());
    EXPECT_EQ(SysStringLen(cut.get_variant().bstrVal), 1u);
    // the text forms stop at the nul
    EXPECT_EQ(whole.to_wstring(), L"a");
}

struct print_case {
    ole_variant value;
    const char* text;
};

TEST(ole_variant, prints_each_type)
{
    CY cy;
    cy.int64 = 125000;
    DECIMAL dec = ole_variant::from_string("-12.50", VT_DECIMAL).get_variant().decVal;
    const BYTE raw[] = {0x0a, 0x1b, 0xff};
    ole_variant true_one(true);
    // a VT_BOOL holding 1 is not VARIANT_TRUE
    ole_variant bool_one = ole_variant::from_string("1", VT_I2);
    const_cast<VARIANT&>(bool_one.get_variant()).vt = VT_BOOL;
    print_case cases[] = {
        {ole_variant(1.5f), "1.500000e+000"},
        {ole_variant(std::nextafter(1.0f, 2.0f)), "1.0000001e+000"},
        {ole_variant(1.5), "1.500000000000000e+000"},
        {ole_variant(-2.5e-300), "-2.500000000000000e-300"},
        {ole_variant(0.30000000000000004), "3.0000000000000004e-001"},
        {ole_variant(0.1), "1.000000000000000e-001"},
        {ole_variant(HUGE_VAL), "inf"},
        {ole_variant(int64_t(INT64_MIN)), "-9223372036854775808"},
        {ole_variant(uint64_t(UINT64_MAX)), "18446744073709551615"},
        {ole_variant(4000000000u), "4000000000"},
        {ole_variant(-7), "-7"},
        {ole_variant(static_cast<unsigned short>(65535)), "65535"},
        {ole_variant(char(-128)), "-128"},
        {ole_variant(cy), "12.5"},
        {ole_variant(dec), "-12.5"},
        {ole_variant(3, raw), "0x0A1BFF"},
        {true_one, "1"},
        {ole_variant(false), "0"},
        {bool_one, "0"},
        {ole_variant(), ""},
    };
    for (const print_case& c : cases)
        EXPECT_EQ(c.value.to_string(), c.text) << "vt " << c.value.get_vt();
    EXPECT_EQ(ole_variant(3, raw).to_wstring(), L"0x0A1BFF");
}

TEST(ole_variant, float_text_reads_back_as_the_same_number)
{
    for (float f : {std::nextafter(1.0f, 2.0f), 0.1f, 3.4028235e38f, 1.17549435e-38f, 16777215.0f}) {
        std::string text = ole_variant(f).to_string();
        EXPECT_EQ(ole_variant::from_string(text, VT_R4).get_variant().fltVal, f) << text;
    }

    for (double d : {0.30000000000000004, 0.1, 1.0 / 3.0, 123456789.123456789, 5e-324, 1.7976931348623157e308,
                     -2.2250738585072014e-308}) {
        std::string text = ole_variant(d).to_string();
        EXPECT_EQ(ole_variant::from_string(text, VT_R8).get_variant().dblVal, d) << text;
    }
}

// the reference for a printed number, built only from the C library: the text reads
// back as the value, and neither neighbour of the value with one digit fewer does
template <typename T>
std::string shortest_text_fault(T value, const std::string& text)
{
    const auto read = [](const std::string& t) -> T {
        if constexpr (sizeof(T) == sizeof(float))
            return std::strtof(t.c_str(), nullptr);
        else
            return std::strtod(t.c_str(), nullptr);
    };
    const T back = read(text);
    if (std::memcmp(&value, &back, sizeof(T)) != 0)
        return "reads back as another value";
    const size_t e = text.find('e');
    if (e == std::string::npos)
        return "no exponent";
    std::string digits;
    for (char c : text.substr(0, e))
        if (c >= '0' && c <= '9')
            digits += c;
    if (digits.size() < (sizeof(T) == sizeof(float) ? 7u : 16u))
        return "fewer digits than the fixed width";
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const size_t needed = digits.size() - 1;
    if (needed == 0)
        return "";
    // every digit of the exact binary value
    static char exact[1200];
    std::snprintf(exact, sizeof exact, "%.800e", std::fabs(double(value)));
    std::string all;
    const char* p = exact;
    for (; *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            all += *p;
    const int exponent = std::atoi(p + 1);
    std::string down = all.substr(0, needed);
    std::string up = down;
    int up_exponent = exponent;
    size_t i = up.size();
    while (i > 0 && up[i - 1] == '9')
        up[--i] = '0';
    if (i == 0) {
        up = "1" + up.substr(0, up.size() - 1);
        ++up_exponent;
    } else {
        ++up[i - 1];
    }
    for (const auto& [shorter, x] : {std::pair(down, exponent), std::pair(up, up_exponent)}) {
        const std::string candidate = shorter.substr(0, 1) + "." + shorter.substr(1) + "e" +
                                      std::to_string(x);
        if (read(candidate) == std::fabs(value))
            return "the shorter " + candidate + " reads back as the same value";
    }
    return "";
}

TEST(ole_variant, float_text_has_the_shortest_digits_that_read_back)
{
    std::mt19937_64 random(20261210);
    std::vector<double> doubles = {0.07, 0.69, 0.009, 9e-30, 1e125, 0.30000000000000004, -0.0,
                                   5e-324, 1.7976931348623157e308, 2.2250738585072014e-308,
                                   9.5, 99.99, 1e23, 8.41e21};
    // any finite bit pattern, and the two-decimal values a user types most
    while (doubles.size() < 50000) {
        const uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d))
            doubles.push_back(d);
    }
    for (int i = 0; i < 40000; ++i)
        doubles.push_back(double(random() % 10000000) / 100);
    std::vector<float> floats = {0.1f, 3.4028235e38f, 1e-45f, 0.07f, 16777215.0f};
    while (floats.size() < 30000) {
        const uint32_t bits = static_cast<uint32_t>(random());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        if (std::isfinite(f))
            floats.push_back(f);
    }
    int faults = 0;
    for (double d : doubles) {
        const std::string text = ole_variant(d).to_string();
        const std::string fault = shortest_text_fault(d, text);
        if (!fault.empty() && ++faults <= 10)
            ADD_FAILURE() << std::hexfloat << d << " printed " << text << ": " << fault;
    }
    for (float f : floats) {
        const std::string text = ole_variant(f).to_string();
        const std::string fault = shortest_text_fault(f, text);
        if (!fault.empty() && ++faults <= 10)
            ADD_FAILURE() << std::hexfloat << f << " printed " << text << ": " << fault;
    }
    EXPECT_EQ(faults, 0) << "of " << doubles.size() + floats.size() << " values";
    EXPECT_EQ(ole_variant(0.07).to_string(), "7.000000000000000e-002");
    EXPECT_EQ(ole_variant(1e125).to_string(), "1.000000000000000e+125");
    EXPECT_EQ(ole_variant(0.1f).to_string(), "1.000000e-001");
}

TEST(ole_variant, reads_numbers_from_text)
{
    EXPECT_EQ(ole_variant::from_string("", VT_I4).get_vt(), VT_EMPTY);
    ole_variant empty_text = ole_variant::from_string("", VT_BSTR);
    EXPECT_EQ(empty_text.get_vt(), VT_BSTR);
    EXPECT_EQ(empty_text.to_string(), "");
    EXPECT_EQ(ole_variant::from_wstring(L"", VT_BSTR).get_vt(), VT_BSTR);
    EXPECT_EQ(ole_variant::from_wstring(std::wstring(L"a\0b", 3), VT_BSTR).to_wstring(), L"a");

    EXPECT_EQ(ole_variant::from_string("TRUE", VT_BOOL).get_variant().boolVal, VARIANT_TRUE);
    EXPECT_EQ(ole_variant::from_string("Yes", VT_BOOL).get_variant().boolVal, VARIANT_TRUE);
    EXPECT_EQ(ole_variant::from_string("no", VT_BOOL).get_variant().boolVal, VARIANT_FALSE);
    EXPECT_EQ(ole_variant::from_string("2", VT_BOOL).get_variant().boolVal, VARIANT_TRUE);
    EXPECT_EQ(ole_variant::from_string("abc", VT_BOOL).get_variant().boolVal, VARIANT_FALSE);

    EXPECT_EQ(ole_variant::from_string(" -12x", VT_I4).get_variant().lVal, -12);
    EXPECT_EQ(ole_variant::from_string("abc", VT_I2).get_variant().iVal, 0);
    EXPECT_EQ(ole_variant::from_string("4000000000", VT_UI4).get_variant().ulVal, 4000000000u);
    EXPECT_EQ(ole_variant::from_string("4000000000", VT_UI4).to_string(), "4000000000");
    EXPECT_EQ(ole_variant::from_string("-9223372036854775808", VT_I8).get_i8(), INT64_MIN);
    EXPECT_EQ(ole_variant::from_string("18446744073709551615", VT_UI8).get_ui8(), UINT64_MAX);
    EXPECT_EQ(ole_variant::from_string("x", VT_UI8).get_ui8(), 0u);

    EXPECT_EQ(ole_variant::from_string("3,25", VT_R8).get_variant().dblVal, 3.25);
    EXPECT_EQ(ole_variant::from_string("3,25", VT_R4).get_variant().fltVal, 3.25f);
    EXPECT_EQ(ole_variant::from_string("abc", VT_R8).get_variant().dblVal, 0.0);

    ole_variant cy = ole_variant::from_string("12.5", VT_CY);
    EXPECT_EQ(cy.get_vt(), VT_CY);
    EXPECT_EQ(cy.get_variant().cyVal.int64, 125000);
    EXPECT_EQ(cy.to_string(), "12.5");
    EXPECT_EQ(cy.to_double(), 12.5);
    EXPECT_EQ(ole_variant::from_string("12,5", VT_CY).to_string(), "12.5");
    EXPECT_EQ(ole_variant::from_string("abc", VT_CY).get_vt(), VT_EMPTY);
    ole_variant dec = ole_variant::from_string("123456789012345678901234.5", VT_DECIMAL);
    EXPECT_EQ(dec.to_string(), "123456789012345678901234.5");
    EXPECT_EQ(ole_variant::from_string("1.2.3", VT_DECIMAL).get_vt(), VT_EMPTY);
}

TEST(ole_variant, reads_hexadecimal_bytes)
{
    const struct {
        const char* text;
        VARTYPE vt;
        std::vector<BYTE> bytes;
    } cases[] = {
        {"0x0A1b", VT_BLOB, {0x0a, 0x1b}},
        {"0A1B", VT_BLOB, {0x0a, 0x1b}},
        {"0X0a1b", VT_ARRAY | VT_UI1, {0x0a, 0x1b}},
        // postgresql sends bytea as \x and the digits
        {"\\x0a1b", VT_BLOB, {0x0a, 0x1b}},
        {"0x", VT_BLOB, {}},
        {"zz1f", VT_BLOB, {0x00, 0x1f}},
    };
    for (const auto& c : cases) {
        ole_variant v = ole_variant::from_string(c.text, c.vt);
        EXPECT_EQ(v.get_vt(), VT_ARRAY | VT_UI1) << c.text;
        EXPECT_EQ(bytes_of(v), c.bytes) << c.text;
    }
    EXPECT_EQ(ole_variant::from_string("0x0A1b", VT_BLOB).to_string(), "0x0A1B");
    EXPECT_EQ(ole_variant::from_string("ABC", VT_BLOB).get_vt(), VT_EMPTY);
}

TEST(ole_variant, other_types_go_through_variant_change_type)
{
    ole_variant v = ole_variant::from_string("123", VT_INT);
    EXPECT_EQ(v.get_vt(), VT_INT);
    EXPECT_EQ(v.get_variant().intVal, 123);
    EXPECT_EQ(v.to_double(), 123.0);
    ole_variant text = ole_variant::from_string("plain", VT_BSTR);
    EXPECT_EQ(text.to_string(), "plain");
    EXPECT_THROW(ole_variant::from_string("abc", VT_UINT), ole_type_exception);
    try {
        ole_variant::from_string("1", VT_DISPATCH);
        ADD_FAILURE();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_STREQ(e.what(), "The operating type is not supported yet");
    }
}

TEST(ole_variant, dates_from_text)
{
    EXPECT_EQ(ole_variant::from_string("05-03-2010 17:30:05 123", VT_DATE).to_string(), "2010-03-05 17:30:05");
    EXPECT_EQ(ole_variant::from_string("25-12-2020 17:30:05 123", VT_DATE).to_string(), "2020-12-25 17:30:05");
    EXPECT_EQ(ole_variant::from_string("01-01-0001 00:00:00 000", VT_DATE).to_string(), "0001-01-01");
    EXPECT_EQ(ole_variant::from_string("31-12-0099 23:59:59 999", VT_DATE).to_string(), "0099-12-31 23:59:59");
    EXPECT_EQ(ole_variant::from_string("15-06-0020 10:00:00 000", VT_DATE).to_string(), "0020-06-15 10:00:00");
    // a year written with two digits is widened, and stays so in the value
    ole_variant short_year = ole_variant::from_string("05-03-49 10:00:00", VT_DATE);
    EXPECT_EQ(short_year.get_date().wYear, 2049);
    EXPECT_EQ(short_year.to_string(), "2049-03-05 10:00:00");
    EXPECT_EQ(ole_variant::from_string("not a date", VT_DATE).get_vt(), VT_EMPTY);
    EXPECT_TRUE(ole_variant::is_text_type(VT_DATE));
    EXPECT_TRUE(ole_variant::is_text_type(VT_BSTR));
    EXPECT_FALSE(ole_variant::is_text_type(VT_ARRAY | VT_UI1));
    EXPECT_FALSE(ole_variant::is_text_type(VT_I4));
}

TEST(ole_variant, to_double_reads_all_bits)
{
    EXPECT_EQ(ole_variant(uint64_t(1) << 63).to_double(), 9223372036854775808.0);
    EXPECT_EQ(ole_variant(-(int64_t(1) << 40)).to_double(), -1099511627776.0);
    EXPECT_EQ(ole_variant(4000000000u).to_double(), 4000000000.0);
    EXPECT_EQ(ole_variant(true).to_double(), -1.0);
    EXPECT_EQ(ole_variant().to_double(), 0.0);
    EXPECT_EQ(ole_variant::from_string("-1234.5678", VT_DECIMAL).to_double(), -1234.5678);
    EXPECT_EQ(ole_variant(2.5f).to_double(), 2.5);
}

} // namespace
