#include "export/ui/clip_menu.h"

#include <filesystem>

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QUrl>

#include "export/ui/copy_clips_dlg.h"
#include "export/ui/export_clip_dlg.h"
#include "export/ui/export_track_dlg.h"

namespace {

struct MenuEntry
{
    const char *szText;
    CLIP_MENU_CHOICE choice;
};

constexpr MenuEntry kEntries[] = {
    {"Export clip…", CLIP_MENU_CHOICE::ExportClip},
    {"Export track…", CLIP_MENU_CHOICE::ExportTrack},
    {"Copy to computer…", CLIP_MENU_CHOICE::CopyToComputer},
    {"Show in folder", CLIP_MENU_CHOICE::ShowInFolder},
};

// The category folder's name under the card root ("EVENT"; "RECORD" for its day folders).
QString CategoryName(const CLIP_MENU_TARGET &target)
{
    std::string rest = target.clipPath.substr(
        target.clipPath.rfind(target.cardRoot, 0) == 0 ? target.cardRoot.size() : 0);
    const size_t slash = rest.find('/');
    return QString::fromStdString(slash == std::string::npos ? std::string("clips")
                                                             : rest.substr(0, slash));
}

} // namespace

std::unique_ptr<QMenu> MakeClipMenu(QWidget *parent)
{
    auto menu = std::make_unique<QMenu>(parent);
    for (const MenuEntry &entry : kEntries)
        menu->addAction(QString::fromUtf8(entry.szText))->setData(int(entry.choice));
    return menu;
}

bool IsOnCard(const std::string &path, const std::string &cardRoot)
{
    if (cardRoot.empty())
        return false;
    std::error_code ignored;
    // The folder may not exist yet: compare the nearest existing parent, resolved.
    std::filesystem::path probe = std::filesystem::absolute(path, ignored);
    while (!probe.empty() && !std::filesystem::exists(probe, ignored) &&
           probe != probe.parent_path())
        probe = probe.parent_path();
    const std::string resolved = std::filesystem::weakly_canonical(probe, ignored).string() + "/";
    std::string root = std::filesystem::weakly_canonical(cardRoot, ignored).string();
    if (root.empty() || root.back() != '/')
        root += '/';
    return resolved.rfind(root, 0) == 0;
}

void RunClipMenuChoice(QWidget *parent, CLIP_MENU_CHOICE choice, const CLIP_MENU_TARGET &target)
{
    switch (choice) {
    case CLIP_MENU_CHOICE::ExportClip: {
        CExportClipDlg dlg(target, parent);
        dlg.exec();
        break;
    }
    case CLIP_MENU_CHOICE::ExportTrack: {
        CExportTrackDlg dlg(target, parent);
        dlg.exec();
        break;
    }
    case CLIP_MENU_CHOICE::CopyToComputer: {
        CCopyClipsDlg dlg(target.clipPath, target.categoryClips, target.cardRoot,
                          CategoryName(target), parent);
        dlg.exec();
        break;
    }
    case CLIP_MENU_CHOICE::ShowInFolder:
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(QFileInfo(QString::fromStdString(target.clipPath)).absolutePath()));
        break;
    case CLIP_MENU_CHOICE::None:
        break;
    }
}

QHBoxLayout *PathRow(QLineEdit *path, QPushButton *browse)
{
    auto *row = new QHBoxLayout;
    row->addWidget(path, 1);
    row->addWidget(browse);
    return row;
}

QHBoxLayout *ButtonRow(QPushButton *first, QPushButton *second)
{
    first->setDefault(true);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(first);
    row->addWidget(second);
    return row;
}
