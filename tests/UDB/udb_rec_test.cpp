#include "udb_rec.hpp"
#include "udb_test_util.hpp"

namespace {

class counted_field : public udb_field {
public:
    counted_field(const std::wstring& name, int& destroyed)
        : udb_field(name, 4, ole_variant(1), false, false), destroyed(destroyed)
    {
    }
    ~counted_field() override { ++destroyed; }
    int& destroyed;
};

}  // namespace

TEST(udb_field, keeps_column_details_beside_the_value)
{
    trace_capture trace;
    udb_field f(L"qty", 8, ole_variant(42), true, true);
    EXPECT_EQ(f.name, L"qty");
    EXPECT_EQ(f.size, 8);
    EXPECT_TRUE(f.not_null);
    EXPECT_TRUE(f.auto_increment);
    EXPECT_EQ(f.get_type(), VT_I4);
    EXPECT_EQ(f.to_string(), "42");
    EXPECT_TRUE(trace.contains("udb_field::ctor #2"));
    EXPECT_TRUE(trace.contains("name=qty, size=8"));
    EXPECT_TRUE(trace.contains("ole_variant::get_type"));
}

TEST(udb_field, from_empty_variant_is_vt_empty)
{
    udb_field f(L"n", 0, ole_variant(), false, false);
    EXPECT_EQ(f.get_type(), VT_EMPTY);
    EXPECT_EQ(f.to_wstring(), L"");
}

TEST(udb_field, copies_its_value_and_never_shares_storage)
{
    const BYTE bytes[] = {1, 2, 3};
    auto source = std::make_unique<ole_variant>(3u, bytes);
    udb_field f(L"blob", 0, *source, false, false);
    source->attach_binary(std::vector<BYTE>{9});
    source.reset();
    const BYTE* data = nullptr;
    ASSERT_EQ(f.get_bytes(data), 3u);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[2], 3);

    auto text = std::make_unique<ole_variant>(std::wstring(L"abc"));
    udb_field t(L"t", 3, *text, false, false);
    text->attach_wstring(std::wstring(L"zzz"));
    text.reset();
    EXPECT_EQ(t.to_wstring(), L"abc");
}

TEST(udb_record, deletes_its_fields_and_skips_null_entries)
{
    int destroyed = 0;
    {
        udb_record record;
        record.add_field(std::make_unique<counted_field>(L"a", destroyed));
        record.fields.push_back(nullptr);
        record.add_field(std::make_unique<counted_field>(L"b", destroyed));
        EXPECT_EQ(record.fields.size(), 3u);
    }
    EXPECT_EQ(destroyed, 2);
}
