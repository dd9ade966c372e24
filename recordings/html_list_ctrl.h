#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QFont>
#include <QImage>
#include <QRect>
#include <QWidget>

#include "platform/system_time.h"
#include "recordings/trova_catalog.h"

// One row of the recording list; owned by the list.
struct HTMLLIST_ITEM
{
    int32_t nItemNo = -1; // 0-based display index
    int32_t nHeight = 0;  // pixels
    int32_t nStyle = 2;   // HTMLLIST_STYLE_*
    std::string sItemText;
    std::string sItemPath; // not drawn; the main window reads it
    SYSTEMTIME stItemTime{};
    std::string sSizeText;
    intptr_t lItemData = 0;
    QRect rcItem; // where the row was last painted, for hit tests
    bool bChecked = false;
    bool bHeightFixed = false;
    int32_t nImage = 0;
    // Whether the clip at sItemPath was cut off: -1 not looked at yet (it is, when first drawn),
    // 0 no, 1 yes.
    mutable int8_t nCutOff = -1;
};

enum : int32_t
{
    HTMLLIST_STYLE_BACKGROUND = 1,
    HTMLLIST_STYLE_TEXT = 2, // word-wrapped text
    HTMLLIST_STYLE_CLIP = 3, // name, date, size
};

// Behaviour flags of the list.
enum : uint32_t
{
    HTMLLIST_CHECKBOXES = 1,
    HTMLLIST_GRIDLINES = 2,
    HTMLLIST_ROWIMAGES = 4,
};

// Notification codes to the parent.
enum : int32_t
{
    HTMLLIST_SELCHANGED = 1,
    HTMLLIST_LBUTTONDOWN = 2,
    HTMLLIST_RBUTTONDOWN = 3,
    HTMLLIST_LBUTTONDBLCLK = 4,
    HTMLLIST_CHECKCHANGED = 5,
};

// What the list reports to its owner with every notification.
struct NM_HTMLLIST
{
    QWidget *hwndFrom = nullptr;
    int32_t idFrom = 0;
    int32_t code = 0;
    int32_t nItemNo = -1;
    std::string sItemText;
    intptr_t lItemData = 0;
    bool bChecked = false;
};

// The parent's side: notifications arrive synchronously, before the list goes on.
class CHTMLListOwner
{
public:
    virtual void OnListNotify(const NM_HTMLLIST &notify) = 0;

protected:
    ~CHTMLListOwner() = default;
};

// Geometry of the list's own vertical scroll bar (pixels). limit = total − page + 1, at least 0.
struct LIST_SCROLL_PARTS
{
    QRect rcUp, rcDown, rcTrack, rcThumb;
};
int32_t ListScrollLimit(int32_t nTotalHeight, int32_t nPage);
LIST_SCROLL_PARTS ListScrollParts(const QRect &rcBar, int32_t nPos, int32_t nTotalHeight,
                                  int32_t nPage);

// The skinned list of clips: striped rows, pixel scrolling with a self-drawn scroll bar, and
// notifications to the owner (the parent when it is a CHTMLListOwner, unless SetOwner chose one).
class CHTMLListCtrl : public QWidget, public CRecordingList
{
    Q_OBJECT
public:
    static constexpr int32_t kControlId = 415;
    static constexpr int32_t kScrollBarWidth = 16;
    static constexpr int32_t kArrowLength = 20;
    static constexpr int32_t kWheelStep = 30;
    static constexpr int32_t kLineStep = 50;
    static constexpr int32_t kStripeHeight = 30;

    explicit CHTMLListCtrl(QWidget *parent = nullptr, uint32_t dwStyle = HTMLLIST_GRIDLINES);
    ~CHTMLListCtrl() override;

    void SetOwner(CHTMLListOwner *pOwner) { m_pOwner = pOwner; }

    // CRecordingList
    int32_t InsertItem(int32_t nStyle, const std::string &text, const std::string &path,
                       const std::string &sizeText, int32_t nImage, int32_t nHeight,
                       const SYSTEMTIME &time) override;
    void DeleteAllItems() override;
    int32_t GetSelection() const override { return m_nSelItem; }
    void SetSelection(int32_t row) override;
    void EnsureVisible(int32_t row) override;
    int32_t GetScrollPos() const override { return m_nScrollPos; }
    void SetScrollPos(int32_t pixels) override;
    void RepaintNow() override { repaint(); }

    const HTMLLIST_ITEM *GetItem(int32_t row) const;
    void SetCheck(int32_t row, bool bChecked);
    void RecalcHeights();
    int32_t ItemCount() const { return m_nItemCount; }
    int32_t TotalHeight() const { return m_nTotalHeight; }
    int32_t ScrollLimit() const { return ListScrollLimit(m_nTotalHeight, m_nClientHeight); }
    bool HasFocus() const { return m_bFocus; }
    // The rows' area: the widget without the scroll bar when one is shown.
    int32_t ClientWidth() const { return m_nClientWidth; }
    // The name as a clip row shows it in nWidth pixels: shortened in the middle when too wide.
    QString CompactName(const QString &name, int nWidth) const;
    QRect ScrollBarRect() const;
    // True when the row's clip was cut off (looked at once, cheaply, then remembered).
    bool IsCutOff(const HTMLLIST_ITEM &item) const;

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

    virtual void DrawItem(QPainter &dc, const QRect &rcItem, const HTMLLIST_ITEM &item,
                          bool bSelected, int32_t nIndex);

private:
    void Notify(int32_t code, const HTMLLIST_ITEM *item);
    int32_t HitTest(const QPoint &pt) const;
    bool HitCheckBox(const HTMLLIST_ITEM &item, const QPoint &pt) const;
    void ToggleCheck(HTMLLIST_ITEM &item);
    int32_t MeasureHeight(const HTMLLIST_ITEM &item) const;
    void UpdateClientSize();
    void ScrollTo(int32_t pos);
    bool ScrollBarShown() const { return ScrollLimit() > 0; }
    void DrawScrollBar(QPainter &dc);

    std::vector<std::unique_ptr<HTMLLIST_ITEM>> m_listItems; // display order; index = nItemNo
    int32_t m_nItemCount = 0;
    int32_t m_nCtrlId = kControlId;
    int32_t m_nTotalHeight = 0;
    int32_t m_nClientWidth = 0;
    int32_t m_nClientHeight = 0;
    int32_t m_nScrollPos = 0;
    QFont m_font;
    int32_t m_nSelItem = -1;
    bool m_bFocus = false;
    uint32_t m_dwStyle;
    QImage m_imgCheck;  // 16 x 16 images side by side, magenta keyed out
    QImage m_imgScroll; // the scroll bar's parts
    CHTMLListOwner *m_pOwner = nullptr;
    int32_t m_nThumbGrab = -1; // pointer's offset into the thumb while it is dragged, -1 none
};

// Row text colours and fills.
inline const QColor kListOddFill(30, 30, 30);
inline const QColor kListEvenFill(20, 20, 20);
inline const QColor kListText(164, 171, 178);
inline const QColor kListSelFrame(80, 13, 13);
inline const QColor kListSelFill(255, 160, 0);
inline const QColor kListSelText(40, 40, 40);
inline const QColor kListGrid(32, 40, 48);
// The size of a clip that was cut off, on a plain and on a selected row.
inline const QColor kListWarnText(255, 96, 64);
inline const QColor kListWarnSelText(160, 16, 0);
inline constexpr char kCutOffTip[] = "Recording was cut off (power loss?)";
