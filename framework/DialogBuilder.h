#pragma once

#include <QPoint>
#include <QPointer>
#include <QSize>

#include <functional>
#include <map>
#include <vector>

class CPlotSurface;
class QDialog;
class QLineEdit;
class QWidget;

namespace DialogTemplates {
struct Dialog;
}

// Makes a dialog's widgets from its template: caption, fixed size and controls placed from
// dialog units with the dialog font's base units, created in tab order. OK accepts and Cancel
// rejects the dialog. The widgets belong to the dialog; this object only finds them by id.
class CDialogBuilder
{
public:
    // `dialog` must outlive this object.
    CDialogBuilder(QDialog &dialog, const DialogTemplates::Dialog &layout);
    // Ends every kill-focus handler: a dialog holds its builder as a member, so from here on
    // the handlers would reach a dialog being destroyed.
    ~CDialogBuilder();
    CDialogBuilder(const CDialogBuilder &) = delete;
    CDialogBuilder &operator=(const CDialogBuilder &) = delete;

    // The control with this id, or null.
    [[nodiscard]] QWidget *Control(int id) const;
    [[nodiscard]] QLineEdit *Edit(int id) const;
    // The preview control (a preview in the template), or null.
    [[nodiscard]] CPlotSurface *Surface(int id) const;

    // Makes room for `surface` pixels from the control's top-left when the font made the
    // control smaller: the controls right of it or below it move over by the difference, and the
    // fixed size grows to hold everything with the control's top margin around it. The control
    // then takes exactly that size.
    void MakeRoom(int id, QSize surface);

    // Calls `handler` whenever the edit loses the focus inside the shown dialog (not when the
    // whole window is deactivated, for instance by a message box about that very field, nor
    // while the dialog is being hidden or destroyed).
    void OnKillFocus(int id, std::function<void()> handler);

    // Horizontal and vertical pixels of a dialog unit, times 4 and times 8.
    [[nodiscard]] QSize BaseUnits() const { return m_baseUnits; }

private:
    QDialog &m_dialog;
    QSize m_baseUnits;
    std::map<int, QWidget *> m_controls;
    std::vector<QPointer<QObject>> m_filters; // owned by their edits
};
