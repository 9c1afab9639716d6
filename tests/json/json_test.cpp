#include "json/json.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdint>
#include <limits>

#include "platform/text.h"

namespace quellin::json {

namespace {

struct WriteCase {
    const char* name;
    Value value;
    Value::Layout layout;
    std::string expected;
};

class JsonWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(JsonWrite, WritesTheExpectedBytes) {
    EXPECT_EQ(GetParam().value.Dump(GetParam().layout), GetParam().expected);
}

const Value::Layout kCompact = Value::Layout::Compact, kReadable = Value::Layout::Readable;

INSTANTIATE_TEST_SUITE_P(
    Values, JsonWrite,
    testing::ValuesIn(std::vector<WriteCase>{
        {"escapes", Value("a\"b\\c\r\n\t\x01\x1f\x7f"), kCompact,
         R"("a\"b\\c\r\n\t\u0001\u001f\u007f")"},
        // Code page 1252: e acute, the euro sign, and an unassigned byte as its C1 control.
        {"code_page", Value("\xe9\x80\x81"), kCompact, R"("\u00e9\u20ac\u0081")"},
        {"utf8_beyond_the_bmp", Value::Utf8("\xc3\xa9\xf0\x9f\x98\x80"), kCompact,
         R"("\u00e9\ud83d\ude00")"},
        {"utf8_malformed",
         Value::Utf8("a\xff"
                     "b\xc3"),
         kCompact, R"("a\ufffdb\ufffd")"},
        {"nesting_keeps_order_and_set_replaces",
         Value::Object()
             .Set("b", 1)
             .Set("a", Value::Array().Push(true).Push(nullptr).Push(Value::Object()))
             .Set("n", -5)
             .Set("u", std::numeric_limits<std::uint64_t>::max())
             .Set("b", "x"),
         kCompact, R"({"b":"x","a":[true,null,{}],"n":-5,"u":18446744073709551615})"},
        {"readable_on_lines",
         Value::Object()
             .OnLines()
             .Set("k", Value::Object().Set("x", 1).Set("y", Value::Array()))
             .Set("l", Value::Array().OnLines().Push(false).Push(Value::Array().OnLines())),
         kReadable,
         "{\n  \"k\": {\"x\": 1, \"y\": []},\n  \"l\": [\n    false,\n    [\n    ]\n  ]\n}"},
        {"compact_ignores_lines", Value::Array().OnLines().Push(1).Push(2), kCompact, "[1,2]"},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JsonWrite, EveryByteIsPlainAsciiThatReadsBackAsItsCharacter) {
    for (int byte = 1; byte < 256; ++byte) {
        const std::string text(1, static_cast<char>(byte));
        const std::string document = Value::Array().Push(text).Dump();
        for (unsigned char c : document)
            ASSERT_LT(c, 0x80) << byte;
        const QJsonDocument read = QJsonDocument::fromJson(QByteArray::fromStdString(document));
        const std::u16string wide = win::AnsiToWide(text);
        EXPECT_EQ(read.array().at(0).toString(),
                  QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size())))
            << byte;
    }
}

}  // namespace

}  // namespace quellin::json
