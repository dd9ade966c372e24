#include "recordings/html_list_ctrl.h"

#include <algorithm>

#include <QFocusEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include "platform/trace.h"
#include "recordings/clip_health.h"
#include "widgets/memory_dc.h"
#include "widgets/skin_ids.h"
#include "widgets/skin_resources.h"
#include "widgets/ui_font.h"

namespace {

// Skin parts of the scroll bar: source rectangles in its bitmap.
const QRect kSkinUp(0, 37, 16, 20);
const QRect kSkinDown(16, 37, 16, 20);
const QRect kSkinTrack(0, 58, 16, 1);
const QRect kSkinThumb(0, 60, 16, 1);
constexpr int kThumbEnds = 9; // the thumb's top and bottom pieces
constexpr int kCheckSize = 16;
// The date column starts this far right of the text's left edge, the size column further on.
constexpr int kDateLeft = 169, kDateRight = 233, kSizeLeft = 245, kSizeRight = 309;

QString DateText(const SYSTEMTIME &t)
{
    return QString::asprintf("%02d.%02d.%02d", t.wYear, t.wMonth, t.wDay);
}

} // namespace

int32_t ListScrollLimit(int32_t nTotalHeight, int32_t nPage)
{
    // The range 0..total holds total + 1 positions, of which a page shows nPage.
    return std::max<int32_t>(0, nTotalHeight - nPage + 1);
}

LIST_SCROLL_PARTS ListScrollParts(const QRect &rcBar, int32_t nPos, int32_t nTotalHeight,
                                  int32_t nPage)
{
    LIST_SCROLL_PARTS parts;
    const int arrow = std::min(CHTMLListCtrl::kArrowLength, rcBar.height() / 2);
    parts.rcUp = QRect(rcBar.left(), rcBar.top(), rcBar.width(), arrow);
    parts.rcDown = QRect(rcBar.left(), rcBar.bottom() + 1 - arrow, rcBar.width(), arrow);
    parts.rcTrack = QRect(rcBar.left(), rcBar.top() + arrow, rcBar.width(),
                          std::max(0, rcBar.height() - 2 * arrow));
    const int32_t limit = ListScrollLimit(nTotalHeight, nPage);
    const int track = parts.rcTrack.height();
    if (limit <= 0 || track <= 0)
        return parts; // no thumb
    int64_t thumb = int64_t(track) * nPage / (int64_t(nTotalHeight) + 1);
    thumb = std::clamp<int64_t>(thumb, std::min(2 * kThumbEnds, track), track);
    const int32_t pos = std::clamp(nPos, 0, limit);
    const int64_t top = (int64_t(track) - thumb) * pos / limit;
    parts.rcThumb = QRect(rcBar.left(), parts.rcTrack.top() + int(top), rcBar.width(), int(thumb));
    return parts;
}

