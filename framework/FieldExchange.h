#pragma once

#include <QString>

#include <cstdint>

class QLineEdit;
class QWidget;

// One field exchange between a dialog's edits and its members, in the dialog's exchange order.
// Writing shows every member in its field. Reading converts and checks each field; the first
// field that fails is refused with a message (owned by `dialog`), gets the focus back with its
// text selected, keeps its member, and every later field of the same exchange is skipped.
class CFieldExchange
{
public:
    CFieldExchange(QWidget &dialog, bool saveAndValidate);

    [[nodiscard]] bool IsSaving() const { return m_bSaving; }
    // True when every field read so far was accepted.
    [[nodiscard]] bool Succeeded() const { return !m_bFailed; }

    // A finite float, no range, as ParameterText::ParseReal reads it.
    void Float(QLineEdit *edit, float &value);
    // A whole number 0..255 as ParameterText::ParseLevel reads it, into a byte or an int.
    void Level(QLineEdit *edit, std::uint8_t &value);
    void Level(QLineEdit *edit, int &value);

    // The shortest text that reads back as exactly `value` ("2", "-128", "0.1").
    [[nodiscard]] static QString FormatFloat(float value);

    // True while a refusal puts the focus back into its field: the field the focus leaves
    // then must not start another exchange (that would refuse the same field twice).
    [[nodiscard]] static bool IsRefusing() { return s_bRefusing; }

private:
    template<typename T> void Exchange(QLineEdit *edit, T &value);
    void Refuse(QLineEdit *edit, const char *message);

    static inline bool s_bRefusing = false;

    QWidget &m_dialog;
    bool m_bSaving;
    bool m_bFailed = false;
};
