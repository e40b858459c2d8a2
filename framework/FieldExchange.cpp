#include "FieldExchange.h"

#include "DialogTemplates.h"
#include "ParameterText.h"
#include "UiServices.h"

#include <QLineEdit>

#include <charconv>
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
        if (const auto read = ParameterText::ParseReal(edit->text().toStdString()))
            value = *read;
        else
            Refuse(edit, DialogTemplates::kNeedNumber);
    } else {
        if (const auto read = ParameterText::ParseLevel(edit->text().toStdString()))
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
