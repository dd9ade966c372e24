#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QHBoxLayout;
class QLineEdit;
class QMenu;
class QPushButton;
class QWidget;

// The recording list's context menu and what its entries do. The card is only read.

enum class CLIP_MENU_CHOICE
{
    None,
    ExportClip,
    ExportTrack,
    CopyToComputer,
    ShowInFolder,
};

// The clip a right click chose, and what the window knows around it.
struct CLIP_MENU_TARGET
{
    std::string clipPath;
    std::string cardRoot;       // ends with '/'
    int64_t nFileEndUtcMs = -1; // the clip's file time: when the recorder closed it
    bool bPlaying = false;      // the clip is the one loaded in the player
    uint32_t nPositionMs = 0;   // the player's position when bPlaying
    uint32_t nDurationMs = 0;   // the clip's length when bPlaying, else 0 (read from the clip)
    std::vector<std::string> categoryClips; // the shown category, in list order
    // The clips of the trip the clip belongs to, in order; empty when not known yet.
    std::function<std::vector<std::string>()> tripClips;
};

// The menu's entries, in order: "Export clip…", "Export track…", "Copy to computer…",
// "Show in folder"; each action's data is its CLIP_MENU_CHOICE.
std::unique_ptr<QMenu> MakeClipMenu(QWidget *parent);

// Opens the dialog of a choice (modal) or the file manager.
void RunClipMenuChoice(QWidget *parent, CLIP_MENU_CHOICE choice, const CLIP_MENU_TARGET &target);

// True when path lies on the card (its root or below): exports must go elsewhere.
bool IsOnCard(const std::string &path, const std::string &cardRoot);

// What the dialogs show when the chosen target lies on the card.
inline constexpr char kOnCardRefusal[] = "Choose a folder on this computer: the card is only read.";

// The dialogs' shared rows: a path with its "Browse…" button, and the buttons at the bottom
// right (the first one is the default).
QHBoxLayout *PathRow(QLineEdit *path, QPushButton *browse);
QHBoxLayout *ButtonRow(QPushButton *first, QPushButton *second);