CHTMLListCtrl::CHTMLListCtrl(QWidget *parent, uint32_t dwStyle)
    : QWidget(parent), m_font(SkinFont(11)), m_dwStyle(dwStyle)
{
    setObjectName(QStringLiteral("HTMLListCtrl"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::ArrowCursor);
    m_imgCheck = KeyOutMagenta(LoadSkinImage(IDB_LIST_CHECKBOXES));
    m_imgScroll = LoadSkinImage(IDB_SCROLLBAR_SKIN);
    if (!m_pOwner)
        m_pOwner = dynamic_cast<CHTMLListOwner *>(parent);
    UpdateClientSize();
}

CHTMLListCtrl::~CHTMLListCtrl() = default;

int32_t CHTMLListCtrl::InsertItem(int32_t nStyle, const std::string &text, const std::string &path,
                                  const std::string &sizeText, int32_t nImage, int32_t nHeight,
                                  const SYSTEMTIME &time)
{
    auto item = std::make_unique<HTMLLIST_ITEM>();
    item->sItemText = text;
    item->sItemPath = path;
    item->stItemTime = time;
    item->sSizeText = sizeText;
    item->nStyle = nStyle;
    item->nImage = nImage;
    item->nItemNo = m_nItemCount;
    if (nHeight != 0) {
        item->nHeight = nHeight;
        item->bHeightFixed = true;
    } else {
        item->nHeight = MeasureHeight(*item);
    }
    m_nTotalHeight += item->nHeight;
    m_listItems.push_back(std::move(item));
    ++m_nItemCount;
    UpdateClientSize();
    update();
    return m_nItemCount - 1;
}

void CHTMLListCtrl::DeleteAllItems()
{
    m_listItems.clear();
    m_nItemCount = 0;
    m_nTotalHeight = 0;
    m_nScrollPos = 0;
    UpdateClientSize();
    update();
}

void CHTMLListCtrl::SetSelection(int32_t row)
{
    m_nSelItem = row;
    EnsureVisible(row);
    update();
}

void CHTMLListCtrl::EnsureVisible(int32_t row)
{
    if (row < 0 || row >= m_nItemCount)
        return;
    int32_t y = 0;
    for (int32_t i = 0; i < row; ++i)
        y += m_listItems[size_t(i)]->nHeight;
    const int32_t height = m_listItems[size_t(row)]->nHeight;
    const int32_t p = m_nScrollPos, h = m_nClientHeight;
    if (y < p)
        ScrollTo(y);
    else if (y + height > p + h)
        ScrollTo(y + height - h);
}

void CHTMLListCtrl::SetScrollPos(int32_t pixels)
{
    ScrollTo(pixels);
}

void CHTMLListCtrl::ScrollTo(int32_t pos)
{
    pos = std::clamp(pos, 0, ScrollLimit());
    if (pos == m_nScrollPos)
        return;
    m_nScrollPos = pos;
    update();
}

const HTMLLIST_ITEM *CHTMLListCtrl::GetItem(int32_t row) const
{
    if (row < 0 || row >= m_nItemCount)
        return nullptr;
    return m_listItems[size_t(row)].get();
}

void CHTMLListCtrl::SetCheck(int32_t row, bool bChecked)
{
    if (row < 0 || row >= m_nItemCount)
        return;
    m_listItems[size_t(row)]->bChecked = bChecked;
    update(m_listItems[size_t(row)]->rcItem);
}

void CHTMLListCtrl::RecalcHeights()
{
    m_nTotalHeight = 0;
    int32_t index = 0;
    for (auto &item : m_listItems) {
        item->nItemNo = index++;
        if (!item->bHeightFixed)
            item->nHeight = MeasureHeight(*item);
        m_nTotalHeight += item->nHeight;
    }
    m_nItemCount = index;
}

int32_t CHTMLListCtrl::MeasureHeight(const HTMLLIST_ITEM &item) const
{
    const QFontMetrics metrics(m_font);
    const int width = std::max(1, m_nClientWidth - 10);
    const QRect box = metrics.boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap,
                                           QString::fromStdString(item.sItemText));
    return box.height() + 10;
}

void CHTMLListCtrl::UpdateClientSize()
{
    m_nClientHeight = height();
    m_nScrollPos = std::clamp(m_nScrollPos, 0, ScrollLimit());
    m_nClientWidth = width() - (ScrollBarShown() ? kScrollBarWidth : 0);
}

QRect CHTMLListCtrl::ScrollBarRect() const
{
    return QRect(width() - kScrollBarWidth, 0, kScrollBarWidth, height());
}

QString CHTMLListCtrl::CompactName(const QString &name, int nWidth) const
{
    return QFontMetrics(m_font).elidedText(name, Qt::ElideMiddle, std::max(0, nWidth));
}

