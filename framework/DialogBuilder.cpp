#include "DialogBuilder.h"

#include "DialogTemplates.h"
#include "FieldExchange.h"
#include "PlotSurface.h"
#include "QtUiServices.h"

#include <QDialog>
#include <QEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolTip>

#include <algorithm>

namespace {

// Shown at a digits-only field that has just dropped a typed character.
constexpr const char *kDigitsOnly = "只能在此处输入数字。";

// Runs a handler when its edit loses the focus to another control of the same window, shown.
class CKillFocusFilter : public QObject
{
public:
    CKillFocusFilter(QWidget *edit, std::function<void()> handler)
        : QObject(edit)
        , m_lpWindow(edit->window())
        , m_handler(std::move(handler))
    { }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::FocusOut)
            return QObject::eventFilter(watched, event);
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // The edit handles its own focus loss first (it drops its selection then), so that a
        // refusal in the handler can select the text again.
        watched->event(event);
        // A window being hidden (closed by OK or Cancel) takes the focus from its fields too;
        // nothing is left to check then.
        const bool shown = m_lpWindow->isVisible() && !m_lpWindow->isHidden();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && shown
            && !m_bRunning && !CFieldExchange::IsRefusing()) {
            // A refusal inside the handler moves the focus again; it must not recurse.
            m_bRunning = true;
            m_handler();
            m_bRunning = false;
        }
        return true;
    }

private:
    QWidget *m_lpWindow; // the dialog; it owns the edit, which owns this filter
    std::function<void()> m_handler;
    bool m_bRunning = false;
};

} // namespace

CDialogBuilder::CDialogBuilder(QDialog &dialog, const DialogTemplates::Dialog &layout)
    : m_dialog(dialog)
{
    using DialogTemplates::Kind;
    dialog.setWindowTitle(QString::fromUtf8(layout.caption));
    if (layout.pointSize > 0) {
        QFont font = dialog.font();
        font.setPointSize(layout.pointSize);
        dialog.setFont(font);
    }
    // The base units as the dialog manager measures them: the rounded average width of the
    // letters and the full line height of the dialog font.
    const QFontMetrics metrics(dialog.font());
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseUnits = QSize((letters / 26 + 1) / 2, metrics.height());
    const auto toPixels = [this](int x, int y) {
        return QPoint(x * m_baseUnits.width() / 4, y * m_baseUnits.height() / 8);
    };
    const QPoint size = toPixels(layout.cx, layout.cy);
    dialog.setFixedSize(size.x(), size.y());
    CQtUiServices::UseFixedDialogFrame(dialog);

    for (const DialogTemplates::Control &control : layout.controls) {
        const QString text = QString::fromUtf8(control.text);
        QWidget *widget = nullptr;
        switch (control.kind) {
        case Kind::PushButton:
        case Kind::DefaultButton: {
            auto *button = new QPushButton(text, &dialog);
            button->setDefault(control.kind == Kind::DefaultButton);
            if (control.id == DialogTemplates::Id::kOk)
                QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::accept);
            else if (control.id == DialogTemplates::Id::kCancel)
                QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::reject);
            widget = button;
            break;
        }
        case Kind::GroupBox:
            widget = new QGroupBox(text, &dialog);
            break;
        case Kind::Label:
            widget = new QLabel(text, &dialog);
            static_cast<QLabel *>(widget)->setTextFormat(Qt::PlainText);
            break;
        case Kind::Icon:
            widget = new QLabel(&dialog);
            static_cast<QLabel *>(widget)->setPixmap(QPixmap(text));
            break;
        case Kind::Edit:
        case Kind::Digits: {
            auto *edit = new QLineEdit(&dialog);
            if (control.kind == Kind::Digits) {
                edit->setValidator(new QRegularExpressionValidator(
                    QRegularExpression(QStringLiteral("[0-9]*")), edit));
                // A dropped character would otherwise vanish without a word ("-5" reads as 5).
                QObject::connect(edit, &QLineEdit::inputRejected, edit, [edit] {
                    QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())),
                                       QString::fromUtf8(kDigitsOnly), edit);
                });
            }
            widget = edit;
            break;
        }
        case Kind::Preview:
            widget = new CPlotSurface(&dialog);
            break;
        }
        const QPoint topLeft = toPixels(control.x, control.y);
        const QPoint extent = toPixels(control.cx, control.cy);
        widget->setGeometry(topLeft.x(), topLeft.y(), extent.x(), extent.y());
        if (control.kind == Kind::Icon)
            widget->resize(widget->sizeHint());
        widget->setObjectName(QString::number(control.id));
        if (control.id != DialogTemplates::Id::kStatic)
            m_controls.emplace(control.id, widget);
    }
}

CDialogBuilder::~CDialogBuilder()
{
    // The handlers capture the dialog, whose own members are gone by now; destroying the
    // widgets next takes the focus from a field, which must not reach them.
    for (const QPointer<QObject> &filter : m_filters)
        delete filter.data();
}

QWidget *CDialogBuilder::Control(int id) const
{
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

QLineEdit *CDialogBuilder::Edit(int id) const
{
    return qobject_cast<QLineEdit *>(Control(id));
}

CPlotSurface *CDialogBuilder::Surface(int id) const
{
    return qobject_cast<CPlotSurface *>(Control(id));
}

void CDialogBuilder::MakeRoom(int id, QSize surface)
{
    QWidget *control = Control(id);
    Q_ASSERT(control != nullptr);
    const QRect area = control->geometry();
    // Controls right of or below the control make way for the part of the surface that the
    // control's own rectangle does not cover.
    const int dx = std::max(0, surface.width() - area.width());
    const int dy = std::max(0, surface.height() - area.height());
    const QList<QWidget *> children = m_dialog.findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *widget : children)
        if (widget != control)
            widget->move(widget->x() + (widget->x() > area.right() ? dx : 0),
                         widget->y() + (widget->y() > area.bottom() ? dy : 0));
    int width = m_dialog.width();
    int height = m_dialog.height();
    for (const QWidget *widget : children) {
        width = std::max(width, widget->geometry().right() + 1 + area.top());
        height = std::max(height, widget->geometry().bottom() + 1 + area.top());
    }
    width = std::max(width, area.left() + surface.width() + area.top());
    height = std::max(height, area.top() * 2 + surface.height());
    m_dialog.setFixedSize(width, height);
    control->resize(surface);
}

void CDialogBuilder::OnKillFocus(int id, std::function<void()> handler)
{
    QWidget *control = Control(id);
    Q_ASSERT(control != nullptr);
    auto *filter = new CKillFocusFilter(control, std::move(handler));
    control->installEventFilter(filter);
    m_filters.emplace_back(filter);
}
