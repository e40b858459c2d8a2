#pragma once

#include "PointOperations.h"

#include <cstdint>
#include <functional>
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
    CParameterFields(QWidget &dialog, CDialogBuilder &controls,
                     std::initializer_list<Field> fields);

    void Load(const PointParameters &p) const;
    [[nodiscard]] PointParameters Store() const;

    // Members to fields (false) or fields to members with checks (true), as CFieldExchange
    // does them; false on a refusal.
    bool Exchange(bool saveAndValidate) const;

    // Whenever one of the fields loses the focus inside the shown dialog: reads every field
    // with checks (a refused one keeps its member), then calls `after`.
    void OnKillFocus(const std::function<void()> &after);

private:
    QWidget &m_dialog;
    CDialogBuilder &m_controls;
    std::vector<Field> m_fields;
};
