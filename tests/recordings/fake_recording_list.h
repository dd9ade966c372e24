#pragma once

#include <string>
#include <vector>

#include "recordings/trova_catalog.h"

// A recording list that keeps its rows, selection and scroll position like the real one and
// writes down every call, so tests can check what the catalog asked for and in which order.
class CFakeRecordingList : public CRecordingList
{
public:
    struct ROW
    {
        int32_t nStyle;
        std::string text, path, sizeText;
        int32_t nImage, nHeight;
        SYSTEMTIME time;
    };

    int32_t InsertItem(int32_t nStyle, const std::string &text, const std::string &path,
                       const std::string &sizeText, int32_t nImage, int32_t nHeight,
                       const SYSTEMTIME &time) override
    {
        rows.push_back({nStyle, text, path, sizeText, nImage, nHeight, time});
        calls.push_back("insert");
        return static_cast<int32_t>(rows.size()) - 1;
    }
    void DeleteAllItems() override
    {
        rows.clear();
        scrollPos = 0; // as the real list: no rows, no scroll range
        calls.push_back("delete-all");
    }
    int32_t GetSelection() const override { return selection; }
    void SetSelection(int32_t row) override
    {
        selection = row;
        calls.push_back("select " + std::to_string(row));
    }
    void EnsureVisible(int32_t row) override { calls.push_back("show " + std::to_string(row)); }
    int32_t GetScrollPos() const override { return scrollPos; }
    void SetScrollPos(int32_t pixels) override
    {
        scrollPos = pixels;
        calls.push_back("scroll " + std::to_string(pixels));
    }
    void RepaintNow() override { calls.push_back("repaint"); }

    // The user clicks a row and scrolls, without the catalog being asked.
    void UserSelects(int32_t row, int32_t pixels)
    {
        selection = row;
        scrollPos = pixels;
    }
    std::vector<std::string> RowTexts() const
    {
        std::vector<std::string> texts;
        for (const ROW &row : rows)
            texts.push_back(row.text);
        return texts;
    }

    std::vector<ROW> rows;
    int32_t selection = -1;
    int32_t scrollPos = 0;
    std::vector<std::string> calls;
};

class CFakeCatalogOwner : public CCatalogOwner
{
public:
    void OnDriveChoice() override { ++driveChoices; }
    void OnCategoryButtonsChanged() override { ++buttonUpdates; }
    int driveChoices = 0;
    int buttonUpdates = 0;
};
