#include "ParameterFields.h"

#include "DialogBuilder.h"
#include "FieldExchange.h"

#include <cstddef>
#include <type_traits>

namespace {

// The slot that a member of type T takes: a real for a float, a level otherwise.
template<typename T> auto &Slot(PointParameters &p, int slot)
{
    if constexpr (std::is_same_v<T, float>)
        return p.real[static_cast<std::size_t>(slot)];
    else
        return p.level[static_cast<std::size_t>(slot)];
}

} // namespace

CParameterFields::CParameterFields(QWidget &dialog, CDialogBuilder &controls,
                                   std::initializer_list<Field> fields)
    : m_dialog(dialog)
    , m_controls(controls)
    , m_fields(fields)
{ }

void CParameterFields::Load(const PointParameters &p) const
{
    PointParameters from = p;
    for (const Field &field : m_fields)
        std::visit(
            [&]<typename T>(T *member) { *member = static_cast<T>(Slot<T>(from, field.slot)); },
            field.member);
}

PointParameters CParameterFields::Store() const
{
    PointParameters p;
    for (const Field &field : m_fields)
        std::visit(
            [&]<typename T>(T *member) {
                auto &slot = Slot<T>(p, field.slot);
                slot = static_cast<std::remove_reference_t<decltype(slot)>>(*member);
            },
            field.member);
    return p;
}

bool CParameterFields::Exchange(bool saveAndValidate) const
{
    CFieldExchange exchange(m_dialog, saveAndValidate);
    for (const Field &field : m_fields)
        std::visit(
            [&]<typename T>(T *member) {
                if constexpr (std::is_same_v<T, float>)
                    exchange.Float(m_controls.Edit(field.id), *member);
                else
                    exchange.Level(m_controls.Edit(field.id), *member);
            },
            field.member);
    return exchange.Succeeded();
}

void CParameterFields::OnKillFocus(const std::function<void()> &after)
{
    for (const Field &field : m_fields)
        m_controls.OnKillFocus(field.id, [this, after] {
            (void)Exchange(true);
            after();
        });
}
