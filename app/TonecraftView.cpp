#include "TonecraftView.h"

#include "CommandIds.h"
#include "DibClipboard.h"
#include "DibImage.h"
#include "DibLock.h"
#include "IntensityDlg.h"
#include "LinerParaDlg.h"
#include "Messages.h"
#include "PainterDC.h"
#include "PointOperations.h"
#include "PointStreDlg.h"
#include "PointThreDlg.h"
#include "PointWinDlg.h"
#include "PrintLayout.h"
#include "SharedPrinter.h"
#include "StandardCommandIds.h"
#include "TonecraftDoc.h"
#include "UiServices.h"
#include "WaitCursor.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QTimer>

#include <optional>

namespace {

QColor FromColorRef(std::uint32_t colorRef)
{
    return QColor(static_cast<int>(colorRef & 0xFF), static_cast<int>((colorRef >> 8) & 0xFF),
                  static_cast<int>((colorRef >> 16) & 0xFF));
}

} // namespace

CTonecraftView::CTonecraftView(CTonecraftDoc *document, QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_lpDocument(document)
{
    Q_ASSERT(document != nullptr);
    // The view paints every pixel itself: no system background fill before paintEvent.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // A reloaded (or pasted) image may have another size: the scroll range follows it.
    connect(document, &CDocument::viewsUpdateRequested, this, [this] {
        UpdateScrollSizes();
        viewport()->update();
    });
    UpdateScrollSizes();
}

void CTonecraftView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QPoint origin(horizontalScrollBar()->value(), verticalScrollBar()->value());
    painter.translate(-origin);
    CPainterDC dc(painter, event->rect().translated(origin));
    OnEraseBkgnd(dc);
    OnDraw(dc);
}

bool CTonecraftView::OnEraseBkgnd(CPainterDC &dc)
{
    const Rect clip = dc.GetClipBox();
    dc.Painter().fillRect(
        QRect(clip.left, clip.top, static_cast<int>(clip.Width()), static_cast<int>(clip.Height())),
        FromColorRef(m_lpDocument->m_backColor));
    return true;
}

void CTonecraftView::OnDraw(CPainterDC &dc)
{
    CWaitCursor wait;
    const DibHandle &block = m_lpDocument->GetImageBlock();
    if (block.IsNull())
        return;
    std::int32_t width = 0;
    std::int32_t height = 0;
    {
        DibReadLock lock(block);
        width = static_cast<std::int32_t>(CDibImage::GetImageWidth(lock.Data()));
        height = static_cast<std::int32_t>(CDibImage::GetImageHeight(lock.Data()));
    }
    const Rect source{0, 0, width, height};
    const Rect destination
        = dc.IsPrinting() ? PrintDestination(width, height, dc.GetPrinterCaps()) : source;
    if (destination.IsEmpty())
        return;
    CDibImage::DrawToDevice(dc, destination, block, source, m_lpDocument->GetPalette());
}

void CTonecraftView::UpdateScrollSizes()
{
    // The steps of Qt's own scroll areas: a line is 20 pixels (a wheel notch scrolls three),
    // a page the visible size.
    constexpr int kLineStep = 20;
    const QSize total = m_lpDocument->GetImageSize();
    const QSize page = viewport()->size();
    horizontalScrollBar()->setSingleStep(kLineStep);
    verticalScrollBar()->setSingleStep(kLineStep);
    horizontalScrollBar()->setRange(0, std::max(0, total.width() - page.width()));
    horizontalScrollBar()->setPageStep(page.width());
    verticalScrollBar()->setRange(0, std::max(0, total.height() - page.height()));
    verticalScrollBar()->setPageStep(page.height());
}

void CTonecraftView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    viewport()->update();
    UpdateScrollSizes();
}

void CTonecraftView::scrollContentsBy(int dx, int dy)
{
    // Moves what is on screen and repaints only the strip that scrolled into view.
    viewport()->scroll(dx, dy);
}

