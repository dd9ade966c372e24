#include "recordings/trova_catalog.h"

#include <algorithm>
#include <cstddef>

#include <unistd.h>

#include "platform/file_enum.h"
#include "platform/file_exists.h"
#include "platform/file_open.h"
#include "platform/system_time.h"
#include "platform/trace.h"

namespace {

// The category folders in category order; RECORD keeps its clips one level down.
constexpr const char *kCategoryFolders[kListTypeCount] = {"RECORD/", "EVENT/", "MANUAL/",
                                                          "MOTION/"};

bool Listed(const FOLDER_ENTRY &entry)
{
    return !entry.strName.empty() && entry.strName[0] != '.' && !entry.bHidden && !entry.bSystem;
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Recorders name clips and day folders by date and time, so name order is time order; folder
// listings on exFAT, ext4 or a desktop copy come in no useful order. Letters compare without
// case (the recorder and a desktop copy may differ in it); equal names fall back to bytes so
// the order never depends on the listing.
bool NameBefore(const std::string &a, const std::string &b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const char x = LowerAscii(a[i]), y = LowerAscii(b[i]);
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

} // namespace

bool IsClipName(const std::string &name)
{
    static constexpr char kExtension[] = ".avi";
    if (name.size() < 4)
        return false;
    const char *tail = name.data() + name.size() - 4;
    for (int i = 0; i < 4; ++i) {
        if (LowerAscii(tail[i]) != kExtension[i])
            return false;
    }
    return true;
}

std::string FormatSizeKB(uint64_t value)
{
    char digits[32];
    size_t n = 0;
    int inGroup = 0;
    do {
        if (inGroup == 3) {
            digits[n++] = ',';
            inGroup = 0;
        }
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
        ++inGroup;
    } while (value != 0);
    std::string text;
    if (n < 9)
        text.assign(9 - n, ' ');
    for (size_t i = n; i-- > 0;)
        text += digits[i];
    return text;
}

CTrovaCatalog::CTrovaCatalog(CRecordingList &list, CCatalogOwner &owner, PLAY_INFOR &play)
    : m_List(list), m_Owner(owner), m_Play(play)
{
}

void CTrovaCatalog::TrovaListInitial()
{
    Trace(L"TrovaListInitial\r\n");
    m_List.DeleteAllItems();
    m_List.SetScrollPos(0);
    m_List.RepaintNow();
    m_List.SetSelection(-1);
    for (TROVA_CATEGORY &category : m_Categories)
        category = TROVA_CATEGORY{};
    m_Play.nListType = LIST_NONE;
    m_Play.nPlayListType = LIST_NONE;
}

void CTrovaCatalog::RebuildCatalog(const std::string &root)
{
    m_List.DeleteAllItems();
    // The count goes with the entries, so indexes and the next-clip bound stay true even for a
    // rebuild without a reset first.
    for (TROVA_CATEGORY &category : m_Categories) {
        category.items.clear();
        category.nCount = 0;
    }

    const std::string record = root + kCategoryFolders[LIST_RECORD];
    std::vector<std::string> days;
    {
        CFolderListing listing(record);
        FOLDER_ENTRY entry;
        while (listing.Next(&entry)) {
            if (entry.bDirectory && Listed(entry))
                days.push_back(std::move(entry.strName));
        }
    }
    std::sort(days.begin(), days.end(), NameBefore);
    for (const std::string &day : days)
        ScanClipFolder(record + day + '/', LIST_RECORD);
    for (int32_t category = LIST_EVENT; category < kListTypeCount; ++category)
        ScanClipFolder(root + kCategoryFolders[category], category);

    FillList(m_Play.nListType);
}

namespace {

// Whether the clip can be opened for reading with no other program holding it: decided from the
// listing's facts where they are sure (a regular file of ours that we may read, as every file of
// a card mounted for the user is, whose inode no lock names) and by opening and locking it only
// where they are not.
bool Openable(const CFolderListing &listing, const char *name, const struct stat &facts,
              const CHeldFiles &held)
{
    static const uid_t kOurs = ::geteuid();
    if (S_ISREG(facts.st_mode) && facts.st_uid == kOurs && (facts.st_mode & S_IRUSR) != 0 &&
        !held.MayBeHeld(facts.st_ino))
        return true;
    CExclusiveFile file;
    return file.OpenAt(listing.FolderFd(), name, CExclusiveFile::Mode::Read);
}

} // namespace

void CTrovaCatalog::ScanClipFolder(const std::string &folder, int32_t category)
{
    CFolderListing listing(folder);
    if (!listing.IsOpen())
        return; // a missing folder simply holds no clips
    TROVA_CATEGORY &target = m_Categories[category];
    const size_t first = target.items.size();
    FOLDER_ENTRY entry;
    struct stat facts
    {
    };
    CHeldFiles held;
    bool heldRead = false;
    while (listing.Next(&entry)) {
        if (entry.bDirectory || !Listed(entry) || !IsClipName(entry.strName))
            continue;
        // One query per clip for its size and time; one whose size cannot be read is left out.
        if (!listing.Facts(&facts) || static_cast<uint64_t>(facts.st_size) < kMinClipSize)
            continue;
        // A clip another program holds (the recorder's own writer, a copy in progress) is left
        // out. The lock table is read once per folder, when the first clip needs it.
        if (!heldRead) {
            held.Load();
            heldRead = true;
        }
        if (!Openable(listing, entry.strName.c_str(), facts, held))
            continue;

        TROVA_ITEM &item = target.items.emplace_back();
        item.nIndex = target.nCount;
        item.strFileName = std::move(entry.strName);
        item.strFullPath.reserve(folder.size() + item.strFileName.size());
        item.strFullPath.assign(folder).append(item.strFileName);
        item.stTime = SystemTimeFromUtc(facts.st_mtim);
        // Past 4 GiB (exFAT allows it) the size saturates instead of wrapping to a small one.
        item.dwFileSize = static_cast<uint32_t>(std::min<uint64_t>(facts.st_size, UINT32_MAX));
        ++target.nCount;
    }
    // This folder's clips in name order, after those of the folders before it.
    const auto begin = target.items.begin() + static_cast<std::ptrdiff_t>(first);
    std::sort(begin, target.items.end(), [](const TROVA_ITEM &a, const TROVA_ITEM &b) {
        return NameBefore(a.strFileName, b.strFileName);
    });
    for (size_t i = first; i < target.items.size(); ++i)
        target.items[i].nIndex = static_cast<int32_t>(i);
}

void CTrovaCatalog::FillList(int32_t category)
{
    if (!IsCategory(category))
        return;
    const int32_t count = m_Categories[category].nCount;
    for (int32_t i = 0; i < count; ++i) {
        const TROVA_ITEM *item = GetCatalogEntry(category, i);
        if (item == nullptr) {
            Trace(L"NULL ITEM DATA\r\n");
            break;
        }
        m_List.InsertItem(kClipRowStyle, item->strFileName, item->strFullPath,
                          FormatSizeKB(item->dwFileSize / 1024), 0, kClipRowHeight, item->stTime);
    }
}

void CTrovaCatalog::ShowCategory(int32_t category)
{
    if (!PathExists(m_Play.strRootPath)) {
        m_Owner.OnDriveChoice();
        return;
    }
    if (!IsCategory(category))
        return;
    // With no category shown (after a reset) there is no state to save.
    if (IsCategory(m_Play.nListType)) {
        TROVA_CATEGORY &left = m_Categories[m_Play.nListType];
        left.nSelect = m_List.GetSelection();
        left.nScrollPos = m_List.GetScrollPos();
    }
    if (category == m_Play.nListType)
        return;
    m_Play.nListType = category;
    m_Owner.OnCategoryButtonsChanged();

    m_List.DeleteAllItems();
    FillList(category);
    const TROVA_CATEGORY &shown = m_Categories[category];
    m_List.SetSelection(shown.nSelect);
    m_List.EnsureVisible(shown.nSelect);
    m_List.SetScrollPos(shown.nScrollPos);
    m_List.RepaintNow();
}

const TROVA_ITEM *CTrovaCatalog::GetCatalogEntry(int32_t category, int32_t index) const
{
    if (!IsCategory(category) || index < 0)
        return nullptr;
    const std::vector<TROVA_ITEM> &items = m_Categories[category].items;
    return static_cast<size_t>(index) < items.size() ? &items[static_cast<size_t>(index)] : nullptr;
}

void CTrovaCatalog::SelectFromList(int32_t row)
{
    if (row != -1 && IsCategory(m_Play.nListType))
        m_Categories[m_Play.nListType].nSelect = row;
}

const TROVA_CATEGORY &CTrovaCatalog::Category(int32_t category) const
{
    static const TROVA_CATEGORY kNone;
    return IsCategory(category) ? m_Categories[category] : kNone;
}

const TROVA_ITEM *CTrovaCatalog::PlaySelected()
{
    const int32_t shown = m_Play.nListType;
    const TROVA_ITEM *item =
        IsCategory(shown) ? GetCatalogEntry(shown, m_Categories[shown].nSelect) : nullptr;
    if (item == nullptr) {
        const TROVA_CATEGORY &category = Category(shown);
        Trace(L"Play nCount=%d, nSelect=%d, g_PlayInfor.nListType=%d \r\n", category.nCount,
              category.nSelect, shown);
        return nullptr;
    }
    m_Play.nPlayListType = shown;
    return item;
}

void CTrovaCatalog::ClipStartedFromList(int32_t row)
{
    if (!IsCategory(m_Play.nListType))
        return;
    m_Play.nPlayListType = m_Play.nListType;
    m_Categories[m_Play.nListType].nSelect = row;
}

const TROVA_ITEM *CTrovaCatalog::PreviousClip()
{
    return StepClip(-1);
}

const TROVA_ITEM *CTrovaCatalog::NextClip()
{
    return StepClip(+1);
}

const TROVA_ITEM *CTrovaCatalog::StepClip(int32_t step)
{
    const int32_t playing = m_Play.nPlayListType;
    if (!IsCategory(playing) || m_Play.nListType == LIST_NONE)
        return nullptr;
    TROVA_CATEGORY &category = m_Categories[playing];
    if (category.nCount < 2)
        return nullptr;
    if (step < 0 ? category.nSelect <= 0 : category.nSelect >= category.nCount - 1)
        return nullptr;
    category.nSelect += step;
    if (m_Play.nListType == playing) {
        m_List.SetSelection(category.nSelect);
        m_List.EnsureVisible(category.nSelect);
    }
    return GetCatalogEntry(playing, category.nSelect);
}
