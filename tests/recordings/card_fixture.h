#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "recordings/trova_catalog.h"
#include "tests/recordings/fake_recording_list.h"
#include "tests/support/temp_folder.h"

// A small card in a temporary folder and a catalog over it, opened the way the shell opens a
// chosen card.
class CCardFixture
{
public:
    // Writes a file of the given size at a path relative to the card root, with its folders.
    void File(const std::string &relative, size_t size = 2000)
    {
        MakeFolders(std::filesystem::path(m_Card / relative).parent_path().string());
        WriteSized(m_Card / relative, size);
    }
    void Folder(const std::string &relative) { MakeFolders(m_Card / relative); }
    const std::string &Root() const { return m_Card.Path(); }

    void OpenCard()
    {
        m_Play.strRootPath = Root();
        m_Catalog.TrovaListInitial();
        m_Play.nListType = LIST_RECORD;
        m_Catalog.RebuildCatalog(Root());
    }

    std::vector<std::string> Names(int32_t category) const
    {
        std::vector<std::string> names;
        for (const TROVA_ITEM &item : m_Catalog.Category(category).items)
            names.push_back(item.strFileName);
        return names;
    }

    CTempFolder m_Card;
    CFakeRecordingList m_List;
    CFakeCatalogOwner m_Owner;
    PLAY_INFOR m_Play;
    CTrovaCatalog m_Catalog{m_List, m_Owner, m_Play};
};