int CTonecraftView::RealizeDocPalette(QWidget *window)
{
    Q_ASSERT(window != nullptr);
    if (m_lpDocument->GetImageBlock().IsNull() || m_lpDocument->GetPalette() == nullptr)
        return 0;
    // Every display here is true-colour: the image is drawn from its own colour table, and
    // realising its palette changes no system entries, so no view needs repainting.
    return 0;
}

void CTonecraftView::OnActivateView(bool activate)
{
    if (activate)
        RealizeDocPalette(this);
}

void CTonecraftView::PrintPage(QPrinter &printer)
{
    QPainter painter(&printer);
    painter.setRenderHint(QPainter::LosslessImageRendering);
    const PrinterCaps caps{printer.width(), printer.height(), printer.logicalDpiX(),
                           printer.logicalDpiY()};
    CPainterDC dc(painter, QRect(0, 0, caps.horzRes, caps.vertRes), caps);
    OnDraw(dc);
}

namespace {

// Runs `job` with the printer print set-up configured, or a fresh one when there is none.
template<typename Job> void WithPrinter(Job job)
{
    QPrinter *shared = SharedPrinter::Current();
    if (shared != nullptr) {
        job(*shared);
        return;
    }
    QPrinter local;
    local.setResolution(CTonecraftView::kPrintDpi);
    job(local);
}

} // namespace

void CTonecraftView::OnFilePrint(bool withDialog)
{
    WithPrinter([this, withDialog](QPrinter &printer) { Print(printer, withDialog); });
}

void CTonecraftView::Print(QPrinter &printer, bool withDialog)
{
    if (withDialog) {
        QPrintDialog dialog(&printer, this);
        dialog.setMinMax(1, 1);
        if (CUiServices::Current().RunModal(dialog) != DialogResult::kOk)
            return;
    }
    PrintPage(printer);
}

void CTonecraftView::OnFilePrintPreview()
{
    WithPrinter([this](QPrinter &printer) {
        QPrintPreviewDialog preview(&printer, this);
        connect(&preview, &QPrintPreviewDialog::paintRequested, this,
                [this](QPrinter *target) { PrintPage(*target); });
        CUiServices::Current().RunModal(preview);
    });
}

void CTonecraftView::ShowRefusal(const char *text)
{
    CUiServices::Current().MessageBox(this, QString::fromUtf8(text),
                                      QString::fromUtf8(Messages::kCaption),
                                      MessageStyle::kIconInformation);
}

void CTonecraftView::OnPointOperation(const PointOperation &op)
{
    // Declared before the lock, so the block is unlocked before the cursor comes back.
    std::optional<CWaitCursor> wait;
    // A document without an image locks nothing: the lock yields null, which is refused.
    DibLock lock(m_lpDocument->GetImageBlock());
    if (!PointOperations::Accepts(lock.Data())) {
        ShowRefusal(op.refusal);
        return;
    }
    if (op.command == CommandId::kHistogram) {
        wait.emplace();
        ShowHistogram(lock.Data(), op.defaults, wait);
        return;
    }
    PointParameters p = op.defaults;
    if (!op.params.empty() && !AskParameters(op, p))
        return;
    wait.emplace();
    PointOperations::Run(op, lock.Data(), p);
    m_lpDocument->SetModifiedFlag(true);
    m_lpDocument->UpdateAllViews(nullptr, 0);
}

namespace {

// Runs a fresh parameter dialog, starting from `p`, through the modal-run service (which tests
// replace); on OK, `p` takes the dialog's values.
template<class Dialog> bool Ask(PointParameters &p)
{
    Dialog dialog;
    dialog.Load(p);
    if (CUiServices::Current().RunModal(dialog) != DialogResult::kOk)
        return false;
    p = dialog.Store();
    return true;
}

struct ParameterDialog
{
    int command;
    bool (*ask)(PointParameters &p);
};

constexpr ParameterDialog kParameterDialogs[] = {
    {CommandId::kLinear, Ask<CLinerParaDlg>},
    {CommandId::kThreshold, Ask<CPointThreDlg>},
    {CommandId::kWindowTransform, Ask<CPointWinDlg>},
    {CommandId::kGrayStretch, Ask<CPointStreDlg>},
};

} // namespace

