#include "AppTestSupport.h"
#include "BatchTool.h"
#include "FieldExchange.h"

#include <optional>
#include <sstream>
#include <string>

namespace {

// What one text means as a gray level and as a real; none where it is refused.
struct NumberText
{
    const char *text;
    std::optional<int> level;
    std::optional<float> real;
};

const NumberText kTexts[] = {
    {"0", 0, 0.0f},
    {"255", 255, 255.0f},
    {" 7\t", 7, 7.0f},
    {"+3", 3, 3.0f},
    {"256", std::nullopt, 256.0f},
    {"-1", std::nullopt, -1.0f},
    {"1.5", std::nullopt, 1.5f},
    {"-.5e2", std::nullopt, -50.0f},
    {"99999999999999999999", std::nullopt, 1e20f},
    {"0.1", std::nullopt, 0.1f},
    {"1e-50", std::nullopt, 0.0f},
    {"1e-45", std::nullopt, 1e-45f}, // the smallest subnormal
    {"", std::nullopt, std::nullopt},
    {"+", std::nullopt, std::nullopt},
    {"+-3", std::nullopt, std::nullopt},
    {"12abc", std::nullopt, std::nullopt},
    {"0x10", std::nullopt, std::nullopt},
    {"1,5", std::nullopt, std::nullopt},
    {"nan", std::nullopt, std::nullopt},
    {"-infinity", std::nullopt, std::nullopt},
    {"1e39", std::nullopt, std::nullopt},
};

// The dialogs' reading: one field exchanged into a member that starts at 77.
template<typename T> std::optional<float> FromField(const char *text)
{
    CRecordingUiServices ui;
    QWidget dialog;
    QLineEdit edit(text, &dialog);
    T value = 77;
    CFieldExchange exchange(dialog, true);
    if constexpr (std::is_same_v<T, float>)
        exchange.Float(&edit, value);
    else
        exchange.Level(&edit, value);
    if (!exchange.Succeeded()) {
        EXPECT_EQ(value, T{77}) << text;
        EXPECT_EQ(ui.messages.size(), 1u) << text;
        return std::nullopt;
    }
    return static_cast<float>(value);
}

// tonecraft-batch's reading: the table it prints for `words`, or none when it refuses them.
std::optional<std::string> Table(std::vector<std::string_view> words)
{
    std::ostringstream out, err;
    if (CBatchTool::Run(words, out, err) != 0)
        return std::nullopt;
    return out.str();
}

} // namespace

TEST(ParameterText, DialogFieldsAndBatchToolReadTheSameNumbers)
{
    for (const NumberText &row : kTexts) {
        const std::optional<float> level
            = row.level ? std::optional<float>(static_cast<float>(*row.level)) : std::nullopt;
        EXPECT_EQ(FromField<std::uint8_t>(row.text), level) << row.text;
        EXPECT_EQ(FromField<int>(row.text), level) << row.text;
        EXPECT_EQ(FromField<float>(row.text), row.real) << row.text;

        const std::string threshold = row.level ? std::to_string(*row.level) : "";
        EXPECT_EQ(Table({"table", "threshold", row.text}),
                  row.level ? Table({"table", "threshold", threshold}) : std::nullopt)
            << row.text;
        const std::string slope
            = row.real ? QString::number(*row.real, 'g', 9).toStdString() : std::string();
        EXPECT_EQ(Table({"table", "linear", row.text, "100"}),
                  row.real ? Table({"table", "linear", slope, "100"}) : std::nullopt)
            << row.text;
    }
}