void CHTMLListCtrl::paintEvent(QPaintEvent *e)
{
    CMemoryDC dc(this, rect(), kListOddFill);
    const int32_t stripes = m_nClientHeight / kStripeHeight + 1;
    for (int32_t i = 0; i <= stripes; ++i)
        dc.fillRect(0, kStripeHeight * i, width(), kStripeHeight,
                    (i % 2) ? kListOddFill : kListEvenFill);
    dc.setFont(m_font);
    dc.setClipRect(e->rect());
    QRect rcRow(0, -m_nScrollPos, m_nClientWidth, 0);
    for (int32_t i = 0; i < m_nItemCount; ++i) {
        HTMLLIST_ITEM &item = *m_listItems[size_t(i)];
        rcRow.setHeight(item.nHeight);
        if (rcRow.intersects(e->rect()))
            DrawItem(dc, rcRow, item, i == m_nSelItem, i);
        item.rcItem = rcRow;
        rcRow.translate(0, item.nHeight);
    }
    dc.setClipping(false);
    if (ScrollBarShown())
        DrawScrollBar(dc);
}

bool CHTMLListCtrl::IsCutOff(const HTMLLIST_ITEM &item) const
{
    if (item.nCutOff < 0)
        item.nCutOff = item.nStyle == HTMLLIST_STYLE_CLIP && !item.sItemPath.empty() &&
                               CheckClipHealth(item.sItemPath) == CLIP_HEALTH::Damaged
                           ? 1
                           : 0;
    return item.nCutOff == 1;
}

bool CHTMLListCtrl::event(QEvent *e)
{
    if (e->type() != QEvent::ToolTip)
        return QWidget::event(e);
    const auto *help = static_cast<QHelpEvent *>(e);
    const HTMLLIST_ITEM *item = GetItem(HitTest(help->pos()));
    if (item && IsCutOff(*item))
        QToolTip::showText(help->globalPos(), QString::fromUtf8(kCutOffTip), this);
    else
        QToolTip::hideText();
    return true;
}

void CHTMLListCtrl::DrawItem(QPainter &dc, const QRect &rcItem, const HTMLLIST_ITEM &item,
                             bool bSelected, int32_t nIndex)
{
    const int L = rcItem.left(), T = rcItem.top(), R = rcItem.right() + 1, B = rcItem.bottom() + 1;
    QColor text;
    if (bSelected) {
        dc.fillRect(rcItem, kListSelFrame);
        dc.fillRect(QRect(QPoint(L + 1, T + 2), QPoint(R - 2, B - 2)), kListSelFill);
        text = kListSelText;
    } else {
        dc.fillRect(rcItem, (nIndex % 2) ? kListOddFill : kListEvenFill);
        text = kListText;
    }
    if (m_dwStyle & HTMLLIST_GRIDLINES)
        dc.fillRect(L, T, R - L, 1, kListGrid);
    const int mid = T + (B - T) / 2;
    if ((m_dwStyle & HTMLLIST_CHECKBOXES) && !m_imgCheck.isNull())
        dc.drawImage(L + 3, mid - 8, m_imgCheck, item.bChecked ? kCheckSize : 0, 0, kCheckSize,
                     kCheckSize);
    // No row images: this list is never given an image list.
    dc.setPen(text);
    if (item.nStyle == HTMLLIST_STYLE_CLIP) {
        const int X = (m_dwStyle & HTMLLIST_CHECKBOXES) ? L + 21 : 13;
        const int top = item.bHeightFixed ? T : T + 5;
        const QRect line(X, top, R - X, B - top);
        // The name stops where the date column begins, so long names never run under it.
        const int nameWidth = std::min(R - X, kDateLeft);
        const QString name = CompactName(QString::fromStdString(item.sItemText), nameWidth);
        dc.drawText(QRect(X, top, nameWidth, line.height()),
                    Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);
        dc.drawText(QRect(X + kDateLeft, top, kDateRight - kDateLeft, line.height()),
                    Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                    DateText(item.stItemTime));
        if (IsCutOff(item))
            dc.setPen(bSelected ? kListWarnSelText : kListWarnText);
        dc.drawText(QRect(X + kSizeLeft, top, kSizeRight - kSizeLeft, line.height()),
                    Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                    QString::fromStdString(item.sSizeText));
    } else if (item.nStyle == HTMLLIST_STYLE_TEXT) {
        const int X2 = L + 5 + ((m_dwStyle & HTMLLIST_CHECKBOXES) ? 16 : 0);
        dc.drawText(QRect(X2, T + 5, R - X2, B - T - 5), Qt::AlignLeft | Qt::TextWordWrap,
                    QString::fromStdString(item.sItemText));
    }
}