bool CTonecraftView::AskParameters(const PointOperation &op, PointParameters &p)
{
    for (const ParameterDialog &dialog : kParameterDialogs) {
        if (dialog.command == op.command)
            return dialog.ask(p);
    }
    Q_ASSERT(!"an operation with parameters but no dialog");
    return false;
}

void CTonecraftView::ShowHistogram(std::uint8_t *header, const PointParameters &range,
                                   std::optional<CWaitCursor> &wait)
{
    CIntensityDlg dialog;
    // The busy cursor covers the count of the pixels as the dialog opens. Over the open
    // dialog it would hide the dialog's own drag cursors (an application-wide cursor wins
    // over every widget's), so it ends once the dialog's event loop runs.
    QTimer::singleShot(0, &dialog, [&wait] { wait.reset(); });
    dialog.m_lpBits = CDibImage::GetPixelBits(header);
    dialog.m_lWidth = static_cast<std::int32_t>(CDibImage::GetImageWidth(header));
    dialog.m_lHeight = static_cast<std::int32_t>(CDibImage::GetImageHeight(header));
    dialog.Load(range);
    // Neither how it was closed nor the limits chosen matter: the histogram changes nothing.
    (void)CUiServices::Current().RunModal(dialog);
}

void CTonecraftView::OnEditCopy()
{
    CWaitCursor wait;
    (void)CDibClipboard::Copy(m_lpDocument->GetImageBlock());
}

void CTonecraftView::OnEditPaste()
{
    if (!CDibClipboard::HasImage())
        return; // nothing that could be an image: nothing to say
    std::optional<CWaitCursor> wait(std::in_place);
    // Fetched and decoded only now, when asked for; the menu state looked at the names of
    // the formats on offer only. (Bytes on offer too large to hold at all end the command
    // with the router's report of the shortage.)
    Admission pasted = CDibClipboard::Paste();
    if (pasted.block.IsNull()) {
        wait.reset();
        if (pasted.result == AdmitResult::kTooBig)
            ShowRefusal(Messages::kImageTooBig);
        CTonecraftDoc::ShowReadError();
        return;
    }
    m_lpDocument->ReplaceImageBlock(std::move(pasted.block));
    m_lpDocument->PrepareImage();
    m_lpDocument->SetModifiedFlag(true);
    UpdateScrollSizes();
    RealizeDocPalette(this);
    m_lpDocument->UpdateAllViews(nullptr, 0);
}

bool CTonecraftView::OnUpdateCommand(int command, bool &enabled) const
{
    if (PointOperations::ForCommand(command) != nullptr) {
        enabled = true;
        return true;
    }
    switch (command) {
    case CommandId::kEditCopy:
        enabled = !m_lpDocument->GetImageBlock().IsNull();
        return true;
    case CommandId::kEditPaste:
        enabled = CDibClipboard::HasImage();
        return true;
    case CommandId::kFilePrint:
    case CommandId::kFilePrintDirect:
    case CommandId::kFilePrintPreview:
        enabled = true;
        return true;
    default:
        return false;
    }
}

bool CTonecraftView::OnCommand(int command)
{
    if (const PointOperation *op = PointOperations::ForCommand(command)) {
        OnPointOperation(*op);
        return true;
    }
    switch (command) {
    case CommandId::kEditCopy:
        OnEditCopy();
        return true;
    case CommandId::kEditPaste:
        OnEditPaste();
        return true;
    case CommandId::kFilePrint:
        OnFilePrint(true);
        return true;
    case CommandId::kFilePrintDirect:
        OnFilePrint(false);
        return true;
    case CommandId::kFilePrintPreview:
        OnFilePrintPreview();
        return true;
    default:
        return false;
    }
}
