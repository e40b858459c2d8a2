#pragma once

#include "PointOperations.h"

#include <cstdint>
#include <initializer_list>
#include <variant>
#include <vector>

class CDialogBuilder;
class QWidget;

// The edits of a parameter dialog bound to the dialog's members and to each member's slot in
// the operation's PointParameters: a float member takes a real slot, a byte or int member a
// level slot. The members and the builder belong to the dialog, which outlives this object.
class CParameterFields
{
public:
    struct Field
    {
        int id; // the edit's control id
        std::variant<float *, std::uint8_t *, int *> member;
        int slot;
    };

    // `fields` in the order the exchange reads them.
    CParameterFields(QWidget &dialog, const CDialogBuilder &controls,
                     std::initializer_list<Field> fields);

    void Load(const PointParameters &p) const;
    [[nodiscard]] PointParameters Store() const;

    // Members to fields (false) or fields to members with checks (true), as CFieldExchange
    // does them; false on a refusal.
    bool Exchange(bool saveAndValidate) const;

private:
    QWidget &m_dialog;
    const CDialogBuilder &m_controls;
    std::vector<Field> m_fields;
};
