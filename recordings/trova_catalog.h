#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/system_time.h"
#include "recordings/play_infor.h"

// One catalogued clip. Owned by its category; pointers to it stay valid until the next rebuild
// or reset.
struct TROVA_ITEM
{
    int32_t nIndex = 0;      // position in its category, from 0
    std::string strFileName; // exactly as the folder listing gave it
    std::string strFullPath; // root + folder(s) + name; the path handed to the player
    SYSTEMTIME stTime{};     // last-write time, UTC; all zero when it could not be represented
    uint32_t dwFileSize = 0; // bytes, at most 0xFFFFFFFF
};

// One category's clips and the list state saved for it while another category is shown.
struct TROVA_CATEGORY
{
    int32_t nSelect = -1;   // selected entry, -1 none
    int32_t nScrollPos = 0; // the list's vertical scroll position when the user left it
    int32_t nCount = 0;     // entries in the list below; also the next nIndex
    std::vector<TROVA_ITEM> items;
};

// What the catalog needs of the recording list that shows one category. Rows are appended in
// order; row i shows entry i of the shown category.
class CRecordingList
{
public:
    virtual ~CRecordingList() = default;

    // Appends a row; returns its index. height 0 asks the list to measure the text.
    virtual int32_t InsertItem(int32_t nStyle, const std::string &text, const std::string &path,
                               const std::string &sizeText, int32_t nImage, int32_t nHeight,
                               const SYSTEMTIME &time) = 0;
    // Removes every row; the selected row index is kept.
    virtual void DeleteAllItems() = 0;
    virtual int32_t GetSelection() const = 0;
    // -1 = none.
    virtual void SetSelection(int32_t row) = 0;
    // Scrolls the least amount that shows the row whole.
    virtual void EnsureVisible(int32_t row) = 0;
    virtual int32_t GetScrollPos() const = 0;
    virtual void SetScrollPos(int32_t pixels) = 0;
    // Repaints at once, not at the next paint.
    virtual void RepaintNow() = 0;
};

// What the catalog asks of the main window that owns it.
class CCatalogOwner
{
public:
    virtual ~CCatalogOwner() = default;
    // The card root is gone: start the drive choice (command 307).
    virtual void OnDriveChoice() = 0;
    // The shown category changed: the four category buttons must show it.
    virtual void OnCategoryButtonsChanged() = 0;
};

// The card's clips per category and the selection of each. Window thread only. Reads the card;
// never creates, renames or deletes anything on it.
class CTrovaCatalog
{
public:
    static constexpr int32_t kClipRowStyle = 3;
    static constexpr int32_t kClipRowHeight = 30;
    static constexpr uint64_t kMinClipSize = 1025; // 1024 bytes or less is no clip

    CTrovaCatalog(CRecordingList &list, CCatalogOwner &owner, PLAY_INFOR &play = g_PlayInfor);
    CTrovaCatalog(const CTrovaCatalog &) = delete;
    CTrovaCatalog &operator=(const CTrovaCatalog &) = delete;

    // Empties the list and every category and shows no category.
    void TrovaListInitial();
    // Scans the card under root (ending with '/') into the four categories and fills the list
    // with the category shown. Selections and scroll positions are kept.
    void RebuildCatalog(const std::string &root);
    // Switches the list to another category (the category buttons), keeping what the user had
    // selected and scrolled in the one left. Starts the drive choice instead when the card root
    // has gone.
    void ShowCategory(int32_t category);
    // The entry, or nullptr when category or index is outside the catalog.
    const TROVA_ITEM *GetCatalogEntry(int32_t category, int32_t index) const;
    // A row click in the list; -1 (a click below the rows) keeps the previous selection.
    void SelectFromList(int32_t row);
    const TROVA_CATEGORY &Category(int32_t category) const;

    // Play while stopped: the selected entry of the shown category, which becomes the playing
    // category; nullptr (and nothing changes) without a selection.
    const TROVA_ITEM *PlaySelected();
    // A clip double-clicked in the list was started.
    void ClipStartedFromList(int32_t row);
    // The entry before / after the playing one in the playing category, now selected there (and
    // in the list when that category is shown); nullptr when there is none.
    const TROVA_ITEM *PreviousClip();
    const TROVA_ITEM *NextClip();

private:
    static bool IsCategory(int32_t category) { return category >= 0 && category < kListTypeCount; }
    void ScanClipFolder(const std::string &folder, int32_t category);
    void FillList(int32_t category);
    const TROVA_ITEM *StepClip(int32_t step);

    CRecordingList &m_List;
    CCatalogOwner &m_Owner;
    PLAY_INFOR &m_Play;
    TROVA_CATEGORY m_Categories[kListTypeCount];
};

// "%d" grouped by thousands with commas, right-aligned in 9 characters (longer texts are kept
// whole): 1500 gives "    1,500".
std::string FormatSizeKB(uint64_t value);

// True when the name ends in ".avi" in any case.
bool IsClipName(const std::string &name);
