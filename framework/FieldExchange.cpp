#include "FieldExchange.h"

#include "DialogTemplates.h"
#include "UiServices.h"

#include <QLineEdit>

#include <charconv>
#include <cmath>
#include <string>

CFieldExchange::CFieldExchange(QWidget &dialog, bool saveAndValidate)
    : m_dialog(dialog)
    , m_bSaving(saveAndValidate)
{ }

QString CFieldExchange::FormatFloat(float value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return QString::fromLatin1(text, result.ptr - text);
}

std::optional<float> CFieldExchange::ParseFloat(const QString &text)
{
    std::string digits = text.trimmed().toStdString();
    if (!digits.empty() && digits.front() == '+')
        digits.erase(0, 1);
    float value = 0;
    const char *end = digits.data() + digits.size();
    const auto result = std::from_chars(digits.data(), end, value);
    // NaN and infinity are spelled as numbers too, but no transform can use them.
    if (digits.empty() || result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> CFieldExchange::ParseLevel(const QString &text)
{
    std::string digits = text.trimmed().toStdString();
    if (!digits.empty() && digits.front() == '+')
        digits.erase(0, 1);
    long long value = 0;
    const char *end = digits.data() + digits.size();
    const auto result = std::from_chars(digits.data(), end, value);
    if (digits.empty() || result.ec != std::errc() || result.ptr != end || value < 0 || value > 255)
        return std::nullopt;
    return static_cast<int>(value);
}

template<typename T> void CFieldExchange::Exchange(QLineEdit *edit, T &value)
{
    Q_ASSERT(edit != nullptr);
    if (!m_bSaving) {
        if constexpr (std::is_same_v<T, float>)
            edit->setText(FormatFloat(value));
        else
            edit->setText(QString::number(value));
        return;
    }
    if (m_bFailed)
        return;
    if constexpr (std::is_same_v<T, float>) {
        if (const auto read = ParseFloat(edit->text()))
            value = *read;
        else
            Refuse(edit, DialogTemplates::kNeedNumber);
    } else {
        if (const auto read = ParseLevel(edit->text()))
            value = static_cast<T>(*read);
        else
            Refuse(edit, DialogTemplates::kNeedLevel);
    }
}

void CFieldExchange::Float(QLineEdit *edit, float &value)
{
    Exchange(edit, value);
}

void CFieldExchange::Level(QLineEdit *edit, std::uint8_t &value)
{
    Exchange(edit, value);
}

void CFieldExchange::Level(QLineEdit *edit, int &value)
{
    Exchange(edit, value);
}

void CFieldExchange::Refuse(QLineEdit *edit, const char *message)
{
    m_bFailed = true;
    CUiServices::Current().MessageBox(&m_dialog, QString::fromUtf8(message),
                                      QString::fromUtf8(DialogTemplates::kExchangeCaption),
                                      MessageStyle::kIconExclamation);
    s_bRefusing = true;
    edit->setFocus(Qt::OtherFocusReason);
    s_bRefusing = false;
    edit->selectAll();
}