void CHTMLListCtrl::DrawScrollBar(QPainter &dc)
{
    Trace(L"OnNmCoolSBCustomDraw\r\n");
    const LIST_SCROLL_PARTS parts =
        ListScrollParts(ScrollBarRect(), m_nScrollPos, m_nTotalHeight, m_nClientHeight);
    if (m_imgScroll.isNull()) {
        dc.fillRect(ScrollBarRect(), kListOddFill);
        return;
    }
    dc.drawImage(parts.rcUp, m_imgScroll, kSkinUp);
    dc.drawImage(parts.rcDown, m_imgScroll, kSkinDown);
    dc.drawImage(parts.rcTrack, m_imgScroll, kSkinTrack);
    if (!parts.rcThumb.isEmpty())
        dc.drawImage(parts.rcThumb, m_imgScroll, kSkinThumb);
}

void CHTMLListCtrl::Notify(int32_t code, const HTMLLIST_ITEM *item)
{
    if (!m_pOwner)
        return;
    NM_HTMLLIST notify;
    notify.hwndFrom = this;
    notify.idFrom = m_nCtrlId;
    notify.code = code;
    if (item) {
        notify.nItemNo = item->nItemNo;
        notify.sItemText = item->sItemText;
        notify.lItemData = item->lItemData;
        notify.bChecked = item->bChecked;
    }
    m_pOwner->OnListNotify(notify);
}

int32_t CHTMLListCtrl::HitTest(const QPoint &pt) const
{
    if (pt.x() >= m_nClientWidth)
        return -1; // on the scroll bar
    for (int32_t i = 0; i < m_nItemCount; ++i)
        if (m_listItems[size_t(i)]->rcItem.contains(pt))
            return i;
    return -1;
}

bool CHTMLListCtrl::HitCheckBox(const HTMLLIST_ITEM &item, const QPoint &pt) const
{
    if (!(m_dwStyle & HTMLLIST_CHECKBOXES))
        return false;
    const int L = item.rcItem.left();
    const int mid = item.rcItem.top() + (item.rcItem.height()) / 2;
    return QRect(QPoint(L + 3, mid - 8), QPoint(L + 17, mid + 6)).contains(pt);
}

void CHTMLListCtrl::ToggleCheck(HTMLLIST_ITEM &item)
{
    SetCheck(item.nItemNo, !item.bChecked);
    Notify(HTMLLIST_CHECKCHANGED, &item);
}

void CHTMLListCtrl::mousePressEvent(QMouseEvent *e)
{
    const QPoint pt = e->position().toPoint();
    if (ScrollBarShown() && ScrollBarRect().contains(pt)) {
        if (e->button() != Qt::LeftButton)
            return;
        const LIST_SCROLL_PARTS parts =
            ListScrollParts(ScrollBarRect(), m_nScrollPos, m_nTotalHeight, m_nClientHeight);
        if (parts.rcThumb.contains(pt))
            m_nThumbGrab = pt.y() - parts.rcThumb.top();
        else if (parts.rcUp.contains(pt) || (pt.y() < parts.rcThumb.top()))
            ScrollTo(m_nScrollPos - std::min(m_nScrollPos, kLineStep));
        else
            ScrollTo(m_nScrollPos + std::min(ScrollLimit() - m_nScrollPos, kLineStep));
        return;
    }
    setFocus(Qt::MouseFocusReason);
    if (e->button() == Qt::LeftButton) {
        Notify(HTMLLIST_LBUTTONDOWN, nullptr);
        m_nSelItem = -1;
        const int32_t row = HitTest(pt);
        if (row < 0) {
            Notify(HTMLLIST_SELCHANGED, nullptr);
            update();
            return;
        }
        HTMLLIST_ITEM &item = *m_listItems[size_t(row)];
        if (HitCheckBox(item, pt))
            ToggleCheck(item);
        Notify(HTMLLIST_SELCHANGED, &item);
        m_nSelItem = row;
        update();
    } else if (e->button() == Qt::RightButton) {
        m_nSelItem = -1;
        const int32_t row = HitTest(pt);
        if (row < 0)
            return;
        HTMLLIST_ITEM &item = *m_listItems[size_t(row)];
        if (HitCheckBox(item, pt))
            ToggleCheck(item);
        Notify(HTMLLIST_RBUTTONDOWN, &item);
        m_nSelItem = row;
        update();
    }
}

