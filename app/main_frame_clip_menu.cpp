// The recording list's context menu: what the main window knows about the clip goes with it.
#include <QCursor>
#include <QMenu>
#include <sys/stat.h>

#include "app/tavlo_main_frame.h"
#include "recordings/play_infor.h"
#include "trips/trip_index.h"

CLIP_MENU_CHOICE CTavloMainFrame::ChooseFromClipMenu(QMenu &menu)
{
    const QAction *chosen = menu.exec(QCursor::pos());
    return chosen ? CLIP_MENU_CHOICE(chosen->data().toInt()) : CLIP_MENU_CHOICE::None;
}

void CTavloMainFrame::RunClipChoice(CLIP_MENU_CHOICE choice, const CLIP_MENU_TARGET &target)
{
    RunClipMenuChoice(this, choice, target);
}

void CTavloMainFrame::ShowClipMenu(int32_t nRow)
{
    const HTMLLIST_ITEM *row = m_pList->GetItem(nRow);
    if (!row)
        return;
    CLIP_MENU_TARGET target;
    target.clipPath = row->sItemPath;
    target.cardRoot = g_PlayInfor.strRootPath;
    struct stat st
    {
    };
    if (::stat(target.clipPath.c_str(), &st) == 0)
        target.nFileEndUtcMs = int64_t(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    if (m_pPlayer && m_pPlayer->GetState() != CMP_STOPPED &&
        g_PlayInfor.strPlayFile == target.clipPath) {
        target.bPlaying = true;
        target.nPositionMs = m_pPlayer->PlayPosition();
        target.nDurationMs = m_pPlayer->PlayDuration();
    }
    if (g_PlayInfor.nListType >= 0 && g_PlayInfor.nListType < kListTypeCount) {
        for (const TROVA_ITEM &item : m_pCatalog->Category(g_PlayInfor.nListType).items)
            target.categoryClips.push_back(item.strFullPath);
    }
    if (m_pTrips) {
        CTripIndex *trips = m_pTrips.get();
        const std::string path = target.clipPath;
        target.tripClips = [trips, path] { return trips->TripOf(path); };
    }
    const std::unique_ptr<QMenu> menu = MakeClipMenu(this);
    const CLIP_MENU_CHOICE choice = ChooseFromClipMenu(*menu);
    if (choice == CLIP_MENU_CHOICE::None)
        return;
    // A dialog over a playing clip: the clip pauses, as for the settings.
    const bool bResume = m_pPlayer && PauseAndSettle(*m_pPlayer);
    RunClipChoice(choice, target);
    if (bResume)
        m_pPlayer->Resume();
}
