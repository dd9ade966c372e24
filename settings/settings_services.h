#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QString>
#include <QUrl>

class QWidget;
class CCardFormatter;
struct FORMAT_CHOICE;

// What the settings sheet asks of the rest of the program. Every member has a working default
// (see DefaultSettingsServices); tests replace the ones that would block or touch the system.
struct SETTINGS_SERVICES
{
    // The self-closing notification and the warning box.
    std::function<void(QWidget *, const QString &)> notify;
    std::function<void(QWidget *, const QString &)> warn;
    // Stops playback before the card is formatted (the player keeps files open on it).
    std::function<void()> stopPlayback;
    // The format dialog: false when the user cancelled; otherwise the choice is filled.
    std::function<bool(QWidget *, FORMAT_CHOICE *)> askFormat;
    // Total and free bytes of the file system holding path; false when the query fails.
    std::function<bool(const std::string &, uint64_t *, uint64_t *)> diskSpace;
    // Opens an address in the system's browser.
    std::function<bool(const QUrl &)> openUrl;
    // Before a format: a chance to copy clips off the card (card root given); false stops the
    // format. Null: no offer.
    std::function<bool(QWidget *, const std::string &)> offerCopyFirst;
    // Unmounts, formats and mounts the card again.
    std::shared_ptr<CCardFormatter> formatter;
    // Pauses after the format as the recorder's tools do; tests set these to 0.
    int nAfterFormatWaitMs = 500;
    int nAfterRestoreWaitMs = 100;
};

// The defaults: the notification dialog, the warning box, the format dialog, statvfs,
// QDesktopServices, UDisks2 (or, where its daemon is absent and we are root, unmount + mkfs +
// mount); no playback to stop.
SETTINGS_SERVICES DefaultSettingsServices();