void CHTMLListCtrl::mouseMoveEvent(QMouseEvent *e)
{
    if (m_nThumbGrab < 0)
        return;
    const LIST_SCROLL_PARTS parts =
        ListScrollParts(ScrollBarRect(), m_nScrollPos, m_nTotalHeight, m_nClientHeight);
    const int free = parts.rcTrack.height() - parts.rcThumb.height();
    if (free <= 0)
        return;
    const int top = int(e->position().y()) - m_nThumbGrab - parts.rcTrack.top();
    ScrollTo(int32_t(int64_t(std::clamp(top, 0, free)) * ScrollLimit() / free));
}

void CHTMLListCtrl::mouseReleaseEvent(QMouseEvent *)
{
    m_nThumbGrab = -1;
}

void CHTMLListCtrl::mouseDoubleClickEvent(QMouseEvent *e)
{
    const QPoint pt = e->position().toPoint();
    if (ScrollBarShown() && ScrollBarRect().contains(pt)) {
        mousePressEvent(e); // a quick second click on an arrow steps again
        return;
    }
    if (e->button() != Qt::LeftButton)
        return;
    const int32_t row = HitTest(pt);
    if (row >= 0)
        Notify(HTMLLIST_LBUTTONDBLCLK, m_listItems[size_t(row)].get());
}

void CHTMLListCtrl::wheelEvent(QWheelEvent *e)
{
    const int delta = e->angleDelta().y();
    if (delta < 0)
        ScrollTo(std::min(m_nScrollPos + kWheelStep, ScrollLimit()));
    else if (delta > 0)
        ScrollTo(std::max(m_nScrollPos - kWheelStep, 0));
    repaint();
    e->accept();
}

void CHTMLListCtrl::keyPressEvent(QKeyEvent *e)
{
    int32_t row = m_nSelItem;
    switch (e->key()) {
    case Qt::Key_Up:
        row = (m_nSelItem < 0) ? 0 : std::max(m_nSelItem - 1, 0);
        break;
    case Qt::Key_Down:
        row = (m_nSelItem < 0) ? m_nItemCount - 1 : std::min(m_nSelItem + 1, m_nItemCount - 1);
        break;
    case Qt::Key_Space:
        if ((m_dwStyle & HTMLLIST_CHECKBOXES) && GetItem(m_nSelItem))
            ToggleCheck(*m_listItems[size_t(m_nSelItem)]);
        else
            e->ignore(); // without check boxes the key is the owner's
        return;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    if (row < 0 || row >= m_nItemCount)
        return; // an empty list
    m_nSelItem = row;
    EnsureVisible(row);
    update();
    Notify(HTMLLIST_SELCHANGED, m_listItems[size_t(row)].get());
}

void CHTMLListCtrl::resizeEvent(QResizeEvent *)
{
    UpdateClientSize();
    RecalcHeights();
    UpdateClientSize();
    update();
}

void CHTMLListCtrl::focusInEvent(QFocusEvent *)
{
    m_bFocus = true;
    if (const HTMLLIST_ITEM *item = GetItem(m_nSelItem))
        update(item->rcItem);
}

void CHTMLListCtrl::focusOutEvent(QFocusEvent *)
{
    m_bFocus = false;
    if (const HTMLLIST_ITEM *item = GetItem(m_nSelItem))
        update(item->rcItem);
}
